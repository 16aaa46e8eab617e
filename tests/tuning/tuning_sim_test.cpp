// Tuning end to end on the simulated engine: a drive recorded as the recorder records it, the
// map tuned from it and written back through the archive, and the next drive's correction.
#include "tuning/map_write.h"

#include "datalog/channels.h"
#include "files/identity.h"
#include "support/sim_ports.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class SilentIdentity final : public IdentityView {
public:
    void ShowSerial(const QString&) override {}
    void ShowDate(const QString&) override {}
    void Repaint() override {}
};

class DrivenEngine : public ::testing::Test {
protected:
    void SetUp() override {
        ports.sim =
            std::make_shared<sim::Simulator>(sim::Simulator::Options{}, [this] { return now; });
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetTrueMap(truth); });
        ASSERT_TRUE(channel.Open(1, 19200));
    }

    // Samples every 350 ms of the engine's time, from `from` for `seconds`.
    std::vector<DatalogRow> Drive(double from, double seconds) {
        std::vector<DatalogRow> rows;
        for (now = from; now < from + seconds; now += 0.35) {
            auto values = ReadDatalogRow(link);
            EXPECT_TRUE(values);
            if (values)
                rows.push_back({QDateTime(), now, *values});
        }
        return rows;
    }

    [[nodiscard]] int TrueMicros(std::size_t i) const {
        return static_cast<int>(std::lround(truth[i] * 1000));
    }

    sim::ControllerModel::MapMs truth = sim::ControllerModel::DefaultTrueMapMs();
    double now = 0;
    test::SimPorts ports;
    SerialChannel channel{ports, 5ms};
    RegisterExchange link{channel};
};

// Warm-up from cold and two passes of the drive cycle: every point seen, the map written
// through the archive lands within a step of the engine's true need.
TEST_F(DrivenEngine, a_tuned_drive_brings_the_map_to_the_true_map) {
    const double cycle = sim::ControllerModel::DriveCycleSeconds();
    const auto rows = Drive(0, 170 + 2 * cycle);
    const auto before = ReadMap(link);
    ASSERT_TRUE(before);
    const TuningResult result = TuneRows(rows, *before);
    EXPECT_GT(result.Rejected(Rejection::Cold), 0);
    EXPECT_GT(result.Rejected(Rejection::NotSteady), 0);

    double fitWorst = 0, averageWorst = 0;
    for (std::size_t i = 0; i < kMapSize; ++i) {
        const PointTuning& p = result.points[i];
        fitWorst = std::max(fitWorst, std::abs(p.fittedMs - truth[i]));
        averageWorst = std::max(averageWorst, std::abs(p.averagedMs - truth[i]));
        std::cout << p.speed << " rpm: true " << truth[i] << " stored " << p.currentMicros / 1000.
                  << " fit " << p.fittedMs << " average " << p.averagedMs << " suggested "
                  << p.suggestedMicros / 1000. << " weight " << p.weight << " spread " << p.spreadMs
                  << " " << ConfidenceKey(p.confidence) << "\n";
        EXPECT_NE(p.confidence, Confidence::None) << p.speed;
    }
    std::cout << "worst fit error " << fitWorst << " ms, worst average error " << averageWorst
              << " ms; injection vs base x (1 + correction/100): mean "
              << result.formula.meanPercent << " %, largest " << result.formula.maxAbsPercent
              << " % over " << result.formula.samples << " samples\n";

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const CalibrationArchive archive(dir.path());
    SilentIdentity view;
    const QString serial = DeviceIdentity(link, QString()).ReadStored(view).serial;
    const MapMicros chosen = ChosenMap(result, Confidence::Low);
    const MapWrite written = WriteMap(link, &archive, serial, *before, chosen, {});
    ASSERT_TRUE(written.written);
    EXPECT_EQ(written.unanswered, 0);
    EXPECT_TRUE(written.Took(chosen));
    for (std::size_t i = 0; i < kMapSize; ++i)
        EXPECT_LE(std::abs((*written.readBack)[i] - TrueMicros(i)), kMapStepMicros)
            << kMapPoints[i].speed;

    const auto snapshots = archive.List(serial);
    ASSERT_EQ(snapshots.size(), 1u);
    const auto archived = ReadSettingsFile(snapshots.front().path);
    ASSERT_TRUE(archived) << archived.error().toStdString();
    EXPECT_EQ(MapOfSettings(*archived), *before);

    // The next drive: the oxygen loop has little left to correct.
    const TuningResult next = TuneRows(Drive(now, cycle), *written.readBack);
    for (const PointTuning& p : next.points)
        EXPECT_LE(std::abs(p.fittedMs * 1000 - p.currentMicros), kMapStepMicros) << p.speed;
}

} // namespace
