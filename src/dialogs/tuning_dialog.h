#pragma once

#include "datalog/trend_data.h"
#include "dialogs/prompts.h"
#include "tuning/map_write.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace zef {

// "Подбор по записи...": the seven map points as a recording would set them, how sure each
// is, and the points the fitter ticks written to the controller. Fed from a finished recording,
// or live from a running one, whose new rows it takes in on its own timer.
class TuningDialog : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // Writes the chosen map through the session's archive; none when nothing was written
        // (no controller, or the fitter declined to write without a copy).
        std::function<std::optional<MapWrite>(const MapMicros& before, const MapMicros& chosen)>
            write;
        // Shows the suggested map over the map chart; an empty curve takes it away.
        std::function<void(const std::vector<QPointF>&)> showSuggested;
    };
    enum Column { Speed, Current, Suggested, Change, Samples, Spread, Trust, ColumnCount };

    TuningDialog(const MapMicros& current, Prompts& prompts, Hooks hooks,
                 QWidget* parent = nullptr);
    ~TuningDialog() override;

    void AddRows(const std::vector<DatalogRow>& rows);
    // Follows a recording that is still growing: what it holds now at once, the rest as it
    // comes.
    void Follow(std::shared_ptr<const TrendData> trend);
    // Takes in what the followed recording gained since the last look.
    void TakeNewRows();

    [[nodiscard]] const TuningResult& Result() const { return m_result; }
    [[nodiscard]] std::array<bool, kMapSize> Ticked() const;
    void SetTicked(std::size_t point, bool ticked);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QLabel* Counts() const { return m_counts; }
    [[nodiscard]] QPushButton* WriteButton() const { return m_write; }

    // "Записать выбранные": asks, "Нет" being the default, then writes and shows what the
    // controller took.
    void WriteClick();

    static constexpr std::chrono::milliseconds kLivePeriod{350};

private:
    void refresh();
    // True when a text changed its length, so the columns may need another width.
    bool fillRow(std::size_t point);
    [[nodiscard]] QString countsText() const;

    MapTuner m_tuner;
    Prompts& m_prompts;
    Hooks m_hooks;
    TuningResult m_result;
    // The fitter's own ticks, kept while the live table changes under them.
    std::array<std::optional<bool>, kMapSize> m_choice{};
    std::shared_ptr<const TrendData> m_trend;
    std::size_t m_taken = 0;
    QTimer m_live;
    bool m_filling = false;

    QTableWidget* m_table;
    QLabel* m_counts;
    QLabel* m_outcome;
    QPushButton* m_write;
};

} // namespace zef
