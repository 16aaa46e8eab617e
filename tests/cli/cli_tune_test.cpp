// zef-cli tune end to end: a drive recorded from the simulated engine, tuned
// against the controller or a settings file, and the chosen points written back.
#include "cli_fixture.h"

#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
#include "files/settings_file.h"
#include "tuning/map_write.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QTimeZone>

#include <cmath>
#include <functional>

using namespace zef;

namespace {

class TuneRun : public ::testing::Test {
protected:
    void SetUp() override {
        cli.ports.sim =
            std::make_shared<sim::Simulator>(sim::Simulator::Options{}, [this] { return now; });
        cli.ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetTrueMap(truth); });
        // Recorded as the recorder records, at the engine's own time: warm-up and two passes
        // of the drive cycle.
        SerialChannel channel(cli.ports, std::chrono::milliseconds(5));
        ASSERT_TRUE(channel.Open(1, 19200));
        RegisterExchange link(channel);
        QByteArray csv = DatalogHeaderLine();
        const QDateTime start(QDate(2026, 12, 8), QTime(9, 0), QTimeZone(3 * 3600));
        for (now = 0; now < 170 + 2 * sim::ControllerModel::DriveCycleSeconds(); now += 0.35) {
            const auto values = ReadDatalogRow(link);
            ASSERT_TRUE(values);
            csv += DatalogRowLine({start.addMSecs(std::llround(now * 1000)), now, *values, {}});
        }
        channel.Close();
        ASSERT_TRUE(test::Put(Drive(), csv));
        cli.ports.sim->ClearFrames();
    }
    [[nodiscard]] QString Drive() const { return cli.File("drive.csv"); }
    [[nodiscard]] MapMicros ControllerMap() const {
        MapMicros map{};
        for (std::size_t i = 0; i < kMapSize; ++i)
            map[i] = cli.ports.Param(kMapPoints[i].parameter);
        return map;
    }
    [[nodiscard]] bool NearTruth(const MapMicros& map) const {
        for (std::size_t i = 0; i < kMapSize; ++i)
            if (std::abs(map[i] - truth[i] * 1000) > kMapStepMicros)
                return false;
        return true;
    }

    sim::ControllerModel::MapMs truth = sim::ControllerModel::DefaultTrueMapMs();
    double now = 0;
    test::CliRun cli;
};

TEST_F(TuneRun, tunes_the_controller_or_a_file_and_refuses_what_it_cannot_read) {
    const MapMicros stored = ControllerMap();
    ASSERT_TRUE(test::Put(cli.File("bad.csv"), test::Contents(Drive()).chopped(7)));
    ASSERT_EQ(cli.Run({"save", cli.File("cal.zef")}).status, ExitStatus::Success);
    struct Case {
        const char* name;
        QStringList arguments;
        ExitStatus status;
        std::function<void(const CommandResult&)> check;
    };
    const std::vector<Case> cases = {
        {"a recording cut short",
         {"tune", cli.File("bad.csv")},
         ExitStatus::FileError,
         [&](const CommandResult& r) {
             EXPECT_TRUE(r.error.contains(QStringLiteral("строка"))) << r.error.toStdString();
             EXPECT_TRUE(cli.ports.sim->Frames().empty()); // refused before the controller
         }},
        {"only the table",
         {"tune", "--min-confidence", "high", Drive()},
         ExitStatus::Success,
         [&](const CommandResult& r) {
             EXPECT_EQ(cli.Writes(), 0);
             EXPECT_EQ(r.json["rejected"].toObject()["cold"].toInt() > 0, true);
         }},
        {"a tuned copy of a file",
         {"tune", "--file", cli.File("cal.zef"), "--out", cli.File("new.zef"), Drive()},
         ExitStatus::Success,
         [&](const CommandResult&) {
             EXPECT_EQ(cli.Writes(), 0);
             const auto tuned = ReadSettingsFile(cli.File("new.zef"));
             const auto original = ReadSettingsFile(cli.File("cal.zef"));
             ASSERT_TRUE(tuned && original);
             EXPECT_TRUE(NearTruth(*MapOfSettings(*tuned)));
             EXPECT_EQ(SettingsWithMap(*tuned, stored), *original); // nothing else changed
         }},
        {"applied to the controller",
         {"tune", "--apply", Drive()},
         ExitStatus::Success,
         [&](const CommandResult& r) {
             EXPECT_TRUE(NearTruth(ControllerMap()));
             // The calibration before, in the archive, holds the map as it was.
             QDirIterator archived(cli.data.path(), {"*.zef"}, QDir::Files,
                                   QDirIterator::Subdirectories);
             ASSERT_TRUE(archived.hasNext());
             const auto before = ReadSettingsFile(archived.next());
             ASSERT_TRUE(before);
             EXPECT_EQ(MapOfSettings(*before), stored);
             EXPECT_FALSE(archived.hasNext());
             EXPECT_TRUE(r.json["applied"].toObject().contains("snapshot"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cli.ports.sim->ClearFrames();
        const CommandResult result = cli.Run(c.arguments);
        EXPECT_EQ(result.status, c.status) << result.error.toStdString();
        c.check(result);
    }
}

} // namespace
