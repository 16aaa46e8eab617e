// Throughput and processor cost of the register exchange on the real serial path, against
// zef-sim on a pseudo-terminal with the timing of a 19200 baud 8N2 line; then a run with faults
// on the line and a device that goes away.

#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/monitor.h"
#include "bench/benches.h"
#include "bench/device_link.h"
#include "fault_run.h"
#include "files/disk_write.h"
#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"

#include <QApplication>
#include <QCommandLineParser>
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
    bench::DeviceLink line(device);
    SerialChannel& channel = line.channel;
    RegisterExchange& link = line.link;
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
    bench::DeviceLink line(device);
    SerialChannel& channel = line.channel;
    RegisterExchange& link = line.link;
    if (!channel.Open(1, 19200))
        return -1;
    MapChart chart;
    chart.resize(420, 260);
    MapEditor editor(link, chart);
    QObject receiver;
    MonitorCycle monitor(
        line.session, receiver, editor,
        {[](const QString&) {}, [&] { chart.CentreMarkerOn(chart.ValueToPixel(850, 2.5)); }});
    editor.LoadMap();
    const double w0 = wallSeconds();
    for (int i = 0; i < ticks; ++i)
        monitor.Tick();
    return (wallSeconds() - w0) / ticks;
}

void printFaultRun(const bench::FaultRunOptions& options) {
    std::printf("faults on the line, every byte at line speed: %d exchanges in monitor bursts of "
                "11 every 350 ms, seed %llu; 2 %% of replies 10-150 ms late, 1 %% split with a "
                "1-60 ms gap, 1 %% with 1-5 surplus bytes, 1 %% 1-6 bytes of garbage\n",
                options.exchanges, static_cast<unsigned long long>(options.seed));
    std::fflush(stdout);
    const bench::FaultRunReport r = bench::RunFaults(options);
    if (!r.error.empty()) {
        std::printf("  not run: %s\n", r.error.c_str());
        return;
    }
    const double bound = SerialChannel::kWaitPeriods * SerialChannel::kDefaultStep.count();
    std::printf("  %d exchanges in %.1f s: %d failed (%.2f %%)\n", r.exchanges, r.seconds, r.failed,
                100.0 * r.failed / r.exchanges);
    std::printf("  words returned as good that are not the request's own: %d (target 0); longest "
                "run %d\n",
                r.wrongAnswers, r.longestWrongRun);
    std::printf("  void bursts: %d of %d (their words thrown away)\n", r.voidBursts,
                (r.exchanges + 10) / 11);
    std::printf("    of them %d four bytes of noise in place of the reply (undetectable without a "
                "checksum), %d right after a late reply, %d after another fault\n",
                r.noiseTakenForReply, r.wrongAfterLate, r.wrongAfterOther);
    std::printf("  late replies: %d; %d still in their own exchange, %d thrown away while the "
                "line was awaited quiet, %d beyond the quiet-line bound (finished after the next "
                "request had gone out)\n",
                r.lateReplies, r.lateAnsweredInTime,
                r.lateReplies - r.lateAnsweredInTime - r.lateBeyondBound, r.lateBeyondBound);
    std::printf("  split replies %d, surplus replies %d, garbage replies %d\n", r.splitReplies,
                r.surplusReplies, r.garbageReplies);
    std::printf("  link figures: %llu exchanges, %llu failed, %llu late bytes discarded, %llu "
                "quiet-line waits\n",
                static_cast<unsigned long long>(r.figures.exchanges),
                static_cast<unsigned long long>(r.figures.failedExchanges),
                static_cast<unsigned long long>(r.figures.lateBytesDiscarded),
                static_cast<unsigned long long>(r.figures.quietWaits));
    std::printf("device gone, port left open: %d of 11 exchanges failed, %.2f ms each (bound "
                "%.0f ms); device lost: %s (%s)\n",
                r.goneExchangesFailed, r.goneExchangeMillis, bound, r.deviceLost ? "yes" : "no",
                r.deviceError.c_str());
    std::printf("  processor share with the event loop running: %.2f %% of one core (target < 2 "
                "%%)\n",
                100.0 * r.goneProcessorShare);
}

} // namespace

