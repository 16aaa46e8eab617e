#pragma once

#include "link/port_map.h"

#include <QString>
#include <QStringList>

namespace zef {

// The program's command line. Without options it behaves as on a desktop with COM1 to COM4.
struct AppOptions {
    PortMap ports;
    bool simulatorBlankIdentity = false;
    QString dataDir; // the calibration archive's folder; empty: the per-user data folder
    bool help = false;
    QString error; // set when the command line cannot be used

    [[nodiscard]] static AppOptions Parse(const QStringList& arguments);
    [[nodiscard]] static QString Usage();
};

} // namespace zef
