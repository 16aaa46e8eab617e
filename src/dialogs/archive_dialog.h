#pragma once

#include "archive/snapshot_archive.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace zef {

class Prompts;

struct ArchiveEntry {
    Snapshot snapshot;
    std::optional<int> differences; // registers that differ from the controller; none: unknown
};

// "Архив калибровок": the connected controller's snapshots, newest first. One selected
// snapshot compares with the controller or is restored (once the user has said yes); two
// selected compare with each other. "Закрыть" is the default: Enter never writes.
class ArchiveDialog : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void(const Snapshot&)> compareWithController;
        std::function<void(const Snapshot&, const Snapshot&)> compareTwo; // older, newer
        std::function<void(const Snapshot&)> restore;
    };

    ArchiveDialog(const QString& serial, Prompts& prompts, QWidget* parent = nullptr);
    void SetHooks(Hooks hooks) { m_hooks = std::move(hooks); }

    // Shows the entries (oldest first, as listed) newest on top and selects the newest. The
    // note says where the archive lies, or why the differences are unknown.
    void SetEntries(std::vector<ArchiveEntry> entries, const QString& note);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QPushButton* CompareButton() const { return m_compare; }
    [[nodiscard]] QPushButton* RestoreButton() const { return m_restore; }
    [[nodiscard]] QLabel* Note() const { return m_note; }

    void CompareClick();
    void RestoreClick();

private:
    [[nodiscard]] std::vector<const Snapshot*> selected() const;
    void selectionChanged();

    Hooks m_hooks;
    Prompts& m_prompts;
    std::vector<ArchiveEntry> m_entries; // in table order: newest first
    QTableWidget* m_table;
    QLabel* m_note;
    QPushButton* m_compare;
    QPushButton* m_restore;
};

} // namespace zef
