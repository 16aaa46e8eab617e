// zef-cli: the ZEF-K7LX controller from a script, over the same core as zef-service.

#include "archive/snapshot_archive.h"
#include "cli/cli_session.h"
#include "files/app_names.h"
#include "files/disk_write.h"
#include "files/log_location.h"
#include "link/port_list.h"
#include "link/port_map.h"
#include "link/port_memory.h"
#include "link/qt_serial_backend.h"
#include "registry/registry_url.h"
#include "sim/sim_backend.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>

namespace {

// Which device stands behind --port: COM1 ... COM4 as the window maps them, else the path.
struct ChosenDevice {
    zef::PortMap map;
    QString name;
    bool assumed = false; // neither --port nor ZEF_PORT named it
};

ChosenDevice ChooseDevice(const zef::CliOptions& options, const QSettings& settings) {
    ChosenDevice chosen;
    if (options.simulator) {
        chosen.map.Map(1, std::string(zef::PortMap::kSimulator));
        chosen.name = QStringLiteral("simulator");
        return chosen;
    }
    // ZEF_PORT names a station's port once for all its commands.
    const QString fromEnvironment = qEnvironmentVariable("ZEF_PORT");
    const QString port = !options.port.isEmpty()      ? options.port
                         : !fromEnvironment.isEmpty() ? fromEnvironment
                                                      : QStringLiteral("COM1");
    chosen.assumed = options.port.isEmpty() && fromEnvironment.isEmpty();
    const auto device = zef::ResolvePortName(port.toStdString(), zef::RememberedPortMap(settings));
    if (!device)
        return chosen; // COM5 and above: no port the window knows
    chosen.map.Map(1, *device);
    chosen.name =
        *device == port.toStdString()
            ? port
            : QStringLiteral("%1 (%2)").arg(port.toUpper(), QString::fromStdString(*device));
    return chosen;
}

QStringList PortLines() {
    QStringList lines;
    for (const zef::PortInfo& port : zef::ListSerialPorts())
        lines << QString::fromStdString(zef::FormatPortLine(port));
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    zef::UseApplicationNames();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const zef::CliOptions options = zef::CliOptions::Parse(QCoreApplication::arguments());
    if (!options.error.isEmpty() || options.help || options.version || !options.command) {
        zef::CliEnvironment nothing; // answered from the command line alone
        return zef::RunCli(options, nothing, out, err);
    }

    QSettings settings;
    ChosenDevice chosen = ChooseDevice(options, settings);
    if (chosen.name.isEmpty()) {
        zef::CliOptions unusable = options;
        unusable.error = QStringLiteral("%1: COM1 ... COM4 or a device path").arg(options.port);
        zef::CliEnvironment nothing;
        return zef::RunCli(unusable, nothing, out, err);
    }
    // A station wired to another port would otherwise only hear that nothing answers on COM1.
    if (chosen.assumed && options.command->needsController && !options.quiet)
        err << "zef-cli: no --port or ZEF_PORT given: " << chosen.name << " assumed\n";
    err.flush();
    auto simulator = std::make_shared<zef::sim::Simulator>(
        zef::sim::Simulator::Options{.blankIdentity = options.blank, .lineTiming = true});
    zef::MappedPortDirectory ports(
        chosen.map, [simulator] { return std::make_unique<zef::sim::SimBackend>(simulator); });
    zef::CliEnvironment environment;
    environment.ports = &ports;
    environment.device = chosen.name;
    environment.dataFolder = zef::DataFolder(QString());
    // A folder named on the command line is used at once but remembered only once a command
    // has worked with it: a mistyped or unmounted one must not become every later run's log.
    environment.logFolder = [&settings](const std::optional<QString>& named) {
        const QString folder = named && !named->isEmpty()
                                   ? QFileInfo(*named).absoluteFilePath()
                                   : zef::RememberNamedLogFolder(settings, named);
        return zef::ResolveLogFolder(zef::GatherLogFolderFacts(
            QCoreApplication::applicationDirPath(), folder,
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    };
    environment.portLines = &PortLines;
    environment.registryUrl = zef::RememberRegistry(settings, options.registry);
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    environment.defaultRegistryUrl = zef::DefaultRegistryUrl(userData);
    if (QDir().mkpath(userData))
        environment.registryQueue = QDir(userData).filePath(QStringLiteral("registry-queue.jsonl"));
    const int status = zef::RunCli(options, environment, out, err);
    const bool logWorked = status != zef::Code(zef::ExitStatus::FileError) &&
                           status != zef::Code(zef::ExitStatus::BadUsage);
    if (options.logDir && !options.logDir->isEmpty() && logWorked && !options.dryRun)
        (void)zef::RememberNamedLogFolder(settings, options.logDir);
    return status;
}
