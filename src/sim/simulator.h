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
    Garbage,    // `bytes` bytes of noise (four when 0) instead of the reply
    Split,      // the first `bytes` (1 to 3) bytes, then the rest `gap` later
    Unplugged,  // the cable is out: the request is neither acted on nor answered
};

struct FaultPlan {
    Fault fault = Fault::None;
    int bytes = 0;
    std::chrono::milliseconds delay{0}; // before the reply starts
    std::chrono::milliseconds gap{0};   // between the two pieces of a split reply
    bool operator==(const FaultPlan&) const = default;
};

// Parses "silent", "short=N", "surplus=N", "garbage", "split=N:MS", "unplugged" or "none".
[[nodiscard]] std::optional<FaultPlan> ParseFault(std::string_view text);

// Faults drawn at random for a share of the requests, repeatable from the seed. A request gets
// at most one of them; the standing plan applies to the rest.
struct RandomFaults {
    struct Range {
        double percent = 0; // of the requests
        int low = 0;        // milliseconds (late, split) or bytes (surplus)
        int high = 0;
        bool operator==(const Range&) const = default;
    };
    std::uint64_t seed = 1;
    Range late;    // the whole reply late by low..high ms
    Range split;   // a reply in two pieces with a gap of low..high ms
    Range surplus; // low..high extra bytes after the reply
    Range garbage; // low..high bytes of noise instead of the reply
    bool operator==(const RandomFaults&) const = default;
};

// Parses a comma-separated list such as "late=2:10-150,split=0.5:1-60,surplus=0.5:1-4,
// garbage=0.5:1-6" (percent of the requests, then the range). The seed stays as given.
[[nodiscard]] std::optional<RandomFaults> ParseRandomFaults(std::string_view text,
                                                            std::uint64_t seed = 1);

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
    // Bytes that follow each other on the line without a pause reach the receiver together, as
    // a UART's receive buffer or a USB adapter hands them over; a pause starts a new piece.
    struct Piece {
        std::vector<std::uint8_t> bytes;
        std::chrono::nanoseconds at{0}; // when it has arrived, counted from the request
    };
    struct Reply {
        std::size_t request = 0; // its request's position in Frames()
        std::vector<Piece> pieces;
        [[nodiscard]] std::vector<std::uint8_t> Bytes() const;
    };
    using Clock = std::function<double()>; // seconds since power-up

    Simulator();
    explicit Simulator(Options options, Clock clock = {});

    // Feeds bytes as they come off the line; returns one reply per completed request frame
    // that gets an answer.
    [[nodiscard]] std::vector<Reply> Receive(std::span<const std::uint8_t> bytes);

    void SetFault(FaultPlan plan);
    // Applies to the next request only, ahead of every other plan; several queue up.
    void InjectOnce(FaultPlan plan);
    // Applies whenever a request addresses this register.
    void SetFaultForAddress(std::uint8_t address, std::optional<FaultPlan> plan);
    void SetRandomFaults(RandomFaults faults);
    // The cable pulled in the middle of a job: that many more parameter writes are taken and
    // answered, then the standing plan becomes Unplugged until SetFault sets another one.
    void UnplugAfterWrites(int writes);

    [[nodiscard]] std::vector<Frame> Frames() const;
    // The plan each request of Frames() was answered with.
    [[nodiscard]] std::vector<FaultPlan> AppliedFaults() const;
    void ClearFrames();
    // Hands over the requests received so far and forgets them, so a simulator serving for
    // hours keeps no growing record; positions go on counting from where they were.
    [[nodiscard]] std::vector<Frame> TakeFrames();

    // Exclusive use, like a device only one program may open.
    [[nodiscard]] bool Claim();
    void Release();

    // Runs `fn` on the register model under the simulator's lock.
    template <typename Fn> auto WithModel(Fn&& fn) {
        std::lock_guard lock(m_mutex);
        return fn(m_model);
    }

    [[nodiscard]] double Now() const { return m_clock(); }

    // A character's time on the line, or zero without line timing.
    [[nodiscard]] std::chrono::nanoseconds CharTime() const {
        return m_options.lineTiming ? kCharTime19200 : std::chrono::nanoseconds::zero();
    }
    // Requests received since power-up, those handed over by TakeFrames included.
    [[nodiscard]] std::size_t Received() const;

private:
    Reply Answer(const Frame& request);
    FaultPlan PlanFor(const Frame& request);
    std::uint64_t NextRandom();
    int Draw(int low, int high);

    mutable std::mutex m_mutex;
    Options m_options;
    Clock m_clock;
    ControllerModel m_model;
    std::vector<std::uint8_t> m_partial;
    std::vector<Frame> m_frames;
    std::size_t m_framesTaken = 0; // requests handed over by TakeFrames
    std::vector<FaultPlan> m_applied;
    FaultPlan m_fault;
    std::deque<FaultPlan> m_once;
    std::vector<std::pair<std::uint8_t, FaultPlan>> m_byAddress;
    RandomFaults m_random;
    std::uint64_t m_randomState = 0;
    std::optional<int> m_writesBeforeUnplug;
    bool m_claimed = false;
    std::uint32_t m_noise = 0x2545F491;
};

} // namespace zef::sim
