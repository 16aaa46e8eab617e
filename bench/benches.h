#pragma once

#include <QString>

namespace zef::bench {

// The connection sequence's wall time with and without the calibration archive's snapshot.
void PrintConnectionArchiveCost(double lineLimitSeconds);

// The connection sequence against its line time, the time from a lost cable to "Нет связи",
// and the share of the window thread held up while the link is lost.
void PrintLostLink(const QString& simulator, double lineLimitSeconds);

} // namespace zef::bench
