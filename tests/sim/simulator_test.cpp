#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zef;
using namespace zef::sim;

namespace {

std::uint16_t second(const Frame& f) {
    return static_cast<std::uint16_t>(f[2] | (f[3] << 8));
}
std::uint16_t first(const Frame& f) {
    return static_cast<std::uint16_t>(f[0] | (f[1] << 8));
}

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
        EXPECT_EQ(second(ask(m, Command::ReadLive, live[i])),
                  m.Param(static_cast<std::uint8_t>(8 + i)));
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
    EXPECT_EQ(replies[0].Bytes(), (std::vector<std::uint8_t>{0x02, 71, 4, 0}));
    ASSERT_EQ(sim.Frames().size(), 2u);
    EXPECT_EQ(sim.Frames()[1], (Frame{0x00, 162, 0, 0}));
}

TEST(Simulator, faults_shape_the_reply) {
    struct Case {
        const char* text;
        std::size_t replyBytes;
    };
    const Case cases[] = {{"none", 4},      {"silent", 0},     {"short=1", 1},
                          {"short=3", 3},   {"garbage", 4},    {"surplus=2", 6},
                          {"surplus=5", 9}, {"split=1:30", 4}, {"split=3:0", 4}};
    for (const auto& c : cases) {
        const auto plan = ParseFault(c.text);
        ASSERT_TRUE(plan) << c.text;
        Simulator sim;
        sim.SetFault(*plan);
        const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 71, 0));
        const std::size_t got = replies.empty() ? 0 : replies[0].Bytes().size();
        EXPECT_EQ(got, c.replyBytes) << c.text;
        EXPECT_EQ(sim.Frames().size(), 1u) << c.text; // logged whatever the reply
    }
    for (const char* bad : {"short=0", "short=4", "surplus=", "loud", "", "short=x", "split=2",
                            "split=0:10", "split=4:10", "split=2:-1", "split=2:x"})
        EXPECT_FALSE(ParseFault(bad)) << bad;
}

TEST(Simulator, one_shot_and_per_address_faults) {
    Simulator sim;
    sim.InjectOnce({.fault = Fault::Silent});
    sim.SetFaultForAddress(99, FaultPlan{.delay = std::chrono::milliseconds(70)});
    EXPECT_TRUE(sim.Receive(BuildRequest(Command::ReadParam, 5, 0)).empty());
    EXPECT_EQ(sim.Receive(BuildRequest(Command::ReadParam, 5, 0)).size(), 1u);
    const auto late = sim.Receive(BuildRequest(Command::ReadParam, 99, 0));
    ASSERT_EQ(late.size(), 1u);
    ASSERT_EQ(late[0].pieces.size(), 1u);
    EXPECT_EQ(late[0].pieces[0].at, std::chrono::milliseconds(70));
    EXPECT_EQ(late[0].request, 2u);
}

TEST(Simulator, silent_controller_still_stores_a_write) {
    Simulator sim;
    sim.SetFault({.fault = Fault::Silent});
    EXPECT_TRUE(sim.Receive(BuildRequest(Command::WriteParam, 35, 0)).empty());
    EXPECT_EQ(sim.WithModel([](ControllerModel& m) { return m.Param(35); }), 0);
}

double millis(std::chrono::nanoseconds t) {
    return std::chrono::duration<double, std::milli>(t).count();
}

// With line timing every character arrives on its own, one character time (11 bits at 19200
// baud, 0.573 ms) after the one before at the earliest, surplus and split tails included: a
// receiver that takes several at once would hide the framing faults of a real UART.
TEST(Simulator, line_timing_delivers_every_byte_on_its_own) {
    struct Case {
        const char* fault;
        std::size_t bytes;
        double first, last; // ms after the request was sent
    };
    const Case cases[] = {
        {"none", 4, 2.865, 4.583}, // the request's 4 characters, then the reply's 4
        {"surplus=2", 6, 2.865, 5.729},   {"short=2", 2, 2.865, 3.438},
        {"split=1:30", 4, 2.865, 34.583}, // a pause of 30 ms after the first byte
        {"split=3:0", 4, 2.865, 4.583},
    };
    for (const auto& c : cases) {
        Simulator sim({.lineTiming = true});
        sim.SetFault(*ParseFault(c.fault));
        const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 5, 0));
        ASSERT_EQ(replies.size(), 1u) << c.fault;
        const auto& pieces = replies[0].pieces;
        ASSERT_EQ(pieces.size(), c.bytes) << c.fault;
        EXPECT_NEAR(millis(pieces.front().at), c.first, 0.01) << c.fault;
        EXPECT_NEAR(millis(pieces.back().at), c.last, 0.01) << c.fault;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            EXPECT_EQ(pieces[i].bytes.size(), 1u) << c.fault << " piece " << i;
            if (i > 0) {
                EXPECT_GE(millis(pieces[i].at - pieces[i - 1].at), 0.572) << c.fault << i;
            }
        }
    }
}

