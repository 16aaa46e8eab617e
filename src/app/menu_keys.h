#pragma once

#include <QObject>

class QKeyEvent;
class QMainWindow;
class QMenu;

namespace zef {

// True when the event comes from the key that sits where F does on a Latin keyboard, whatever
// letter the active layout gives it: the key's place is told by the native code, not the text.
[[nodiscard]] bool IsPhysicalF(const QKeyEvent& event);

// F10 and Alt with the F key open `menu` of the window's menu bar under any keyboard layout:
// with a Russian layout Alt+F arrives as Alt+А, which no mnemonic of the menu bar takes.
// Watches the key events of every widget of the window.
class MenuKeys : public QObject {
    Q_OBJECT
public:
    MenuKeys(QMainWindow& window, QMenu& menu);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] bool opensMenu(const QKeyEvent& event) const;

    QMainWindow& m_window;
    QMenu& m_menu;
};

} // namespace zef
