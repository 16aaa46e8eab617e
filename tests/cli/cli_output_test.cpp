// What zef-cli prints around a command's result: the trace of the line, a quiet run, times in
// reports, and names of things that are not files.

#include "cli_fixture.h"

#include "datalog/datalog_csv.h"

#include <QJsonDocument>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

using zef::ExitStatus;
using zef::test::CliRun;
using zef::test::Contents;
using zef::test::Put;

struct Printed {
    int status = -1;
    QString out, err;
};

Printed RunPrinting(CliRun& run, const QStringList& arguments) {
    const auto options = zef::CliOptions::Parse(QStringList{"zef-cli"} + arguments);
    Printed printed;
    QTextStream out(&printed.out), err(&printed.err);
    printed.status = zef::RunCli(options, run.environment, out, err);
    return printed;
}

TEST(CliOutput, trace_quiet_report_time_and_a_fifo_where_a_file_belongs) {
    CliRun run;
    ASSERT_TRUE(Put(run.File("limits.json"), R"({"checks": [{"serial": "not blank"}]})"));
    ASSERT_EQ(::mkfifo(run.File("pipe").toLocal8Bit().constData(), 0600), 0);

    // Every frame on stderr, the unanswered one too; stdout as without the trace.
    run.ports.sim->InjectOnce(zef::sim::FaultPlan{zef::sim::Fault::Silent});
    Printed traced = RunPrinting(run, {"--trace", "get", "SpinExtEdit3"});
    EXPECT_EQ(traced.status, 0) << traced.err.toStdString();
    const QStringList lines = traced.err.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), static_cast<qsizetype>(run.ports.sim->Frames().size()));
    EXPECT_EQ(lines.filter("no answer").size(), 1) << traced.err.toStdString();
    EXPECT_TRUE(lines.last().contains(
        QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} > 02 49 00 00 < [0-9a-f ]{11}$)")))
        << lines.last().toStdString();
    EXPECT_TRUE(traced.out.startsWith("SpinExtEdit3")) << traced.out.toStdString();

    const Printed quiet = RunPrinting(run, {"--quiet", "info"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.out.isEmpty()) << quiet.out.toStdString();

    const Printed checked =
        RunPrinting(run, {"check", "--report", run.File("r.json"), run.File("limits.json")});
    EXPECT_EQ(checked.status, 0) << checked.err.toStdString();
    const QString time = QJsonDocument::fromJson(Contents(run.File("r.json")))["time"].toString();
    EXPECT_TRUE(time.contains(QRegularExpression(R"(T\d\d:\d\d:\d\d\.\d{3}([+-]\d\d:\d\d|Z)$)")))
        << time.toStdString();

    // A FIFO would be waited on: refused before the port opens, wherever a file is named.
    const int requests = run.ports.requests;
    for (const QStringList& arguments :
         {QStringList{"load", run.File("pipe")}, QStringList{"check", run.File("pipe")},
          QStringList{"check", "--report", run.File("pipe"), run.File("limits.json")},
          QStringList{"diff", "controller", run.File("pipe")}}) {
        const Printed refused = RunPrinting(run, arguments);
        EXPECT_EQ(refused.status, zef::Code(ExitStatus::BadUsage))
            << arguments.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("pipe")) << refused.err.toStdString();
    }
    EXPECT_EQ(run.ports.requests, requests);
}

// "-" where a file is named: settings and limits from a pipe, settings and report into one.
TEST(CliOutput, a_dash_reads_standard_input_and_writes_standard_output) {
    CliRun run;
    ASSERT_EQ(run.Run({"save", run.File("a.zef")}).status, ExitStatus::Success);
    const Printed saved = RunPrinting(run, {"save", "-"});
    EXPECT_EQ(saved.status, 0) << saved.err.toStdString();
    EXPECT_EQ(saved.out.toUtf8(), Contents(run.File("a.zef")));

    QByteArray settings = Contents(run.File("a.zef"));
    ASSERT_TRUE(settings.endsWith("6000\r\n"));
    settings.chop(6);
    run.environment.input = [&] { return settings + "5500\r\n"; };
    EXPECT_EQ(RunPrinting(run, {"load", "-"}).status, 0);
    EXPECT_EQ(run.ports.Param(73), 5500);
    EXPECT_EQ(RunPrinting(run, {"diff", "-", "controller"}).status, 0);

    run.environment.input = [] {
        return QByteArray(
            R"({"checks": [{"parameter": "SpinExtEdit3", "min": 5500, "max": 5500}]})");
    };
    const Printed checked = RunPrinting(run, {"check", "--report", "-", "-"});
    EXPECT_EQ(checked.status, 0) << checked.err.toStdString();
    EXPECT_TRUE(QJsonDocument::fromJson(checked.out.toUtf8())["pass"].toBool())
        << checked.out.toStdString();

    const int requests = run.ports.requests;
    EXPECT_EQ(RunPrinting(run, {"--json", "save", "-"}).status, zef::Code(ExitStatus::BadUsage));
    EXPECT_EQ(RunPrinting(run, {"diff", "-", "-"}).status, zef::Code(ExitStatus::BadUsage));
    EXPECT_EQ(run.ports.requests, requests);
}

} // namespace

namespace {

TEST(CliOutput, a_monitor_s_csv_on_standard_output_is_the_file_s_and_pipes_into_tune) {
    CliRun run;
    const Printed monitored = RunPrinting(run, {"monitor", "--count", "3", "--csv", "-"});
    EXPECT_EQ(monitored.status, 0) << monitored.err.toStdString();
    const auto rows = zef::ParseDatalogCsv(monitored.out.toUtf8(), "-");
    ASSERT_TRUE(rows) << rows.error().toStdString();
    EXPECT_EQ(rows->size(), 3u);
    run.environment.input = [&] { return monitored.out.toUtf8(); };
    const Printed tuned = RunPrinting(run, {"tune", "-"});
    EXPECT_EQ(tuned.status, 0) << tuned.err.toStdString();
    EXPECT_FALSE(tuned.out.isEmpty());
    EXPECT_EQ(RunPrinting(run, {"--json", "monitor", "--count", "1", "--csv", "-"}).status,
              zef::Code(ExitStatus::BadUsage));
}

TEST(CliOutput, progress_counts_every_exchange_of_a_long_command_and_nothing_is_printed) {
    CliRun run;
    ASSERT_EQ(run.Run({"save", run.File("a.zef")}).status, ExitStatus::Success);
    std::vector<int> counts;
    run.environment.progress = [&](int exchanges) { counts.push_back(exchanges); };
    const std::size_t before = run.ports.sim->Frames().size();
    const Printed loaded = RunPrinting(run, {"load", run.File("a.zef")});
    EXPECT_EQ(loaded.status, 0) << loaded.err.toStdString();
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.size(), run.ports.sim->Frames().size() - before);
    for (std::size_t i = 0; i < counts.size(); ++i)
        EXPECT_EQ(counts[i], static_cast<int>(i) + 1);
    EXPECT_FALSE(loaded.err.contains(QStringLiteral("обменов"))) << loaded.err.toStdString();
}

} // namespace
