#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace zef {

// What stands behind each of the ports 1 to 4 the window offers. On Windows they are COM1 to
// COM4; on Linux /dev/ttyS0 to /dev/ttyS3 unless mapped to another device (a USB adapter, a
// pseudo-terminal) or to the built-in simulated controller.
class PortMap {
public:
    static constexpr std::string_view kSimulator = "simulator";

    PortMap();

    [[nodiscard]] static std::string DefaultDevice(int portNumber);

    // False for a number outside 1 to 4 or an empty target.
    bool Map(int portNumber, std::string target);

    // Parses "N=DEVICE" as given on the command line.
    bool MapFromOption(std::string_view option);

    [[nodiscard]] std::optional<std::string> Target(int portNumber) const;
    [[nodiscard]] bool IsSimulator(int portNumber) const;
    // Whether the port was mapped on purpose rather than left at its default, so a mapping
    // remembered from an earlier session does not override one given for this session.
    [[nodiscard]] bool Chosen(int portNumber) const;

private:
    std::array<std::string, 4> m_targets;
    std::array<bool, 4> m_chosen{};
};

} // namespace zef
