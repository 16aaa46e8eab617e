#pragma once

#include <QIcon>
#include <QString>

class QApplication;
class QCoreApplication;
class QSettings;

namespace zef {

// Installs Qt's own Russian texts (file dialogs, message box buttons, edit menus) for a window
// whose texts are Russian, whatever the desktop's language. False when the translations are
// not installed; Qt's texts then stay English.
bool LoadQtTranslations(QCoreApplication& app);

// The program's icon, drawn from the same picture the desktop entry shows.
[[nodiscard]] QIcon ProgramIcon();

// Everything the program sets on its application object before the first window: the style
// its fixed pixel layout is made for, its icon, its desktop entry and Qt's texts in Russian.
// Answers whether the translations were found.
bool SetUpDesktopApplication(QApplication& app);

class TForm1;

// What the window remembers from one run to the next, in the user's settings: its place on
// the screen ("window/geometry"), whether the map table shows ("window/mapTable") and the
// recent settings files ("recentFiles"). Restores it now and keeps the recent files up to date
// from here on.
void RestoreDesktopState(TForm1& form, QSettings& settings);
// Keeps the window's place for the next start; the program calls it when the window closes.
void SaveDesktopState(const TForm1& form, QSettings& settings);

} // namespace zef
