#pragma once

#include "link/line_gate.h"
#include "link/serial_backend.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zef {

// What the link has been through since the port was opened, for a status display.
struct LinkFigures {
    std::uint64_t exchanges = 0;          // waiting reads made, answered or not
    std::uint64_t failedExchanges = 0;    // of them, those that did not get exactly their bytes
    std::uint64_t lateBytesDiscarded = 0; // bytes thrown away between exchanges
    std::uint64_t quietWaits = 0;         // requests held back until the line was quiet
    std::uint64_t voidBursts = 0;         // bursts whose values were thrown away for stray bytes
    bool operator==(const LinkFigures&) const = default;
};

// The one serial port of a session: numbered ports 1 to 4, the accepted speeds, and the
// waiting read that paces every exchange with the controller.
//
// Without sequence numbers a reply belongs to a request only by its timing. After a clean
// exchange the next request goes out at once. After an exchange that did not end cleanly (no
// reply, a short reply, surplus bytes) a reply may still be on its way, so the next request
// waits until the line has been quiet for one clock step (at most four steps more), throwing
// away what arrives meanwhile.
//
// A reply later than that reaches a later exchange. The controller answers in order, so the
// exchange that takes it has its own answer right behind it: while the channel still owes a
// whole reply to an earlier request, a reply counts only if the line stays quiet for one step
// after it. A reply owed for more than twenty steps is taken as lost. An answer that comes later
// still, with the one owed behind it later still, cannot be told apart.
class SerialChannel {
public:
    // A clock step of the desktop the controller timing was designed around; the controller gets
    // four of them to answer.
    static constexpr std::chrono::milliseconds kDefaultStep{16};
    static constexpr int kWaitPeriods = 4;
    // How many steps beyond the first the wait for a quiet line may take at most.
    static constexpr int kQuietExtraSteps = 4;
    // After this many steps an unanswered request's reply is no longer expected.
    static constexpr int kOwedReplySteps = 20;
    static constexpr std::array<std::int32_t, 15> kAcceptedBauds = {
        110,   300,   600,   1200,  2400,   4800,   9600,  14400,
        19200, 38400, 56000, 57600, 115200, 128000, 256000};

    explicit SerialChannel(PortDirectory& ports, std::chrono::milliseconds step = kDefaultStep);
    ~SerialChannel();
    SerialChannel(const SerialChannel&) = delete;
    SerialChannel& operator=(const SerialChannel&) = delete;

    [[nodiscard]] static bool IsAcceptedBaud(std::int32_t baud);

    // Starts fresh figures. On failure DeviceError() says why, when the system said.
    [[nodiscard]] bool Open(int portNumber, std::int32_t baud);
    void Close();
    [[nodiscard]] bool IsOpen() const {
        holdLine();
        return m_backend != nullptr;
    }
    [[nodiscard]] int PortNumber() const { return m_portNumber; }

    // Queues a request; after an exchange that did not end cleanly, first waits for a quiet line.
    [[nodiscard]] bool Write(std::span<const std::uint8_t> bytes);

    // Waits up to four clock steps for `buffer.size()` bytes, blocking in the operating system,
    // and one step more to watch the line while an earlier reply is owed. Stores at most
    // buffer.size() of the bytes that came and drops the rest; returns how many were queued, so
    // a surplus shows as a wrong count.
    [[nodiscard]] std::uint32_t ReadWithWait(std::span<std::uint8_t> buffer);

    // Takes the reply to a request sent at least four clock steps ago, without waiting: what
    // has come by now is all that counts. Counted as an exchange like ReadWithWait.
    [[nodiscard]] std::uint32_t ReadWaiting(std::span<std::uint8_t> buffer);

    // Watches the line for one clock step after an exchange; true when nothing came. Whatever
    // came is thrown away as late, and the next request waits for a quiet line. A controller
    // that was stopped answers every request it missed at once when it goes on, and only a
    // reply that is not one of such a burst can be taken as the answer to the last request.
    [[nodiscard]] bool QuietForAStep();

    // A burst is a run of exchanges whose values count only together. A reply that a UART
    // follows with stray bytes ends its exchange at its fourth byte, and the strays then arrive
    // as the next request's answer, each one shifting every later reply: nothing within one
    // exchange can tell. So the values of a burst are released only when no byte was thrown
    // away on the way and the line stays quiet after its last reply for the interval that ends
    // a frame on a serial bus (3.5 characters, at least 1.75 ms). What the quiet-line wait
    // clears before the burst's first request belongs to earlier exchanges and voids nothing.
    // Bursts nest: an inner one (the identity block within a connection) is checked on its
    // own, and whatever voids it voids the outer one as well.
    void BeginBurst();
    // True when the burst's values may be used. Whatever came is thrown away as late.
    [[nodiscard]] bool EndBurst();
    [[nodiscard]] bool InBurst() const { return m_burstDepth > 0; }
    // The quiet that ends a burst at the open port's speed.
    [[nodiscard]] std::chrono::microseconds BurstQuiet() const;

    void SetDtr();
    void ClearRts();

    [[nodiscard]] const LinkFigures& Figures() const {
        holdLine();
        return m_figures;
    }

    // nullptr: the line is this thread's alone. Otherwise every call first holds it.
    void SetLineGate(LineGate* gate) { m_gate = gate; }

    // The open port's device failed for good (pulled out, closed on the far side), also when
    // that happened between exchanges: exchanges fail at once until the session closes the
    // port and opens it again.
    [[nodiscard]] bool DeviceLost() const;
    // The system's reason for a lost device or a failed Open; empty when there is none.
    [[nodiscard]] std::string DeviceError() const;
    // The device the last Open tried, kept after Close and after a failed Open, for messages;
    // empty when nothing stood behind the number.
    [[nodiscard]] const std::string& DeviceName() const { return m_device; }
    // What kind of failure the last failed Open met.
    [[nodiscard]] OpenFailure OpenFailureKind() const { return m_openFailure; }

    [[nodiscard]] std::chrono::milliseconds Step() const { return m_step; }

private:
    using Clock = std::chrono::steady_clock;

    void holdLine() const {
        if (m_gate != nullptr)
            m_gate->Hold();
    }

    std::size_t Discard();
    void AwaitQuietLine();
    // Watches the line for one step after a reply; true when nothing more came.
    bool StaysQuiet(std::size_t queued);
    void Received(std::size_t bytes);
    // Notes a device that failed for good; true when it did.
    bool CheckLost();

    PortDirectory& m_ports;
    LineGate* m_gate = nullptr;
    std::chrono::milliseconds m_step;
    std::unique_ptr<SerialBackend> m_backend;
    int m_portNumber = 0;
    bool m_lost = false;
    std::string m_error;
    std::string m_device;
    OpenFailure m_openFailure = OpenFailure::Unknown;
    LinkFigures m_figures;
    // Set by an exchange that did not end cleanly: the next request waits for a quiet line.
    bool m_awaitQuiet = false;
    Clock::time_point m_lastActivity{}; // when the line last showed life, for the quiet wait
    // Reply bytes of requests sent that have not come yet, and since when some are owed.
    std::size_t m_owed = 0;
    Clock::time_point m_owedSince{};
    std::int32_t m_baud = 0;
    int m_burstDepth = 0;
    bool m_burstVoid = false;
    int m_burstRequests = 0;
    Clock::time_point m_lastWrite{};
};

} // namespace zef
