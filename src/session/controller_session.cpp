#include "session/controller_session.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <type_traits>

namespace zef {

// A device whose every call runs on the line's thread.
class ControllerSession::LineBackend final : public SerialBackend {
public:
    LineBackend(ControllerSession& session, std::unique_ptr<SerialBackend> device)
        : m_session(session), m_device(std::move(device)) {}
    ~LineBackend() override {
        m_session.runOnLine([this] { m_device.reset(); });
    }
    LineBackend(const LineBackend&) = delete;
    LineBackend& operator=(const LineBackend&) = delete;

    bool open() override {
        return on([this] { return m_device->open(); });
    }
    void close() override {
        on([this] {
            m_device->close();
            return 0;
        });
    }
    bool configure(std::int32_t baud) override {
        return on([&] { return m_device->configure(baud); });
    }
    bool write(std::span<const std::uint8_t> bytes) override {
        return on([&] { return m_device->write(bytes); });
    }
    std::size_t bytesWaiting() override {
        return on([this] { return m_device->bytesWaiting(); });
    }
    std::size_t read(std::span<std::uint8_t> buffer) override {
        return on([&] { return m_device->read(buffer); });
    }
    bool waitForBytes(std::chrono::steady_clock::time_point deadline) override {
        return on([&] { return m_device->waitForBytes(deadline); });
    }
    void setDtr(bool on_) override {
        on([&] {
            m_device->setDtr(on_);
            return 0;
        });
    }
    void setRts(bool on_) override {
        on([&] {
            m_device->setRts(on_);
            return 0;
        });
    }
    std::string lastError() const override {
        return on([this] { return m_device->lastError(); });
    }
    OpenFailure openFailure() const override {
        return on([this] { return m_device->openFailure(); });
    }
    std::string name() const override {
        return on([this] { return m_device->name(); });
    }

private:
    template <class Call> std::invoke_result_t<Call&> on(Call call) const {
        decltype(call()) result{};
        m_session.runOnLine([&] { result = call(); });
        return result;
    }

    ControllerSession& m_session;
    std::unique_ptr<SerialBackend> m_device;
};

// Holds back, while the window waits on the line, what would start another sequence in the
// middle of the one waiting: the timers of the window's own objects (the monitor, a held spin
// button's repeat) and the window's close. Each is given once more when the wait is over.
class ControllerSession::WindowWait final : public QObject {
public:
    explicit WindowWait(QObject* window) : m_window(window) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Timer && inWindow(watched)) {
            const Held timer{watched, static_cast<QTimerEvent*>(event)->timerId()};
            if (std::find(m_timers.begin(), m_timers.end(), timer) == m_timers.end())
                m_timers.push_back(timer);
            return true;
        }
        if (event->type() == QEvent::UpdateRequest && inWindow(watched)) {
            if (m_painted.isValid() && m_painted.elapsed() < kPaintEveryMs) {
                if (std::find(m_repaint.begin(), m_repaint.end(), watched) == m_repaint.end())
                    m_repaint.push_back(watched);
                return true;
            }
            m_painted.start();
            return false;
        }
        if (event->type() == QEvent::Close && watched == m_window) {
            event->ignore(); // an accepted close would close the window unasked
            m_close = true;
            return true;
        }
        return false;
    }

    void Resume() {
        // A timer stopped or started anew meanwhile has another id and ignores its old one.
        for (const auto& [object, id] : std::exchange(m_timers, {}))
            if (object)
                QCoreApplication::postEvent(object, new QTimerEvent(id));
        for (const QPointer<QObject>& object : std::exchange(m_repaint, {}))
            if (object)
                QCoreApplication::postEvent(object, new QEvent(QEvent::UpdateRequest));
        m_painted.invalidate();
        if (std::exchange(m_close, false) && m_window)
            QMetaObject::invokeMethod(m_window, "close", Qt::QueuedConnection);
    }

