#include "cli_fixture.h"

#include "files/production_log.h"

#include <QJsonArray>

namespace {

using zef::ExitStatus;
using zef::test::CliRun;

// A station's run with a registry in use: the number comes from it and lands in the log as
// well, and each command that changes or checks the controller leaves its event, with the
// calibration where one is involved.
TEST(CliRegistry, a_station_run_leaves_the_controllers_history_in_the_registry) {
    CliRun run({.blankIdentity = true});
    run.environment.registryUrl = "sqlite:" + run.data.filePath("registry.sqlite");
    const QString settings = run.File("golf.zef");
    struct Step {
        QStringList arguments;
        const char* kind; // the event it leaves, or nullptr
        bool calibration;
    };
    const Step steps[] = {
        {{"number", "--log-dir", run.logs.path()}, "numbered", false},
        {{"save", settings}, "saved", true},
        {{"set", "SpinExtEdit3=5500"}, "tuned", true},
        {{"load", settings}, "loaded", true},
        {{"read"}, nullptr, false},
        {{"info"}, "connected", false},
    };
    QString serial;
    for (const Step& step : steps) {
        const auto result = run.Run(step.arguments);
        ASSERT_EQ(result.status, ExitStatus::Success)
            << step.arguments.join(' ').toStdString() << ": " << result.error.toStdString();
        if (serial.isEmpty())
            serial = result.json["serial"].toString();
    }
    const auto log = zef::test::Contents(run.logs.filePath(zef::kProductionLogName));
    ASSERT_EQ(log.size(), 2 * zef::ProtocolRecord::kSize);
    EXPECT_EQ(QString::fromLatin1(log.mid(41, 24)).trimmed(), serial);

    const auto history = run.Run({"history", serial.right(5)});
    ASSERT_EQ(history.status, ExitStatus::Success) << history.error.toStdString();
    const QJsonArray events = history.json["events"].toArray();
    int at = 0;
    for (const Step& step : steps) {
        if (!step.kind)
            continue;
        ASSERT_LT(at, events.size());
        const QJsonObject event = events[at++].toObject();
        EXPECT_EQ(event["kind"].toString(), step.kind);
        EXPECT_EQ(event["serial"].toString(), serial);
        EXPECT_EQ(event["calibration"].toArray().size(), step.calibration ? 31 : 0) << step.kind;
    }
    EXPECT_EQ(at, events.size());
}

// A registry that cannot be reached: numbering writes nothing to the controller and names the
// registry; other work goes on and its event waits.
TEST(CliRegistry, unreachable_registry_stops_numbering_only) {
    CliRun run({.blankIdentity = true});
    run.environment.registryUrl = "postgresql://nobody@127.0.0.1:1/none";
    run.environment.registryQueue = run.data.filePath("queue.jsonl");
    const auto numbered = run.Run({"number"});
    EXPECT_EQ(zef::Code(numbered.status), 6);
    EXPECT_EQ(numbered.kind, zef::FailureKind::Registry);
    EXPECT_TRUE(numbered.error.contains(run.environment.registryUrl))
        << numbered.error.toStdString();
    EXPECT_EQ(run.Writes(), 0);

    run.ports.sim->WithModel([](zef::sim::ControllerModel& m) {
        m.SetIdentity("ZEF-K7LX SN 05.02 00300 ", "01.01.26");
        return 0;
    });
    const auto saved = run.Run({"save", run.File("a.zef")});
    ASSERT_EQ(saved.status, ExitStatus::Success) << saved.error.toStdString();
    EXPECT_EQ(saved.json["registry_waiting"].toInt(), 1);
}

} // namespace
