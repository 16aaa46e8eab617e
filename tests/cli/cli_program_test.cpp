// zef-cli as a station runs it: its own process, on zef-sim behind a pseudo-terminal.

#include "files/disk_faults.h"
#include "files/production_log.h"
#include "support/sim_process.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <set>

namespace {

using zef::test::SimProcess;

struct Outcome {
    int status = -1;
    QString out, err;
};

// A private home, so no run reads or remembers the user's settings, log folder or archive.
QProcessEnvironment HomeIn(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    return env;
}

void Start(QProcess& p, const QString& home, const QStringList& arguments) {
    p.setProcessEnvironment(HomeIn(home));
    p.start(ZEF_CLI_PATH, arguments);
}

Outcome Finish(QProcess& p) {
    Outcome o;
    if (!p.waitForFinished(120'000)) {
        p.kill();
        p.waitForFinished();
        o.err = "did not finish";
        return o;
    }
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

Outcome Cli(const QString& home, const QStringList& arguments) {
    QProcess p;
    Start(p, home, arguments);
    return Finish(p);
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

std::string Show(const Outcome& o) {
    return "status " + std::to_string(o.status) + "\nout: " + o.out.toStdString() +
           "\nerr: " + o.err.toStdString();
}

// A station scripted from the single commands against a blank controller on a real serial
// path: number it, calibrate it, check it, keep its identity beside the report.
TEST(CliStation, numbers_calibrates_and_checks_a_blank_controller_and_leaves_a_report) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString home = dir.filePath("home");
    const QString log = dir.filePath("log");
    ASSERT_TRUE(QDir().mkpath(home) && QDir().mkpath(log));
    // The model's calibration: the simulator's own with another speed limit.
    const QString golf = dir.filePath("golf.zef");
    ASSERT_EQ(Cli(home, {"--simulator", "save", golf}).status, 0);
    QByteArray settings = Contents(golf);
    ASSERT_TRUE(settings.endsWith("6000\r\n")) << settings.toStdString();
    settings.chop(6);
    ASSERT_TRUE(Put(golf, settings + "5500\r\n"));
    ASSERT_TRUE(Put(dir.filePath("limits.json"), R"({"watch_seconds": 2, "checks": [
        {"channel": "supply_v", "min": 12, "max": 15},
        {"channel": "rpm", "answered": true},
        {"calibration": "golf.zef"},
        {"serial": "not blank"}]})"));

    SimProcess sim({"--blank-identity"});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const QString device = QString::fromStdString(sim.Device());
    const QString report = dir.filePath("report.json");

    const Outcome number = Cli(home, {"--port", device, "number", "--log-dir", log});
    ASSERT_EQ(number.status, 0) << Show(number);
    EXPECT_TRUE(number.out.contains("ZEF-K7LX SN 05.02 00114")) << Show(number);
    const Outcome load = Cli(home, {"--port", device, "load", golf});
    ASSERT_EQ(load.status, 0) << Show(load);
    const Outcome check =
        Cli(home, {"--port", device, "check", "--report", report, dir.filePath("limits.json")});
    EXPECT_EQ(check.status, 0) << Show(check);
    const Outcome info = Cli(home, {"--port", device, "--json", "info"});
    EXPECT_EQ(info.status, 0) << Show(info);

    const QJsonObject written = QJsonDocument::fromJson(Contents(report)).object();
    EXPECT_TRUE(written["pass"].toBool()) << Contents(report).toStdString();
    EXPECT_EQ(written["checks"].toArray().size(), 4);
    EXPECT_EQ(written["checks"].toArray()[3].toObject()["shown"].toString(),
              "ZEF-K7LX SN 05.02 00114");
    EXPECT_EQ(QJsonDocument::fromJson(info.out.toUtf8()).object()["serial"].toString(),
              "ZEF-K7LX SN 05.02 00114");
    EXPECT_EQ(Contents(QDir(log).filePath("Protocol.lst")).size(), 2 * zef::ProtocolRecord::kSize);
    // The blank state the load overwrote is in the archive of the private home.
    EXPECT_TRUE(QDir(home + "/.local/share/ZEF/zef-service/calibrations").exists());
}

// Each failure a station meets, with the exit status and the kind a script tells it by.
TEST(CliProgram, exit_statuses_and_failure_kinds_as_help_documents_them) {
    QTemporaryDir dir;
    const QString home = dir.path();
    ASSERT_EQ(Cli(home, {"--simulator", "save", dir.filePath("a.zef")}).status, 0);
    QByteArray other = Contents(dir.filePath("a.zef"));
    other.replace("6000\r\n", "5000\r\n");
    ASSERT_TRUE(Put(dir.filePath("b.zef"), other));
    SimProcess silent({"--fault", "silent"});
    ASSERT_TRUE(silent.Error().empty()) << silent.Error();
    const struct {
        const char* why;
        QStringList arguments;
        int status;
        const char* kind; // empty: no failure
    } cases[] = {
        {"the system's ports", {"ports"}, 0, ""},
        {"equal files", {"diff", dir.filePath("a.zef"), dir.filePath("a.zef")}, 0, ""},
        {"differing files", {"diff", dir.filePath("a.zef"), dir.filePath("b.zef")}, 1, ""},
        {"unknown command", {"--simulator", "reboot"}, 2, "usage"},
        {"unknown option", {"--simulator", "--colour", "info"}, 2, "usage"},
        {"beyond the limit", {"--simulator", "set", "SpinExtEdit3=6500"}, 2, "usage"},
        {"no such device", {"--port", dir.filePath("ttyNONE"), "info"}, 5, "no_port"},
        {"a file for a port", {"--port", dir.filePath("a.zef"), "info"}, 5, "not_serial_port"},
        {"a silent controller",
         {"--port", QString::fromStdString(silent.Device()), "info"},
         3,
         "no_answer"},
        {"a settings file that is not there",
         {"--simulator", "load", dir.filePath("c.zef")},
         4,
         "file"},
        // Last: the registry named is remembered for the runs after it.
        {"a registry away",
         {"--simulator", "--blank", "--registry", "postgresql://nobody@127.0.0.1:1/none", "number"},
         6,
         "registry"},
    };
    for (const auto& c : cases) {
        const Outcome o = Cli(home, QStringList{"--json"} + c.arguments);
        EXPECT_EQ(o.status, c.status) << c.why << "\n" << Show(o);
        const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
        EXPECT_EQ(json["status"].toInt(-1), c.status) << c.why << "\n" << Show(o);
        EXPECT_EQ(json["error"].toObject()["kind"].toString(), QString::fromUtf8(c.kind))
            << c.why << "\n"
            << Show(o);
        // Every failure says why, on stderr and in the object; a difference is an answer.
        if (c.status >= 2) {
            EXPECT_FALSE(o.err.isEmpty()) << c.why;
            EXPECT_FALSE(json["error"].toObject()["message"].toString().isEmpty()) << c.why;
        }
    }
    const Outcome noDevice = Cli(home, {"--port", dir.filePath("ttyNONE"), "info"});
    EXPECT_TRUE(noDevice.err.contains(dir.filePath("ttyNONE"))) << Show(noDevice);
    EXPECT_TRUE(noDevice.err.contains("No such file or directory")) << Show(noDevice);
    EXPECT_TRUE(noDevice.err.contains("zef-cli ports")) << Show(noDevice);
}

// A port another program holds is the operator's business, not a retry's.
TEST(CliProgram, a_port_held_by_another_command_is_status_5_busy) {
    QTemporaryDir dir;
    SimProcess sim({});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const QString device = QString::fromStdString(sim.Device());
    QProcess monitor;
    Start(monitor, dir.path(), {"--port", device, "monitor", "--period", "100"});
    ASSERT_TRUE(monitor.waitForStarted());
    while (!monitor.canReadLine())
        ASSERT_TRUE(monitor.waitForReadyRead(30'000))
            << monitor.readAllStandardError().toStdString();
    const Outcome o = Cli(dir.path(), {"--json", "--port", device, "info"});
    monitor.kill();
    monitor.waitForFinished();
    EXPECT_EQ(o.status, 5) << Show(o);
    EXPECT_EQ(
        QJsonDocument::fromJson(o.out.toUtf8()).object()["error"].toObject()["kind"].toString(),
        "port_busy")
        << Show(o);
}

// The device put behind COM2 in the window's port dialog is the one COM2 opens here.
TEST(CliProgram, com_ports_go_through_the_window_s_remembered_mapping) {
    QTemporaryDir dir;
    SimProcess sim({});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const QString device = QString::fromStdString(sim.Device());
    ASSERT_TRUE(QDir().mkpath(dir.filePath(".config/ZEF")));
    ASSERT_TRUE(Put(dir.filePath(".config/ZEF/zef-service.conf"),
                    "[ports]\nCOM1=" + device.toUtf8() + "\nCOM2=" + device.toUtf8() + "\n"));
    // Neither --port nor ZEF_PORT: COM1, and stderr says it was assumed; ZEF_PORT names it.
    for (const QString& fromEnvironment : {QString(), QStringLiteral("COM2")}) {
        QProcess p;
        QProcessEnvironment env = HomeIn(dir.path());
        env.remove("ZEF_PORT");
        if (!fromEnvironment.isEmpty())
            env.insert("ZEF_PORT", fromEnvironment);
        p.setProcessEnvironment(env);
        p.start(ZEF_CLI_PATH, {"info"});
        const Outcome o = Finish(p);
        EXPECT_EQ(o.status, 0) << Show(o);
        EXPECT_EQ(o.err.contains("COM1 (" + device + ") assumed"), fromEnvironment.isEmpty())
            << Show(o);
    }
    const Outcome o = Cli(dir.path(), {"--port", "com2", "--json", "info"});
    EXPECT_EQ(o.status, 0) << Show(o);
    EXPECT_EQ(QJsonDocument::fromJson(o.out.toUtf8()).object()["device"].toString(),
              "COM2 (" + device + ")");
    const Outcome unmapped = Cli(dir.path(), {"--port", "COM3", "info"});
    EXPECT_EQ(unmapped.status, 5) << Show(unmapped); // /dev/ttyS2, not on this machine
    EXPECT_EQ(Cli(dir.path(), {"--port", "COM7", "info"}).status, 2);
}

TEST(CliProgram, a_silent_controller_is_status_3_naming_the_device) {
    QTemporaryDir dir;
    SimProcess sim({"--fault", "silent"});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const Outcome o = Cli(dir.path(), {"--port", QString::fromStdString(sim.Device()), "info"});
    EXPECT_EQ(o.status, 3) << Show(o);
    EXPECT_TRUE(o.err.contains("Нет прибора на " + QString::fromStdString(sim.Device())))
        << Show(o);
}

// A mistyped or unmounted --log-dir fails its numbering and is forgotten; one that worked is
// the next run's log.
TEST(CliProgram, only_a_log_dir_that_worked_is_remembered) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("unmounted");
    const QString log = dir.filePath("log");
    ASSERT_TRUE(QDir().mkpath(log));
    const auto nextLog = [&] {
        const Outcome o =
            Cli(dir.path(), {"--simulator", "--blank", "--json", "number", "--dry-run"});
        return QJsonDocument::fromJson(o.out.toUtf8()).object()["log"].toString();
    };
    EXPECT_EQ(Cli(dir.path(), {"--simulator", "--blank", "number", "--log-dir", missing}).status,
              4);
    const QString fallback = nextLog();
    EXPECT_FALSE(fallback.isEmpty() || fallback.startsWith(missing)) << fallback.toStdString();
    EXPECT_EQ(Cli(dir.path(), {"--simulator", "--blank", "number", "--log-dir", log}).status, 0);
    EXPECT_EQ(nextLog(), QDir(log).filePath("Protocol.lst"));
}

TEST(CliProgram, a_controller_that_goes_away_during_a_monitor_is_status_3) {
    QTemporaryDir dir;
    SimProcess sim({});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    QProcess monitor;
    Start(monitor, dir.path(),
          {"--port", QString::fromStdString(sim.Device()), "monitor", "--period", "100"});
    ASSERT_TRUE(monitor.waitForStarted());
    // Rows come while the controller is there.
    while (!monitor.canReadLine() || monitor.peek(1 << 16).count('\n') < 3)
        ASSERT_TRUE(monitor.waitForReadyRead(30'000))
            << monitor.readAllStandardError().toStdString();
    sim.Kill();
    const Outcome o = Finish(monitor);
    EXPECT_EQ(o.status, 3) << Show(o);
}

// Two stations numbering at once from one log: never the same number twice.
TEST(CliProgram, two_numberings_racing_on_one_log_never_share_a_number) {
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir dir;
        const QString home = dir.path();
        SimProcess first({"--blank-identity"});
        SimProcess second({"--blank-identity"});
        ASSERT_TRUE(first.Error().empty() && second.Error().empty());
        QProcess a, b;
        Start(a, home,
              {"--port", QString::fromStdString(first.Device()), "--json", "number", "--log-dir",
               home});
        Start(b, home,
              {"--port", QString::fromStdString(second.Device()), "--json", "number", "--log-dir",
               home});
        std::set<QString> serials;
        int numbered = 0;
        for (QProcess* p : {&a, &b}) {
            const Outcome o = Finish(*p);
            if (o.status != 0) {
                // Refused is allowed; a number handed out and then lost is not.
                EXPECT_EQ(o.status, 4) << Show(o);
                continue;
            }
            const QJsonObject json = QJsonDocument::fromJson(o.out.toUtf8()).object();
            EXPECT_TRUE(json["numbered"].toBool()) << Show(o);
            serials.insert(json["serial"].toString());
            ++numbered;
        }
        EXPECT_EQ(int(serials.size()), numbered) << "round " << round;
        EXPECT_GE(numbered, 1);
        EXPECT_EQ(Contents(QDir(home).filePath("Protocol.lst")).size(),
                  (1 + numbered) * zef::ProtocolRecord::kSize)
            << "round " << round;
    }
}

// A file-size limit is a failed write, told with status 4: zef-cli keeps SIGXFSZ from killing
// it in the middle of a file, nobody does it for it.
TEST(CliProgram, a_file_size_limit_fails_the_write_and_does_not_kill_the_program) {
    QTemporaryDir home;
    const auto child = zef::test::RunUnderFileSizeLimit(
        ZEF_CLI_PATH, {"--simulator", "save", home.filePath("golf.zef")}, 20,
        zef::test::FileSizeSignal::Default, home.path());
    ASSERT_TRUE(child.finished) << "killed";
    EXPECT_EQ(child.exitCode, 4);
    EXPECT_TRUE(child.errorOutput.contains("File too large")) << child.errorOutput.toStdString();
}

// zef-cli runs where no display is: nothing of the widget or graphics modules is linked.
TEST(CliProgram, links_no_widget_or_graphics_library) {
    QProcess ldd;
    ldd.start("ldd", {ZEF_CLI_PATH});
    if (!ldd.waitForStarted())
        GTEST_SKIP() << "ldd is not available";
    ASSERT_TRUE(ldd.waitForFinished());
    const QString libraries = QString::fromUtf8(ldd.readAllStandardOutput());
    ASSERT_TRUE(libraries.contains("libQt6Core")) << libraries.toStdString();
    for (const char* module : {"libQt6Widgets", "libQt6Gui", "libQt6Charts", "libQt6Svg"})
        EXPECT_FALSE(libraries.contains(module)) << module;
}

} // namespace
