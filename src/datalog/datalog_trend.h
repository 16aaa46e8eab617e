#pragma once

#include "datalog/datalog_csv.h"
#include "datalog/trend_data.h"

#include <chrono>
#include <vector>

namespace zef {

// Trend data with one channel per recorded channel, named and with units as in the file. Rows
// further apart than three periods are shown with a gap between them.
[[nodiscard]] TrendData DatalogTrend(std::chrono::milliseconds period);
// A replayed recording: its rows, its start, and a gap limit from the period it was recorded at.
[[nodiscard]] TrendData DatalogTrend(const std::vector<DatalogRow>& rows);
void AppendToTrend(TrendData& trend, const DatalogRow& row);
// The gap limit of a replayed recording from its rows' seconds.
[[nodiscard]] double RecordedGapSeconds(const std::vector<double>& seconds);

} // namespace zef
