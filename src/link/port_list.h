#pragma once

#include "link/port_info.h"

#include <vector>

namespace zef {

// The serial ports the system has now, sorted by device, with their stable names.
[[nodiscard]] std::vector<PortInfo> ListSerialPorts();

} // namespace zef
