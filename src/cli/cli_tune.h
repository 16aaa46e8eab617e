#pragma once

// zef-cli tune: the map a recording suggests, against the controller's map or a settings
// file's, and the chosen points written back.

#include "cli/cli_session.h"

namespace zef {

[[nodiscard]] CommandResult RunTune(CliEnvironment& environment, const CliOptions& options);

} // namespace zef
