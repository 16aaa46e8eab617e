#pragma once

#include "link/register_exchange.h"

#include <array>

namespace zef::test {

struct Read {
    Command command;
    std::uint8_t address;
};

// The eleven reads of a monitor tick outside setup mode, back to back: the two status registers,
// the correction, the map point of 500 rpm, the six live map points and the closing read.
inline constexpr std::array<Read, 11> kMonitorBurst = {{
    {Command::ReadLive, 76},
    {Command::ReadLive, 77},
    {Command::ReadLive, 186},
    {Command::ReadParam, 7},
    {Command::ReadLive, 234},
    {Command::ReadLive, 238},
    {Command::ReadLive, 242},
    {Command::ReadLive, 246},
    {Command::ReadLive, 250},
    {Command::ReadLive, 254},
    {Command::ReadLive, 226},
}};

// The simulated controller starts its reply to a read with the request's command and address,
// so a reply tells whose answer it is.
[[nodiscard]] inline bool IsAnswerTo(const Reply& reply, Read read) {
    return reply.first == (static_cast<unsigned>(read.command) | (read.address << 8));
}

} // namespace zef::test
