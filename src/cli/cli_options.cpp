#include "cli/cli_options.h"

#include <QCommandLineParser>

#include <algorithm>
#include <array>

#ifndef ZEF_COMMIT
#define ZEF_COMMIT ""
#endif
#ifndef ZEF_VERSION
#define ZEF_VERSION "0.1"
#endif

namespace zef {

namespace {

constexpr std::array kCommands = {
    CommandRow{.name = "ports",
               .minArguments = 0,
               .maxArguments = 0,
               .needsController = false,
               .options = kNoOption,
               .synopsis = "",
               .summary = "the system's serial ports, one a line"},
    CommandRow{.name = "info",
               .minArguments = 0,
               .maxArguments = 0,
               .needsController = true,
               .options = kNoOption,
               .synopsis = "",
               .summary = "serial number, release date, operating counter, whether it answers"},
    CommandRow{.name = "read",
               .minArguments = 0,
               .maxArguments = 0,
               .needsController = true,
               .options = kNoOption,
               .synopsis = "",
               .summary = "every calibration parameter: name, caption, value with unit, word"},
    CommandRow{.name = "get",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = true,
               .options = kNoOption,
               .synopsis = "NAME",
               .summary = "one parameter, by its control's name or its caption"},
    CommandRow{.name = "set",
               .minArguments = 1,
               .maxArguments = -1,
               .needsController = true,
               .options = kClampOption,
               .synopsis = "[--clamp] NAME=VALUE ...",
               .summary = "write as the window's edits, read back; out of limits: refused, or\n"
                          "      the nearest limit with --clamp"},
    CommandRow{.name = "save",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = true,
               .options = kForceOption,
               .synopsis = "[--force] FILE",
               .summary = "the calibration into a settings file (--force replaces one)"},
    CommandRow{.name = "load",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = true,
               .options = kForceOption | kDataDirOption | kAllowShortOption | kDryRunOption,
               .synopsis = "[--data-dir DIR] [--force] [--allow-short] [--dry-run] FILE",
               .summary =
                   "a settings file, checked whole, after archiving what the controller\n"
                   "      held (--force: load even when the archive cannot take it), then\n"
                   "      read back; a file of fewer than 31 values only with --allow-short"},
    CommandRow{.name = "diff",
               .minArguments = 2,
               .maxArguments = 2,
               .needsController = false,
               .options = kNoOption,
               .synopsis = "A B",
               .summary = "two settings files, or either one the word controller"},
    CommandRow{.name = "number",
               .minArguments = 0,
               .maxArguments = 0,
               .needsController = true,
               .options = kLogDirOption | kDryRunOption,
               .synopsis = "[--log-dir DIR] [--dry-run]",
               .summary = "a blank controller gets the next serial number of the production log"},
    CommandRow{.name = "monitor",
               .minArguments = 0,
               .maxArguments = 0,
               .needsController = true,
               .options = kMonitorOptions | kForceOption,
               .synopsis = "[--period MS] [--count N] [--csv FILE [--force]]",
               .summary = "the datalog's channels, a line per sample, or a new CSV file\n"
                          "      (--force replaces one)"},
    CommandRow{.name = "check",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = true,
               .options = kReportOption,
               .synopsis = "[--report FILE] LIMITS",
               .summary = "the end-of-line check of a limits file, PASS or FAIL for each"},
    CommandRow{.name = "station",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = true,
               .options = kLogDirOption | kDataDirOption | kForceOption | kAllowShortOption |
                          kReportOption | kDryRunOption,
               .synopsis = "[--log-dir DIR] [--data-dir DIR] [--force] [--allow-short] "
                           "[--report FILE]\n      [--dry-run] LIMITS",
               .summary = "the whole end-of-line cycle in one connection: number a blank\n"
                          "      controller, load the limits' \"calibration\" as load does, check\n"
                          "      it as check does; one report of every step"},
    CommandRow{.name = "tune",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = false,
               .options = kTuneOptions | kDataDirOption | kForceOption,
               .synopsis = "[--file CAL.zef] [--out NEW.zef] [--apply] [--min-confidence "
                           "LEVEL] RECORDING.csv",
               .summary =
                   "the map suggested by a recording, point by point with its confidence,\n"
                   "      against the controller's map or a settings file's; --apply writes\n"
                   "      the points of LEVEL (low, medium, high; medium when not given)\n"
                   "      or above after archiving the calibration, --out a tuned copy"},
    CommandRow{.name = "registry",
               .minArguments = 1,
               .maxArguments = 2,
               .needsController = false,
               .options = kProtocolLstOption,
               .synopsis = "import FILE | export --protocol-lst FILE | stats",
               .summary = "the production registry: seed it from a Protocol.lst, write its\n"
                          "      whole log as one, or controllers per day and station and checks"},
    CommandRow{.name = "history",
               .minArguments = 1,
               .maxArguments = 1,
               .needsController = false,
               .options = kNoOption,
               .synopsis = "SERIAL",
               .summary = "a controller's events in the registry (by serial or its counter)"},
};

struct OptionOwner {
    const char* name;
    CommandOption flag;
};

constexpr std::array kCommandOptions = {
    OptionOwner{"clamp", kClampOption},
    OptionOwner{"force", kForceOption},
    OptionOwner{"log-dir", kLogDirOption},
    OptionOwner{"data-dir", kDataDirOption},
    OptionOwner{"period", kMonitorOptions},
    OptionOwner{"count", kMonitorOptions},
    OptionOwner{"csv", kMonitorOptions},
    OptionOwner{"report", kReportOption},
    OptionOwner{"allow-short", kAllowShortOption},
    OptionOwner{"file", kTuneOptions},
    OptionOwner{"out", kTuneOptions},
    OptionOwner{"apply", kTuneOptions},
    OptionOwner{"min-confidence", kTuneOptions},
    OptionOwner{"protocol-lst", kProtocolLstOption},
    OptionOwner{"dry-run", kDryRunOption},
};

std::optional<int> PositiveNumber(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional(value) : std::nullopt;
}

} // namespace

std::span<const CommandRow> CommandRows() {
    return kCommands;
}

const CommandRow* FindCommand(std::string_view name) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [&](const CommandRow& row) { return row.name == name; });
    return it == kCommands.end() ? nullptr : &*it;
}

