#pragma once

#include "link/port_map.h"
#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"

#include <string>

namespace zef::bench {

// The exchange over a real serial device (a zef-sim pseudo-terminal) behind port 1, as every
// benchmark that measures the line drives it.
struct DeviceLink {
    explicit DeviceLink(const std::string& device)
        : ports(portOne(device)), channel(ports), link(channel) {}

    // At the controller's speed.
    [[nodiscard]] bool Open() { return channel.Open(1, 19200); }

    MappedPortDirectory ports;
    SerialChannel channel;
    RegisterExchange link;

private:
    static PortMap portOne(const std::string& device) {
        PortMap map;
        map.Map(1, device);
        return map;
    }
};

} // namespace zef::bench
