#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace zef {

// One serial port of the system as the operating system describes it.
struct PortInfo {
    std::string device{}; // the path to open: /dev/ttyUSB0, COM3
    std::string description{};
    std::string manufacturer{};
    std::string serialNumber{};
    std::optional<std::uint16_t> vendorId{}; // USB ids, when the port is on USB
    std::optional<std::uint16_t> productId{};
    // Names that stay the same when the adapter is plugged in again or into another socket
    // (/dev/serial/by-id on Linux), each pointing at `device`.
    std::vector<std::string> stableNames{};

    bool operator==(const PortInfo&) const = default;
};

// The port on one line, for a terminal and for scripts: the device first, then whatever is
// known of it, each labelled, empty fields left out.
[[nodiscard]] std::string FormatPortLine(const PortInfo& port);

// The folder of the names that survive re-plugging.
inline const std::filesystem::path kStableNameFolder = "/dev/serial/by-id";

// The links in `folder` that lead to the same device file as `device`, sorted. Nothing when the
// folder is absent (no USB serial adapter plugged in, or not Linux).
[[nodiscard]] std::vector<std::string>
StableNamesOf(const std::string& device, const std::filesystem::path& folder = kStableNameFolder);

// What to remember for a chosen device: its stable name when there is one, so a re-plugged
// adapter that comes back as another ttyUSB is still found; otherwise the device as given.
[[nodiscard]] std::string StableDeviceName(const std::string& device,
                                           const std::filesystem::path& folder = kStableNameFolder);

} // namespace zef
