#pragma once

#include "archive/snapshot_archive.h"
#include "files/settings_file.h"
#include "link/register_exchange.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace zef {

class LinkSupervisor;
struct ChoiceRow;
class Prompts;

// Every calibration register of a settings file in one table: what the window calls it, its
// value with unit, the limits of the edit that changes it, the raw word and what it does. A
// value is changed in place through the same conversion, limits and handler as the window's
// edit, so the controller receives the very frames the edit would send.
class ParameterTable : public QWidget {
    Q_OBJECT
public:
    enum Column {
        CaptionColumn,
        ValueColumn,
        LimitsColumn,
        WordColumn,
        FileColumn,
        DescriptionColumn,
        ColumnCount
    };

    ParameterTable(RegisterExchange& link, const LinkSupervisor& supervisor, Prompts& prompts,
                   QWidget* parent = nullptr);
    ~ParameterTable() override;

    // Reads every register in one burst; the table keeps what it showed unless the burst was
    // answered whole and verified.
    bool Reload();
    // Marks the registers whose word differs from the settings file; false when the file was
    // refused, which has been said.
    bool CompareWith(const QString& path);
    void ChooseFileToCompare();

    // The connected controller's snapshots, oldest first; none given: no archive to compare
    // with, and the button says so by being disabled.
    using SnapshotList = std::function<std::vector<Snapshot>()>;
    void SetSnapshots(SnapshotList list);
    // Marks the registers whose word differs from a snapshot of the archive.
    bool CompareWith(const Snapshot& snapshot);
    void ChooseSnapshotToCompare();
    [[nodiscard]] QPushButton* SnapshotButton() const { return m_compareSnapshot; }

    // A value typed into the row of `address`, handled as the window's edit handles it.
    void EditValue(std::uint8_t address, const QString& text);

    // Registers no control of the window shows: listed, never written from here.
    [[nodiscard]] static bool ReadOnly(std::uint8_t address);
    [[nodiscard]] static QString Description(std::uint8_t address);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QLineEdit* Filter() const { return m_filter; }
    [[nodiscard]] int RowOf(std::uint8_t address) const;
    [[nodiscard]] std::optional<std::uint16_t> Word(std::uint8_t address) const;

signals:
    // A value went to the controller from the table.
    void Written(std::uint8_t address);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Rows follow the columns' widths; let go of before the children are torn down, when the
    // header still reports its sections.
    QMetaObject::Connection m_rowsFollowWidths;
    void fill();
    void showRow(int row);
    void applyFilter(const QString& text);
    void itemEdited(QTableWidgetItem* item);
    void editChoice(const ChoiceRow& choice, const QString& text);
    void showState(const QString& text);
    // `column` heads the compared values; `none` and `some` (the count as %1) end up in the
    // state line.
    bool compareWith(const QString& path, const QString& column, const QString& none,
                     const QString& some);

    RegisterExchange& m_link;
    const LinkSupervisor& m_supervisor;
    Prompts& m_prompts;
    QTableWidget* m_table = nullptr;
    QLineEdit* m_filter = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_compareSnapshot = nullptr;
    SnapshotList m_snapshots;
    std::array<std::optional<std::uint16_t>, kSettingsRegisters.size()> m_words{};
    std::optional<SettingsValues> m_file;
    bool m_filling = false;
};

} // namespace zef
