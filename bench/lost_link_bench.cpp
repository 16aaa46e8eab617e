// The link as the fitter meets it: what the connection sequence costs beyond its line time,
// how soon a lost cable shows as "Нет связи", and how much of each second the window thread is
// held up while the controller does not answer. The window runs with its own timers, on the
// real serial path against zef-sim and on the in-process simulator paced like the line.

#include "bench/benches.h"
#include "bench/window_held.h"

#include "app/main_window.h"
#include "app/status_bar.h"
#include "datalog/datalog_csv.h"
#include "dialogs/prompts.h"
#include "files/settings_file.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "sim/sim_backend.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace zef::bench {

namespace {

// zef-sim on a pseudo-terminal, as the tests start it; ZEF_SIM names the program.
class SimRun : public test::SimProcess {
public:
    using SimProcess::SimProcess;
    void Signal(int signal) { ::kill(static_cast<pid_t>(Pid()), signal); }
    [[nodiscard]] const std::string& device() const { return Device(); }
};

// A window on port 1 with whatever stands behind it.
struct Session {
    explicit Session(PortMap map, MappedPortDirectory::Factory simulator = {})
        : ports(std::move(map), std::move(simulator)) {}
    MappedPortDirectory ports;
    // As the program runs it: the exchanges on a line thread of their own.
    ControllerSession session{ports, Threading::LineThread};
    QuietPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path()};
    [[nodiscard]] QString State() const { return form.LinkStatus().StateLabel()->text(); }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct ConnectionTime {
    double exchanges = 0;
    std::vector<double> walls;
};

// Seven connections after a first one: the first writes the oxygen flag, the later ones are
// the usual sequence.
ConnectionTime timeConnections(Session& s) {
    s.form.ConnectToPort(1);
    s.form.Close_COMClick();
    ConnectionTime t;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer clock;
        clock.start();
        s.form.ConnectToPort(1);
        t.walls.push_back(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        t.exchanges = static_cast<double>(s.form.Supervisor().SessionFigures().exchanges);
        s.form.Close_COMClick();
    }
    return t;
}

void printConnectionTime(const char* where, const ConnectionTime& t, double lineLimit) {
    const double line = t.exchanges * lineLimit;
    std::printf("  %s: %.0f exchanges, line time %.1f ms; wall %.1f ms (median of 7, min %.1f, "
                "max %.1f) = %.3f x the line time (target <= 1.1)\n",
                where, t.exchanges, line * 1e3, median(t.walls) * 1e3,
                *std::min_element(t.walls.begin(), t.walls.end()) * 1e3,
                *std::max_element(t.walls.begin(), t.walls.end()) * 1e3, median(t.walls) / line);
}

void printConnection(double lineLimit) {
    std::printf("connection sequence against its line time (its exchanges x %.2f ms):\n",
                lineLimit * 1e3);
    {
        SimRun sim({"--line-timing"});
        if (sim.device().empty()) {
            std::fprintf(stderr, "zef-sim did not start\n");
            return;
        }
        PortMap map;
        map.Map(1, sim.device());
        Session s(map);
        printConnectionTime("zef-sim on a pseudo-terminal", timeConnections(s), lineLimit);
    }
    auto shared = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    PortMap map;
    map.Map(1, std::string(PortMap::kSimulator));
    Session s(map, [shared] { return std::make_unique<sim::SimBackend>(shared); });
    printConnectionTime("in-process simulator paced like the line", timeConnections(s), lineLimit);
}

// From the moment the cable goes to "Нет связи" on the window, at random points of the tick.
void printTimeToLost() {
    constexpr int kTrials = 6;
    std::vector<double> killed, silent;
    for (int i = 0; i < kTrials; ++i) {
        SimRun sim({"--line-timing"});
        PortMap map;
        map.Map(1, sim.device());
        Session s(map);
        s.form.ConnectToPort(1);
        RunFor(400 + QRandomGenerator::global()->bounded(350));
        QElapsedTimer clock;
        clock.start();
        sim.Kill();
        if (RunUntil([&] { return s.State() == "Нет связи"; }, 10000))
            killed.push_back(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        s.form.Close_COMClick();
    }
    auto shared = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    PortMap map;
    map.Map(1, std::string(PortMap::kSimulator));
    Session s(map, [shared] { return std::make_unique<sim::SimBackend>(shared); });
    for (int i = 0; i < kTrials * 2; ++i) {
        shared->SetFault({});
        s.form.ConnectToPort(1);
        RunFor(400 + QRandomGenerator::global()->bounded(350));
        QElapsedTimer clock;
        clock.start();
        shared->SetFault({sim::Fault::Silent, 0, {}});
        if (RunUntil([&] { return s.State() == "Нет связи"; }, 10000))
            silent.push_back(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
        s.form.Close_COMClick();
    }
    auto print = [](const char* what, std::vector<double> v, int trials) {
        if (v.empty()) {
            std::printf("  %s: never shown in %d trials\n", what, trials);
            return;
        }
        std::printf("  %s: %.0f ms median, %.0f ms worst of %zu/%d trials (target <= 1000 ms)\n",
                    what, median(v) * 1e3, *std::max_element(v.begin(), v.end()) * 1e3, v.size(),
                    trials);
    };
    std::printf("from the cable's loss to \"Нет связи\" on the window:\n");
    print("zef-sim killed (device gone)", killed, kTrials);
    print("simulator gone silent", silent, kTrials * 2);
}

void printBlocked() {
    constexpr int kSpanMs = 5000;
    std::printf("the window thread held up over %d s, measured by how late a 10 ms timer fires "
                "(includes the machine's own load):\n",
                kSpanMs / 1000);
    {
        auto shared = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
        PortMap map;
        map.Map(1, std::string(PortMap::kSimulator));
        Session s(map, [shared] { return std::make_unique<sim::SimBackend>(shared); });
        s.form.ConnectToPort(1);
        RunFor(1000);
        PrintHeld("connected, idle:", HeldWhile(kSpanMs));
        s.form.SetRecordingPeriod(std::chrono::milliseconds(1));
        QTemporaryDir dir;
        if (s.form.StartRecordingTo(dir.filePath("held.csv"))) {
            s.form.ShowTrend();
            PrintHeld("recording at the fastest period, trend open:", HeldWhile(kSpanMs));
            s.form.StopRecording();
            if (const auto rows = ReadDatalogCsv(dir.filePath("held.csv"));
                rows && rows->size() > 2) {
                std::vector<double> gaps;
                for (std::size_t i = 1; i < rows->size(); ++i)
                    gaps.push_back(1e3 * ((*rows)[i].seconds - (*rows)[i - 1].seconds));
                const double offered = static_cast<double>(s.form.RecordingPeriod().count());
                const double kept = median(gaps);
                std::printf("  the datalog offers %.0f ms and keeps %.1f ms a row (median of %zu): "
                            "%+.1f %% (target within 10 %%)\n",
                            offered, kept, gaps.size(), 100 * (kept - offered) / offered);
            }
        }
        PrintHeld("connecting every 100 ms:", HeldWhile(kSpanMs, [&] {
                      s.form.Close_COMClick();
                      s.form.ConnectToPort(1);
                  }));
        if (const Status saved = SaveSettings(s.session.Link(), dir.filePath("held.zef")); saved) {
            PrintHeld("loading a settings file every 100 ms:", HeldWhile(kSpanMs, [&] {
                          (void)s.form.LoadCalibration(dir.filePath("held.zef"));
                      }));
        } else {
            std::printf("  loading: no settings file to load (%s)\n", qPrintable(saved.error()));
        }
        shared->SetFault({sim::Fault::Silent, 0, {}});
        RunUntil([&] { return s.form.Supervisor().IsLost(); }, 10000);
        PrintHeld("silent simulator (link lost):", HeldWhile(kSpanMs));
        s.form.Close_COMClick();
    }
    {
        SimRun sim({"--line-timing"});
        PortMap map;
        map.Map(1, sim.device());
        Session s(map);
        s.form.ConnectToPort(1);
        RunFor(1000);
        PrintHeld("zef-sim on a pseudo-terminal, idle:", HeldWhile(kSpanMs));
        sim.Signal(SIGSTOP); // stopped: the device is there, the controller silent
        RunUntil([&] { return s.form.Supervisor().IsLost(); }, 10000);
        PrintHeld("stopped zef-sim (link lost):", HeldWhile(kSpanMs));
        sim.Kill();
        RunUntil([&] { return !s.session.Channel().IsOpen(); }, 10000);
        PrintHeld("killed zef-sim (device gone):", HeldWhile(kSpanMs));
        s.form.Close_COMClick();
    }
}

} // namespace

void PrintLostLink(const QString& simulator, double lineLimitSeconds) {
    qputenv("ZEF_SIM", simulator.toLocal8Bit());
    printConnection(lineLimitSeconds);
    printTimeToLost();
    printBlocked();
}

} // namespace zef::bench