private:
    using Held = std::pair<QPointer<QObject>, int>;

    [[nodiscard]] bool inWindow(const QObject* object) const {
        for (; object; object = object->parent())
            if (object == m_window)
                return true;
        return false;
    }

    // A repaint costs the line its time: a window that shows what it reads a few times a
    // second looks alive, and the sequence is not drawn out by painting every step of it.
    static constexpr int kPaintEveryMs = 100;

    QPointer<QObject> m_window;
    std::vector<Held> m_timers;
    std::vector<QPointer<QObject>> m_repaint;
    QElapsedTimer m_painted;
    bool m_close = false;
};

// Opens every device on the line's thread, which it then belongs to.
class ControllerSession::LinePorts final : public PortDirectory {
public:
    LinePorts(ControllerSession& session, PortDirectory& ports)
        : m_session(session), m_ports(ports) {}
    std::unique_ptr<SerialBackend> backendFor(int portNumber) override {
        std::unique_ptr<SerialBackend> device;
        m_session.runOnLine([&] { device = m_ports.backendFor(portNumber); });
        if (!device)
            return nullptr;
        return std::make_unique<LineBackend>(m_session, std::move(device));
    }

private:
    ControllerSession& m_session;
    PortDirectory& m_ports;
};

ControllerSession::ControllerSession(PortDirectory& ports, Threading threading,
                                     std::chrono::milliseconds step)
    : m_threading(threading), m_ports(std::make_unique<LinePorts>(*this, ports)),
      m_channel(threading == Threading::LineThread ? *m_ports : ports, step) {
    if (m_threading == Threading::Caller)
        return;
    m_thread.reset(QThread::create([this] { loop(); }));
    m_thread->setObjectName(QStringLiteral("zef-line"));
    {
        std::unique_lock lock(m_mutex);
        m_thread->start(QThread::HighPriority);
        m_changed.wait(lock, [this] { return m_lineThreadId != std::thread::id{}; });
    }
    m_channel.SetLineGate(this);
}

ControllerSession::~ControllerSession() {
    if (m_threading == Threading::Caller)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.clear();
    }
    m_channel.Close(); // the device goes on the thread it belongs to
    m_channel.SetLineGate(nullptr);
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread->wait();
}

Handshake ControllerSession::Connect(int portNumber, bool retryUnanswered) {
    if (!OpenControllerPort(m_channel, portNumber, kBaud))
        return Handshake::PortFailed;
    for (int attempt = 0; attempt < m_link.Attempts(); ++attempt) {
        Burst burst(m_link);
        const auto reply = m_link.Exchange(Command::ReadLive, 0);
        if (burst.Verified() && reply)
            return Handshake::Connected;
        if ((!reply && !retryUnanswered) || m_channel.DeviceLost())
            break;
    }
    m_channel.Close();
    return Handshake::NoAnswer;
}

int ControllerSession::JobsPending() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_jobs.size()) + (m_jobRunning ? 1 : 0);
}

bool ControllerSession::onLine() const {
    return m_threading == Threading::Caller || std::this_thread::get_id() == m_lineThreadId;
}

void ControllerSession::Hold() {
    if (onLine())
        return;
    std::unique_lock lock(m_mutex);
    if (m_held)
        return; // by this thread: no other thread than the session's maker uses the line
    // No job starts before the window has had its turn.
    m_wanted = true;
    waitFor(lock, [this] { return !m_jobRunning; });
    m_wanted = false;
    m_held = true;
    lock.unlock();
    QTimer::singleShot(0, &m_releaser, [this] { release(); });
}

