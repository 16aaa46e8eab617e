#pragma once

#include "link/register_exchange.h"

#include <QString>

#include <array>
#include <chrono>
#include <optional>

namespace zef {

// The map's chart points in chart order: 0 rpm and 500 rpm from the one 500 rpm read, then
// 1000 ... 6000 rpm; in milliseconds, each only from its own answer.
using MapReading = std::array<std::optional<double>, 8>;

// The seven reads of the map, in the order the controller has always been asked them.
[[nodiscard]] MapReading ReadMapPoints(RegisterExchange& link);

// What one monitor tick read.
struct TickReading {
    // Setup mode, or the correction with its source; only when all its reads answered.
    std::optional<QString> statusLine;
    MapReading map; // empty when the map was not read
};

// The share of the line's time the monitor takes, ticking every `tickInterval` with the map
// loaded, together with the read-outs querying at their own intervals.
[[nodiscard]] double MonitorLineShare(std::chrono::milliseconds tickInterval);

// The exchanges of one monitor tick, in the order the controller expects them: the status
// registers and the correction in force, the map when it is loaded, and the closing read.
[[nodiscard]] TickReading ReadTick(RegisterExchange& link, bool withMap);

} // namespace zef
