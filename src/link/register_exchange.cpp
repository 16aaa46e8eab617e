#include "link/register_exchange.h"

#include <algorithm>

namespace zef {

Frame BuildRequest(Command command, std::uint8_t address, std::uint16_t value) {
    return {static_cast<std::uint8_t>(command), address, static_cast<std::uint8_t>(value & 0xFF),
            static_cast<std::uint8_t>(value >> 8)};
}

void StoreReplyBytes(Reply& reply, std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 4> raw = {static_cast<std::uint8_t>(reply.first & 0xFF),
                                       static_cast<std::uint8_t>(reply.first >> 8),
                                       static_cast<std::uint8_t>(reply.second & 0xFF),
                                       static_cast<std::uint8_t>(reply.second >> 8)};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), raw.size()), raw.begin());
    reply.first = static_cast<std::uint16_t>(raw[0] | (raw[1] << 8));
    reply.second = static_cast<std::uint16_t>(raw[2] | (raw[3] << 8));
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

bool RegisterExchange::Exchange(Command command, std::uint8_t address, std::uint16_t value) {
    if (command == Command::WriteParam && m_onWrite)
        m_onWrite();
    if (!m_channel.IsOpen() || (m_watcher && !m_watcher->MayExchange()))
        return false;

    const Frame request = BuildRequest(command, address, value);
    (void)m_channel.Write(request);

    std::array<std::uint8_t, 4> buffer{};
    const std::uint32_t queued = m_channel.ReadWithWait(buffer);
    StoreReplyBytes(m_lastReply,
                    std::span<const std::uint8_t>(buffer).first(std::min<std::size_t>(queued, 4)));
    if (m_watcher)
        m_watcher->Exchanged(queued == 4);
    return queued == 4;
}

} // namespace zef
