#include "link/register_exchange.h"

#include <algorithm>

namespace zef {

Frame BuildRequest(Command command, std::uint8_t address, std::uint16_t value) {
    return {static_cast<std::uint8_t>(command), address, static_cast<std::uint8_t>(value & 0xFF),
            static_cast<std::uint8_t>(value >> 8)};
}

Reply ReplyFromBytes(std::span<const std::uint8_t, 4> b) {
    return {static_cast<std::uint16_t>(b[0] | (b[1] << 8)),
            static_cast<std::uint16_t>(b[2] | (b[3] << 8))};
}

ParamValue ReplyValue(const Reply& r) {
    return static_cast<ParamValue>(r.second);
}

bool ReplyFlag(const Reply& r) {
    return (r.second & 0xFF) != 0;
}

ParamValue ReplyPercent(const Reply& r) {
    return static_cast<ParamValue>(static_cast<int>(r.second) - 1024) / 10;
}

ParamValue ReplyMillis(const Reply& r) {
    return static_cast<ParamValue>(r.second) / 1000;
}

std::optional<Reply> RegisterExchange::Exchange(Command command, std::uint8_t address,
                                                std::uint16_t value) {
    if (command == Command::WriteParam && m_onWrite)
        m_onWrite();
    if (command == Command::WriteParam && m_recorder)
        m_recorder->erase(address);
    if (!m_channel.IsOpen() || (m_watcher && !m_watcher->MayExchange()))
        return std::nullopt;

    const Frame request = BuildRequest(command, address, value);
    (void)m_channel.Write(request);

    Frame buffer{};
    const bool answered = m_channel.ReadWithWait(buffer) == buffer.size();
    if (m_trace)
        m_trace(request, answered ? std::optional(buffer) : std::nullopt);
    if (m_watcher)
        m_watcher->Exchanged(answered);
    const auto reply = answered ? std::optional(ReplyFromBytes(buffer)) : std::nullopt;
    if (m_observer)
        m_observer(command, address, value, reply);
    if (!reply)
        return std::nullopt;
    if (command == Command::ReadParam && m_recorder)
        (*m_recorder)[address] = reply->second;
    return reply;
}

std::optional<Reply> ReadVerified(RegisterExchange& link, std::uint8_t address, Command command) {
    for (int attempt = 0; attempt < link.Attempts(); ++attempt) {
        Burst burst(link);
        const auto reply = link.Exchange(command, address);
        if (burst.Verified() && reply)
            return reply;
        if (link.Channel().DeviceLost())
            break;
    }
    return std::nullopt;
}

} // namespace zef
