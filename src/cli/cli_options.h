#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <span>
#include <string_view>

namespace zef {

// What a command accepts besides the common options.
enum CommandOption : unsigned {
    kNoOption = 0,
    kClampOption = 1u << 0,       // --clamp
    kForceOption = 1u << 1,       // --force
    kLogDirOption = 1u << 2,      // --log-dir
    kDataDirOption = 1u << 3,     // --data-dir
    kMonitorOptions = 1u << 4,    // --period, --count, --csv
    kReportOption = 1u << 5,      // --report
    kAllowShortOption = 1u << 6,  // --allow-short
    kTuneOptions = 1u << 7,       // --file, --out, --apply, --min-confidence
    kProtocolLstOption = 1u << 8, // --protocol-lst
    kDryRunOption = 1u << 9,      // --dry-run
};

struct CommandRow {
    std::string_view name;
    int minArguments;
    int maxArguments; // -1: any number
    bool needsController;
    unsigned options;
    std::string_view synopsis; // after the command's name
    std::string_view summary;
};

// The commands in the order --help lists them.
[[nodiscard]] std::span<const CommandRow> CommandRows();
[[nodiscard]] const CommandRow* FindCommand(std::string_view name);

// zef-cli's command line.
struct CliOptions {
    const CommandRow* command = nullptr;
    QStringList arguments; // the command's own
    QString port;          // --port: a device path or COM1 ... COM4; empty: COM1
    bool simulator = false;
    bool blank = false; // --blank: the simulated controller is fresh from manufacture
    bool json = false;
    bool clamp = false;
    bool force = false;
    bool allowShort = false; // --allow-short: a settings file of fewer than 31 values
    bool dryRun = false;     // --dry-run: tell what would be written, write nothing
    std::optional<QString> logDir;
    QString dataDir;
    int periodMs = 350;
    std::optional<int> count;
    QString csv;
    QString report;
    QString file;          // tune --file: a settings file instead of the controller
    QString out;           // tune --out: the tuned copy
    bool apply = false;    // tune --apply
    QString minConfidence; // tune --min-confidence; empty: medium
    // --registry: the production registry's address; an empty one forgets the remembered one.
    std::optional<QString> registry;
    QString protocolLst;          // --protocol-lst
    std::optional<int> timeoutMs; // --timeout: how long the controller gets to answer
    int retries = 1;              // --retries: more tries of a burst that failed
    bool quiet = false; // --quiet: no lines on standard output, only failures on standard error
    bool trace = false; // --trace: every frame on standard error
    bool help = false;
    bool version = false;
    QString error; // set when the command line cannot be used

    // arguments[0] is the program.
    [[nodiscard]] static CliOptions Parse(const QStringList& arguments);
    [[nodiscard]] static QString Usage();
    [[nodiscard]] static QString VersionText();
};

} // namespace zef
