#pragma once

#include "link/line_gate.h"
#include "link/link_supervisor.h"
#include "link/register_exchange.h"
#include "link/serial_channel.h"
#include "registry/registry_event.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class QThread;

namespace zef {

// How a session runs its exchanges.
enum class Threading : std::uint8_t {
    Caller,     // on the thread that asks: a command line, a test that counts frames
    LineThread, // on a thread of the session's own, so that a window never waits on the line
};

// What opening a controller's port came to.
enum class Handshake : std::uint8_t {
    Connected,  // the port is open and the controller answered
    PortFailed, // the port did not open; the channel says why
    NoAnswer,   // the port opened and was closed again: nothing answered
};

// The controller session every face drives: the port, the exchanges on it, the supervisor that
// tells a lost link, and the line's own thread.
//
// With a line thread, work reaches the line in two ways. Jobs (a monitor tick, a datalog row)
// run there whole and in order, never interleaved with each other; their results come back to
// the face by its event loop. Everything else a face does with the controller (an edit, a
// connection, a load) runs on the face's thread while it holds the line, as it always did; only
// the calls into the device itself are carried to the line's thread, because a port belongs to
// the thread that opened it. While such a call waits for the line, the window's event loop
// turns (it repaints, calls queued to it run) but starts nothing: user input, the window's own
// timers, its close and the jobs' results wait for the sequence to end. The thread is a plain
// loop, not an event loop, so that a job's exchanges are never held up by a face's events.
class ControllerSession final : private LineGate {
public:
    static constexpr std::int32_t kBaud = 19200;

    explicit ControllerSession(PortDirectory& ports, Threading threading = Threading::Caller,
                               std::chrono::milliseconds step = SerialChannel::kDefaultStep);
    ~ControllerSession() override;
    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    [[nodiscard]] RegisterExchange& Link() { return m_link; }
    [[nodiscard]] SerialChannel& Channel() { return m_channel; }
    [[nodiscard]] LinkSupervisor& Supervisor() { return m_supervisor; }
    [[nodiscard]] Threading Mode() const { return m_threading; }

    // The one way a controller is opened, by the window, the command line and a supervisor
    // that brings a vanished device back: the port at 19200 8N2, DTR set and RTS cleared as the
    // controller's adapter expects, and a probe of the live register 0. A probe answered with
    // stray bytes around it is tried again as the exchange's retries say; an unanswered one
    // only when asked, since a fitter who picked the wrong port wants to hear so at once. A
    // port nothing answers on is closed again.
    [[nodiscard]] Handshake Connect(int portNumber, bool retryUnanswered = false);

    // Runs `job` on the line; `done` gets its result on `receiver`'s thread, unless the receiver
    // is gone by then. Without a line thread both run before Post returns.
    template <class Result>
    void Post(QObject* receiver, std::function<Result(RegisterExchange&)> job,
              std::function<void(Result)> done) {
        if (m_threading == Threading::Caller) {
            done(job(m_link));
            return;
        }
        enqueueJob([this, guard = QPointer<QObject>(receiver), job = std::move(job),
                    done = std::move(done)]() mutable {
            Result result = job(m_link);
            deliver(guard, [done = std::move(done), result = std::move(result)]() mutable {
                done(std::move(result));
            });
        });
    }

    // Where what the session did to a controller is kept: a production registry, when the
    // station has one.
    using EventSink = std::function<void(EventKind kind, const QString& serial,
                                         const std::vector<std::uint16_t>& calibration)>;
    void SetEventSink(EventSink sink) { m_events = std::move(sink); }
    // Records an action on the controller, from whichever face made it. A controller without a
    // serial number has no history to add to.
    void Record(EventKind kind, const std::optional<QString>& serial,
                const std::vector<std::uint16_t>& calibration = {}) const {
        if (m_events && serial && !serial->trimmed().isEmpty())
            m_events(kind, serial->trimmed(), calibration);
    }

    // The window whose event loop keeps turning while it waits on the line (see waitFor).
    void SetWindow(QObject* window);
    // Calls `call` on `receiver`'s thread: at once when already there, else by its event loop,
    // after any sequence the window is in the middle of, and not at all once it is gone.
    void Deliver(QObject* receiver, std::function<void()> call);
    // Calls `call` on `receiver`'s thread once the sequence it is in the middle of has ended.
    void Later(QObject* receiver, std::function<void()> call);

    // Jobs posted and not finished yet.
    [[nodiscard]] int JobsPending() const;

    // LineGate, for a face that reads the session's state between exchanges.
    void Hold() override;

private:
    class LinePorts;
    class LineBackend;
    class WindowWait;

    // Time a call into the device gets before the window's event loop turns while it waits.
    static constexpr std::chrono::milliseconds kQuickCall{2};

    void enqueueJob(std::function<void()> job);
    // Runs `call` on the line's thread and waits for it; at once when already there.
    void runOnLine(const std::function<void()>& call);
    // Waits, with the lock held, until `ready`. On the window's thread the window's event loop
    // turns in the meantime, user input aside, so that it repaints and is never frozen by the
    // line; the lock is let go while it turns.
    void waitFor(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready);
    [[nodiscard]] bool waitsInEventLoop() const;
    void wakeWindow();
    [[nodiscard]] bool onLine() const;
    void release();
    void loop();
    void deliver(const QPointer<QObject>& receiver, std::function<void()> call);

    const Threading m_threading;
    EventSink m_events;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    std::deque<std::pair<const std::function<void()>*, bool*>> m_calls;
    bool m_jobRunning = false;
    bool m_held = false;
    bool m_wanted = false; // the window waits for the running job, to hold the line next
    bool m_stopping = false;
    std::thread::id m_lineThreadId;
    QObject m_releaser; // lives on the thread that made the session, where the line is held
    // Kept by the window's thread alone.
    QPointer<QObject> m_window;
    std::unique_ptr<WindowWait> m_windowWait;
    int m_waitDepth = 0;
    bool m_releaseDeferred = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> m_deferred;
    std::unique_ptr<QThread> m_thread;

    std::unique_ptr<LinePorts> m_ports;
    SerialChannel m_channel;
    RegisterExchange m_link{m_channel};
    LinkSupervisor m_supervisor{m_link};
};

} // namespace zef
