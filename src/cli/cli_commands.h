#pragma once

// The commands of zef-cli, each over the core functions the window uses.

#include "cli/cli_link.h"
#include "files/identity.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace zef {

// A calibration register by its control's name or its caption, either in any case.
[[nodiscard]] std::optional<std::uint8_t> FindParameter(const QString& nameOrCaption);

[[nodiscard]] CommandResult RunInfo(CliLink& session);
[[nodiscard]] CommandResult RunRead(CliLink& session);
[[nodiscard]] CommandResult RunGet(CliLink& session, const QString& name);
[[nodiscard]] CommandResult RunSet(CliLink& session, const QStringList& assignments, bool clamp);
[[nodiscard]] CommandResult RunSave(CliLink& session, const QString& file, bool force);
// With the identity already read in this connection, its serial names the archived copy and the
// controller is not asked again.
[[nodiscard]] CommandResult RunLoad(CliLink& session, const QString& dataFolder,
                                    const QString& file, bool force, bool allowShort = false,
                                    const IdentityReading* identity = nullptr);
// What a load would write: every register and value of the file beside what the controller
// holds. Writes nothing.
[[nodiscard]] CommandResult PlanLoad(CliLink& session, const QString& file, bool allowShort);
// With a source, the number comes from it rather than the log in the folder. The identity as it
// stands afterwards goes to `identity`, for the steps that follow in the same connection.
[[nodiscard]] CommandResult RunNumber(CliLink& session, const LogFolder& folder,
                                      const std::function<QDate()>& today,
                                      NumberSource* source = nullptr,
                                      IdentityReading* identity = nullptr);
// What a numbering would write: the next serial of the log at logPath (none: the registry gives
// it) into the identity registers. Writes nothing, not even a new log.
[[nodiscard]] CommandResult PlanNumber(CliLink& session, const QString& logPath,
                                       const std::function<QDate()>& today,
                                       IdentityReading* identity = nullptr);
// Opens the controller only when a side names it.
[[nodiscard]] CommandResult RunDiff(CliEnvironment& environment, const QString& left,
                                    const QString& right);

} // namespace zef
