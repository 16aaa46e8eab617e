#pragma once

namespace zef::bench {

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

// The trend window with an hour's recording: replayed at once, and one live refresh.
void PrintTrendView();

} // namespace zef::bench
