// Tuning end to end on the simulated engine, the link in between: a drive recorded as the
// recorder records it, the map tuned and written, and the next drive's correction.
#include "tuning/map_write.h"

#include "datalog/channels.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace zef;
using namespace std::chrono_literals;

namespace {

TEST(DrivenEngine, a_tuned_map_leaves_the_oxygen_loop_nothing_to_correct) {
    const auto truth = sim::ControllerModel::DefaultTrueMapMs();
    double now = 0;
    test::SimPorts ports;
    ports.sim = std::make_shared<sim::Simulator>(sim::Simulator::Options{}, [&] { return now; });
    ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetTrueMap(truth); });
    SerialChannel channel{ports, 5ms};
    ASSERT_TRUE(channel.Open(1, 19200));
    RegisterExchange link{channel};
    // Samples every 350 ms of the engine's time: a cold start, then two passes of the cycle.
    const auto drive = [&](double seconds) {
        std::vector<DatalogRow> rows;
        for (const double end = now + seconds; now < end; now += 0.35)
            rows.push_back({QDateTime(), now, *ReadDatalogRow(link), {}});
        return rows;
    };
    const double cycle = sim::ControllerModel::DriveCycleSeconds();

    const MapMicros before = *ReadMap(link);
    const TuningResult result = TuneRows(drive(170 + 2 * cycle), before);
    // On steady samples the current time is the base corrected by the percentage shown.
    EXPECT_LT(result.formula.maxAbsPercent, 0.5);

    const MapMicros chosen = ChosenMap(result, Confidence::High);
    const MapWrite written = WriteMap(link, nullptr, std::nullopt, before, chosen, {});
    ASSERT_TRUE(written.Took(chosen));
    for (std::size_t i = 0; i < kMapSize; ++i)
        EXPECT_LE(std::abs(chosen[i] - truth[i] * 1000), kMapStepMicros) << kMapPoints[i].speed;

    // The next drive: what is left for the loop is what the step cannot resolve.
    for (const PointTuning& p : TuneRows(drive(cycle), chosen).points)
        EXPECT_LE(std::abs(p.fittedMs * 1000 - p.currentMicros), kMapStepMicros) << p.speed;
}

} // namespace
