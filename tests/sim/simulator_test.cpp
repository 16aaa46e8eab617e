#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zef;
using namespace zef::sim;

namespace {

std::uint16_t second(const Frame& f) { return static_cast<std::uint16_t>(f[2] | (f[3] << 8)); }
std::uint16_t first(const Frame& f) { return static_cast<std::uint16_t>(f[0] | (f[1] << 8)); }

Frame ask(ControllerModel& m, Command c, std::uint8_t address, std::uint16_t value = 0,
          double t = 100) {
    return m.Handle(BuildRequest(c, address, value), t);
}

TEST(ControllerModel, map_write_replies_with_injection_time_and_engine_speed) {
    ControllerModel m;
    m.PinLive(72, 4000);
    m.PinLive(162, 3000);
    const Frame reply = ask(m, Command::WriteParam, 9, 3550);
    EXPECT_EQ(first(reply), 4000);
    EXPECT_EQ(second(reply), 3000);
    EXPECT_EQ(m.Param(9), 3550);
    EXPECT_EQ(second(ask(m, Command::ReadLive, 238)), 3550); // the live map follows
    // Other writes echo the value.
    EXPECT_EQ(second(ask(m, Command::WriteParam, 20, 1550)), 1550);
    EXPECT_EQ(second(ask(m, Command::ReadParam, 20)), 1550);
}

TEST(ControllerModel, live_map_registers_follow_stored_points) {
    ControllerModel m;
    const std::uint8_t live[] = {234, 238, 242, 246, 250, 254};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(second(ask(m, Command::ReadLive, live[i])), m.Param(static_cast<std::uint8_t>(8 + i)));
    // The map rises from about 2.5 ms to 6 ms.
    EXPECT_NEAR(m.Param(7), 2500, 200);
    EXPECT_NEAR(m.Param(13), 6000, 200);
    for (int p = 7; p < 13; ++p)
        EXPECT_LT(m.Param(static_cast<std::uint8_t>(p)), m.Param(static_cast<std::uint8_t>(p + 1)));
}

TEST(ControllerModel, identity_is_numbered_or_blank) {
    ControllerModel numbered;
    EXPECT_NE(numbered.Serial(), kBlankSerial);
    EXPECT_EQ(numbered.Serial().size(), 24u);
    ControllerModel blank({.blankIdentity = true});
    EXPECT_EQ(blank.Serial(), kBlankSerial);
    EXPECT_EQ(second(ask(blank, Command::ReadParam, 36)), 'Z');
    EXPECT_EQ(second(ask(blank, Command::ReadParam, 59)), ' ');
}

// Over a minute of running, the live values stay in the ranges of a warm idling engine.
TEST(ControllerModel, live_values_move_like_a_running_engine) {
    ControllerModel m;
    std::uint16_t minRpm = 65535, maxRpm = 0, minO2 = 65535, maxO2 = 0;
    for (double t = 0; t < 400; t += 0.05) {
        const auto rpm = m.Live(162, t);
        minRpm = std::min(minRpm, rpm);
        maxRpm = std::max(maxRpm, rpm);
        if (t > 300) {
            const auto o2 = m.Live(166, t);
            minO2 = std::min(minO2, o2);
            maxO2 = std::max(maxO2, o2);
            EXPECT_TRUE(m.Live(77, t) & 0x02) << t; // oxygen loop once warm
            EXPECT_NEAR(m.Live(186, t), 1024, 40);
        }
        EXPECT_FALSE(m.Live(76, t) & 0x80);
    }
    EXPECT_NEAR(minRpm, 835, 20);
    EXPECT_GT(maxRpm, 2000); // the blips
    EXPECT_LE(minO2, 110);
    EXPECT_GE(maxO2, 890);
    EXPECT_LT(m.Live(198, 0), m.Live(198, 300)); // warming up
    EXPECT_NEAR(m.Live(198, 0), 2930, 5);        // 20 °C in tenths of a kelvin
    EXPECT_FALSE(m.Live(77, 0) & 0x02);          // cold: no oxygen loop yet
    m.SetSetupMode(true);
    EXPECT_TRUE(m.Live(76, 10) & 0x80);
}

TEST(Simulator, assembles_frames_across_chunks_and_logs_them) {
    Simulator sim;
    const std::uint8_t part1[] = {0x02, 71, 0};
    const std::uint8_t part2[] = {0, 0x00, 162, 0, 0};
    EXPECT_TRUE(sim.Receive(part1).empty());
    const auto replies = sim.Receive(part2);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].bytes, (std::vector<std::uint8_t>{0x02, 71, 4, 0}));
    ASSERT_EQ(sim.Frames().size(), 2u);
    EXPECT_EQ(sim.Frames()[1], (Frame{0x00, 162, 0, 0}));
}

TEST(Simulator, faults_shape_the_reply) {
    struct Case {
        const char* text;
        std::size_t replyBytes;
    };
    const Case cases[] = {{"none", 4},   {"silent", 0},    {"short=1", 1}, {"short=3", 3},
                          {"garbage", 4}, {"surplus=2", 6}, {"surplus=5", 9}};
    for (const auto& c : cases) {
        const auto plan = ParseFault(c.text);
        ASSERT_TRUE(plan) << c.text;
        Simulator sim;
        sim.SetFault(*plan);
        const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 71, 0));
        const std::size_t got = replies.empty() ? 0 : replies[0].bytes.size();
        EXPECT_EQ(got, c.replyBytes) << c.text;
        EXPECT_EQ(sim.Frames().size(), 1u) << c.text; // logged whatever the reply
    }
    for (const char* bad : {"short=0", "short=4", "surplus=", "loud", "", "short=x"})
        EXPECT_FALSE(ParseFault(bad)) << bad;
}

TEST(Simulator, one_shot_and_per_address_faults) {
    Simulator sim;
    sim.InjectOnce({Fault::Silent, 0, {}});
    sim.SetFaultForAddress(99, FaultPlan{Fault::None, 0, std::chrono::milliseconds(70)});
    EXPECT_TRUE(sim.Receive(BuildRequest(Command::ReadParam, 5, 0)).empty());
    EXPECT_EQ(sim.Receive(BuildRequest(Command::ReadParam, 5, 0)).size(), 1u);
    const auto late = sim.Receive(BuildRequest(Command::ReadParam, 99, 0));
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].start, std::chrono::milliseconds(70));
}

TEST(Simulator, silent_controller_still_stores_a_write) {
    Simulator sim;
    sim.SetFault({Fault::Silent, 0, {}});
    EXPECT_TRUE(sim.Receive(BuildRequest(Command::WriteParam, 35, 0)).empty());
    EXPECT_EQ(sim.WithModel([](ControllerModel& m) { return m.Param(35); }), 0);
}

TEST(Simulator, line_timing_paces_replies_like_19200_baud) {
    Simulator sim({.lineTiming = true});
    const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 5, 0));
    ASSERT_EQ(replies.size(), 1u);
    const auto total = replies[0].start + 4 * replies[0].perByte;
    const double ms = std::chrono::duration<double, std::milli>(total).count();
    EXPECT_NEAR(ms, 4.583, 0.01);
}

TEST(Simulator, only_one_user_at_a_time) {
    Simulator sim;
    EXPECT_TRUE(sim.Claim());
    EXPECT_FALSE(sim.Claim());
    sim.Release();
    EXPECT_TRUE(sim.Claim());
}

} // namespace