TEST(Simulator, split_reply_carries_the_whole_answer_in_order) {
    Simulator sim;
    sim.SetFault(*ParseFault("split=2:15"));
    const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 71, 0));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].Bytes(), (std::vector<std::uint8_t>{0x02, 71, 4, 0}));
    EXPECT_EQ(replies[0].pieces.at(1).at - replies[0].pieces.at(0).at,
              std::chrono::milliseconds(15));
}

TEST(RandomFaults, parse_percentages_and_ranges) {
    using R = RandomFaults::Range;
    struct Case {
        const char* text;
        bool accepted;
        R late, split, surplus;
    };
    const Case cases[] = {
        {"late=2:10-150", true, {2, 10, 150}, {}, {}},
        {"late=2:10-150,split=0.5:1-60,surplus=1:1-4", true, {2, 10, 150}, {0.5, 1, 60}, {1, 1, 4}},
        {"surplus=100:3-3", true, {}, {}, {100, 3, 3}},
        {"", true, {}, {}, {}},
        {"late=2", false, {}, {}, {}},
        {"late=2:150-10", false, {}, {}, {}},
        {"late=-1:10-20", false, {}, {}, {}},
        {"late=101:10-20", false, {}, {}, {}},
        {"late=60:10-20,split=50:1-2", false, {}, {}, {}}, // more than every request
        {"surplus=1:0-4", false, {}, {}, {}},              // a surplus of nothing
        {"loud=1:1-2", false, {}, {}, {}},
        {"late=x:1-2", false, {}, {}, {}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseRandomFaults(c.text, 7);
        ASSERT_EQ(parsed.has_value(), c.accepted) << c.text;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->seed, 7u);
        EXPECT_EQ(parsed->late, c.late) << c.text;
        EXPECT_EQ(parsed->split, c.split) << c.text;
        EXPECT_EQ(parsed->surplus, c.surplus) << c.text;
    }
}

// Runs 20 000 requests through a simulator with random faults and returns what each got.
std::vector<FaultPlan> drawn(const RandomFaults& faults) {
    Simulator sim;
    sim.SetRandomFaults(faults);
    for (int i = 0; i < 20000; ++i)
        (void)sim.Receive(BuildRequest(Command::ReadLive, static_cast<std::uint8_t>(i), 0));
    return sim.AppliedFaults();
}

TEST(RandomFaults, come_in_their_shares_within_their_ranges_and_repeat_from_the_seed) {
    const RandomFaults faults = *ParseRandomFaults("late=2:10-150,split=1:1-60,surplus=1:1-4", 42);
    const auto plans = drawn(faults);
    ASSERT_EQ(plans.size(), 20000u);
    int late = 0, split = 0, surplus = 0, clean = 0;
    for (const auto& p : plans) {
        if (p.delay.count() > 0) {
            ++late;
            EXPECT_GE(p.delay.count(), 10);
            EXPECT_LE(p.delay.count(), 150);
        } else if (p.fault == Fault::Split) {
            ++split;
            EXPECT_GE(p.gap.count(), 1);
            EXPECT_LE(p.gap.count(), 60);
            EXPECT_GE(p.bytes, 1);
            EXPECT_LE(p.bytes, 3);
        } else if (p.fault == Fault::Surplus) {
            ++surplus;
            EXPECT_GE(p.bytes, 1);
            EXPECT_LE(p.bytes, 4);
        } else {
            ++clean;
            EXPECT_EQ(p, FaultPlan{});
        }
    }
    // 2 %, 1 % and 1 % of 20 000, within five standard deviations.
    EXPECT_NEAR(late, 400, 100);
    EXPECT_NEAR(split, 200, 71);
    EXPECT_NEAR(surplus, 200, 71);
    EXPECT_EQ(late + split + surplus + clean, 20000);

    EXPECT_EQ(drawn(faults), plans);
    RandomFaults other = faults;
    other.seed = 43;
    EXPECT_NE(drawn(other), plans);
}

TEST(RandomFaults, a_one_shot_fault_still_comes_first) {
    Simulator sim;
    sim.SetRandomFaults(*ParseRandomFaults("surplus=100:2-2"));
    sim.InjectOnce({.fault = Fault::Silent});
    EXPECT_TRUE(sim.Receive(BuildRequest(Command::ReadParam, 5, 0)).empty());
    const auto replies = sim.Receive(BuildRequest(Command::ReadParam, 5, 0));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].Bytes().size(), 6u);
}

TEST(Simulator, only_one_user_at_a_time) {
    Simulator sim;
    EXPECT_TRUE(sim.Claim());
    EXPECT_FALSE(sim.Claim());
    sim.Release();
    EXPECT_TRUE(sim.Claim());
}

} // namespace
