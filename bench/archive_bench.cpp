// What the archive adds to a connection: the sequence's wall time with and without the
// snapshot, on the in-process simulated controller paced like a 19200 baud 8N2 line.

#include "bench/benches.h"

#include "app/main_window.h"
#include "archive/snapshot_archive.h"
#include "dialogs/prompts.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "sim/sim_backend.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace zef::bench {

namespace {

struct Timing {
    double first = 0;     // the first timed connection: with an archive, it writes the snapshot
    double median = 0;    // the later ones: with an archive, each finds its state already stored
    double exchanges = 0; // a connection's exchanges
};

Timing connectionSeconds(bool withArchive, int connections) {
    auto simulator = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    PortMap map;
    map.Map(1, std::string(PortMap::kSimulator));
    MappedPortDirectory ports(map,
                              [simulator] { return std::make_unique<sim::SimBackend>(simulator); });
    ControllerSession session(ports);
    QuietPrompts prompts;
    QTemporaryDir logDir, data;
    const CalibrationArchive archive(data.path());
    TForm1 form(session, prompts, logDir.path());
    // The first connection writes the oxygen flag back, later ones do not: keep it out.
    form.ConnectToPort(1);
    form.Close_COMClick();
    simulator->ClearFrames();
    if (withArchive)
        form.SetArchive(&archive);

    std::vector<double> seconds;
    for (int i = 0; i < connections; ++i) {
        const auto start = std::chrono::steady_clock::now();
        form.ConnectToPort(1);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        form.Close_COMClick();
    }
    Timing t{seconds.front(), 0, double(simulator->Frames().size()) / connections};
    seconds.erase(seconds.begin());
    std::sort(seconds.begin(), seconds.end());
    t.median = seconds[seconds.size() / 2];
    return t;
}

} // namespace

void PrintConnectionArchiveCost(double lineLimitSeconds) {
    constexpr int kConnections = 9;
    const Timing plain = connectionSeconds(false, kConnections);
    const Timing archived = connectionSeconds(true, kConnections);
    const double budget = 31 * lineLimitSeconds;
    std::printf("connection sequence, in-process simulator with line timing (%d connections):\n",
                kConnections);
    std::printf("  without the archive: %.1f ms (median), first %.1f ms\n", plain.median * 1e3,
                plain.first * 1e3);
    std::printf("  with the archive:    %.1f ms (median, state already stored), first %.1f ms "
                "(snapshot written)\n",
                archived.median * 1e3, archived.first * 1e3);
    std::printf("  exchanges a connection: %.0f without, %.0f with; %.3f ms an exchange without, "
                "%.3f ms with (line time %.3f ms)\n",
                plain.exchanges, archived.exchanges, plain.median * 1e3 / plain.exchanges,
                archived.median * 1e3 / archived.exchanges, lineLimitSeconds * 1e3);
    std::printf("  the archive adds %.1f ms (median), %.1f ms (first); line time of its 31 "
                "exchanges %.1f ms (target: no more)\n",
                (archived.median - plain.median) * 1e3, (archived.first - plain.first) * 1e3,
                budget * 1e3);
}

} // namespace zef::bench
