// What the fitter typed into an edit is written when the fitter leaves the edit, however that
// happens. Focus moving to another control commits it in the edit itself; this file covers the
// ways out that do not move the focus first. A tab strip takes no focus and hides the page,
// and the edit on it, before the edit loses the focus; a menu opens as a pop-up, which the edit
// does not count as leaving; a shortcut, the end of the session or of the program and the
// service actions park or hide the edit without touching the focus at all. A hidden or parked
// edit changes silently, so each of these commits first, while the edit still shows.

#include "app/main_window.h"

#include "controls/ext_edit.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>

namespace zef {

void TForm1::CommitTypedValue() {
    // The window's focus edit keeps its typed text while a pop-up or another window has the
    // keyboard, so it is the one to look at even then.
    auto* edit = qobject_cast<TExtEdit*>(focusWidget());
    if (edit && edit->isVisible())
        edit->CommitTypedText();
}

void TForm1::closeEvent(QCloseEvent* event) {
    CommitTypedValue();
    StopRecording();
    QMainWindow::closeEvent(event);
}

void TForm1::watchWaysOutOfTheEdits() {
    for (QTabWidget* tabs : findChildren<QTabWidget*>()) {
        tabs->installEventFilter(this);
        tabs->tabBar()->installEventFilter(this);
    }
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &TForm1::CommitTypedValue);
    // A shortcut reaches its action before the action triggers.
    for (QAction* action : findChildren<QAction*>())
        action->installEventFilter(this);
}

bool TForm1::LeavesTheEdit(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Shortcut)
        return qobject_cast<QAction*>(watched) != nullptr;
    if (qobject_cast<QTabBar*>(watched))
        return event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel;
    if (qobject_cast<QTabWidget*>(watched) && event->type() == QEvent::KeyPress) {
        // The keys with which a tab control turns its pages, come up from the edit on a page.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool turnsPage = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
                               key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown;
        return turnsPage && (key->modifiers() & Qt::ControlModifier);
    }
    return false;
}

} // namespace zef
