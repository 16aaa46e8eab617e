#pragma once

#include <functional>
#include <memory>

class QObject;
class QTimer;

namespace zef {

// The periodic timer of a bound control. The controls take one from their owner so that tests
// can run the clock by hand; by default they make a QtTickTimer. Ticks come on the window's
// thread and are not queued up while it is busy.
class TickTimer {
public:
    virtual ~TickTimer() = default;

    // Runs the timer from now on: the first tick comes one full interval later, even when the
    // timer was already running.
    virtual void Start() = 0;
    virtual void Stop() = 0;
    [[nodiscard]] virtual bool IsActive() const = 0;
    // Takes effect from the next start; a running timer restarts with it.
    virtual void SetInterval(int ms) = 0;
    [[nodiscard]] virtual int Interval() const = 0;

    std::function<void()> onTick;
};

class QtTickTimer final : public TickTimer {
public:
    // The owner's timer, as far as the event loop can tell (the window holds back its own
    // timers while it waits on the line).
    explicit QtTickTimer(QObject* owner = nullptr);
    ~QtTickTimer() override;

    void Start() override;
    void Stop() override;
    [[nodiscard]] bool IsActive() const override;
    void SetInterval(int ms) override;
    [[nodiscard]] int Interval() const override;

private:
    std::unique_ptr<QTimer> m_timer;
};

} // namespace zef
