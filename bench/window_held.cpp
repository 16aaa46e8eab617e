#include "bench/window_held.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zef::bench {

bool RunUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void RunFor(int ms) {
    // Waits for events rather than polling: what the process spends is then the window's.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

Held HeldWhile(int spanMs, const std::function<void()>& meanwhile) {
    constexpr int kPeriodMs = 10;
    QElapsedTimer clock, since;
    Held held;
    double late = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kPeriodMs);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto lateMs = std::max<qint64>(0, since.restart() - kPeriodMs);
        late += static_cast<double>(lateMs);
        held.worstMs = std::max(held.worstMs, static_cast<double>(lateMs));
    });
    QTimer work;
    work.setInterval(100);
    // The window's event loop turns while its sequences wait on the line, and this timer is
    // not the window's: one sequence at a time, as a fitter's clicks would come.
    bool inside = false;
    if (meanwhile)
        QObject::connect(&work, &QTimer::timeout, [&] {
            if (std::exchange(inside, true))
                return;
            meanwhile();
            inside = false;
        });
    clock.start();
    since.start();
    probe.start();
    work.start();
    RunFor(spanMs);
    probe.stop();
    work.stop();
    held.share = late / static_cast<double>(clock.elapsed());
    return held;
}

void PrintHeld(const char* what, const Held& held) {
    std::printf("  %-44s %5.1f %% held, worst %5.1f ms (target <= 5 %%, <= 30 ms)\n", what,
                100 * held.share, held.worstMs);
    std::fflush(stdout);
}

} // namespace zef::bench
