#include "cli_fixture.h"

#include "cli/cli_check.h"
#include "datalog/channels.h"
#include "datalog/datalog_csv.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

using zef::ExitStatus;
using zef::test::CliRun;
using zef::test::Contents;
using zef::test::Put;

constexpr char kPassing[] = R"({"watch_seconds": 1, "period_ms": 100, "checks": [
  {"channel": "supply_v", "min": 12, "max": 15},
  {"channel": "rpm", "answered": true},
  {"parameter": "SpinExtEdit3", "min": 5000, "max": 6000},
  {"calibration": "golf.zef"},
  {"serial": "not blank"}]})";

struct CheckCase {
    const char* why;
    const char* limits;
    bool blank;  // a controller never numbered
    int failing; // how many checks fail
};

TEST(CliCheck, prints_each_check_with_what_it_measured_and_passes_only_when_all_do) {
    const CheckCase cases[] = {
        {"all within", kPassing, false, 0},
        {"supply above its range",
         R"({"checks": [{"channel": "supply_v", "min": 14.5, "max": 15}, {"serial": "not blank"}]})",
         false, 1},
        {"a blank serial", R"({"checks": [{"serial": "not blank"}]})", true, 1},
        {"a parameter out of range",
         R"({"checks": [{"parameter": "Ограничение об/мин", "max": 5000}]})", false, 1},
    };
    for (const CheckCase& c : cases) {
        CliRun run({.blankIdentity = c.blank});
        ASSERT_EQ(run.Run({"save", run.File("golf.zef")}).status, ExitStatus::Success);
        ASSERT_TRUE(Put(run.File("limits.json"), c.limits));
        const auto result =
            run.Run({"check", "--report", run.File("report.json"), run.File("limits.json")});
        EXPECT_EQ(result.status, c.failing ? ExitStatus::Differs : ExitStatus::Success)
            << c.why << ": " << result.lines.join('\n').toStdString();
        EXPECT_EQ(result.lines.filter(QRegularExpression("^FAIL\t")).size(), c.failing) << c.why;
        EXPECT_EQ(result.lines.last(), c.failing ? "FAIL" : "PASS") << c.why;

        // The report says the same, whole.
        const QJsonObject report =
            QJsonDocument::fromJson(Contents(run.File("report.json"))).object();
        EXPECT_EQ(report["pass"].toBool(), c.failing == 0) << c.why;
        EXPECT_EQ(report["status"].toInt(), c.failing ? 1 : 0) << c.why;
        const QJsonArray checks = report["checks"].toArray();
        ASSERT_EQ(checks.size(), result.lines.size() - 1) << c.why;
        for (qsizetype i = 0; i < checks.size(); ++i)
            EXPECT_TRUE(result.lines[i].contains(checks[i].toObject()["shown"].toString()))
                << c.why << ": " << result.lines[i].toStdString();
    }
}

TEST(CliCheck, the_supply_channel_is_measured_from_the_controller_s_register) {
    CliRun run;
    ASSERT_TRUE(Put(run.File("limits.json"),
                    R"({"checks": [{"channel": "supply_v", "min": 10, "max": 11}]})"));
    // 10.5 V: inside the narrow range only if the channel really reads the supply register.
    const zef::DatalogChannel* supply = zef::FindDatalogChannel("supply_v");
    ASSERT_NE(supply, nullptr);
    run.ports.sim->WithModel(
        [&](zef::sim::ControllerModel& m) { m.PinLive(supply->address, 10500); });
    const auto result = run.Run({"check", run.File("limits.json")});
    EXPECT_EQ(result.status, ExitStatus::Success) << result.lines.join('\n').toStdString();
    EXPECT_TRUE(result.lines[0].contains("10.5")) << result.lines[0].toStdString();
}

TEST(CliCheck, a_channel_not_answered_through_the_watch_fails) {
    CliRun run;
    ASSERT_TRUE(Put(
        run.File("limits.json"),
        R"({"watch_seconds": 1, "period_ms": 250, "checks": [{"channel": "rpm", "answered": true}]})"));
    run.ports.sim->SetFaultForAddress(zef::FindDatalogChannel("rpm")->address,
                                      zef::sim::FaultPlan{zef::sim::Fault::Silent});
    const auto result = run.Run({"check", run.File("limits.json")});
    // A cable's glitch is a retry, not a scrapped controller.
    EXPECT_EQ(result.status, ExitStatus::NoLink);
    EXPECT_EQ(result.kind, zef::FailureKind::LinkLost);
    EXPECT_TRUE(result.error.contains("try again")) << result.error.toStdString();
    EXPECT_TRUE(result.lines[0].startsWith("ERROR\trpm")) << result.lines[0].toStdString();
    EXPECT_TRUE(result.lines[0].contains("нет ответа")) << result.lines[0].toStdString();
}

