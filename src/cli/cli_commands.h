#pragma once

// The commands of zef-cli, each over the core functions the window uses.

#include "cli/cli_link.h"

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
[[nodiscard]] CommandResult RunLoad(CliLink& session, const QString& dataFolder,
                                    const QString& file, bool force, bool allowShort = false);
// With a source, the number comes from it rather than the log in the folder.
[[nodiscard]] CommandResult RunNumber(CliLink& session, const LogFolder& folder,
                                      const std::function<QDate()>& today,
                                      NumberSource* source = nullptr);
// Opens the controller only when a side names it.
[[nodiscard]] CommandResult RunDiff(CliEnvironment& environment, const QString& left,
                                    const QString& right);

} // namespace zef
