#pragma once

#include <string>

namespace zef::bench {

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

// The datalog's cost in a tick, the fastest period the link sustains, and an hour's replay,
// against the simulator on the serial device given.
void PrintDatalogFigures(const std::string& device, double lineLimitSeconds);

// The trend window with an hour's recording: replayed at once, and one live refresh.
void PrintTrendView();

} // namespace zef::bench
