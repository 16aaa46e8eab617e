#pragma once

#include "link/param_value.h"
#include "link/serial_channel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace zef {

enum class Command : std::uint8_t {
    ReadLive = 0,   // a live value of the running controller
    ReadParam = 2,  // a stored calibration parameter
    WriteParam = 3, // store a calibration parameter
};

// The last reply of the controller: bytes 0-1 and 2-3, little-endian. Every read's value is
// `second`; `first` only means something after a map write.
struct Reply {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    bool operator==(const Reply&) const = default;
};

using Frame = std::array<std::uint8_t, 4>;

[[nodiscard]] Frame BuildRequest(Command command, std::uint8_t address, std::uint16_t value);

// Lays received bytes over the reply from its first byte on; a short reply leaves the later
// bytes of the previous one in place.
void StoreReplyBytes(Reply& reply, std::span<const std::uint8_t> bytes);

[[nodiscard]] ParamValue ReplyValue(const Reply& r);
[[nodiscard]] bool ReplyFlag(const Reply& r);
[[nodiscard]] ParamValue ReplyPercent(const Reply& r);
[[nodiscard]] ParamValue ReplyMillis(const Reply& r);

// Told of every exchange that reaches the line, and asked before each one whether the line may
// be used at all: a link known to be lost is not kept busy with exchanges that cannot succeed.
class ExchangeWatcher {
public:
    virtual ~ExchangeWatcher() = default;
    [[nodiscard]] virtual bool MayExchange() const = 0;
    virtual void Exchanged(bool answered) = 0;
};

// One request/reply exchange with the controller at a time, and the record of its last reply.
class RegisterExchange {
public:
    explicit RegisterExchange(SerialChannel& channel) : m_channel(channel) {}

    // True when exactly four reply bytes came.
    bool Exchange(Command command, std::uint8_t address, std::uint16_t value = 0);

    [[nodiscard]] const Reply& LastReply() const { return m_lastReply; }

    [[nodiscard]] ParamValue ReplyValue() const { return zef::ReplyValue(m_lastReply); }
    [[nodiscard]] bool ReplyFlag() const { return zef::ReplyFlag(m_lastReply); }
    [[nodiscard]] ParamValue ReplyPercent() const { return zef::ReplyPercent(m_lastReply); }
    [[nodiscard]] ParamValue ReplyMillis() const { return zef::ReplyMillis(m_lastReply); }
    [[nodiscard]] std::uint8_t ReplyLowByte() const { return m_lastReply.second & 0xFF; }

    // Runs before every parameter write, sent or not: the window uses it to drop the settings
    // file name from its caption, since the controller no longer matches that file.
    void SetWriteObserver(std::function<void()> observer) { m_onWrite = std::move(observer); }

    // nullptr: every exchange goes to the line unwatched.
    void SetWatcher(ExchangeWatcher* watcher) { m_watcher = watcher; }

    [[nodiscard]] SerialChannel& Channel() { return m_channel; }
    [[nodiscard]] const SerialChannel& Channel() const { return m_channel; }

private:
    SerialChannel& m_channel;
    Reply m_lastReply;
    std::function<void()> m_onWrite;
    ExchangeWatcher* m_watcher = nullptr;
};

} // namespace zef
