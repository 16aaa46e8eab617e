#include "link/serial_channel.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

TEST(SerialChannel, port_numbers_outside_one_to_four_touch_nothing) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    for (int n : {0, 5, -1, 65535}) {
        EXPECT_FALSE(channel.Open(n, 19200)) << n;
        EXPECT_FALSE(channel.IsOpen());
    }
    EXPECT_EQ(ports.requests, 0);
}

TEST(SerialChannel, unlisted_speed_closes_the_device_again) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    EXPECT_FALSE(channel.Open(1, 12345));
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(ports.requests, 1);
    // Released: a listed speed opens it now.
    EXPECT_TRUE(channel.Open(1, 19200));
}

TEST(SerialChannel, every_listed_speed_is_configured) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    for (auto baud : SerialChannel::kAcceptedBauds) {
        ASSERT_TRUE(channel.Open(1, baud)) << baud;
        EXPECT_EQ(ports.last->Baud(), baud);
        channel.Close();
    }
    for (auto baud : {0, 19201, 230400, 921600, -19200})
        EXPECT_FALSE(SerialChannel::IsAcceptedBaud(baud)) << baud;
}

TEST(SerialChannel, port_without_a_device_does_not_open) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    EXPECT_FALSE(channel.Open(2, 19200));
    EXPECT_FALSE(channel.IsOpen());
}

TEST(SerialChannel, a_port_in_use_cannot_be_opened_twice) {
    test::SimPorts ports;
    SerialChannel first(ports), second(ports);
    ASSERT_TRUE(first.Open(1, 19200));
    EXPECT_FALSE(second.Open(1, 19200));
    EXPECT_FALSE(first.Open(1, 19200)); // nor again by its owner
    EXPECT_TRUE(first.IsOpen());
    first.Close();
    EXPECT_TRUE(second.Open(1, 19200));
}

TEST(SerialChannel, lines_are_set_for_the_controller) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    ASSERT_TRUE(channel.Open(1, 19200));
    EXPECT_FALSE(ports.last->Dtr());
    EXPECT_TRUE(ports.last->Rts());
    channel.SetDtr();
    channel.ClearRts();
    EXPECT_TRUE(ports.last->Dtr());
    EXPECT_FALSE(ports.last->Rts());
}

TEST(SerialChannel, empty_write_sends_nothing) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    ASSERT_TRUE(channel.Open(1, 19200));
    EXPECT_FALSE(channel.Write({}));
    const std::uint8_t frame[] = {2, 5, 0, 0};
    EXPECT_TRUE(channel.Write(frame));
    ASSERT_EQ(ports.sim->Frames().size(), 1u);
}

TEST(SerialChannel, closed_channel_does_nothing_and_never_waits) {
    test::SimPorts ports;
    SerialChannel channel(ports);
    const std::uint8_t frame[] = {2, 5, 0, 0};
    std::uint8_t buffer[4] = {9, 9, 9, 9};

    for (int round = 0; round < 2; ++round) { // never opened, then opened and closed
        EXPECT_FALSE(channel.Write(frame));
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(channel.ReadWithWait(buffer), 0u);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, SerialChannel::kDefaultStep);
        channel.SetDtr();
        channel.ClearRts();
        channel.Close();
        channel.Close();
        EXPECT_FALSE(channel.IsOpen());
        ASSERT_TRUE(channel.Open(1, 19200));
        channel.Close();
    }
    EXPECT_EQ(buffer[0], 9);
    EXPECT_TRUE(ports.sim->Frames().empty());
}

TEST(SerialChannel, surplus_bytes_are_taken_and_only_the_buffer_is_filled) {
    test::SimPorts ports;
    SerialChannel channel(ports, 5ms);
    ASSERT_TRUE(channel.Open(1, 19200));
    ports.sim->InjectOnce({.fault = sim::Fault::Surplus, .bytes = 2});
    const std::uint8_t frame[] = {2, 71, 0, 0};
    ASSERT_TRUE(channel.Write(frame));
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(channel.ReadWithWait(buffer), 6u);
    EXPECT_EQ(buffer[2], 4);
    EXPECT_EQ(channel.Figures().lateBytesDiscarded, 0u); // the surplus went with its exchange
}

TEST(SerialChannel, short_reply_after_the_wait_reports_its_count) {
    test::SimPorts ports;
    SerialChannel channel(ports, 5ms);
    ASSERT_TRUE(channel.Open(1, 19200));
    ports.sim->InjectOnce({.fault = sim::Fault::ShortReply, .bytes = 3});
    const std::uint8_t frame[] = {2, 71, 0, 0};
    ASSERT_TRUE(channel.Write(frame));
    std::uint8_t buffer[4] = {0, 0, 0, 0x77};
    EXPECT_EQ(channel.ReadWithWait(buffer), 3u);
    EXPECT_EQ(buffer[1], 71);
    EXPECT_EQ(buffer[3], 0x77);
}

// A long step: an exchange that waited all four steps would take most of a second.
TEST(SerialChannel, a_reply_already_there_ends_the_wait_in_its_first_step) {
    constexpr auto kLongStep = 200ms;
    test::SimPorts ports;
    SerialChannel channel(ports, kLongStep);
    ASSERT_TRUE(channel.Open(1, 19200));
    const std::uint8_t frame[] = {2, 71, 0, 0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(channel.Write(frame));
        std::this_thread::sleep_for(2ms); // the whole reply is queued
        std::uint8_t buffer[4] = {};
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(channel.ReadWithWait(buffer), 4u);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, kLongStep) << "exchange " << i;
        EXPECT_EQ(buffer[2], 4);
    }
    EXPECT_EQ(channel.Figures(), (LinkFigures{.exchanges = 3}));
}

TEST(SerialChannel, a_device_that_vanishes_fails_at_once_and_says_why) {
    test::SimPorts ports;
    SerialChannel channel(ports, 50ms);
    ASSERT_TRUE(channel.Open(1, 19200));
    EXPECT_FALSE(channel.DeviceLost());
    EXPECT_EQ(channel.DeviceError(), "");
    ports.last->Unplug();

    const std::uint8_t frame[] = {2, 71, 0, 0};
    std::uint8_t buffer[4] = {};
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(channel.Write(frame));
        EXPECT_EQ(channel.ReadWithWait(buffer), 0u);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms); // less than one step for all ten
    EXPECT_TRUE(channel.DeviceLost());
    EXPECT_EQ(channel.DeviceError(), "the simulated controller was unplugged");
    EXPECT_EQ(channel.Figures().failedExchanges, 10u);

    // The session closes the port and opens it again on a device that is back.
    channel.Close();
    EXPECT_FALSE(channel.DeviceLost());
    ASSERT_TRUE(channel.Open(1, 19200));
    EXPECT_EQ(channel.DeviceError(), "");
    ASSERT_TRUE(channel.Write(frame));
    EXPECT_EQ(channel.ReadWithWait(buffer), 4u);
}

TEST(SerialChannel, a_failed_open_keeps_the_reason) {
    test::SimPorts ports;
    SerialChannel first(ports), second(ports);
    ASSERT_TRUE(first.Open(1, 19200));
    EXPECT_FALSE(second.Open(1, 19200));
    EXPECT_EQ(second.DeviceError(), "the simulated controller is in use");
    EXPECT_FALSE(second.DeviceLost());
}

} // namespace