void ControllerSession::release() {
    if (m_waitDepth > 0) {
        m_releaseDeferred = true; // the sequence that waits still holds the line
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_changed.notify_all();
}

void ControllerSession::SetWindow(QObject* window) {
    m_window = window;
    m_windowWait = std::make_unique<WindowWait>(window);
}

void ControllerSession::enqueueJob(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void ControllerSession::runOnLine(const std::function<void()>& call) {
    if (onLine()) {
        call();
        return;
    }
    bool done = false;
    std::unique_lock lock(m_mutex);
    m_calls.emplace_back(&call, &done);
    m_changed.notify_all();
    waitFor(lock, [&] { return done; });
}

bool ControllerSession::waitsInEventLoop() const {
    return m_window && QThread::currentThread() == m_releaser.thread() &&
           QCoreApplication::instance() && m_releaser.thread()->eventDispatcher();
}

void ControllerSession::waitFor(std::unique_lock<std::mutex>& lock,
                                const std::function<bool()>& ready) {
    // Most calls into the device are back within microseconds; only a wait for a reply or a
    // job is worth turning the window's event loop for.
    if (m_changed.wait_for(lock, kQuickCall, ready) || !waitsInEventLoop()) {
        m_changed.wait(lock, ready);
        return;
    }
    lock.unlock();
    if (m_waitDepth++ == 0)
        QCoreApplication::instance()->installEventFilter(m_windowWait.get());
    for (;;) {
        {
            std::lock_guard check(m_mutex);
            if (ready())
                break;
        }
        // The window repaints, and calls queued to it run; what the fitter types or clicks
        // stays queued until the line is free, as do the window's own timers, its close and the
        // jobs' results: none of them starts another sequence in the middle of this one.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    if (--m_waitDepth == 0) {
        QCoreApplication::instance()->removeEventFilter(m_windowWait.get());
        m_windowWait->Resume();
        // Given again, and held back again by the sequence's next wait: they run once the
        // window's event loop is its own again.
        for (auto& [receiver, call] : std::exchange(m_deferred, {}))
            deliver(receiver, std::move(call));
        if (std::exchange(m_releaseDeferred, false))
            QTimer::singleShot(0, &m_releaser, [this] { release(); });
    }
    lock.lock();
}

void ControllerSession::wakeWindow() {
    if (QAbstractEventDispatcher* dispatcher = m_releaser.thread()->eventDispatcher())
        dispatcher->wakeUp();
}

void ControllerSession::deliver(const QPointer<QObject>& receiver, std::function<void()> call) {
    QMetaObject::invokeMethod(
        &m_releaser,
        [this, receiver, call = std::move(call)]() mutable {
            if (m_waitDepth > 0) {
                // Taken after the window's sequence: a result may start one of its own.
                m_deferred.emplace_back(receiver, std::move(call));
                return;
            }
            if (receiver)
                call();
        },
        Qt::QueuedConnection);
}

void ControllerSession::Later(QObject* receiver, std::function<void()> call) {
    deliver(QPointer<QObject>(receiver), std::move(call));
}

void ControllerSession::Deliver(QObject* receiver, std::function<void()> call) {
    if (QThread::currentThread() == receiver->thread()) {
        call();
        return;
    }
    deliver(QPointer<QObject>(receiver), std::move(call));
}

void ControllerSession::loop() {
    std::unique_lock lock(m_mutex);
    m_lineThreadId = std::this_thread::get_id();
    m_changed.notify_all();
    for (;;) {
        // A device's own notices (a port that failed lets go of itself) come as posted events;
        // the wait wakes now and then to hand them over.
        m_changed.wait_for(lock, std::chrono::milliseconds(50), [this] {
            return m_stopping || !m_calls.empty() || (!m_jobs.empty() && !m_held && !m_wanted);
        });
        if (!m_calls.empty()) {
            const auto [call, done] = m_calls.front();
            m_calls.pop_front();
            lock.unlock();
            (*call)();
            lock.lock();
            *done = true;
            m_changed.notify_all();
            wakeWindow();
            continue;
        }
        if (!m_jobs.empty() && !m_held && !m_wanted) {
            auto job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_jobRunning = true;
            lock.unlock();
            job();
            QCoreApplication::sendPostedEvents();
            lock.lock();
            m_jobRunning = false;
            m_changed.notify_all();
            wakeWindow();
            continue;
        }
        if (m_stopping)
            return;
        lock.unlock();
        QCoreApplication::sendPostedEvents();
        lock.lock();
    }
}

} // namespace zef
