// "Правка": the changes this session made to the controller, undone and redone.

#include "app/main_window.h"

#include "app/change_journal.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "app/parameter_table.h"
#include "archive/compare.h"
#include "dialogs/prompts.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace zef {

namespace {

QString ReplayQuestion(bool back, const ChangeStep& step, std::size_t registers) {
    return (back ? QStringLiteral("Отменить «%1»?\nВ контроллер будут записаны прежние значения "
                                  "параметров: %2.")
                 : QStringLiteral("Повторить «%1»?\nВ контроллер будут снова записаны значения "
                                  "параметров: %2."))
        .arg(ChangeJournal::StepText(step))
        .arg(registers);
}

QString ReplayFailureText(bool back, const ReplayFailure& failure, std::uint16_t wanted) {
    const QString what = back ? QStringLiteral("Не отменено") : QStringLiteral("Не повторено");
    const QString caption = RegisterCaption(failure.address);
    if (!failure.written)
        return QStringLiteral("%1: контроллер не ответил на запись «%2».").arg(what, caption);
    if (!failure.held)
        return QStringLiteral("%1: контроллер не ответил на чтение «%2».").arg(what, caption);
    return QStringLiteral("%1: «%2» читается %3 вместо %4.")
        .arg(what, caption, ShownValue(failure.address, *failure.held),
             ShownValue(failure.address, wanted));
}

} // namespace

void TForm1::addEditMenu() {
    QMenu* edit = menuBar()->addMenu("&Правка");
    edit->setObjectName("EditMenu");
    UndoAction = edit->addAction("&Отменить");
    UndoAction->setObjectName("UndoAction");
    UndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    RedoAction = edit->addAction("&Повторить");
    RedoAction->setObjectName("RedoAction");
    RedoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addSeparator();
    QAction* journal = edit->addAction("&Журнал изменений");
    journal->setObjectName("ChangeJournalAction");
    connect(UndoAction, &QAction::triggered, this, [this] { (void)UndoChange(); });
    connect(RedoAction, &QAction::triggered, this, [this] { (void)RedoChange(); });
    connect(journal, &QAction::triggered, this, [this] { ShowChangeJournal(); });
    connect(&m_history, &ChangeHistory::Changed, this, &TForm1::showUndoState,
            Qt::QueuedConnection);
    showUndoState();
}

void TForm1::showUndoState() {
    if (!UndoAction)
        return;
    const bool live = m_connected && !m_supervisor->IsLost();
    const auto done = m_history.Done();
    const auto undone = m_history.Undone();
    UndoAction->setEnabled(live && !done.empty());
    RedoAction->setEnabled(live && !undone.empty());
    UndoAction->setToolTip(done.empty() ? QString() : ChangeJournal::StepText(done.back()));
    RedoAction->setToolTip(undone.empty() ? QString() : ChangeJournal::StepText(undone.back()));
}

bool TForm1::UndoChange() {
    return replayStep(true);
}

bool TForm1::RedoChange() {
    return replayStep(false);
}

bool TForm1::replayStep(bool back) {
    if (!m_connected || m_supervisor->IsLost())
        return false;
    const auto steps = back ? m_history.Done() : m_history.Undone();
    if (steps.empty())
        return false;
    const ChangeStep& step = steps.back();
    const auto words = back ? WordsBefore(step) : WordsAfter(step);
    if (words.empty()) {
        showStatus(QStringLiteral("Не отменено: прежнее значение не было прочитано из "
                                  "контроллера."));
        return false;
    }
    // One register is one keystroke away from being put right again; many are not.
    if (words.size() > 1 &&
        !m_prompts.AskYesNo(ReplayQuestion(back, step, words.size()), Prompts::Kind::Confirmation))
        return false;

    m_timer1.stop();
    m_monitor->Cancel(); // what a tick read before the writes is no longer what the map holds
    std::optional<ReplayFailure> failure;
    {
        // Whatever the refresh writes on the way is the controller's own state, not a new step.
        const ChangeHistory::Replay replay(m_history);
        failure = WriteAndReadBack(m_link, words);
        m_registry.InitAll();
    }
    m_map->LoadMap();
    m_timer1.start();
    if (m_parameterTable && m_parameterTable->isVisible())
        (void)m_parameterTable->Reload();
    if (failure) {
        std::uint16_t wanted = 0;
        for (const auto& [address, word] : words) {
            if (address == failure->address)
                wanted = word;
        }
        const QString text = ReplayFailureText(back, *failure, wanted);
        showStatus(text);
        m_prompts.Message(text, Prompts::Kind::Warning);
        return false;
    }
    if (back)
        m_history.MarkUndone();
    else
        m_history.MarkRedone();
    showStatus((back ? QStringLiteral("Отменено: ") : QStringLiteral("Повторено: ")) +
               ChangeJournal::StepText(step));
    return true;
}

ChangeJournal* TForm1::ShowChangeJournal() {
    if (!m_changeJournal) {
        m_changeJournal = new ChangeJournal(m_history, this);
        m_changeJournal->setWindowFlag(Qt::Window);
    }
    m_changeJournal->show();
    m_changeJournal->raise();
    m_changeJournal->activateWindow();
    return m_changeJournal;
}

} // namespace zef
