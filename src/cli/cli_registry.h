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

} // namespace zef
