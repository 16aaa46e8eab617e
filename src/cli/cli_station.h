#pragma once

// The end-of-line cycle in one connection: the controller numbered if blank, calibrated, read
// back and checked, with its identity read once.

#include "cli/cli_check.h"

namespace zef {

// Each step goes as its single command goes, on the connection already open; the first step
// that does not succeed ends the cycle and gives its status and failure. With --dry-run the
// numbering and the load tell what they would write and nothing is written or checked.
[[nodiscard]] CommandResult RunStation(CliLink& session, CliEnvironment& environment,
                                       const CliOptions& options, const StationLimits& limits);

} // namespace zef
