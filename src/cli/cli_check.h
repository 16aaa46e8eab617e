#pragma once

// The end-of-line check and the monitor: live channels sampled over a time, the calibration
// and the identity, each check with what was measured and whether it passed.

#include "cli/cli_link.h"
#include "files/identity.h"
#include "files/outcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zef {

// One check of a limits file.
struct StationCheck {
    enum class Kind { Channel, Parameter, Calibration, Serial };
    Kind kind = Kind::Channel;
    QString name;              // channel key, parameter name; the file for a calibration
    std::optional<double> min; // a range; neither: the channel need only answer
    std::optional<double> max;
};

struct StationLimits {
    double watchSeconds = 0; // how long the channels are watched
    QString calibration;     // the settings file a station loads; empty: none named
    int periodMs = 350;      // between their samples
    std::vector<StationCheck> checks;
};

// Parses a limits file:
//   {"watch_seconds": 5, "period_ms": 350, "calibration": "golf.zef", "checks": [
//      {"channel": "supply_v", "min": 12, "max": 15},
//      {"channel": "rpm", "answered": true},
//      {"parameter": "SpinExtEdit3", "min": 5000, "max": 6000},
//      {"calibration": "golf.zef"},
//      {"serial": "not blank"}]}
// A calibration file's relative path is taken from the limits file's folder. The file is
// checked whole, channels against channelKeys, parameters against the catalogue and their
// ranges, calibration files read: the failure names the check, the key and what is allowed.
[[nodiscard]] Expected<StationLimits>
ParseStationLimits(const QByteArray& json, const QString& folder, const QStringList& channelKeys);
[[nodiscard]] Expected<StationLimits> ReadStationLimits(const QString& path,
                                                        const QStringList& channelKeys);

struct CheckOutcome {
    QString name;     // "supply_v 12 … 15", "serial not blank"
    QString measured; // what was found
    bool pass = false;
    // What a script compares, as numbers: a parameter's value, a channel's lowest and highest.
    std::optional<double> low{};
    std::optional<double> high{};
    // The controller gave every read the check needed: an unanswered one is the link's
    // failure, not the controller's, and fails the command as a link failure.
    bool answered = true;
};

// Checks a channel's samples: every one answered, and each within the range where one is
// given. Samples is one optional row per tick; the channel's column is `column`.
[[nodiscard]] CheckOutcome CheckChannel(const StationCheck& check, const QString& unit,
                                        const std::vector<std::optional<double>>& samples);

// With the identity already read in this connection, a serial check takes it from there.
[[nodiscard]] CommandResult RunCheck(CliLink& session, CliEnvironment& environment,
                                     const StationLimits& limits, const QString& report,
                                     const IdentityReading* identity = nullptr);

// Writes the result's object with its status to the report file, or fails the result (status 4).
void WriteReport(CommandResult& result, const QString& report);

// The environment's channels, or the datalog's.
[[nodiscard]] std::unique_ptr<ChannelSource> ChannelsOf(const CliEnvironment& environment);
[[nodiscard]] QStringList ChannelKeys(const CliEnvironment& environment);

struct MonitorOptions {
    int periodMs = 350;
    std::optional<int> count;
    QString csv;
    bool force = false; // an existing CSV file is replaced
};

[[nodiscard]] CommandResult RunMonitor(CliLink& session, CliEnvironment& environment,
                                       const MonitorOptions& options);

} // namespace zef
