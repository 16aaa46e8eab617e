#pragma once

// A clock run by hand for the timers of the bound controls, so that tests of the repeat and
// query rhythms take no real time and always see the same ticks.

#include "controls/tick_timer.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace zef::test {

class FakeClock {
public:
    class Timer final : public TickTimer {
    public:
        explicit Timer(FakeClock& clock) : m_clock(clock) { m_clock.m_timers.push_back(this); }
        ~Timer() override { std::erase(m_clock.m_timers, this); }

        void Start() override {
            m_active = true;
            m_due = m_clock.m_now + m_interval;
            ++m_starts;
        }
        void Stop() override { m_active = false; }
        [[nodiscard]] bool IsActive() const override { return m_active; }
        void SetInterval(int ms) override {
            m_interval = ms;
            if (m_active)
                Start();
        }
        [[nodiscard]] int Interval() const override { return m_interval; }

    private:
        friend class FakeClock;
        FakeClock& m_clock;
        bool m_active = false;
        int m_interval = 0;
        long long m_due = 0;
        long long m_starts = 0;
    };

    [[nodiscard]] std::unique_ptr<TickTimer> MakeTimer() { return std::make_unique<Timer>(*this); }

    [[nodiscard]] long long Now() const { return m_now; }

    // Moves time on, firing every tick that falls due on the way in order.
    void Advance(long long ms) {
        const long long end = m_now + ms;
        while (Timer* next = nextDue(end)) {
            m_now = std::max(m_now, next->m_due);
            const long long starts = next->m_starts;
            next->m_due += next->m_interval;
            if (next->onTick)
                next->onTick();
            const bool alive = std::find(m_timers.begin(), m_timers.end(), next) != m_timers.end();
            // Like a window timer, a tick that fell due while the thread was busy comes once,
            // as soon as it is free.
            if (alive && next->m_starts == starts && next->m_due < m_now)
                next->m_due = m_now;
        }
        m_now = std::max(m_now, end);
    }

    // Stands for a handler that blocks the thread, as a serial exchange does.
    void Busy(long long ms) { m_now += ms; }

private:
    Timer* nextDue(long long end) const {
        Timer* next = nullptr;
        for (Timer* t : m_timers) {
            if (t->m_active && t->m_interval > 0 && t->m_due <= end &&
                (!next || t->m_due < next->m_due))
                next = t;
        }
        return next;
    }

    long long m_now = 0;
    std::vector<Timer*> m_timers;
};

} // namespace zef::test
