#pragma once

#include "link/register_exchange.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zef {

enum class LinkState : std::uint8_t {
    Closed, // no session
    Live,   // the controller answers
    Lost,   // it stopped answering, or its device failed; only probes go out
};

// The state for the status display: "Нет подключения", "Подключено: COM1 (/dev/ttyUSB0)",
// "Нет связи".
[[nodiscard]] QString LinkStateText(LinkState state, int portNumber, const std::string& device);
// Exchanges per second between two readings of the figures; figures that started afresh in
// between (a port opened again) count from zero.
[[nodiscard]] double ExchangesPerSecond(const LinkFigures& before, const LinkFigures& now,
                                        double seconds);
[[nodiscard]] QString LinkFiguresText(double exchangesPerSecond, const LinkFigures& figures);

// Opens a controller's port as its adapter expects: 8N2 at `baud`, DTR set, RTS cleared.
[[nodiscard]] bool OpenControllerPort(SerialChannel& channel, int portNumber, std::int32_t baud);

// Watches the exchanges of a session and decides when the controller is gone and when it is
// back. The controller has no heartbeat of its own, so only the exchanges tell: a few failures
// in a row, or a device that failed for good, and the link is lost. While lost every exchange
// but the probe fails at once without touching the line, so that the window is not held up by
// waits that cannot end in an answer, and nothing shown can come from a reply that never came.
class LinkSupervisor final : public ExchangeWatcher {
public:
    using Clock = std::chrono::steady_clock;
    // One failure is noise on the line; three in a row is a controller that has stopped.
    static constexpr int kFailuresForLoss = 3;
    // A device that vanished is looked for again this often.
    static constexpr std::chrono::milliseconds kReopenInterval{1000};

    explicit LinkSupervisor(RegisterExchange& link);
    ~LinkSupervisor() override;
    LinkSupervisor(const LinkSupervisor&) = delete;
    LinkSupervisor& operator=(const LinkSupervisor&) = delete;

    // The session's port is open at `baud` and the controller answered.
    void Start(int portNumber, std::int32_t baud);
    // The session ends; the port is the caller's to close.
    void Stop();

    [[nodiscard]] LinkState State() const { return m_state; }
    [[nodiscard]] bool IsLost() const { return m_state == LinkState::Lost; }
    [[nodiscard]] int PortNumber() const { return m_portNumber; }
    // The device behind the session's port, kept while the port is closed for a reopen.
    [[nodiscard]] const std::string& DeviceName() const { return m_deviceName; }
    // Why the device failed, in the system's words; empty when the controller just went quiet.
    [[nodiscard]] const std::string& LostReason() const { return m_lostReason; }
    [[nodiscard]] int FailuresInARow() const { return m_failuresInARow; }
    // The channel's figures over the whole session, reopened ports included.
    [[nodiscard]] LinkFigures SessionFigures() const;

    // One probe while lost, never waiting on the line: the answer to the probe sent at an
    // earlier call is taken as it has come, and the next probe goes out. A port whose device
    // failed is closed and opened again first, at most once every kReopenInterval. True when
    // the controller answered; the link is live again, and what was shown of the controller
    // before may belong to another one by now. Calls closer together than the channel's four
    // clock steps do nothing.
    bool Probe(Clock::time_point now = Clock::now());

    // Runs on every change of state.
    void SetStateObserver(std::function<void(LinkState)> observer) {
        m_onState = std::move(observer);
    }

    // ExchangeWatcher
    [[nodiscard]] bool MayExchange() const override { return m_state != LinkState::Lost; }
    void Exchanged(bool answered) override;

private:
    void enter(LinkState state);
    void lose();
    bool reopen(Clock::time_point now);
    // Closes the port, keeping its figures for the session's.
    void closePort();

    RegisterExchange& m_link;
    // Read by the faces while the line's thread changes it.
    std::atomic<LinkState> m_state = LinkState::Closed;
    int m_portNumber = 0;
    std::int32_t m_baud = 0;
    std::string m_deviceName;
    std::string m_lostReason;
    LinkFigures m_closedFigures; // of the ports this session closed
    int m_failuresInARow = 0;
    Clock::time_point m_lastReopen{};
    std::optional<Clock::time_point> m_probeSent; // the probe whose answer is still to be taken
    std::function<void(LinkState)> m_onState;
};

} // namespace zef
