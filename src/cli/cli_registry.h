#pragma once

// zef-cli's commands on the production registry, and numbering through it.

#include "cli/cli_link.h"
#include "files/identity.h"

#include <string_view>

namespace zef {

// registry import FILE | registry export --protocol-lst FILE | registry stats | history SERIAL
[[nodiscard]] CommandResult RunRegistryCommand(const CliOptions& options,
                                               CliEnvironment& environment);

// number: from the registry in use, else from the production log alone.
// With --dry-run, what it would write. The identity as it stands afterwards goes to `identity`.
[[nodiscard]] CommandResult RunRegistryNumber(CliLink& session, CliEnvironment& environment,
                                              const CliOptions& options,
                                              IdentityReading* identity = nullptr);

// With a registry in use, the event of a command that changed or checked the controller (load,
// save, set, check, info as "connected"), under the controller's serial. A registry that is away
// does not fail the command: the event waits, and the result says how many do.
[[nodiscard]] CommandResult RecordCommandEvent(const CliOptions& options,
                                               CliEnvironment& environment, CliLink& session,
                                               CommandResult result);
// The same for one step of a longer command, under a serial already read: "load" with the file
// it loaded, or "check".
[[nodiscard]] CommandResult RecordStepEvent(std::string_view command, CliEnvironment& environment,
                                            CliLink& session, const QString& serial,
                                            const QString& file, CommandResult result);

} // namespace zef
