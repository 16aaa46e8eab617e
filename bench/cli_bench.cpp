// zef-cli's commands as a station runs them, each its own process, against zef-sim paced like
// a 19200 baud line: the wall time against the line time of the exchanges it made.

#include "bench/benches.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace zef::bench {

namespace {

class LoggedSim {
public:
    LoggedSim(const QString& program, const QString& log, QStringList args) {
        m_log = log;
        args << "--line-timing"
             << "--log" << log;
        m_process.start(program, args);
        m_process.waitForStarted(5000);
        while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
        }
        m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~LoggedSim() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    [[nodiscard]] const QString& Device() const { return m_device; }
    // Requests received so far: the log holds one a line.
    [[nodiscard]] int Requests() const {
        QFile f(m_log);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
    }

    // Of those, reads of the 32 identity registers (serial 36-59, date 60-67).
    [[nodiscard]] int IdentityReads() const {
        QFile f(m_log);
        int reads = 0;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n')) {
                const QList<QByteArray> bytes = line.split(' ');
                const int address = bytes.size() == 4 ? bytes[1].toInt(nullptr, 16) : -1;
                reads += bytes.size() == 4 && bytes[0] == "02" && address >= 36 && address < 68;
            }
        return reads;
    }

private:
    QProcess m_process;
    QString m_device;
    QString m_log;
};

struct Run {
    double wall = 0;
    int exchanges = 0;
    int status = -1;
};

Run RunCli(const QString& cli, const QString& home, const LoggedSim* sim,
           const QStringList& arguments) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    p.setProcessEnvironment(env);
    const int before = sim ? sim->Requests() : 0;
    const auto start = std::chrono::steady_clock::now();
    p.start(cli, sim ? QStringList{"--port", sim->Device()} + arguments : arguments);
    p.waitForFinished(120'000);
    Run r;
    r.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    // zef-sim writes its log as it serves; give it a moment to catch up with the last request.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    r.exchanges = sim ? sim->Requests() - before : 0;
    if (r.status != 0)
        std::fprintf(stderr, "zef-cli %s: status %d: %s\n", qPrintable(arguments.join(' ')),
                     r.status, p.readAllStandardError().constData());
    return r;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char* what, const Run& r, double lineLimit, double startup, double idle = 0) {
    const double line = r.exchanges * lineLimit;
    std::printf("  %-22s wall %7.1f ms, %4d exchanges, line time %7.1f ms%s: %.2f x, %.2f x "
                "after start-up (target <= 1.1)\n",
                what, r.wall * 1e3, r.exchanges, line * 1e3,
                idle > 0 ? qPrintable(QString(" + %1 ms paced").arg(idle * 1e3, 0, 'f', 0)) : "",
                r.wall / (line + idle), (r.wall - startup) / (line + idle));
}

} // namespace

