#pragma once

namespace zef::bench {

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

} // namespace zef::bench
