#pragma once

#include "link/port_map.h"
#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"
#include "session/controller_session.h"

#include <string>

namespace zef::bench {

// The exchange over a real serial device (a zef-sim pseudo-terminal) behind port 1, as every
// benchmark that measures the line drives it.
struct DeviceLink {
    explicit DeviceLink(const std::string& device) : ports(portOne(device)) {}

    // At the controller's speed.
    [[nodiscard]] bool Open() { return channel.Open(1, 19200); }

    MappedPortDirectory ports;
    ControllerSession session{ports};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();

private:
    static PortMap portOne(const std::string& device) {
        PortMap map;
        map.Map(1, device);
        return map;
    }
};

} // namespace zef::bench
