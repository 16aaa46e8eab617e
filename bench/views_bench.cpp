// What the fitter's views cost while the monitor runs: the processor time of the window's
// process and how much of each second its thread is held up, with no view open, with
// "Приборы", and with "Приборы" and "Все параметры" together. The window runs on the
// in-process simulator paced like the line, its exchanges on a line thread of their own.

#include "bench/benches.h"
#include "bench/window_held.h"

#include "app/dashboard.h"
#include "app/main_window.h"
#include "app/parameter_table.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "sim/sim_backend.h"

#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <memory>

namespace zef::bench {

namespace {

double ProcessorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double WindowThreadSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Load {
    double core = 0;   // share of one core, all the process's threads
    double window = 0; // of which the window thread
    Held held;
};

Load Measure(int spanMs) {
    const double before = ProcessorSeconds();
    const double windowBefore = WindowThreadSeconds();
    Load load;
    load.held = HeldWhile(spanMs);
    load.core = (ProcessorSeconds() - before) / (1e-3 * spanMs);
    load.window = (WindowThreadSeconds() - windowBefore) / (1e-3 * spanMs);
    return load;
}

void PrintLoad(const char* what, const Load& load, const Load* base) {
    std::printf("  %s %5.2f %% of a core (window thread %5.2f %%)", what, 100 * load.core,
                100 * load.window);
    if (base)
        std::printf(" (%+5.2f %% added; target <= 2 %%)", 100 * (load.core - base->core));
    std::printf("\n");
    PrintHeld("  window thread:", load.held);
}

} // namespace

void PrintViewsLoad() {
    constexpr int kSpanMs = 10000;
    auto shared = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    PortMap map;
    map.Map(1, std::string(PortMap::kSimulator));
    MappedPortDirectory ports(map, [shared] { return std::make_unique<sim::SimBackend>(shared); });
    ControllerSession session{ports, Threading::LineThread};
    QuietPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path()};
    form.show();
    form.ConnectToPort(1);
    RunFor(1000);
    std::printf("the views with the monitor running, over %d s each (processor time of the "
                "whole process, simulator included; includes the machine's own load):\n",
                kSpanMs / 1000);
    const Load none = Measure(kSpanMs);
    PrintLoad("no view open:                     ", none, nullptr);
    form.ShowDashboard();
    RunFor(1000);
    PrintLoad("\"Приборы\" open:                  ", Measure(kSpanMs), &none);
    form.ShowParameterTable();
    RunFor(1000);
    PrintLoad("\"Приборы\" and \"Все параметры\" open:", Measure(kSpanMs), &none);
    form.Close_COMClick();
}

} // namespace zef::bench
