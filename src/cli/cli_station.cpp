#include "cli/cli_station.h"

#include "cli/cli_commands.h"
#include "cli/cli_registry.h"

namespace zef {

namespace {

// A step as the cycle's object holds it: its own object, status and failure, so a script reads
// each step as it would read the single command's output.
QJsonObject StepJson(const CommandResult& step) {
    QJsonObject json = step.json;
    json.remove("device");
    json["status"] = Code(step.status);
    if (step.kind)
        json["error"] = ErrorObject(*step.kind, step.error);
    return json;
}

} // namespace

CommandResult RunStation(CliLink& session, CliEnvironment& environment, const CliOptions& options,
                         const StationLimits& limits) {
    CommandResult station;
    station.json = {{"device", session.Device()},
                    {"time", TimeWithOffset(QDateTime::currentDateTime())},
                    {"dry_run", options.dryRun}};
    // Takes the step in; whether the cycle goes on after it.
    const auto took = [&station](const char* name, const CommandResult& step) {
        station.json[QString::fromLatin1(name)] = StepJson(step);
        station.lines << step.lines;
        if (step.status == ExitStatus::Success)
            return true;
        station.status = step.status;
        station.kind = step.kind;
        station.error = step.error;
        return false;
    };

    IdentityReading identity;
    const bool numbered =
        took("number", RunRegistryNumber(session, environment, options, &identity));
    if (numbered) {
        const QString dataFolder =
            options.dataDir.isEmpty() ? environment.dataFolder : options.dataDir;
        const bool loaded =
            options.dryRun
                ? took("load", PlanLoad(session, limits.calibration, options.allowShort))
                : took("load",
                       RecordStepEvent("load", environment, session, identity.serial,
                                       limits.calibration,
                                       RunLoad(session, dataFolder, limits.calibration,
                                               options.force, options.allowShort, &identity)));
        // A check of a controller that was not loaded would only tell what it held before.
        if (loaded && !options.dryRun)
            (void)took("check", RecordStepEvent(
                                    "check", environment, session, identity.serial, QString(),
                                    RunCheck(session, environment, limits, QString(), &identity)));
    }
    station.json["serial"] = identity.serial.trimmed();
    station.json["pass"] = station.status == ExitStatus::Success && !options.dryRun;
    if (!options.report.isEmpty() && !options.dryRun)
        WriteReport(station, options.report);
    return station;
}

} // namespace zef
