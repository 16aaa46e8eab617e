#pragma once

#include "files/app_names.h"
#include "link/port_map.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace zef {

// Sets the organisation, application name and version. Needs no application object, so the
// command line can be answered before a display is opened.
void SetApplicationIdentity();

// The program's command line. Without options it behaves as on a desktop with COM1 to COM4.
struct AppOptions {
    PortMap ports;
    bool simulatorBlankIdentity = false;
    // --log-dir: the production log's folder; an empty value forgets the one remembered.
    std::optional<QString> logDir;
    QString dataDir; // the calibration archive's folder; empty: the per-user data folder
    // --registry: the production registry numbers come from; an empty value forgets it.
    std::optional<QString> registry;
    bool help = false;
    bool version = false;
    bool listPorts = false; // print the system's serial ports and exit
    QString error;          // set when the command line cannot be used

    // arguments[0] is the program. Options apply in the order given, so a later one wins.
    [[nodiscard]] static AppOptions Parse(const QStringList& arguments);
    [[nodiscard]] static QString Usage();
    [[nodiscard]] static QString VersionText();
    // True when every option the command line did not know is one the window toolkit takes
    // (-platform, -display ...): only the application object can tell whether they are right.
    [[nodiscard]] static bool OnlyToolkitOptionsUnknown(const QStringList& arguments);
};

} // namespace zef
