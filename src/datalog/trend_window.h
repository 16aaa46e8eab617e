#pragma once

#include "datalog/trend_data.h"

#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace zef {

class TrendPlot;

// The recorded channels as time plots, one under the other, each with its own value scale and
// all on one time range. Live (a recording appends rows and calls Refresh) the last minute
// scrolls by until paused; replayed, the whole recording is shown. A drag or the wheel zooms
// the time range, a double click or "Сбросить масштаб" undoes it; the cursor reads every shown
// channel at the time under the mouse.
class TrendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr double kLiveSeconds = 60;
    // Below a few samples a zoom shows nothing worth the look.
    static constexpr double kShortestSpan = 1.0;

    explicit TrendWindow(std::shared_ptr<const TrendData> data, QWidget* parent = nullptr);
    ~TrendWindow() override;

    // Another recording (a new one started, or a file opened): plots for its channels.
    void SetData(std::shared_ptr<const TrendData> data);
    [[nodiscard]] const TrendData& Data() const { return *m_data; }

    // A sentence shown in place of the plots while there is nothing to plot and nothing to
    // come; empty: the plots again. Other data brings the plots back by itself.
    void SetNote(const QString& note);
    [[nodiscard]] QLabel* Note() const { return m_note; }

    // The recording appended rows: the plots follow them.
    void Refresh();

    void SetLive(bool live);
    [[nodiscard]] bool IsLive() const { return m_live; }
    // Paused, the time range stays where it is while rows are still appended.
    void SetPaused(bool paused);
    [[nodiscard]] bool IsPaused() const { return m_paused; }

    void SetChannelShown(std::size_t channel, bool shown);
    [[nodiscard]] bool IsChannelShown(std::size_t channel) const;

    void ZoomTo(double from, double to);
    // Scales the time range by `factor` (below 1 zooms in), keeping `at` where it is.
    void ZoomAt(double at, double factor);
    void ResetZoom();
    [[nodiscard]] bool IsZoomed() const { return m_zoom.has_value(); }

    // The time range all plots show now, in seconds of the recording.
    [[nodiscard]] std::pair<double, double> TimeRange() const;

    void SetCursorTime(std::optional<double> seconds);
    [[nodiscard]] std::optional<double> CursorTime() const { return m_cursor; }
    // What the cursor reads for a channel: its value and unit, or nothing (hidden, in a gap,
    // no cursor).
    [[nodiscard]] QString Reading(std::size_t channel) const;
    [[nodiscard]] QString CursorTimeText() const;

    // Centres the time range on the recording's marker at `index` of Data().Marks().
    void GoToMark(std::size_t index);
    // The markers, one a line: the time and the text; a click goes to one.
    [[nodiscard]] QListWidget* MarkList() const { return m_markList; }
    // Beside a shown channel, its lowest (0), highest (1) and mean (2) value over the time range
    // shown, as written there: a drag over a plot picks the stretch. Empty for a hidden channel
    // or a stretch without a value.
    [[nodiscard]] QString Figure(std::size_t channel, std::size_t column) const;

    [[nodiscard]] TrendPlot* Plot(std::size_t channel) const;
    [[nodiscard]] QCheckBox* ChannelBox(std::size_t channel) const;
    [[nodiscard]] QPushButton* PauseButton() const { return m_pause; }
    [[nodiscard]] QPushButton* ResetButton() const { return m_reset; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Channel {
        TrendPlot* plot = nullptr;
        QCheckBox* box = nullptr;
        std::array<QLabel*, 3> figures{};
    };

    void buildChannels();
    // The time range with the recording's ends, for zooming out no further than there is.
    [[nodiscard]] std::pair<double, double> extent() const;
    void render();
    // The plots thin to their width, known only once the layout placed them.
    void renderLater();
    void renderPlot(std::size_t channel, std::pair<double, double> range);
    void showReadings();
    void showMarks();
    void showFigures(std::pair<double, double> range);
    void updateControls();

    std::shared_ptr<const TrendData> m_data;
    std::vector<Channel> m_channels;
    bool m_live = false;
    bool m_paused = false;
    std::optional<std::pair<double, double>> m_zoom;
    std::pair<double, double> m_frozen{0, kLiveSeconds};
    std::optional<double> m_cursor;
    bool m_renderPending = false;

    QPushButton* m_pause;
    QPushButton* m_reset;
    QLabel* m_cursorTime;
    QLabel* m_state;
    QWidget* m_plots;
    QVBoxLayout* m_plotLayout;
    QWidget* m_panel;
    QWidget* m_content;
    QLabel* m_note;
    QListWidget* m_markList;
    QLabel* m_figuresTitle;
    std::size_t m_marksListed = 0;
};

} // namespace zef
