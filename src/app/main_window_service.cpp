// The hidden service functions of the window, reached by the service gesture.

#include "app/main_window.h"

#include "dialogs/prompts.h"
#include "dialogs/service_gesture.h"

#include <QLabel>
#include <QMouseEvent>
#include <QTabBar>
#include <QTabWidget>

namespace zef {

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (LeavesTheEdit(watched, event))
        CommitTypedValue();
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const auto modifiers = press->modifiers();
        const auto buttons = press->buttons();
        if (watched == StaticText1) {
            if (StaticText1->isEnabled() && IsServiceGesture(modifiers, buttons)) {
                CommitTypedValue();
                emit StaticText1MouseDown();
            }
        } else if (watched == StaticText4) {
            StaticText4MouseDown(modifiers, buttons);
        } else if (watched == PageControl1->tabBar()) {
            PageControl1MouseDown(modifiers, buttons);
        } else if (watched == PageControl1 && !PageControl1->childAt(press->position().toPoint())) {
            // Only the tab control's own surface beside and around the tabs: a press that the
            // tab strip, a page or a control on a page did not take comes up to the tab control
            // as well, and the strip has counted its own already.
            PageControl1MouseDown(modifiers, buttons);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString TForm1::ServiceFunctionsText() {
    return QStringLiteral(
        "Скрытые функции открываются нажатием правой кнопки мыши при нажатых Shift, Ctrl и Alt:\n"
        "\n"
        "• на серийном номере — запись серийного номера вручную;\n"
        "• на счётчике наработки — обнуление наработки (с вопросом);\n"
        "• на вкладках параметров — панель «Дополнительно»: опорное напряжение, гистерезис "
        "датчика кислорода и напряжение питания (показать или скрыть).\n"
        "\n"
        "Функции работают при подключённом контроллере.");
}

void TForm1::StaticText4MouseDown(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    if (!StaticText4->isEnabled() || !IsServiceGesture(modifiers, buttons))
        return;
    if (StaticText4->text() == "0 ")
        return; // already reset
    CommitTypedValue();
    if (!m_prompts.AskYesNo("Обнулить наработку?", Prompts::Kind::Warning))
        return;
    (void)m_link.Exchange(Command::WriteParam, 35, 0);
    StaticText4->setText("0 ");
    m_session.Record(EventKind::CounterReset, m_serial);
}

void TForm1::PageControl1MouseDown(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    if (!IsServiceGesture(modifiers, buttons) || !m_connected)
        return;
    CommitTypedValue(); // the panel may hold the edit
    Panel1->setVisible(Panel1->isHidden());
    Panel2->setVisible(Panel2->isHidden());
}

} // namespace zef
