#pragma once

// zef-cli's commands on the production registry, and numbering through it.

#include "cli/cli_link.h"

namespace zef {

// registry import FILE | registry export --protocol-lst FILE | registry stats | history SERIAL
[[nodiscard]] CommandResult RunRegistryCommand(const CliOptions& options,
                                               CliEnvironment& environment);

// number: from the registry in use, else from the production log alone.
[[nodiscard]] CommandResult RunRegistryNumber(CliLink& session, CliEnvironment& environment,
                                              const CliOptions& options);

// With a registry in use, the event of a command that changed or checked the controller (load,
// save, set, check, info as "connected"), under the controller's serial. A registry that is away
// does not fail the command: the event waits, and the result says how many do.
[[nodiscard]] CommandResult RecordCommandEvent(const CliOptions& options,
                                               CliEnvironment& environment, CliLink& session,
                                               CommandResult result);

} // namespace zef
