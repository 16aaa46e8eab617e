#include "cli/cli_registry.h"

#include "archive/compare.h"
#include "cli/cli_commands.h"
#include "files/disk_write.h"
#include "files/settings_file.h"
#include "registry/production_registry.h"
#include "registry/registry_numbering.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>

namespace zef {

namespace {

RegistryOptions OptionsFor(const CliEnvironment& environment, const QString& url) {
    return {.url = url,
            .workplace = ThisWorkplace(CliOptions::VersionText().trimmed()),
            .queueFile = environment.registryQueue,
            .schemaVersion = -1};
}

CommandResult RegistryFailed(const QString& error) {
    return FailedWith(FailureKind::Registry, error);
}

// What an event adds to the history's line: the check's verdict, or how many parameters the
// calibration changed against the one before it.
QString EventDetail(const RegistryEvent& event, const std::vector<std::uint16_t>* previous) {
    if (!event.checkJson.isEmpty()) {
        const bool pass = QJsonDocument::fromJson(event.checkJson.toUtf8())["pass"].toBool();
        return pass ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    }
    if (event.calibration.empty())
        return {};
    if (!previous)
        return QStringLiteral("установки: первые в истории");
    const Comparison comparison = Compare(*previous, event.calibration);
    return QStringLiteral("установки: изменено параметров %1").arg(comparison.differing);
}

CommandResult RunHistory(ProductionRegistry& registry, const QString& serial) {
    const auto events = registry.History(serial);
    if (!events)
        return RegistryFailed(events.error());
    if (events->empty())
        return DifferedWith(QStringLiteral("В реестре «%1» нет событий контроллера «%2».")
                                .arg(registry.Name(), serial));
    CommandResult result;
    QJsonArray rows;
    const std::vector<std::uint16_t>* previous = nullptr;
    for (const RegistryEvent& event : *events) {
        const QString detail = EventDetail(event, previous);
        if (!event.calibration.empty())
            previous = &event.calibration;
        QJsonObject json = EventJson(event);
        if (!detail.isEmpty())
            json["detail"] = detail;
        rows.append(json);
        result.lines << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6")
                            .arg(event.at.toString(Qt::ISODate), event.serial, event.station,
                                 event.user, QString::fromUtf8(KindRow(event.kind).caption), detail)
                            .trimmed();
    }
    result.json = {{"registry", registry.Name()}, {"serial", serial}, {"events", rows}};
    return result;
}

CommandResult RunStats(ProductionRegistry& registry) {
    const auto stats = registry.Stats();
    if (!stats)
        return RegistryFailed(stats.error());
    CommandResult result;
    QJsonArray days;
    for (const ControllerNumbers& row : stats->perDay) {
        days.append(
            QJsonObject{{"date", row.date}, {"station", row.station}, {"numbered", row.numbered}});
        result.lines << QStringLiteral("%1\t%2\t%3").arg(row.date, row.station).arg(row.numbered);
    }
    result.lines << QStringLiteral("Контроллеров: %1, номеров испорчено: %2")
                        .arg(stats->controllers)
                        .arg(stats->spent)
                 << QStringLiteral("Проверок: пройдено %1, не пройдено %2")
                        .arg(stats->checksPassed)
                        .arg(stats->checksFailed);
    result.json = {{"registry", registry.Name()},          {"per_day", days},
                   {"controllers", stats->controllers},    {"spent", stats->spent},
                   {"checks_passed", stats->checksPassed}, {"checks_failed", stats->checksFailed}};
    return result;
}

CommandResult RunImport(ProductionRegistry& registry, const QString& file) {
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly))
        return FailedWith(FailureKind::File, QStringLiteral("%1: %2").arg(file, log.errorString()));
    const auto summary = registry.ImportProtocolLog(log.readAll());
    if (!summary)
        return RegistryFailed(summary.error());
    CommandResult result;
    result.lines << QStringLiteral("Записей в журнале: %1, новых в реестре: %2")
                        .arg(summary->records)
                        .arg(summary->added)
                 << QStringLiteral("Последний номер: %1").arg(summary->last);
    result.json = {{"registry", registry.Name()},
                   {"file", file},
                   {"records", summary->records},
                   {"added", summary->added},
                   {"last", summary->last}};
    return result;
}

CommandResult RunExport(ProductionRegistry& registry, const QString& file) {
    const auto log = registry.ExportProtocolLog();
    if (!log)
        return RegistryFailed(log.error());
    if (const Status written = WriteFileAtomically(file, *log); !written)
        return FailedWith(FailureKind::File, written.error());
    const qsizetype records = log->size() / ProtocolRecord::kSize;
    CommandResult result;
    result.lines << QStringLiteral("Записей: %1 в %2").arg(records).arg(file);
    result.json = {{"registry", registry.Name()}, {"file", file}, {"records", records}};
    return result;
}

struct CommandEvent {
    std::string_view command;
    EventKind kind;
};

constexpr std::array kCommandEvents = {
    CommandEvent{"info", EventKind::Connected}, CommandEvent{"load", EventKind::Loaded},
    CommandEvent{"save", EventKind::Saved},     CommandEvent{"set", EventKind::Tuned},
    CommandEvent{"check", EventKind::Checked},
};

// The serial the event goes under: from the command's own reading where it made one.
std::optional<QString> ControllerSerial(CliLink& session, const CommandResult& result) {
    if (result.json.contains("serial") && !result.json.value("blank").toBool())
        return result.json.value("serial").toString();
    UnshownIdentity view;
    const IdentityReading identity = DeviceIdentity(session.Link(), QString()).ReadStored(view);
    if (!identity.complete || identity.serial == QString::fromLatin1(kBlankSerial))
        return std::nullopt;
    return identity.serial.trimmed();
}

} // namespace

