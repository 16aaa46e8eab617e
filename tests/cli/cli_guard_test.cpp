// What zef-cli refuses to do blindly: a short settings file, an unfinished numbering taken for
// a number, a CSV over an existing file or through a link, controller text driving the terminal.
#include "cli_fixture.h"

#include "datalog/datalog_csv.h"
#include "files/identity.h"

namespace {

using zef::ExitStatus;
using zef::test::CliRun;
using zef::test::Contents;
using zef::test::Put;

void SetSerial(CliRun& run, const std::string& serial) {
    run.ports.sim->WithModel(
        [&](zef::sim::ControllerModel& m) { m.SetIdentity(serial, "01.01.26"); });
}

TEST(CliGuard, a_short_file_is_loaded_only_with_allow_short) {
    CliRun run;
    ASSERT_TRUE(Put(run.File("five.zef"), "1\r\n2\r\n3\r\n4\r\n5\r\n"));
    const auto refused = run.Run({"load", run.File("five.zef")});
    EXPECT_EQ(refused.status, ExitStatus::FileError);
    EXPECT_TRUE(refused.error.contains("В файле 5 значений из 31")) << refused.error.toStdString();
    EXPECT_EQ(run.Writes(), 0);
    EXPECT_EQ(run.Run({"load", "--allow-short", run.File("five.zef")}).json["written"].toInt(), 5);
}

TEST(CliGuard, an_unfinished_numbering_is_told_and_numbered_afresh_and_text_is_escaped) {
    CliRun run;
    SetSerial(run, "ZEF\x1b[2J\x07 SN\t05.02 00200");
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(zef::RunCli(zef::CliOptions::Parse({"zef-cli", "info"}), run.environment, outStream,
                          errStream),
              0);
    EXPECT_TRUE(out.contains("Серийный номер: ZEF\\x1b[2J\\x07 SN\\x0905.02 00200\n"))
        << out.toStdString();

    SetSerial(run, std::string("ZEF-K7LX SN 05.02 00200") + zef::kUnfinishedMarker);
    const auto info = run.Run({"info"});
    EXPECT_EQ(info.status, ExitStatus::Differs);
    EXPECT_TRUE(info.lines.contains("Серийный номер: Нумерация не завершена"));
    EXPECT_EQ(run.Run({"number"}).json["serial"].toString(), "ZEF-K7LX SN 05.02 00114");
}

TEST(CliGuard, monitor_csv_replaces_only_when_forced_and_never_through_a_link) {
    CliRun run;
    const QString existing = run.File("old.csv"), target = run.File("elsewhere.txt");
    ASSERT_TRUE(Put(existing, "keep") && Put(target, "keep"));
    ASSERT_TRUE(QFile::link(target, run.File("link.csv")));
    const std::pair<QStringList, ExitStatus> cases[] = {
        {{"--csv", existing}, ExitStatus::FileError},
        {{"--csv", run.File("link.csv")}, ExitStatus::FileError},
        {{"--force", "--csv", run.File("link.csv")}, ExitStatus::FileError},
        {{"--force", "--csv", existing}, ExitStatus::Success},
    };
    for (const auto& [arguments, status] : cases)
        EXPECT_EQ(run.Run(QStringList{"monitor", "--count", "1"} + arguments).status, status)
            << arguments.join(' ').toStdString();
    EXPECT_EQ(Contents(target), "keep");
    EXPECT_EQ(zef::ReadDatalogCsv(existing)->size(), 1u);
}

} // namespace
