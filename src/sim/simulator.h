#pragma once

#include "sim/controller_model.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zef::sim {

// What can go wrong on the line, as named modes a test or a demonstration switches on.
enum class Fault {
    None,
    Silent,     // no reply at all
    ShortReply, // only the first `bytes` (1 to 3) bytes of the reply
    Surplus,    // the reply followed by `bytes` extra bytes
    Garbage,    // four bytes of noise instead of the reply
};

struct FaultPlan {
    Fault fault = Fault::None;
    int bytes = 0;
    std::chrono::milliseconds delay{0}; // before the reply starts
    bool operator==(const FaultPlan&) const = default;
};

// Parses "silent", "short=N", "surplus=N", "garbage" or "none".
[[nodiscard]] std::optional<FaultPlan> ParseFault(std::string_view text);

// 11 bit times (start, 8 data, two stop) at 19200 baud.
inline constexpr std::chrono::nanoseconds kCharTime19200{11'000'000'000LL / 19200};

// The controller behind a serial line: collects request bytes into frames, answers each from
// the register model, applies the fault plan and keeps a log of every request it received.
// Thread-safe, so a test may inspect it while a pseudo-terminal server runs it.
class Simulator {
public:
    struct Options {
        bool blankIdentity = false;
        bool lineTiming = false; // pace replies like a 19200 baud 8N2 line
    };
    struct Reply {
        std::vector<std::uint8_t> bytes;
        std::chrono::nanoseconds start{0};   // after the request was complete
        std::chrono::nanoseconds perByte{0}; // each byte lands this much after the one before
    };
    using Clock = std::function<double()>; // seconds since power-up

    Simulator();
    explicit Simulator(Options options, Clock clock = {});

    // Feeds bytes as they come off the line; returns one reply per completed request frame.
    [[nodiscard]] std::vector<Reply> Receive(std::span<const std::uint8_t> bytes);

    void SetFault(FaultPlan plan);
    // Applies to the next request only, ahead of the standing plan; several queue up.
    void InjectOnce(FaultPlan plan);
    // Applies whenever a request addresses this register.
    void SetFaultForAddress(std::uint8_t address, std::optional<FaultPlan> plan);

    [[nodiscard]] std::vector<Frame> Frames() const;
    void ClearFrames();

    // Exclusive use, like a device only one program may open.
    [[nodiscard]] bool Claim();
    void Release();

    // Runs `fn` on the register model under the simulator's lock.
    template <typename Fn> auto WithModel(Fn&& fn) {
        std::lock_guard lock(m_mutex);
        return fn(m_model);
    }

    [[nodiscard]] double Now() const { return m_clock(); }

private:
    Reply Answer(const Frame& request);

    mutable std::mutex m_mutex;
    Options m_options;
    Clock m_clock;
    ControllerModel m_model;
    std::vector<std::uint8_t> m_partial;
    std::vector<Frame> m_frames;
    FaultPlan m_fault;
    std::deque<FaultPlan> m_once;
    std::vector<std::pair<std::uint8_t, FaultPlan>> m_byAddress;
    bool m_claimed = false;
    std::uint32_t m_noise = 0x2545F491;
};

} // namespace zef::sim
