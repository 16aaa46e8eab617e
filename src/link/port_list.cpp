#include "link/port_list.h"

#include <QSerialPortInfo>

#include <algorithm>

namespace zef {

std::vector<PortInfo> ListSerialPorts() {
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo port{
            .device = info.systemLocation().toStdString(),
            .description = info.description().toStdString(),
            .manufacturer = info.manufacturer().toStdString(),
            .serialNumber = info.serialNumber().toStdString(),
            .vendorId = info.hasVendorIdentifier()
                            ? std::optional<std::uint16_t>(info.vendorIdentifier())
                            : std::nullopt,
            .productId = info.hasProductIdentifier()
                             ? std::optional<std::uint16_t>(info.productIdentifier())
                             : std::nullopt,
            .stableNames = {},
        };
        port.stableNames = StableNamesOf(port.device);
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.device < b.device; });
    return ports;
}

} // namespace zef
