#pragma once

// What zef-cli runs a command with, so that the program and the tests hand in their own
// controller, folders and clock.

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "files/log_location.h"
#include "link/serial_backend.h"
#include "link/serial_channel.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zef {

class RegisterExchange;

// A sampled set of live channels: the datalog's, or whatever a test points it at.
class ChannelSource {
public:
    struct Channel {
        QString key;    // "rpm", "supply_v": what a limits file names
        QString column; // the CSV column with its unit
        QString unit;
    };
    virtual ~ChannelSource() = default;
    [[nodiscard]] virtual std::vector<Channel> Channels() const = 0;
    // One value per channel, or nothing when the controller left a read unanswered.
    [[nodiscard]] virtual std::optional<std::vector<double>> ReadRow(RegisterExchange& link) = 0;
};

// The datalog's channels, read in one burst as a recording reads them.
[[nodiscard]] std::unique_ptr<ChannelSource> DatalogChannelSource();

struct CliEnvironment {
    // Port 1 is the controller the command talks to.
    PortDirectory* ports = nullptr;
    QString device; // how messages name it: a path, "COM2 (/dev/ttyUSB0)", "simulator"
    std::chrono::milliseconds step = SerialChannel::kDefaultStep;
    // The production log's folder for a --log-dir, or nullopt without one, by the window's rules.
    std::function<LogFolder(const std::optional<QString>& named)> logFolder;
    QString dataFolder; // the calibration archive's folder; empty: no archive
    std::function<QDate()> today = &QDate::currentDate;
    std::function<std::unique_ptr<ChannelSource>()> channels; // none: the datalog's
    std::function<QStringList()> portLines;                   // the `ports` command's lines
    std::function<void(std::chrono::milliseconds)> sleep;     // between samples; none: real time
    // Lines written as they come, for a monitor that runs until stopped; none: kept in the
    // result. With --json each is one JSON object.
    std::function<void(const QString&)> live;
    bool json = false;
    // Standard input, read whole, for a file named "-"; none: the process's own.
    std::function<QByteArray()> input;
    // Each frame as it went, a line of time, request and reply (--trace); none: not traced.
    std::function<void(const QString&)> trace;
    // How many exchanges a command has made so far, for someone watching a terminal; none:
    // nothing shown.
    std::function<void(int exchanges)> progress;
    // The production registry in use (--registry, now or remembered); empty: none, and numbers
    // come from the production log alone.
    QString registryUrl;
    // The one the registry commands open when none is in use: SQLite in the user's data folder.
    QString defaultRegistryUrl;
    QString registryQueue; // where events wait while the registry is away; empty: in memory
    int retries = 1;       // more tries of a burst that went unanswered or was voided
};

// The version of every JSON object zef-cli prints: raised only when a field changes meaning or
// goes away, never for a field added.
inline constexpr int kJsonSchema = 1;

// What a command came to: the lines for a reader, the object for a script, and the failure.
struct CommandResult {
    ExitStatus status = ExitStatus::Success;
    QStringList lines;
    QJsonObject json;
    QString error;                   // for stderr, naming the device or file and the reason
    std::optional<FailureKind> kind; // set with every failure; a difference is none
    // A file named "-" written to standard output: printed in place of the lines.
    std::optional<QByteArray> output;

    void Fail(FailureKind failure, const QString& message) {
        status = StatusOf(failure);
        kind = failure;
        error = message;
    }
};

// A moment as a report gives it: ISO 8601 with the UTC offset, so that reports from stations in
// other time zones, or from both sides of a clock change, sort and compare.
[[nodiscard]] QString TimeWithOffset(const QDateTime& time);

// A failure as every JSON object carries it: {"kind": ..., "message": ...}.
[[nodiscard]] QJsonObject ErrorObject(FailureKind kind, const QString& message);

// Text from the controller as a terminal may be given it: control characters (tabs too,
// which would pass for a column, unless keepLines leaves tabs and line ends) and the
// backslash written as escapes ("\x1b", "\\"), so no escape sequence reaches the terminal.
[[nodiscard]] QString TerminalText(const QString& text, bool keepLines = false);

// The name that stands for standard input or output where a file is named.
inline const QString kStandardStream = QStringLiteral("-");

// Runs the parsed command line's command; writes its lines (or its JSON object) to out and
// the error to err.
[[nodiscard]] int RunCli(const CliOptions& options, CliEnvironment& environment, QTextStream& out,
                         QTextStream& err);

// The same, without writing: for tests and for the station check.
[[nodiscard]] CommandResult RunCommand(const CliOptions& options, CliEnvironment& environment);

} // namespace zef
