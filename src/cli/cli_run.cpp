#include "cli/cli_check.h"
#include "cli/cli_commands.h"
#include "cli/cli_registry.h"
#include "cli/cli_session.h"
#include "cli/cli_station.h"
#include "cli/cli_tune.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>

#include <unistd.h>

namespace zef {

namespace {

CommandResult RunOnController(const CliOptions& options, CliEnvironment& environment,
                              CliLink& session);

// The files a command reads or writes, by the names the command line gives them.
QStringList NamedFiles(const CliOptions& options) {
    const std::string_view name = options.command->name;
    QStringList files{options.report, options.csv, options.file, options.out, options.protocolLst};
    if (name == "load" || name == "save" || name == "check" || name == "station" || name == "tune")
        files << options.arguments.value(0);
    if (name == "diff")
        for (const QString& side : options.arguments)
            if (side != QStringLiteral("controller"))
                files << side;
    if (name == "registry" && options.arguments.size() == 2)
        files << options.arguments[1];
    return files;
}

// A FIFO or a device where a file belongs would be waited on for ever, or written into: a
// station's script must hear of it at once, before anything is sent.
std::optional<QString> NotAFile(const CliOptions& options) {
    for (const QString& path : NamedFiles(options)) {
        if (path.isEmpty())
            continue;
        if (const QFileInfo info(path); info.exists() && !info.isFile())
            return QStringLiteral("«%1»: не обычный файл (канал, устройство или папка); нужен файл")
                .arg(path);
    }
    return std::nullopt;
}

// Standard output carries either a file named "-" or the command's JSON object, not both; and
// standard input is one file.
std::optional<QString> StreamsMisused(const CliOptions& options) {
    const std::string_view name = options.command->name;
    const bool written = options.report == kStandardStream || options.csv == kStandardStream ||
                         (name == "save" && options.arguments[0] == "-");
    if (written && options.json)
        return QStringLiteral("«-» writes to standard output, which --json needs for itself");
    if (options.arguments.count(kStandardStream) > 1)
        return QStringLiteral("only one file can be standard input («-»)");
    return std::nullopt;
}

Expected<StationLimits> LimitsFrom(const QString& path, CliEnvironment& environment) {
    if (path != kStandardStream)
        return ReadStationLimits(path, ChannelKeys(environment));
    // Read from a pipe, the limits name their calibration from where the script runs.
    auto limits =
        ParseStationLimits(environment.input(), QDir::currentPath(), ChannelKeys(environment));
    if (!limits)
        return Failure{QStringLiteral("Файл пределов «-»: %1").arg(limits.error())};
    return limits;
}

CommandResult Dispatch(const CliOptions& given, CliEnvironment& environment) {
    if (const auto notFile = NotAFile(given))
        return FailedWith(FailureKind::Usage, *notFile);
    if (const auto misused = StreamsMisused(given))
        return FailedWith(FailureKind::Usage, *misused);
    // A file from standard input (settings, a recording, a production log) is read as any file
    // is, from a copy of its bytes.
    CliOptions options = given;
    QTemporaryFile piped;
    const std::string_view command = options.command->name;
    if (const qsizetype at = options.arguments.indexOf(kStandardStream);
        at >= 0 && (command == "load" || command == "diff" || command == "tune" ||
                    (command == "registry" && at == 1 && options.arguments[0] == "import"))) {
        if (!piped.open() || piped.write(environment.input()) < 0 || !piped.flush())
            return FailedWith(FailureKind::File,
                              QStringLiteral("standard input: %1").arg(piped.errorString()));
        options.arguments[at] = piped.fileName();
    }
    const std::string_view name = options.command->name;
    const QStringList& args = options.arguments;
    if (name == "ports") {
        CommandResult result;
        result.lines = environment.portLines ? environment.portLines() : QStringList();
        result.json = {{"ports", QJsonArray::fromStringList(result.lines)}};
        return result;
    }
    if (name == "diff")
        return RunDiff(environment, args[0], args[1]);
    if (name == "tune")
        return RunTune(environment, options);
    if (name == "registry" || name == "history")
        return RunRegistryCommand(options, environment);
    if (name == "check" || name == "station") {
        // The limits file is read before the controller is, so a bad one costs no exchange.
        auto limits = LimitsFrom(args[0], environment);
        if (!limits)
            return FailedWith(FailureKind::Usage, limits.error());
        // A station whose limits forgot the calibration would pass controllers never loaded.
        if (name == "station" && limits->calibration.isEmpty())
            return FailedWith(FailureKind::Usage,
                              QStringLiteral("Файл пределов «%1»: для station нужен ключ "
                                             "«calibration» с файлом настроек")
                                  .arg(args[0]));
        CliLink session(environment);
        CommandResult connected = session.Connect();
        if (connected.status != ExitStatus::Success)
            return connected;
        if (name == "station")
            return RunStation(session, environment, options, *limits);
        return RecordCommandEvent(options, environment, session,
                                  RunCheck(session, environment, *limits, options.report));
    }

    // An empty file name is the command line's mistake: nothing is sent for it.
    if ((name == "save" || name == "load") && args[0].isEmpty())
        return FailedWith(FailureKind::Usage,
                          QStringLiteral("%1 needs a file name").arg(QString::fromUtf8(name)));
    CliLink session(environment);
    if (CommandResult connected = session.Connect(); connected.status != ExitStatus::Success) {
        if (name == "info") {
            connected.json = {{"device", environment.device}, {"answers", false}};
            connected.lines << QStringLiteral("Контроллер отвечает: нет");
        }
        return connected;
    }
    return RecordCommandEvent(options, environment, session,
                              RunOnController(options, environment, session));
}

CommandResult RunOnController(const CliOptions& options, CliEnvironment& environment,
                              CliLink& session) {
    const std::string_view name = options.command->name;
    const QStringList& args = options.arguments;
    if (name == "info")
        return RunInfo(session);
    if (name == "read")
        return RunRead(session);
    if (name == "get")
        return RunGet(session, args[0]);
    if (name == "set")
        return RunSet(session, args, options.clamp);
    if (name == "save")
        return RunSave(session, args[0], options.force);
    if (name == "load" && options.dryRun)
        return PlanLoad(session, args[0], options.allowShort);
    if (name == "load")
        return RunLoad(session,
                       options.dataDir.isEmpty() ? environment.dataFolder : options.dataDir,
                       args[0], options.force, options.allowShort);
    if (name == "number")
        return RunRegistryNumber(session, environment, options);
    if (name == "monitor")
        return RunMonitor(session, environment,
                          {.periodMs = options.periodMs,
                           .count = options.count,
                           .csv = options.csv,
                           .force = options.force});
    return FailedWith(FailureKind::Usage, QStringLiteral("unknown command"));
}

} // namespace

QString TerminalText(const QString& text, bool keepLines) {
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (keepLines && (u == '\t' || u == '\n'))
            shown += c;
        else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QChar('0'));
        else if (u == '\\' && !keepLines)
            shown += QStringLiteral("\\\\");
        else
            shown += c;
    }
    return shown;
}

