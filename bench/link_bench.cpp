// Throughput and processor cost of the register exchange on the real serial path, against
// zef-sim on a pseudo-terminal with the timing of a 19200 baud 8N2 line.

#include "app/map_chart.h"
#include "bench/benches.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"

#include <QApplication>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

using namespace zef;

namespace {

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Sim {
public:
    Sim(const QString& program, const QStringList& args) {
        m_process.start(program, args);
        m_process.waitForStarted(5000);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed().toStdString();
    }
    ~Sim() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    const std::string& device() const { return m_device; }

private:
    QProcess m_process;
    std::string m_device;
};

struct Result {
    int exchanges = 0;
    int succeeded = 0;
    double wall = 0;
    double cpu = 0;
};

Result run(const std::string& device, int count, Command command, std::uint8_t address) {
    PortMap map;
    map.Map(1, device);
    MappedPortDirectory ports(map);
    SerialChannel channel(ports);
    RegisterExchange link(channel);
    Result r;
    if (!channel.Open(1, 19200))
        return r;
    channel.SetDtr();
    channel.ClearRts();
    const double w0 = wallSeconds(), c0 = cpuSeconds();
    for (int i = 0; i < count; ++i)
        r.succeeded += link.Exchange(command, address) ? 1 : 0;
    r.wall = wallSeconds() - w0;
    r.cpu = cpuSeconds() - c0;
    r.exchanges = count;
    return r;
}

// Wall time of one monitor tick: its exchanges block the window thread for that long.
double tickSeconds(const std::string& device, int ticks) {
    PortMap map;
    map.Map(1, device);
    MappedPortDirectory ports(map);
    SerialChannel channel(ports);
    RegisterExchange link(channel);
    if (!channel.Open(1, 19200))
        return -1;
    MapChart chart;
    chart.resize(420, 260);
    MapEditor editor(link, chart);
    MonitorCycle monitor(link, editor, {[](const QString&) {}, [&] {
                                            chart.CentreMarkerOn(chart.ValueToPixel(850, 2.5));
                                        }});
    editor.LoadMap();
    const double w0 = wallSeconds();
    for (int i = 0; i < ticks; ++i)
        monitor.Tick();
    return (wallSeconds() - w0) / ticks;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString simulator = QCoreApplication::applicationDirPath() + "/../src/sim/zef-sim";
    if (argc > 1)
        simulator = QString::fromLocal8Bit(argv[1]);

    // 8 characters of 11 bits at 19200 baud: the request and its reply.
    const double lineLimit = 8.0 * 11.0 / 19200.0;
    std::printf("line limit: %.3f ms an exchange, %.1f exchanges/s\n", lineLimit * 1e3,
                1.0 / lineLimit);

    {
        Sim sim(simulator, {"--line-timing"});
        if (sim.device().empty()) {
            std::fprintf(stderr, "zef-sim did not start (%s)\n", qPrintable(simulator));
            return 1;
        }
        const Result r = run(sim.device(), 2000, Command::ReadParam, 71);
        const double rate = r.exchanges / r.wall;
        std::printf("answering controller: %d exchanges (%d answered) in %.3f s\n", r.exchanges,
                    r.succeeded, r.wall);
        std::printf("  %.1f exchanges/s = %.1f %% of the line limit (target >= 90 %%)\n", rate,
                    100.0 * rate * lineLimit);
        std::printf("  processor time %.1f us an exchange, %.1f %% of one core\n",
                    1e6 * r.cpu / r.exchanges, 100.0 * r.cpu / r.wall);
    }
    {
        Sim sim(simulator, {"--line-timing", "--fault", "silent"});
        const Result r = run(sim.device(), 30, Command::ReadParam, 71);
        std::printf("silent controller: %d failed exchanges\n", r.exchanges - r.succeeded);
        std::printf("  wall %.1f ms and processor %.3f ms an exchange: %.2f %% of one core "
                    "(target < 5 %%)\n",
                    1e3 * r.wall / r.exchanges, 1e3 * r.cpu / r.exchanges, 100.0 * r.cpu / r.wall);
    }
    {
        Sim sim(simulator, {"--line-timing"});
        const double tick = tickSeconds(sim.device(), 40);
        std::printf("monitor tick, answering controller: %.1f ms = %.2f x the line limit of its 11 "
                    "exchanges (%.1f ms); the window thread is blocked %.1f %% of each 350 ms "
                    "period\n",
                    tick * 1e3, tick / (11 * lineLimit), 11 * lineLimit * 1e3,
                    100.0 * tick / 0.350);
    }
    {
        Sim silent(simulator, {"--fault", "silent"});
        const double tick = tickSeconds(silent.device(), 5);
        std::printf("monitor tick, silent controller: %.1f ms (bound: 11 exchanges of 4 clock "
                    "steps = %.0f ms)\n",
                    tick * 1e3, 11 * 4 * 16.0);
    }
    bench::PrintConnectionArchiveCost(lineLimit);
    return 0;
}
