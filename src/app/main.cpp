// zef-service: the service tool for the ZEF-K7LX gas injection controller.

#include "app/desktop.h"
#include "app/main_window.h"
#include "app/options.h"
#include "app/registry_status.h"
#include "archive/snapshot_archive.h"
#include "dialogs/about_box.h"
#include "dialogs/history_dialog.h"
#include "dialogs/prompts.h"
#include "dialogs/serial_dialog.h"
#include "files/cp1251.h"
#include "files/disk_write.h"
#include "files/log_location.h"
#include "link/port_list.h"
#include "link/port_memory.h"
#include "link/qt_serial_backend.h"
#include "registry/registry_numbering.h"
#include "registry/registry_url.h"
#include "session/controller_session.h"
#include "sim/sim_backend.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>

#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int printPorts() {
    const auto ports = zef::ListSerialPorts();
    for (const zef::PortInfo& port : ports)
        std::printf("%s\n", zef::FormatPortLine(port).c_str());
    if (ports.empty())
        std::fputs("zef-service: the system has no serial ports\n", stderr);
    return 0;
}

// Help, version and a command line that is plainly wrong are answered before the window
// toolkit looks for a display, so they work over ssh and in scripts. Answers an exit code,
// or nothing when the program is to start.
std::optional<int> answerWithoutDisplay(int argc, char** argv) {
    const QStringList arguments = argumentsOf(argc, argv);
    const zef::AppOptions early = zef::AppOptions::Parse(arguments);
    if (early.help || early.version) {
        std::fputs(
            qPrintable(early.help ? zef::AppOptions::Usage() : zef::AppOptions::VersionText()),
            stdout);
        return 0;
    }
    if (early.listPorts && early.error.isEmpty())
        return printPorts();
    if (!early.error.isEmpty() && !zef::AppOptions::OnlyToolkitOptionsUnknown(arguments)) {
        std::fprintf(stderr, "zef-service: %s\n\n%s", qPrintable(early.error),
                     qPrintable(zef::AppOptions::Usage()));
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    zef::SetApplicationIdentity();
    if (const auto answered = answerWithoutDisplay(argc, argv))
        return *answered;

    QApplication app(argc, argv);
    if (!zef::SetUpDesktopApplication(app))
        std::fputs("zef-service: Qt's Russian translations are not installed; its own dialogs "
                   "stay English (Debian: qt6-translations-l10n)\n",
                   stderr);

    // The toolkit has taken its own options out; the rest must all be ours.
    const zef::AppOptions options = zef::AppOptions::Parse(QApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "zef-service: %s\n\n%s", qPrintable(options.error),
                     qPrintable(zef::AppOptions::Usage()));
        return 2;
    }
    if (options.listPorts) // asked for next to the toolkit's own options
        return printPorts();

    QSettings settings; // per user, under the organisation and application names
    const zef::LogFolder logFolder = zef::ResolveLogFolder(zef::GatherLogFolderFacts(
        QCoreApplication::applicationDirPath(),
        zef::RememberNamedLogFolder(settings, options.logDir),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));

    // One simulated controller for the whole run, so a reconnection finds what was written.
    auto simulator = std::make_shared<zef::sim::Simulator>(zef::sim::Simulator::Options{
        .blankIdentity = options.simulatorBlankIdentity, .lineTiming = true});
    zef::PortMap portMap = options.ports;
    zef::ApplyRememberedPorts(settings, portMap);
    zef::MappedPortDirectory ports(
        portMap, [simulator] { return std::make_unique<zef::sim::SimBackend>(simulator); });
    // The window's thread never waits on the line: the monitor's exchanges have a thread of
    // their own.
    zef::ControllerSession session(ports, zef::Threading::LineThread);
    zef::QtPrompts prompts(nullptr, &settings);

    zef::TForm1 form(session, prompts, logFolder.path);
    form.SetLogFolderNote(zef::DescribeLogFolder(logFolder));
    // With a registry the numbers come from it, and a log the station keeps gets them too.
    const QString registryUrl = zef::RememberRegistry(settings, options.registry);
    std::optional<zef::ProductionRegistry> registry;
    std::optional<zef::RegistryNumbering> numbering;
    if (!registryUrl.isEmpty()) {
        const QString logPath =
            QDir(logFolder.path).filePath(QString::fromLatin1(zef::kProductionLogName));
        const bool keepsLog =
            logFolder.source == zef::LogFolderSource::Named || QFileInfo::exists(logPath);
        const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(userData);
        registry.emplace(zef::RegistryOptions{
            .url = registryUrl,
            .workplace =
                zef::ThisWorkplace("zef-service " + QCoreApplication::applicationVersion()),
            .queueFile = QDir(userData).filePath("registry-queue.jsonl"),
            .schemaVersion = -1});
        numbering.emplace(*registry, keepsLog ? std::optional(logPath) : std::nullopt);
        // Every action of the window on a numbered controller goes into its history.
        session.SetEventSink([&registry](zef::EventKind kind, const QString& serial,
                                         const std::vector<std::uint16_t>& calibration) {
            zef::RegistryEvent event = zef::NewEvent(registry->Who(), serial, kind);
            event.calibration = calibration;
            registry->Record(event);
        });
        form.SetNumberSource(&*numbering);
        form.statusBar()->addPermanentWidget(new zef::RegistryStatus(*registry, &form));
        auto* service = new QMenu(QStringLiteral("&Сервис"), form.menuBar());
        form.menuBar()->insertMenu(form.menuBar()->actions().last(), service);
        QObject::connect(service->addAction(QStringLiteral("История контроллера...")),
                         &QAction::triggered, &form, [&] {
                             const QString serial = form.StaticText1->text().trimmed();
                             const auto events = registry->History(serial);
                             if (!events)
                                 return prompts.Message(events.error(), zef::Prompts::Kind::Error);
                             zef::HistoryDialog(serial, *events, &form).exec();
                         });
    }
    prompts.SetParent(&form);
    const zef::CalibrationArchive archive(zef::DataFolder(options.dataDir));
    form.SetArchive(&archive);
    form.SetPortSetup({.map = &ports.Map(), .settings = &settings, .list = &zef::ListSerialPorts});
    zef::TForm2 serialDialog(
        {.currentSerial = [&form] { return form.StaticText1->text(); },
         .writeSerial = [&form](const QString& serial) { return form.WriteSerialNumber(serial); },
         .acceptsCharacter = [](QChar c) { return zef::IsCp1251Representable(QString(c)); },
         .prompts = &prompts},
        QString::fromLatin1(zef::ReleaseDateText(QDate::currentDate())), &form);
    zef::TForm3 about(&form);
    QObject::connect(&form, &zef::TForm1::StaticText1MouseDown, &serialDialog, &QDialog::exec);
    QObject::connect(&form, &zef::TForm1::N6Click, &about, &QDialog::exec);

    zef::RestoreDesktopState(form, settings);
    form.show();
    const int result = QApplication::exec();
    zef::SaveDesktopState(form, settings);
    session.SetEventSink({}); // the registry goes first
    return result;
}
