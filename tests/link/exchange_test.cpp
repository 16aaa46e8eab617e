#include "link/register_exchange.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

struct FrameCase {
    Command command;
    std::uint8_t address;
    std::uint16_t value;
    Frame expected;
};

TEST(RequestFrame, carries_command_address_and_little_endian_value) {
    const FrameCase cases[] = {
        {Command::ReadLive, 76, 0, {0x00, 0x4C, 0x00, 0x00}},
        {Command::WriteParam, 7, 3500, {0x03, 0x07, 0xAC, 0x0D}},
        {Command::ReadParam, 255, 0xFFFF, {0x02, 0xFF, 0xFF, 0xFF}},
        {Command::WriteParam, 15, 0x0100, {0x03, 0x0F, 0x00, 0x01}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildRequest(c.command, c.address, c.value), c.expected)
            << "address " << int(c.address);
}

TEST(ReplyAccessors, decode_the_second_word) {
    Reply r;
    const std::uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44};
    StoreReplyBytes(r, bytes);
    EXPECT_EQ(r.first, 0x2211);
    EXPECT_EQ(r.second, 0x4433);
    EXPECT_TRUE(ReplyFlag(r));
    EXPECT_EQ(ReplyValue(r), 17459.0L);

    struct Case {
        std::uint16_t second;
        ParamValue percent;
        ParamValue millis;
        bool flag;
    };
    const Case cases[] = {
        {1024, 0.0L, 1.024L, false}, // low byte 0x00
        {1014, -1.0L, 1.014L, true},
        {1030, 0.6L, 1.03L, true},
        {0, -102.4L, 0.0L, false},
        {65535, 6451.1L, 65.535L, true},
        {0x0100, -76.8L, 0.256L, false},
    };
    for (const auto& c : cases) {
        const Reply w{0, c.second};
        EXPECT_EQ(ReplyPercent(w), c.percent) << c.second;
        EXPECT_EQ(ReplyMillis(w), c.millis) << c.second;
        EXPECT_EQ(ReplyFlag(w), c.flag) << c.second;
    }
}

TEST(ReplyAccessors, short_reply_replaces_only_the_first_bytes) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        Reply expected;
    };
    const Case cases[] = {
        {{0xAA}, {0x22AA, 0x4433}},
        {{0xAA, 0xBB}, {0xBBAA, 0x4433}},
        {{0xAA, 0xBB, 0xCC}, {0xBBAA, 0x44CC}},
        {{}, {0x2211, 0x4433}},
    };
    for (const auto& c : cases) {
        Reply r{0x2211, 0x4433};
        StoreReplyBytes(r, c.bytes);
        EXPECT_EQ(r, c.expected) << c.bytes.size() << " bytes";
    }
}

class ExchangeWithSimulator : public ::testing::Test {
protected:
    // A short clock step keeps the silent cases quick; the bound scales with it.
    static constexpr auto kStep = 10ms;

    void SetUp() override { ASSERT_TRUE(channel.Open(1, 19200)); }

    Reply primeWithKnownReply() {
        EXPECT_TRUE(link.Exchange(Command::ReadParam, 73)); // speed limit 6000
        ports.sim->ClearFrames();
        return link.LastReply();
    }

    test::SimPorts ports;
    SerialChannel channel{ports, kStep};
    RegisterExchange link{channel};
};

TEST_F(ExchangeWithSimulator, read_returns_the_register_in_the_second_word) {
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 71));
    EXPECT_EQ(link.LastReply().second, 4);
    EXPECT_TRUE(link.Exchange(Command::ReadLive, 234));
    EXPECT_EQ(link.LastReply().second, 2850); // the live 1000 rpm point is parameter 8
    const auto frames = ports.sim->Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (Frame{0x02, 71, 0, 0}));
    EXPECT_EQ(frames[1], (Frame{0x00, 234, 0, 0}));
}

