#include "link/port_info.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

namespace zef {

namespace {

std::string Quoted(const std::string& text) {
    return '"' + text + '"';
}

std::string Hex4(std::uint16_t id) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04x", id);
    return buffer;
}

} // namespace

std::string FormatPortLine(const PortInfo& port) {
    std::string line = port.device;
    const auto add = [&line](const char* label, const std::string& value) {
        if (!value.empty())
            line += std::string("  ") + label + ' ' + value;
    };
    if (!port.description.empty())
        line += "  " + Quoted(port.description);
    add("manufacturer", port.manufacturer.empty() ? std::string() : Quoted(port.manufacturer));
    add("serial", port.serialNumber.empty() ? std::string() : Quoted(port.serialNumber));
    if (port.vendorId || port.productId)
        add("usb", (port.vendorId ? Hex4(*port.vendorId) : std::string("????")) + ':' +
                       (port.productId ? Hex4(*port.productId) : std::string("????")));
    for (const std::string& name : port.stableNames)
        add("by-id", name);
    return line;
}

std::vector<std::string> StableNamesOf(const std::string& device,
                                       const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    const auto target = std::filesystem::canonical(device, error);
    if (error)
        return names;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code unresolved;
        const auto leadsTo = std::filesystem::canonical(it->path(), unresolved);
        // A link left behind by an adapter that is gone leads nowhere and is skipped.
        if (!unresolved && leadsTo == target)
            names.push_back(it->path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string StableDeviceName(const std::string& device, const std::filesystem::path& folder) {
    // A name already in the folder is kept as chosen, even where two names lead to one device.
    if (std::filesystem::path(device).parent_path() == folder)
        return device;
    const auto names = StableNamesOf(device, folder);
    return names.empty() ? device : names.front();
}

} // namespace zef