int main(int argc, char** argv) {
    zef::IgnoreFileSizeSignal(); // a file-size limit fails the write, not the program
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Exchange throughput, processor cost and behaviour under line faults on the real serial "
        "path.");
    parser.addHelpOption();
    parser.addPositionalArgument("zef-sim", "the simulator program (default: next to this one)");
    const QCommandLineOption exchangesOption(
        "exchanges", "exchanges of the fault run (default 10000; fewer for a quick look)", "N",
        "10000");
    const QCommandLineOption seedOption("seed", "seed of the fault run's faults (default 1)", "N",
                                        "1");
    const QCommandLineOption faultsOnly("faults-only", "only the fault run");
    const QCommandLineOption datalogOnly("datalog-only", "only the datalog's figures");
    const QCommandLineOption trendOnly("trend-only", "only the trend window");
    const QCommandLineOption openOnly("open-only",
                                      "only the opening of a long recording (--hours, default 50)");
    const QCommandLineOption hoursOption("hours", "hours of the long recording opened", "H", "50");
    const QCommandLineOption lostLinkOnly("lost-link-only",
                                          "only the connection, lost-link and blocking figures");
    const QCommandLineOption viewsOnly("views-only",
                                       "only the dashboard's and the parameter table's load");
    const QCommandLineOption cliOnly("cli-only", "only zef-cli's commands and station run");
    const QCommandLineOption tuningOnly("tuning-only", "only the map tuning's figures");
    const QCommandLineOption registryOnly(
        "registry-only", "only the production registry's figures (PostgreSQL: ZEF_TEST_PG_URL)");
    parser.addOptions({exchangesOption, seedOption, faultsOnly, datalogOnly, trendOnly, openOnly,
                       hoursOption, lostLinkOnly, viewsOnly, cliOnly, tuningOnly, registryOnly});
    parser.process(app);

    bench::FaultRunOptions faultOptions;
    bool ok = true;
    faultOptions.exchanges = parser.value(exchangesOption).toInt(&ok);
    if (!ok || faultOptions.exchanges < 1) {
        std::fprintf(stderr, "zef-bench: --exchanges needs a positive number\n");
        return 2;
    }
    faultOptions.seed = parser.value(seedOption).toULongLong(&ok);
    if (!ok) {
        std::fprintf(stderr, "zef-bench: --seed needs a whole number\n");
        return 2;
    }
    if (parser.isSet(trendOnly)) {
        bench::PrintTrendView();
        return 0;
    }
    const double hours = parser.value(hoursOption).toDouble(&ok);
    if (!ok || hours <= 0) {
        std::fprintf(stderr, "zef-bench: --hours needs a positive number\n");
        return 2;
    }
    if (parser.isSet(openOnly)) {
        bench::PrintLongRecordingOpen(hours);
        return 0;
    }
    if (parser.isSet(viewsOnly)) {
        bench::PrintViewsLoad();
        return 0;
    }
    if (parser.isSet(tuningOnly)) {
        bench::PrintTuningFigures();
        return 0;
    }
    if (parser.isSet(registryOnly)) {
        bench::PrintRegistryFigures(qEnvironmentVariable("ZEF_TEST_PG_URL"));
        return 0;
    }
    if (parser.isSet(faultsOnly)) {
        printFaultRun(faultOptions);
        return 0;
    }

    QString simulator = QCoreApplication::applicationDirPath() + "/../src/sim/zef-sim";
    if (!parser.positionalArguments().isEmpty())
        simulator = parser.positionalArguments().first();

    // 8 characters of 11 bits at 19200 baud: the request and its reply.
    const double lineLimit = 8.0 * 11.0 / 19200.0;
    const QString cli = QCoreApplication::applicationDirPath() + "/../src/cli/zef-cli";
    if (parser.isSet(cliOnly)) {
        bench::PrintCliTimes(cli, simulator, lineLimit);
        return 0;
    }
    std::printf("line limit: %.3f ms an exchange, %.1f exchanges/s\n", lineLimit * 1e3,
                1.0 / lineLimit);
    if (parser.isSet(lostLinkOnly)) {
        bench::PrintLostLink(simulator, lineLimit);
        return 0;
    }
    const auto datalogFigures = [&] {
        Sim sim(simulator, {"--line-timing"});
        bench::PrintDatalogFigures(sim.device(), lineLimit);
    };
    if (parser.isSet(datalogOnly)) {
        datalogFigures();
        return 0;
    }

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
        // Each exchange waits four steps for its answer and, after the one before failed, one
        // step of quiet line before its request.
        const double step = static_cast<double>(SerialChannel::kDefaultStep.count());
        std::printf("monitor tick, silent controller: %.1f ms (bound: 11 exchanges of 4 clock "
                    "steps and a quiet step = %.0f ms)\n",
                    tick * 1e3, 11 * (SerialChannel::kWaitPeriods + 1) * step);
    }
    bench::PrintConnectionArchiveCost(lineLimit);
    datalogFigures();
    bench::PrintTrendView();
    bench::PrintLongRecordingOpen(hours);
    bench::PrintTuningFigures();
    bench::PrintLostLink(simulator, lineLimit);
    bench::PrintViewsLoad();
    bench::PrintCliTimes(cli, simulator, lineLimit);
    bench::PrintRegistryFigures(qEnvironmentVariable("ZEF_TEST_PG_URL"));
    printFaultRun(faultOptions);
    return 0;
}
