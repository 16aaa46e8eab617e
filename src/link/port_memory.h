#pragma once

#include "link/port_map.h"

#include <QString>

#include <optional>
#include <string>

class QSettings;

namespace zef {

// The devices the user put behind COM1 to COM4, remembered per user in the settings under
// "ports/COM1" ... "ports/COM4", so an adapter is mapped once and not at every start.

// Fills in the remembered devices for the ports `map` leaves at their defaults: a port named
// on the command line keeps that device for the session.
void ApplyRememberedPorts(const QSettings& settings, PortMap& map);

// The defaults with the remembered devices, for a tool that takes no --com.
[[nodiscard]] PortMap RememberedPortMap(const QSettings& settings);

// Remembers `target` behind the port; the port's default or an empty target forgets it. The
// settings are written at once; the text says why they could not be, nothing when they were.
[[nodiscard]] std::optional<QString> RememberPort(QSettings& settings, int portNumber,
                                                  const std::string& target);

// "COM1" to "COM4" (any case) become the device behind them; anything else is taken as a device
// already. Nothing for a port name outside 1 to 4 ("COM7").
[[nodiscard]] std::optional<std::string> ResolvePortName(const std::string& name,
                                                         const PortMap& map);

// What the button of a port says it opens: the device, and where a link leads elsewhere, the
// device it leads to ("/dev/serial/by-id/usb-FTDI... → /dev/ttyUSB0").
[[nodiscard]] QString DescribePortTarget(const std::string& target);

} // namespace zef
