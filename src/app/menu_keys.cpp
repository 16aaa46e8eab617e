#include "app/menu_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace zef {

namespace {

// The F key's native codes: X11 and Wayland give the evdev code plus 8 as the scan code,
// Windows the set-1 scan code, macOS the ANSI virtual key.
#if defined(Q_OS_WIN)
constexpr quint32 kScanCodeF = 0x21;
#elif defined(Q_OS_MACOS)
constexpr quint32 kVirtualKeyF = 0x03;
#else
constexpr quint32 kScanCodeF = 33 + 8;
#endif

} // namespace

bool IsPhysicalF(const QKeyEvent& event) {
    if (event.key() == Qt::Key_F)
        return true;
#if defined(Q_OS_MACOS)
    return event.nativeVirtualKey() == kVirtualKeyF;
#else
    return event.nativeScanCode() == kScanCodeF;
#endif
}

MenuKeys::MenuKeys(QMainWindow& window, QMenu& menu)
    : QObject(&window), m_window(window), m_menu(menu) {
    // The focus widget, not the window, gets the keys: only the application sees them all.
    qApp->installEventFilter(this);
}

bool MenuKeys::opensMenu(const QKeyEvent& event) const {
    const Qt::KeyboardModifiers modifiers =
        event.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    if (event.key() == Qt::Key_F10)
        return modifiers == Qt::NoModifier;
    return modifiers == Qt::AltModifier && IsPhysicalF(event);
}

bool MenuKeys::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    // Keys of this window only; an open menu or a dialog has its own window.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &m_window)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!opensMenu(*key))
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Taken as a key press, so that no shortcut of the layout's letter gets it first.
        key->accept();
        return true;
    }
    m_window.menuBar()->setActiveAction(m_menu.menuAction());
    return true;
}

} // namespace zef