namespace {

CommandResult RecordEvent(std::string_view command, CliEnvironment& environment, CliLink& session,
                          const std::function<std::optional<QString>()>& serialOf,
                          const QString& file, CommandResult result) {
    const auto row = std::find_if(kCommandEvents.begin(), kCommandEvents.end(),
                                  [&](const CommandEvent& e) { return e.command == command; });
    const bool changed = result.status == ExitStatus::Success ||
                         (row != kCommandEvents.end() && row->kind == EventKind::Checked &&
                          result.status == ExitStatus::Differs);
    if (environment.registryUrl.isEmpty() || row == kCommandEvents.end() || !changed)
        return result;
    const auto serial = serialOf();
    if (!serial)
        return result;
    ProductionRegistry registry(OptionsFor(environment, environment.registryUrl));
    RegistryEvent event = NewEvent(registry.Who(), *serial, row->kind);
    if (row->kind == EventKind::Checked)
        event.checkJson =
            QString::fromUtf8(QJsonDocument(result.json).toJson(QJsonDocument::Compact));
    // The calibration the controller holds now: the file just loaded or saved, or read anew.
    const auto calibration = row->kind == EventKind::Loaded || row->kind == EventKind::Saved
                                 ? ReadSettingsFile(file)
                             : row->kind == EventKind::Tuned ? ReadSettings(session.Link())
                                                             : Expected<SettingsValues>(Failure{});
    if (calibration)
        event.calibration = *calibration;
    registry.Record(event);
    if (const int waiting = registry.Waiting(); waiting > 0) {
        result.json["registry_waiting"] = waiting;
        result.lines << QStringLiteral("Реестр «%1» недоступен, событий ждёт: %2")
                            .arg(registry.Name())
                            .arg(waiting);
    }
    return result;
}

} // namespace

CommandResult RecordCommandEvent(const CliOptions& options, CliEnvironment& environment,
                                 CliLink& session, CommandResult result) {
    if (options.dryRun)
        return result;
    const std::string_view command = options.command->name;
    const QString file =
        command == "load" ? options.arguments[0] : result.json.value("file").toString();
    const auto serialOf = [&] { return ControllerSerial(session, result); };
    return RecordEvent(command, environment, session, serialOf, file, std::move(result));
}

CommandResult RecordStepEvent(std::string_view command, CliEnvironment& environment,
                              CliLink& session, const QString& serial, const QString& file,
                              CommandResult result) {
    const auto serialOf = [&]() -> std::optional<QString> {
        if (serial.isEmpty() || serial == QString::fromLatin1(kBlankSerial))
            return std::nullopt;
        return serial.trimmed();
    };
    return RecordEvent(command, environment, session, serialOf, file, std::move(result));
}

CommandResult RunRegistryCommand(const CliOptions& options, CliEnvironment& environment) {
    QString url = environment.registryUrl;
    if (url.isEmpty()) {
        url = environment.defaultRegistryUrl;
        if (const auto parsed = ParseRegistryUrl(url); parsed && !parsed->path.isEmpty())
            QDir().mkpath(QFileInfo(parsed->path).absolutePath());
    }
    ProductionRegistry registry(OptionsFor(environment, url));
    const QStringList& args = options.arguments;
    if (options.command->name == "history")
        return RunHistory(registry, args[0]);
    const QString& action = args[0];
    const auto usage = [&] {
        return FailedWith(FailureKind::Usage,
                          QStringLiteral("usage: zef-cli registry %1")
                              .arg(QString::fromUtf8(options.command->synopsis)));
    };
    if (action == QStringLiteral("import") && args.size() == 2 && options.protocolLst.isEmpty())
        return RunImport(registry, args[1]);
    if (action == QStringLiteral("export") && args.size() == 1 && !options.protocolLst.isEmpty())
        return RunExport(registry, options.protocolLst);
    if (action == QStringLiteral("stats") && args.size() == 1 && options.protocolLst.isEmpty())
        return RunStats(registry);
    return usage();
}

CommandResult RunRegistryNumber(CliLink& session, CliEnvironment& environment,
                                const CliOptions& options, IdentityReading* identity) {
    const LogFolder folder = environment.logFolder(options.logDir);
    if (options.dryRun)
        return PlanNumber(session,
                          environment.registryUrl.isEmpty()
                              ? QDir(folder.path).filePath(QString::fromLatin1(kProductionLogName))
                              : QString(),
                          environment.today, identity);
    if (environment.registryUrl.isEmpty())
        return RunNumber(session, folder, environment.today, nullptr, identity);
    ProductionRegistry registry(OptionsFor(environment, environment.registryUrl));
    // The log goes on beside the registry where the station keeps one: a folder named for it,
    // or a log already there.
    const QString logPath = QDir(folder.path).filePath(QString::fromLatin1(kProductionLogName));
    const bool keepsLog = folder.source == LogFolderSource::Named || QFileInfo::exists(logPath);
    RegistryNumbering numbering(registry, keepsLog ? std::optional(logPath) : std::nullopt);
    CommandResult result = RunNumber(session, folder, environment.today, &numbering, identity);
    if (!keepsLog) {
        result.json.remove("log");
        result.lines.removeIf([](const QString& line) { return line.startsWith("Журнал: "); });
    }
    result.json["registry"] = registry.Name();
    if (result.json.value("numbered").toBool())
        result.lines << QStringLiteral("Реестр: %1").arg(registry.Name());
    return result;
}

} // namespace zef
