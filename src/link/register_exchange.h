#pragma once

#include "link/param_value.h"
#include "link/serial_channel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>

namespace zef {

enum class Command : std::uint8_t {
    ReadLive = 0,   // a live value of the running controller
    ReadParam = 2,  // a stored calibration parameter
    WriteParam = 3, // store a calibration parameter
};

// A reply of the controller: bytes 0-1 and 2-3, little-endian. Every read's value is `second`;
// `first` only means something after a map write.
struct Reply {
    std::uint16_t first = 0;
    std::uint16_t second = 0;
    bool operator==(const Reply&) const = default;
};

using Frame = std::array<std::uint8_t, 4>;

[[nodiscard]] Frame BuildRequest(Command command, std::uint8_t address, std::uint16_t value);

// The reply made of exactly four received bytes.
[[nodiscard]] Reply ReplyFromBytes(std::span<const std::uint8_t, 4> bytes);

[[nodiscard]] ParamValue ReplyValue(const Reply& r);
[[nodiscard]] bool ReplyFlag(const Reply& r);
[[nodiscard]] ParamValue ReplyPercent(const Reply& r);
[[nodiscard]] ParamValue ReplyMillis(const Reply& r);
[[nodiscard]] inline std::uint8_t ReplyLowByte(const Reply& r) {
    return r.second & 0xFF;
}

// Told of every exchange that reaches the line, and asked before each one whether the line may
// be used at all: a link known to be lost is not kept busy with exchanges that cannot succeed.
class ExchangeWatcher {
public:
    virtual ~ExchangeWatcher() = default;
    [[nodiscard]] virtual bool MayExchange() const = 0;
    virtual void Exchanged(bool answered) = 0;
};

// One request/reply exchange with the controller at a time. Each exchange returns its own
// reply: no record of an earlier one is left to be taken for it.
class RegisterExchange {
public:
    explicit RegisterExchange(SerialChannel& channel) : m_channel(channel) {}

    // The reply when exactly four bytes came; nothing otherwise. Within a burst the reply is
    // the controller's only once the burst has been verified.
    [[nodiscard]] std::optional<Reply> Exchange(Command command, std::uint8_t address,
                                                std::uint16_t value = 0);

    // Runs before every parameter write, sent or not: the window uses it to drop the settings
    // file name from its caption, since the controller no longer matches that file.
    void SetWriteObserver(std::function<void()> observer) { m_onWrite = std::move(observer); }

    // Keeps the word of every answered parameter read, and forgets a parameter written since,
    // so that what a sequence has read need not be read again by the next step of it. nullptr:
    // nothing kept. The words count only if the burst they came in was verified.
    void SetReadRecorder(std::map<std::uint8_t, std::uint16_t>* recorder) { m_recorder = recorder; }

    // Told of every frame sent, with the four bytes that came back or nothing: a trace for
    // whoever has to tell a wiring fault from a controller's.
    using Trace = std::function<void(const Frame& request, const std::optional<Frame>& reply)>;
    void SetTrace(Trace trace) { m_trace = std::move(trace); }

    // Told of every exchange that reached the line: the word sent and the reply, or nothing when
    // none came. Whoever keeps what the controller was last seen to hold learns it here, from
    // every face's reads and writes alike.
    using Observer = std::function<void(Command command, std::uint8_t address, std::uint16_t value,
                                        const std::optional<Reply>& reply)>;
    void SetExchangeObserver(Observer observer) { m_observer = std::move(observer); }

    // nullptr: every exchange goes to the line unwatched.
    void SetWatcher(ExchangeWatcher* watcher) { m_watcher = watcher; }

    [[nodiscard]] SerialChannel& Channel() { return m_channel; }
    [[nodiscard]] const SerialChannel& Channel() const { return m_channel; }

    // How many more times a burst that went unanswered or was voided is tried: once, as the
    // window's link supervisor would, unless a script on a loaded host asks for more.
    void SetRetries(int retries) { m_retries = retries < 0 ? 0 : retries; }
    [[nodiscard]] int Attempts() const { return 1 + m_retries; }

private:
    SerialChannel& m_channel;
    int m_retries = 1;
    std::function<void()> m_onWrite;
    Trace m_trace;
    Observer m_observer;
    std::map<std::uint8_t, std::uint16_t>* m_recorder = nullptr;
    ExchangeWatcher* m_watcher = nullptr;
};

// The exchanges of one burst (see SerialChannel::BeginBurst): begun on construction; its values
// may be used only when Verified() says so. A burst left unverified counts for nothing.
class Burst {
public:
    explicit Burst(RegisterExchange& link) : m_channel(link.Channel()) { m_channel.BeginBurst(); }
    ~Burst() {
        if (!m_ended)
            (void)m_channel.EndBurst();
    }
    Burst(const Burst&) = delete;
    Burst& operator=(const Burst&) = delete;

    // Ends the burst with the quiet check; true when nothing stray was seen on the way.
    [[nodiscard]] bool Verified() {
        m_ended = true;
        return m_channel.EndBurst();
    }

private:
    SerialChannel& m_channel;
    bool m_ended = false;
};

// One read as a burst of its own, tried again (Attempts()) when it went unanswered or was voided.
[[nodiscard]] std::optional<Reply> ReadVerified(RegisterExchange& link, std::uint8_t address,
                                                Command command = Command::ReadParam);

} // namespace zef
