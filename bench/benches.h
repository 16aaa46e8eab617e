#pragma once

#include <QString>

namespace zef::bench {

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

// zef-cli's commands and a station run, as processes, against their exchanges' line time.
void PrintCliTimes(const QString& cli, const QString& simulator, double lineLimitSeconds);

} // namespace zef::bench
