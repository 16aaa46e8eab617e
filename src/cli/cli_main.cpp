// zef-cli: the ZEF-K7LX controller from a script, over the same core as zef-service.

#include "archive/snapshot_archive.h"
#include "cli/cli_session.h"
#include "files/app_names.h"
#include "files/log_location.h"
#include "link/port_map.h"
#include "link/qt_serial_backend.h"
#include "sim/sim_backend.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Which device stands behind --port: COM1 ... COM4 as the window maps them, else the path.
struct ChosenDevice {
    zef::PortMap map;
    QString name;
};

ChosenDevice ChooseDevice(const zef::CliOptions& options) {
    ChosenDevice chosen;
    if (options.simulator) {
        chosen.map.Map(1, std::string(zef::PortMap::kSimulator));
        chosen.name = QStringLiteral("simulator");
        return chosen;
    }
    const QString port = options.port.isEmpty() ? QStringLiteral("COM1") : options.port;
    static const QRegularExpression com(QStringLiteral("^COM([1-4])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto match = com.match(port); match.hasMatch()) {
        const QString device =
            QString::fromStdString(zef::PortMap::DefaultDevice(match.captured(1).toInt()));
        chosen.map.Map(1, device.toStdString());
        chosen.name = QStringLiteral("%1 (%2)").arg(port.toUpper(), device);
        return chosen;
    }
    chosen.map.Map(1, port.toStdString());
    chosen.name = port;
    return chosen;
}

QStringList PortLines() {
    QStringList lines;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        lines << QStringLiteral("%1\t%2\t%3").arg(info.systemLocation(), info.description(),
                                                 info.manufacturer());
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    zef::UseApplicationNames();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const zef::CliOptions options = zef::CliOptions::Parse(QCoreApplication::arguments());
    if (!options.error.isEmpty() || options.help || options.version || !options.command) {
        zef::CliEnvironment nothing; // answered from the command line alone
        return zef::RunCli(options, nothing, out, err);
    }

    ChosenDevice chosen = ChooseDevice(options);
    auto simulator = std::make_shared<zef::sim::Simulator>(
        zef::sim::Simulator::Options{.blankIdentity = options.blank, .lineTiming = true});
    zef::MappedPortDirectory ports(chosen.map, [simulator] {
        return std::make_unique<zef::sim::SimBackend>(simulator);
    });
    QSettings settings;
    zef::CliEnvironment environment;
    environment.ports = &ports;
    environment.device = chosen.name;
    environment.dataFolder = zef::DataFolder(QString());
    environment.logFolder = [&settings](const std::optional<QString>& named) {
        return zef::ResolveLogFolder(zef::GatherLogFolderFacts(
            QCoreApplication::applicationDirPath(), zef::RememberNamedLogFolder(settings, named),
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    };
    environment.portLines = &PortLines;
    return zef::RunCli(options, environment, out, err);
}
