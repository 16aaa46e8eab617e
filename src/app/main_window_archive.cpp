// The window's face of the calibration archive: snapshots at connection and before a load,
// the comparison views, and restoring a snapshot through the load.

#include "app/main_window.h"

#include "app/map_editor.h"
#include "archive/archived_load.h"
#include "archive/compare.h"
#include "archive/snapshot_archive.h"
#include "dialogs/archive_dialog.h"
#include "dialogs/compare_dialog.h"
#include "dialogs/prompts.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStatusBar>

#include <utility>

namespace zef {

namespace {

constexpr int kStatusMs = 15000;
const QString kControllerName = QStringLiteral("Контроллер");

QString FileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

void TForm1::addArchiveActions(QMenu* file) {
    CompareWithFileAction = file->addAction("С&равнить с файлом...");
    CompareWithFileAction->setObjectName("CompareWithFile");
    CompareFilesAction = file->addAction("Сравнить &два файла...");
    CompareFilesAction->setObjectName("CompareFiles");
    ArchiveAction = file->addAction("&Архив калибровок...");
    ArchiveAction->setObjectName("CalibrationArchive");
    // What needs the controller is there exactly when loading a file is; two files need none.
    for (QAction* action : {CompareWithFileAction, ArchiveAction})
        connect(N2, &QAction::enabledChanged, action, &QAction::setEnabled);
    connect(CompareWithFileAction, &QAction::triggered, this, &TForm1::CompareWithFile);
    connect(CompareFilesAction, &QAction::triggered, this, &TForm1::CompareTwoFiles);
    connect(ArchiveAction, &QAction::triggered, this, &TForm1::ShowCalibrationArchive);
}

void TForm1::showStatus(const QString& text) {
    statusBar()->showMessage(text, kStatusMs);
}

void TForm1::snapshotAtConnection(const KnownWords& read) {
    // The numbering just shown would be gone under the snapshot's words: one message for both.
    const QString numbered = std::exchange(m_numberedNote, QString());
    if (!m_archive)
        return;
    const QString snapshot = SnapshotStatusText(
        TakeSnapshot(m_link, *m_archive, m_serial, SnapshotReason::Connect, read));
    showStatus(numbered.isEmpty() ? snapshot : numbered + QStringLiteral(". ") + snapshot);
}

bool TForm1::LoadCalibration(const QString& path, EventKind kind) {
    m_timer1.stop();
    m_monitor->Cancel(); // what a tick read before the load is no longer what the map holds
    m_registry.PassAll();
    // The words a load overwrites are known before it writes, so that it can be undone whole;
    // only those no read has brought yet are read.
    (void)ReadSettings(m_link, m_history.KnownWords());
    std::optional<ChangeHistory::Group> group;
    group.emplace(m_history,
                  (kind == EventKind::Restored ? QStringLiteral("Восстановление из архива «%1»")
                                               : QStringLiteral("Загрузка из файла «%1»"))
                      .arg(FileName(path)));
    const auto outcome =
        LoadWithArchive(m_link, m_archive, m_serial, path, [this](const QString& reason) {
            return m_prompts.AskYesNo(LoadWithoutSnapshotQuestion(reason), Prompts::Kind::Warning);
        });
    group.reset();
    // Whatever happened, the window comes back showing what the controller now holds.
    m_registry.InitAll();
    m_map->LoadMap();
    m_timer1.start();
    if (!outcome) {
        m_prompts.Message(outcome.error(), Prompts::Kind::Error);
        return false;
    }
    if (!outcome->written) {
        showStatus(NotLoadedWithoutSnapshotText(path));
        return false;
    }
    if (outcome->snapshot)
        showStatus(BeforeLoadStatusText(*outcome->snapshot));
    if (const auto words = ReadSettingsFile(path))
        m_session.Record(kind, m_serial, *words);
    // The caption names a file only while the controller holds it.
    if (outcome->load.unanswered == 0 && outcome->differing.empty())
        setWindowTitle(CaptionWithFile(path));
    if (const QString warning = LoadOutcomeText(*outcome); !warning.isEmpty())
        m_prompts.Message(warning, Prompts::Kind::Warning);
    return true;
}

void TForm1::openControllerComparison(const QString& path, const QString& name, QWidget* parent,
                                      std::function<void()> afterWrite) {
    // Both sides read afresh, so a view opened again after a write shows the write.
    const auto compare = [this, path]() -> Expected<Comparison> {
        const auto controller = ReadSettings(m_link);
        if (!controller)
            return Failure{controller.error()};
        const auto file = ReadSettingsFile(path);
        if (!file)
            return Failure{file.error()};
        return Compare(*controller, *file);
    };
    const auto comparison = compare();
    if (!comparison) {
        m_prompts.Message(comparison.error(), Prompts::Kind::Error);
        return;
    }
    auto* dialog = new CompareDialog(
        kControllerName, name, *comparison,
        [this, path, compare, afterWrite]() -> std::optional<Comparison> {
            if (!m_connected || !LoadCalibration(path))
                return std::nullopt;
            if (afterWrite)
                afterWrite();
            const auto fresh = compare();
            if (!fresh)
                return std::nullopt;
            return *fresh;
        },
        parent, &m_prompts);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void TForm1::CompareWithFile() {
    if (!m_connected)
        return;
    CommitTypedValue(); // the controller is compared as the fitter last set it
    if (const auto chosen = m_prompts.OpenFileName(QString::fromUtf8(kSettingsFilter)))
        openControllerComparison(*chosen, FileName(*chosen), this);
}

void TForm1::CompareTwoFiles() {
    const QString filter = QString::fromUtf8(kSettingsFilter);
    const auto left =
        m_prompts.OpenFileNameFor(QStringLiteral("Сравнить два файла: первый (слева)"), filter);
    if (!left)
        return;
    const auto right = m_prompts.OpenFileNameFor(
        QStringLiteral("Сравнить два файла: второй (справа), с ним сравнивается «%1»")
            .arg(FileName(*left)),
        filter);
    if (!right)
        return;
    const auto comparison = CompareFiles(*left, *right);
    if (!comparison) {
        m_prompts.Message(comparison.error(), Prompts::Kind::Error);
        return;
    }
    auto* dialog = new CompareDialog(FileName(*left), FileName(*right), *comparison, {}, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void TForm1::ShowCalibrationArchive() {
    if (!m_connected)
        return;
    CommitTypedValue();
    if (!m_archive || !m_serial) {
        m_prompts.Message(m_archive ? QStringLiteral("Серийный номер контроллера не прочитан: "
                                                     "архив не к чему отнести.")
                                    : QStringLiteral("Архив калибровок не ведётся."),
                          Prompts::Kind::Warning);
        return;
    }
    auto* dialog = new ArchiveDialog(*m_serial, m_prompts, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    ArchiveDialog::Hooks hooks;
    hooks.compareWithController = [this, dialog](const Snapshot& s) {
        openControllerComparison(s.path, SnapshotCaption(s), dialog,
                                 [this, dialog] { refreshArchive(dialog); });
    };
    hooks.compareTwo = [this, dialog](const Snapshot& older, const Snapshot& newer) {
        const auto comparison = CompareFiles(older.path, newer.path);
        if (!comparison) {
            m_prompts.Message(comparison.error(), Prompts::Kind::Error);
            return;
        }
        auto* view = new CompareDialog(SnapshotCaption(older), SnapshotCaption(newer), *comparison,
                                       {}, dialog);
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->open();
    };
    hooks.restore = [this, dialog](const Snapshot& s) {
        if (m_connected)
            (void)LoadCalibration(s.path, EventKind::Restored);
        refreshArchive(dialog);
    };
    dialog->SetHooks(std::move(hooks));
    refreshArchive(dialog);
    dialog->open();
}

void TForm1::refreshArchive(ArchiveDialog* dialog) {
    if (!m_archive || !m_serial)
        return;
    const auto controller = ReadSettings(m_link);
    std::vector<ArchiveEntry> entries;
    for (Snapshot& s : m_archive->List(*m_serial)) {
        const auto values = ReadSettingsFile(s.path);
        std::optional<int> differences;
        if (controller && values)
            differences = Compare(*controller, *values).differing;
        entries.push_back({std::move(s), differences});
    }
    const QString folder = QDir::toNativeSeparators(m_archive->FolderFor(*m_serial));
    dialog->SetEntries(std::move(entries),
                       controller ? QStringLiteral("Папка архива: %1").arg(folder)
                                  : QStringLiteral("Отличия от контроллера неизвестны: %1\n"
                                                   "Папка архива: %2")
                                        .arg(controller.error(), folder));
}

} // namespace zef