CliOptions CliOptions::Parse(const QStringList& arguments) {
    CliOptions options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, {});
    // Not -v: to a script's author that is "verbose" as often as "version".
    const QCommandLineOption version("version", {});
    const QCommandLineOption port("port", {}, "DEVICE");
    const QCommandLineOption simulator("simulator", {});
    const QCommandLineOption blank("blank", {});
    const QCommandLineOption json("json", {});
    const QCommandLineOption clamp("clamp", {});
    const QCommandLineOption force("force", {});
    const QCommandLineOption logDir("log-dir", {}, "DIR");
    const QCommandLineOption dataDir("data-dir", {}, "DIR");
    const QCommandLineOption period("period", {}, "MS");
    const QCommandLineOption count("count", {}, "N");
    const QCommandLineOption csv("csv", {}, "FILE");
    const QCommandLineOption report("report", {}, "FILE");
    const QCommandLineOption allowShort("allow-short", {});
    const QCommandLineOption file("file", {}, "FILE");
    const QCommandLineOption out("out", {}, "FILE");
    const QCommandLineOption apply("apply", {});
    const QCommandLineOption minConfidence("min-confidence", {}, "LEVEL");
    const QCommandLineOption registry("registry", {}, "URL");
    const QCommandLineOption protocolLst("protocol-lst", {}, "FILE");
    const QCommandLineOption timeout("timeout", {}, "MS");
    const QCommandLineOption retries("retries", {}, "N");
    const QCommandLineOption dryRun("dry-run", {});
    const QCommandLineOption quiet({"q", "quiet"}, {});
    const QCommandLineOption trace("trace", {});
    parser.addOptions(
        {help,          version,  port,        simulator, blank,   json,       clamp, force, logDir,
         dataDir,       period,   count,       csv,       report,  allowShort, file,  out,   apply,
         minConfidence, registry, protocolLst, timeout,   retries, dryRun,     quiet, trace});
    // A script that asked for JSON gets it for a command line that cannot be used as well.
    options.json = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    options.help = parser.isSet(help);
    options.version = parser.isSet(version);
    if (options.help || options.version)
        return options;

    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        options.error = QStringLiteral("no command given");
        return options;
    }
    const QString name = positional.takeFirst();
    options.command = FindCommand(name.toStdString());
    if (!options.command) {
        options.error = QStringLiteral("unknown command: %1").arg(name);
        return options;
    }
    const CommandRow& command = *options.command;
    const int given = static_cast<int>(positional.size());
    if (given < command.minArguments ||
        (command.maxArguments >= 0 && given > command.maxArguments)) {
        options.error = QStringLiteral("usage: zef-cli %1 %2")
                            .arg(name, QString::fromUtf8(command.synopsis))
                            .trimmed();
        return options;
    }
    options.arguments = positional;
    for (const OptionOwner& owner : kCommandOptions)
        if (parser.isSet(owner.name) && (command.options & owner.flag) == 0) {
            options.error = QStringLiteral("--%1 does not go with %2").arg(owner.name, name);
            return options;
        }

    if (parser.isSet(port) && parser.isSet(simulator)) {
        options.error = QStringLiteral("--port and --simulator exclude each other");
        return options;
    }
    if (parser.isSet(blank) && !parser.isSet(simulator)) {
        options.error = QStringLiteral("--blank goes only with --simulator");
        return options;
    }
    options.port = parser.value(port);
    if (parser.isSet(port) && options.port.isEmpty()) {
        options.error = QStringLiteral("--port needs a device");
        return options;
    }
    options.simulator = parser.isSet(simulator);
    options.blank = parser.isSet(blank);
    options.json = parser.isSet(json);
    options.clamp = parser.isSet(clamp);
    options.force = parser.isSet(force);
    options.allowShort = parser.isSet(allowShort);
    options.dryRun = parser.isSet(dryRun);
    options.quiet = parser.isSet(quiet);
    options.trace = parser.isSet(trace);
    if (parser.isSet(logDir))
        options.logDir = parser.value(logDir);
    options.dataDir = parser.value(dataDir);
    options.csv = parser.value(csv);
    options.report = parser.value(report);
    options.file = parser.value(file);
    options.out = parser.value(out);
    options.apply = parser.isSet(apply);
    options.minConfidence = parser.value(minConfidence);
    if (parser.isSet(registry))
        options.registry = parser.value(registry);
    options.protocolLst = parser.value(protocolLst);
    if (parser.isSet(period)) {
        const auto ms = PositiveNumber(parser.value(period));
        if (!ms) {
            options.error = QStringLiteral("--period needs a number of milliseconds above 0");
            return options;
        }
        options.periodMs = *ms;
    }
    if (parser.isSet(timeout)) {
        options.timeoutMs = PositiveNumber(parser.value(timeout));
        if (!options.timeoutMs || *options.timeoutMs > 60'000) {
            options.error = QStringLiteral("--timeout needs a number of milliseconds, 1 ... 60000");
            return options;
        }
    }
    if (parser.isSet(retries)) {
        bool ok = false;
        options.retries = parser.value(retries).toInt(&ok);
        if (!ok || options.retries < 0 || options.retries > 100) {
            options.error = QStringLiteral("--retries needs a number, 0 ... 100");
            return options;
        }
    }
    if (parser.isSet(count)) {
        options.count = PositiveNumber(parser.value(count));
        if (!options.count) {
            options.error = QStringLiteral("--count needs a number above 0");
            return options;
        }
    }
    return options;
}