TEST_F(ExchangeWithSimulator, write_reaches_the_controller_and_tells_the_observer_first) {
    int notified = 0;
    std::size_t framesAtNotice = 99;
    link.SetWriteObserver([&] {
        ++notified;
        framesAtNotice = ports.sim->Frames().size();
    });
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 20));
    EXPECT_EQ(notified, 0);
    EXPECT_TRUE(link.Exchange(Command::WriteParam, 20, 1550));
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(framesAtNotice, 1u); // before the request went out
    EXPECT_EQ(ports.sim->WithModel([](auto& m) { return m.Param(20); }), 1550);
}

TEST_F(ExchangeWithSimulator, closed_port_sends_nothing_and_keeps_the_last_reply) {
    const Reply before = primeWithKnownReply();
    channel.Close();
    int notified = 0;
    link.SetWriteObserver([&] { ++notified; });

    EXPECT_FALSE(link.Exchange(Command::ReadParam, 5));
    EXPECT_FALSE(link.Exchange(Command::WriteParam, 7, 3500));
    EXPECT_EQ(link.LastReply(), before);
    EXPECT_EQ(notified, 1); // the caption still resets for a write
    EXPECT_TRUE(ports.sim->Frames().empty());
}

TEST_F(ExchangeWithSimulator, silence_fails_within_four_clock_steps_and_keeps_the_reply) {
    const Reply before = primeWithKnownReply();
    ports.sim->SetFault({sim::Fault::Silent, 0, {}});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 5));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(link.LastReply(), before);
    // It waits out the periods (three at least) and gives up near the fourth.
    EXPECT_GE(elapsed, 3 * kStep);
    EXPECT_LT(elapsed, 4 * kStep + 150ms);
    EXPECT_EQ(ports.sim->Frames().size(), 1u); // the request did go out
}

TEST_F(ExchangeWithSimulator, short_reply_fails_and_overlays_the_bytes_that_came) {
    for (int n = 1; n <= 3; ++n) {
        primeWithKnownReply(); // first = 02 49, second = 6000 (0x1770)
        ports.sim->InjectOnce({sim::Fault::ShortReply, n, {}});
        EXPECT_FALSE(link.Exchange(Command::ReadParam, 71)) << n;
        // The reply to parameter 71 starts 02 47 04 00.
        const Frame fresh = {0x02, 71, 0x04, 0x00};
        Reply expected{0x4902, 0x1770};
        StoreReplyBytes(expected, std::span<const std::uint8_t>(fresh).first(n));
        EXPECT_EQ(link.LastReply(), expected) << n << " bytes";
    }
}

TEST_F(ExchangeWithSimulator, surplus_is_all_taken_first_four_stored_and_fails) {
    ports.sim->InjectOnce({sim::Fault::Surplus, 2, {}});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    EXPECT_EQ(link.LastReply().second, 4);
    // Nothing of the surplus is left to spoil the next reply.
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 5));
    EXPECT_EQ(link.LastReply().second, 1);
    EXPECT_EQ(link.StaleBytesDiscarded(), 0u);
}

TEST_F(ExchangeWithSimulator, late_reply_is_not_taken_for_the_next_request) {
    ports.sim->InjectOnce({sim::Fault::None, 0, 80ms});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    std::this_thread::sleep_for(60ms); // the late answer lands meanwhile
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 5));
    EXPECT_EQ(link.LastReply().second, 1);
    EXPECT_EQ(link.StaleBytesDiscarded(), 4u);
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 73));
    EXPECT_EQ(link.LastReply().second, 6000);
}

TEST_F(ExchangeWithSimulator, pulled_out_device_fails_fast_without_spinning) {
    const Reply before = primeWithKnownReply();
    ports.last->Unplug();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(elapsed, 4 * kStep + 150ms); // twenty exchanges, less than one silent bound
    EXPECT_EQ(link.LastReply(), before);
    EXPECT_TRUE(channel.IsOpen()); // the session closes it, not the link
}

TEST_F(ExchangeWithSimulator, line_timing_still_fits_in_the_wait) {
    channel.Close();
    test::SimPorts timed({.blankIdentity = false, .lineTiming = true});
    SerialChannel ch(timed); // the real 16 ms step
    RegisterExchange l(ch);
    ASSERT_TRUE(ch.Open(1, 19200));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(l.Exchange(Command::ReadParam, 73));
        EXPECT_EQ(l.LastReply().second, 6000);
    }
}

} // namespace
