// The recorded channels against the simulated controller: each column is the conversion of the
// word the controller sent for its register, and a row is never made of unanswered reads.
#include "datalog/channels.h"
#include "support/monitor_burst.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <set>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// The engine at a fixed moment, warm and on its oxygen loop: every read gives the same word.
constexpr double kWarmSeconds = 200;
// During warm-up, before the oxygen loop takes over.
constexpr double kColdSeconds = 5;

class Recorded : public ::testing::Test {
protected:
    void Start(double seconds, bool setupMode = false) {
        ports.sim = std::make_shared<sim::Simulator>(sim::Simulator::Options{},
                                                     [seconds] { return seconds; });
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetSetupMode(setupMode); });
        ASSERT_TRUE(channel.Open(1, 19200));
        at = seconds;
    }
    std::uint16_t Live(std::uint8_t address) {
        return ports.sim->WithModel([&](sim::ControllerModel& m) { return m.Live(address, at); });
    }

    test::SimPorts ports;
    SerialChannel channel{ports, 5ms};
    RegisterExchange link{channel};
    double at = 0;
};

// The conversions written out from the controller's units, independently of the catalogue.
struct Expectation {
    std::string_view key;
    std::uint8_t address;
    std::function<double(std::uint16_t)> value;
};

const Expectation kExpected[] = {
    {"rpm", 162, [](std::uint16_t w) { return double(w); }},
    {"base_injection_ms", 178, [](std::uint16_t w) { return w / 1000.0; }},
    {"injection_ms", 72, [](std::uint16_t w) { return w / 1000.0; }},
    {"oxygen_v", 166, [](std::uint16_t w) { return w / 1000.0; }},
    {"oxygen_correction", 186, [](std::uint16_t w) { return (w - 1024) / 10.0; }},
    {"manual_correction", 182, [](std::uint16_t w) { return (w - 1024) / 10.0; }},
    {"throttle_v", 192, [](std::uint16_t w) { return w / 1000.0; }},
    {"temperature_sensor_v", 196, [](std::uint16_t w) { return w / 1000.0; }},
    {"engine_temperature", 198, [](std::uint16_t w) { return w / 10.0 - 273; }},
    {"supply_v", 164, [](std::uint16_t w) { return w / 1000.0; }},
    {"setup_mode", 76, [](std::uint16_t w) { return (w & 0xFF) >= 0x80 ? 1.0 : 0.0; }},
    {"oxygen_feedback", 77, [](std::uint16_t w) { return (w & 0x02) ? 1.0 : 0.0; }},
};

TEST_F(Recorded, every_column_is_its_register_converted) {
    struct Moment {
        const char* name;
        double seconds;
        bool setupMode;
    };
    const Moment moments[] = {
        {"warm, oxygen loop", kWarmSeconds, false},
        {"cold, manual correction", kColdSeconds, false},
        {"setup mode", kWarmSeconds, true},
        {"throttle blip", 15 * 20 + 10.5, false},
    };
    for (const Moment& moment : moments) {
        channel.Close();
        Start(moment.seconds, moment.setupMode);
        const auto row = ReadDatalogRow(link);
        ASSERT_TRUE(row) << moment.name;
        const auto channels = DatalogChannels();
        ASSERT_EQ(row->size(), channels.size()) << moment.name;
        ASSERT_EQ(std::size(kExpected), channels.size()) << moment.name;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const Expectation& e = kExpected[i];
            EXPECT_EQ(channels[i].key, e.key) << moment.name << " column " << i;
            EXPECT_EQ(channels[i].address, e.address) << e.key;
            EXPECT_NEAR((*row)[i], e.value(Live(e.address)), 1e-9)
                << moment.name << ": " << e.key << " from word " << Live(e.address);
        }
    }
}

TEST_F(Recorded, the_simulated_engine_moves_every_analogue_channel_it_models) {
    // Over a warm-up and a throttle blip the columns must not be constants: a channel read
    // from a wrong register would mostly sit at 0.
    std::map<std::string_view, std::pair<double, double>> range;
    for (double t : {1.0, 30.0, 90.0, 150.0, 200.0, 310.5, 311.0, 312.3}) {
        channel.Close();
        Start(t);
        const auto row = ReadDatalogRow(link);
        ASSERT_TRUE(row) << t;
        const auto channels = DatalogChannels();
        for (std::size_t i = 0; i < channels.size(); ++i) {
            auto [it, fresh] = range.try_emplace(channels[i].key, (*row)[i], (*row)[i]);
            it->second.first = std::min(it->second.first, (*row)[i]);
            it->second.second = std::max(it->second.second, (*row)[i]);
        }
    }
    for (std::string_view moving :
         {"rpm", "base_injection_ms", "injection_ms", "oxygen_v", "oxygen_correction", "throttle_v",
          "temperature_sensor_v", "engine_temperature", "supply_v", "oxygen_feedback"})
        EXPECT_LT(range[moving].first, range[moving].second) << moving;
    EXPECT_GT(range["engine_temperature"].second, 60) << "warmed up";
    EXPECT_LT(range["engine_temperature"].first, 25) << "started cold";
}