CommandResult RunCommand(const CliOptions& options, CliEnvironment& environment) {
    if (!options.command)
        return FailedWith(FailureKind::Usage, options.error);
    // The controller gets four clock steps to answer: a timeout sets the step.
    if (options.timeoutMs)
        environment.step =
            std::max(std::chrono::milliseconds(1),
                     std::chrono::milliseconds(*options.timeoutMs) / SerialChannel::kWaitPeriods);
    environment.retries = options.retries;
    return Dispatch(options, environment);
}

QString TimeWithOffset(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QJsonObject ErrorObject(FailureKind kind, const QString& message) {
    return {{"kind", QString::fromUtf8(KindText(kind))}, {"message", message}};
}

int RunCli(const CliOptions& options, CliEnvironment& environment, QTextStream& out,
           QTextStream& err) {
    if (!options.error.isEmpty()) {
        if (options.json) {
            QJsonObject json{{"schema", kJsonSchema},
                             {"status", Code(ExitStatus::BadUsage)},
                             {"error", ErrorObject(FailureKind::Usage, options.error)}};
            if (options.command)
                json["command"] = QString::fromUtf8(options.command->name);
            out << QJsonDocument(json).toJson(QJsonDocument::Compact) << "\n";
            out.flush();
            err << "zef-cli: " << options.error << "\n";
        } else {
            err << "zef-cli: " << options.error << "\n\n" << CliOptions::Usage();
        }
        return Code(ExitStatus::BadUsage);
    }
    if (options.help || options.version) {
        out << (options.help ? CliOptions::Usage() : CliOptions::VersionText());
        return Code(ExitStatus::Success);
    }
    environment.json = options.json;
    if (!environment.input)
        environment.input = [] {
            QFile in;
            return in.open(stdin, QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        };
    if (options.trace && !environment.trace)
        environment.trace = [&err](const QString& line) {
            err << line << "\n";
            err.flush();
        };
    // Someone at a terminal sees a long command move; a script reading stderr gets no noise.
    const bool showProgress = !environment.progress && !options.quiet && !options.json &&
                              !options.trace && ::isatty(STDERR_FILENO) == 1;
    QElapsedTimer sinceShown;
    bool shown = false;
    if (showProgress) {
        sinceShown.start();
        environment.progress = [&err, &sinceShown, &shown,
                                name = options.command ? QString::fromUtf8(options.command->name)
                                                       : QString()](int exchanges) {
            if (sinceShown.elapsed() < 200)
                return;
            sinceShown.restart();
            shown = true;
            err << "\r" << name << ": обменов с контроллером " << exchanges << "\x1b[K";
            err.flush();
        };
    }
    if (!environment.live)
        environment.live = [&out](const QString& line) {
            out << line << "\n";
            out.flush();
        };
    CommandResult result = RunCommand(options, environment);
    if (shown) {
        err << "\r\x1b[K"; // the progress line makes way for the result
        err.flush();
    }
    if (options.json) {
        QJsonObject json = result.json;
        json["schema"] = kJsonSchema;
        json["command"] = QString::fromUtf8(options.command->name);
        json["status"] = Code(result.status);
        if (result.kind)
            json["error"] = ErrorObject(*result.kind, result.error);
        else if (!result.error.isEmpty())
            json["message"] = result.error;
        out << QJsonDocument(json).toJson(QJsonDocument::Compact) << "\n";
    } else if (result.output) {
        // A settings file is digits and a report UTF-8: both pass the text stream unchanged.
        out << QString::fromUtf8(*result.output);
    } else if (!options.quiet) {
        // Whatever a command let through, no control character reaches the terminal raw.
        for (const QString& line : result.lines)
            out << TerminalText(line, true) << "\n";
    }
    out.flush();
    if (!result.error.isEmpty())
        err << "zef-cli: " << TerminalText(result.error, true) << "\n";
    err.flush();
    return Code(result.status);
}

} // namespace zef
