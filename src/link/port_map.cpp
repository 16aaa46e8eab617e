#include "link/port_map.h"

#include <charconv>

namespace zef {

PortMap::PortMap() {
    for (int n = 1; n <= 4; ++n)
        m_targets[static_cast<std::size_t>(n - 1)] = DefaultDevice(n);
}

std::string PortMap::DefaultDevice(int portNumber) {
#ifdef _WIN32
    return "COM" + std::to_string(portNumber);
#else
    return "/dev/ttyS" + std::to_string(portNumber - 1);
#endif
}

bool PortMap::Map(int portNumber, std::string target) {
    if (portNumber < 1 || portNumber > 4 || target.empty())
        return false;
    m_targets[static_cast<std::size_t>(portNumber - 1)] = std::move(target);
    m_chosen[static_cast<std::size_t>(portNumber - 1)] = true;
    return true;
}

bool PortMap::MapFromOption(std::string_view option) {
    const auto eq = option.find('=');
    if (eq == std::string_view::npos || eq == 0)
        return false;
    int number = 0;
    const auto digits = option.substr(0, eq);
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || ptr != digits.data() + digits.size())
        return false;
    return Map(number, std::string(option.substr(eq + 1)));
}

std::optional<std::string> PortMap::Target(int portNumber) const {
    if (portNumber < 1 || portNumber > 4)
        return std::nullopt;
    return m_targets[static_cast<std::size_t>(portNumber - 1)];
}

bool PortMap::IsSimulator(int portNumber) const {
    const auto target = Target(portNumber);
    return target && *target == kSimulator;
}

bool PortMap::Chosen(int portNumber) const {
    return portNumber >= 1 && portNumber <= 4 && m_chosen[static_cast<std::size_t>(portNumber - 1)];
}

} // namespace zef