TEST_F(Recorded, one_burst_of_reads_one_per_channel_in_column_order) {
    Start(kWarmSeconds);
    ports.sim->ClearFrames();
    ASSERT_TRUE(ReadDatalogRow(link));
    const auto frames = ports.sim->Frames();
    const auto channels = DatalogChannels();
    ASSERT_EQ(frames.size(), channels.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i][0], static_cast<std::uint8_t>(Command::ReadLive)) << i;
        EXPECT_EQ(frames[i][1], channels[i].address) << i;
    }
}

TEST_F(Recorded, an_unanswered_read_gives_no_row_and_ends_the_burst) {
    struct Case {
        const char* name;
        sim::FaultPlan plan;
    };
    const Case cases[] = {
        {"silent", {sim::Fault::Silent}},
        {"short reply", {sim::Fault::ShortReply, 2}},
        {"surplus bytes", {sim::Fault::Surplus, 2}},
    };
    const auto channels = DatalogChannels();
    for (const Case& c : cases) {
        for (std::size_t failing : {std::size_t{0}, channels.size() / 2, channels.size() - 1}) {
            channel.Close();
            Start(kWarmSeconds);
            const std::uint8_t address = channels[failing].address;
            ports.sim->SetFaultForAddress(address, c.plan);
            ports.sim->ClearFrames();
            EXPECT_EQ(ReadDatalogRow(link), std::nullopt) << c.name << " at " << address;
            EXPECT_EQ(ports.sim->Frames().size(), failing + 1) << c.name << " at " << address;
            ports.sim->SetFaultForAddress(address, std::nullopt);
            // Once the line is clean again, so are the rows: nothing of the fault is left over.
            const auto next = ReadDatalogRow(link);
            ASSERT_TRUE(next) << c.name << " at " << address;
            EXPECT_NEAR((*next)[failing], kExpected[failing].value(Live(address)), 1e-9)
                << c.name << " at " << address;
        }
    }
}

TEST_F(Recorded, a_vanished_device_gives_no_row) {
    Start(kWarmSeconds);
    ASSERT_TRUE(ReadDatalogRow(link));
    ports.last->Unplug();
    EXPECT_EQ(ReadDatalogRow(link), std::nullopt);
}

TEST(DatalogChannels, columns_name_their_unit_and_keys_are_unique) {
    std::set<std::string_view> keys;
    for (const DatalogChannel& channel : DatalogChannels()) {
        EXPECT_TRUE(keys.insert(channel.key).second) << channel.key;
        EXPECT_FALSE(channel.unit.isEmpty()) << channel.key;
        EXPECT_TRUE(channel.column.endsWith(" (" + channel.unit + ")")) << channel.key;
        EXPECT_FALSE(channel.column.contains(',')) << channel.key;
        EXPECT_EQ(FindDatalogChannel(channel.key), &channel);
    }
    EXPECT_EQ(FindDatalogChannel("nothing"), nullptr);
}

TEST(DatalogChannels, fastest_period_is_the_line_time_of_one_burst) {
    // 8 characters of 11 bits at 19200 baud per exchange.
    const double exchangeMs = 8 * 11 * 1000.0 / 19200;
    const double burstMs = exchangeMs * static_cast<double>(DatalogChannels().size());
    EXPECT_GE(FastestDatalogPeriod().count(), burstMs);
    EXPECT_LT(FastestDatalogPeriod().count(), burstMs + 1);
    // Beside other exchanges a row gets only the line's free time, and its burst's quiet.
    const double quietMs = 3.5 * 11 * 1000.0 / 19200;
    for (const double busy : {0.0, 0.15, 0.5})
        EXPECT_NEAR(KeptDatalogPeriod(busy).count(), (burstMs + quietMs) / (1 - busy), 1.0) << busy;
}

} // namespace