void PrintCliTimes(const QString& cli, const QString& simulator, double lineLimit) {
    QTemporaryDir dir;
    const QString home = dir.filePath("home");
    QDir().mkpath(home);
    std::printf("zef-cli, each command its own process, zef-sim with line timing:\n");

    std::vector<double> starts;
    for (int i = 0; i < 9; ++i)
        starts.push_back(RunCli(cli, home, nullptr, {"--version"}).wall);
    double startup = Median(starts);
    std::printf("  process start-up (zef-cli --version, median of 9): %.1f ms (target < 100 ms)\n",
                startup * 1e3);

    const QString golf = dir.filePath("golf.zef");
    {
        LoggedSim sim(simulator, dir.filePath("plain.log"), {});
        // A command of two exchanges (the probe and one read) shows what opening the port adds.
        std::vector<double> opens;
        for (int i = 0; i < 5; ++i) {
            const Run get = RunCli(cli, home, &sim, {"get", "SpinExtEdit3"});
            opens.push_back(get.wall - get.exchanges * lineLimit);
        }
        const double opened = Median(opens);
        std::printf("  start-up with the port opened and set up (get: 2 exchanges, median of 5, "
                    "less their line time): %.1f ms\n",
                    opened * 1e3);
        std::printf("  ratios: wall / line time, then (wall - start-up with the port) / line "
                    "time\n");
        startup = opened;
        Print("info", RunCli(cli, home, &sim, {"info"}), lineLimit, startup);
        Print("save", RunCli(cli, home, &sim, {"save", "--force", golf}), lineLimit, startup);
        Print("load (with archive)", RunCli(cli, home, &sim, {"load", golf}), lineLimit, startup);
    }
    {
        // One sample shows what a row costs, to tell the paced wait from the exchanges.
        LoggedSim sim(simulator, dir.filePath("row.log"), {});
        const int row = RunCli(cli, home, &sim, {"monitor", "--count", "1"}).exchanges - 1;
        QFile limits(dir.filePath("limits.json"));
        if (!limits.open(QIODevice::WriteOnly) ||
            limits.write(R"({"watch_seconds": 5, "period_ms": 350, "checks": [
                {"channel": "supply_v", "min": 12, "max": 15},
                {"channel": "rpm", "answered": true},
                {"calibration": "golf.zef"},
                {"serial": "not blank"}]})") < 0)
            return;
        limits.close();

        LoggedSim blank(simulator, dir.filePath("station.log"), {"--blank-identity"});
        const Run number = RunCli(cli, home, &blank, {"number", "--log-dir", dir.filePath(".")});
        const Run load = RunCli(cli, home, &blank, {"load", golf});
        const Run check =
            RunCli(cli, home, &blank,
                   {"check", "--report", dir.filePath("report.json"), dir.filePath("limits.json")});
        // The samples are 350 ms apart: all but the last wait for their period, not the line.
        const int samples = 15; // ceil(5000 / 350)
        const double paced = (samples - 1) * (0.350 - row * lineLimit);
        Print("number", number, lineLimit, startup);
        Print("load", load, lineLimit, startup);
        Print("check (5 s watch)", check, lineLimit, startup, paced);
        const Run station{number.wall + load.wall + check.wall,
                          number.exchanges + load.exchanges + check.exchanges,
                          std::max({number.status, load.status, check.status})};
        Print("station run", station, lineLimit, 3 * startup, paced);
        std::printf("  a datalog row: %d exchanges\n", row);

        // The same cycle as one command on one connection.
        QFile stationLimits(dir.filePath("station.json"));
        if (!stationLimits.open(QIODevice::WriteOnly) ||
            stationLimits.write(R"({"calibration": "golf.zef", "watch_seconds": 5,
                "period_ms": 350, "checks": [
                {"channel": "supply_v", "min": 12, "max": 15},
                {"channel": "rpm", "answered": true},
                {"calibration": "golf.zef"},
                {"serial": "not blank"}]})") < 0)
            return;
        stationLimits.close();
        LoggedSim one(simulator, dir.filePath("station-one.log"), {"--blank-identity"});
        const Run cycle =
            RunCli(cli, home, &one,
                   {"station", "--log-dir", dir.filePath("."), "--report",
                    dir.filePath("station-report.json"), dir.filePath("station.json")});
        Print("station command", cycle, lineLimit, startup, paced);
        const double bound = cycle.exchanges * lineLimit + paced;
        std::printf("  one station cycle: wall %.1f ms = %.3f x (line time of its %d exchanges "
                    "%.1f ms + watch %.0f ms) (target <= 1.05); %.3f x after start-up with the "
                    "port\n",
                    cycle.wall * 1e3, cycle.wall / bound, cycle.exchanges,
                    cycle.exchanges * lineLimit * 1e3, paced * 1e3, (cycle.wall - startup) / bound);
        std::printf("  frames per cycle: %d (three commands: %d); identity reads %d (three "
                    "commands: %d; a blank controller's 64 are one read and the numbering's "
                    "read-back)\n",
                    cycle.exchanges, station.exchanges, one.IdentityReads(), blank.IdentityReads());
    }
}

} // namespace zef::bench