QString CliOptions::Usage() {
    QString text = QStringLiteral(
        "Usage: zef-cli [--port DEVICE | --simulator [--blank]] [--registry URL] [--json]\n"
        "               [--timeout MS] [--retries N] [--quiet] [--trace] "
        "COMMAND ...\n"
        "\n"
        "The ZEF-K7LX controller from a script: the same channel, catalogue, conversions,\n"
        "settings file, production log and archive as zef-service.\n"
        "\n"
        "Options:\n"
        "  --port DEVICE  the controller's device: a path (/dev/ttyUSB0, a by-id name, a\n"
        "                 pseudo-terminal) or COM1 ... COM4 as zef-service maps them;\n"
        "                 COM1 when not given\n"
        "  --simulator    the built-in simulated controller; --blank: one never numbered\n"
        "  --registry URL the production registry, remembered for the next runs (\"\" forgets\n"
        "                 it): sqlite:PATH, or postgresql://USER@HOST:PORT/DATABASE with the\n"
        "                 password in ~/.pgpass; numbers then come from it\n"
        "  --json         one JSON object per command on standard output\n"
        "  --timeout MS   how long the controller gets to answer a request (64 when not given)\n"
        "  --retries N    how many more times a read that failed is tried (1 when not given)\n"
        "  -q, --quiet    nothing on standard output but --json's object; failures still on\n"
        "                 standard error\n"
        "  --trace        every frame on standard error: time, request, reply\n"
        "  --dry-run      (load, number, station) what would be written, and nothing written\n"
        "  -h, --help     this text;  --version  the version\n"
        "\n"
        "Commands:\n");
    for (const CommandRow& row : kCommands) {
        const QString head = QStringLiteral("  %1 %2")
                                 .arg(QString::fromUtf8(row.name), QString::fromUtf8(row.synopsis))
                                 .trimmed();
        text += QStringLiteral("  %1\n      %2\n").arg(head, QString::fromUtf8(row.summary));
    }
    text += QStringLiteral(
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  a difference, a failed check, or a value the controller did not take\n"
        "  2  bad usage (unknown command or option, a value outside its limits)\n"
        "  3  the controller did not answer or the link was lost: try again\n"
        "  4  a file could not be read or written\n"
        "  5  the port is unavailable (missing, busy, no permission, not a serial\n"
        "     port): the station cannot go on by itself\n"
        "  6  the production registry cannot be reached or refused the change\n"
        "With --json a failure carries \"error\": {\"kind\": ..., \"message\": ...};\n"
        "kinds: no_port, port_busy, no_permission, not_serial_port (5), no_answer,\n"
        "link_lost (3), file (4), usage (2), registry (6).\n");
    return text;
}

QString CliOptions::VersionText() {
    const QString commit = QStringLiteral(ZEF_COMMIT);
    return QStringLiteral("zef-cli " ZEF_VERSION) +
           (commit.isEmpty() ? QString() : QStringLiteral(" (commit %1)").arg(commit)) + "\n";
}

} // namespace zef