TEST(CliCheck, a_report_that_cannot_be_written_is_status_4) {
    CliRun run;
    ASSERT_TRUE(Put(run.File("limits.json"), R"({"checks": [{"serial": "not blank"}]})"));
    const auto result =
        run.Run({"check", "--report", run.File("no/such/folder/r.json"), run.File("limits.json")});
    EXPECT_EQ(result.status, ExitStatus::FileError);
    EXPECT_TRUE(result.error.contains("r.json")) << result.error.toStdString();
}

// A limits file at fault is refused whole, before the controller is asked anything, naming
// the key at fault and what is allowed.
TEST(CliCheck, a_bad_limits_file_is_status_2_naming_the_key_and_sends_nothing) {
    const struct {
        const char* why;
        const char* text;
        const char* named; // in the message
    } cases[] = {
        {"not JSON", "supply 12-15", "не JSON"},
        {"no checks", R"({"watch_seconds": 5})", "checks"},
        {"an unknown kind", R"({"checks": [{"pressure": 3}]})", "«channel»"},
        {"a range as text", R"({"checks": [{"channel": "rpm", "min": "800"}]})", "«min»"},
        {"a channel with nothing to check", R"({"checks": [{"channel": "rpm"}]})", "answered"},
        {"a negative watch", R"({"watch_seconds": -1, "checks": [{"serial": "not blank"}]})",
         "watch_seconds"},
        {"an unknown channel", R"({"checks": [{"channel": "supply_volts", "min": 12}]})",
         "supply_v,"},
        {"an unknown parameter", R"({"checks": [{"parameter": "SpinExtEdit33", "min": 1}]})",
         "SpinExtEdit33"},
        {"a misspelt bound", R"({"checks": [{"parameter": "SpinExtEdit3", "maximum": 900}]})",
         "«maximum»: неизвестный ключ; допустимы «parameter», «min», «max»"},
        {"a misspelt watch", R"({"watch_second": 5, "checks": [{"serial": "not blank"}]})",
         "«watch_second»"},
        {"min above max", R"({"checks": [{"channel": "rpm", "min": 900, "max": 800}]})",
         "больше «max»"},
        {"a bound beyond the parameter",
         R"({"checks": [{"parameter": "SpinExtEdit3", "min": 1000, "max": 90000}]})",
         "вне диапазона"},
        {"answered as text", R"({"checks": [{"channel": "rpm", "answered": "yes"}]})", "answered"},
        {"a calibration not there", R"({"checks": [{"calibration": "none.zef"}]})", "calibration"},
        {"a station calibration not there",
         R"({"calibration": "none.zef", "checks": [{"serial": "not blank"}]})", "calibration"},
    };
    for (const auto& c : cases) {
        CliRun run;
        ASSERT_TRUE(Put(run.File("limits.json"), c.text));
        const auto result = run.Run({"check", run.File("limits.json")});
        EXPECT_EQ(result.status, ExitStatus::BadUsage) << c.why;
        EXPECT_EQ(result.kind, zef::FailureKind::Usage) << c.why;
        EXPECT_TRUE(result.error.contains("limits.json")) << c.why;
        EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.named)))
            << c.why << ": " << result.error.toStdString();
        EXPECT_TRUE(run.ports.sim->Frames().empty()) << c.why;
    }
    CliRun run;
    EXPECT_EQ(run.Run({"check", run.File("none.json")}).status, ExitStatus::BadUsage);
    EXPECT_TRUE(run.ports.sim->Frames().empty());
}

TEST(CliCheck, a_range_check_needs_every_sample_inside) {
    const zef::StationCheck check{zef::StationCheck::Kind::Channel, "supply_v", 12.0, 15.0};
    EXPECT_TRUE(zef::CheckChannel(check, "В", {13.0, 14.9, 12.0}).pass);
    EXPECT_FALSE(zef::CheckChannel(check, "В", {13.0, 15.1, 14.0}).pass);
    EXPECT_FALSE(zef::CheckChannel(check, "В", {13.0, std::nullopt}).pass);
    EXPECT_FALSE(zef::CheckChannel(check, "В", {}).pass);
    EXPECT_EQ(zef::CheckChannel(check, "В", {13.0, 15.1}).measured, "13 … 15.1");
}

TEST(CliMonitor, a_line_per_sample_with_the_datalog_s_channels) {
    CliRun run;
    const auto result = run.Run({"monitor", "--count", "3"});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    ASSERT_EQ(result.lines.size(), 4);
    const QStringList header = result.lines[0].split('\t');
    EXPECT_EQ(header.size(), qsizetype(zef::DatalogChannels().size() + 1));
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(result.lines[i].split('\t').size(), header.size());
}

TEST(CliMonitor, the_csv_is_the_datalog_s_and_reads_back) {
    CliRun run;
    const QString csv = run.File("run.csv");
    const auto result = run.Run({"monitor", "--count", "4", "--csv", csv});
    ASSERT_EQ(result.status, ExitStatus::Success) << result.error.toStdString();
    const auto rows = zef::ReadDatalogCsv(csv);
    ASSERT_TRUE(rows) << rows.error().toStdString();
    EXPECT_EQ(rows->size(), 4u);
}

} // namespace
