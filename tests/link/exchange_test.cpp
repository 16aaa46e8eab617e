#include "link/register_exchange.h"
#include "support/monitor_burst.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// The second word of an answered exchange; -1 for none.
int Word(const std::optional<Reply>& reply) {
    return reply ? reply->second : -1;
}

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
    const std::uint8_t bytes[] = {0x11, 0x22, 0x33, 0x44};
    const Reply r = ReplyFromBytes(bytes);
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
        {1014, -1.0L, 1.014L, true},     {1030, 0.6L, 1.03L, true},       {0, -102.4L, 0.0L, false},
        {65535, 6451.1L, 65.535L, true}, {0x0100, -76.8L, 0.256L, false},
    };
    for (const auto& c : cases) {
        const Reply w{0, c.second};
        EXPECT_EQ(ReplyPercent(w), c.percent) << c.second;
        EXPECT_EQ(ReplyMillis(w), c.millis) << c.second;
        EXPECT_EQ(ReplyFlag(w), c.flag) << c.second;
    }
}

class ExchangeWithSimulator : public ::testing::Test {
protected:
    // A short clock step keeps the silent cases quick; the bound scales with it.
    static constexpr auto kStep = 10ms;

    void SetUp() override { ASSERT_TRUE(channel.Open(1, 19200)); }

    void primeWithKnownReply() {
        EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 73)), 6000); // speed limit
        ports.sim->ClearFrames();
    }

    test::SimPorts ports;
    SerialChannel channel{ports, kStep};
    RegisterExchange link{channel};
};

TEST_F(ExchangeWithSimulator, read_returns_the_register_in_the_second_word) {
    EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 71)), 4);
    // The live 1000 rpm point is parameter 8.
    EXPECT_EQ(Word(link.Exchange(Command::ReadLive, 234)), 2850);
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

TEST_F(ExchangeWithSimulator, closed_port_sends_nothing_and_answers_nothing) {
    primeWithKnownReply();
    channel.Close();
    int notified = 0;
    link.SetWriteObserver([&] { ++notified; });

    EXPECT_FALSE(link.Exchange(Command::ReadParam, 5));
    EXPECT_FALSE(link.Exchange(Command::WriteParam, 7, 3500));
    EXPECT_EQ(notified, 1); // the caption still resets for a write
    EXPECT_TRUE(ports.sim->Frames().empty());
}

TEST_F(ExchangeWithSimulator, silence_fails_within_four_clock_steps) {
    primeWithKnownReply();
    ports.sim->SetFault({.fault = sim::Fault::Silent});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 5));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    // It waits out the periods (three at least) and gives up near the fourth.
    EXPECT_GE(elapsed, 3 * kStep);
    EXPECT_LT(elapsed, 4 * kStep + 150ms);
    EXPECT_EQ(ports.sim->Frames().size(), 1u); // the request did go out
}

TEST_F(ExchangeWithSimulator, short_reply_answers_nothing_and_the_next_read_its_own) {
    for (int n = 1; n <= 3; ++n) {
        primeWithKnownReply();
        ports.sim->InjectOnce({.fault = sim::Fault::ShortReply, .bytes = n});
        EXPECT_FALSE(link.Exchange(Command::ReadParam, 71)) << n;
        EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 5)), 1) << n << " bytes";
    }
}

TEST_F(ExchangeWithSimulator, surplus_is_all_taken_first_four_stored_and_fails) {
    ports.sim->InjectOnce({.fault = sim::Fault::Surplus, .bytes = 2});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    // Nothing of the surplus is left to spoil the next reply.
    EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 5)), 1);
    EXPECT_EQ(channel.Figures().lateBytesDiscarded, 0u);
}

TEST_F(ExchangeWithSimulator, late_reply_is_not_taken_for_the_next_request) {
    ports.sim->InjectOnce({.delay = 80ms});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    std::this_thread::sleep_for(60ms); // the late answer lands meanwhile
    EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 5)), 1);
    EXPECT_EQ(channel.Figures().lateBytesDiscarded, 4u);
    EXPECT_EQ(Word(link.Exchange(Command::ReadParam, 73)), 6000);
}

TEST_F(ExchangeWithSimulator, pulled_out_device_fails_fast_without_spinning) {
    primeWithKnownReply();
    ports.last->Unplug();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(elapsed, 4 * kStep + 150ms); // twenty exchanges, less than one silent bound
    EXPECT_TRUE(channel.IsOpen());         // the session closes it, not the link
    EXPECT_TRUE(channel.DeviceLost());
}

TEST_F(ExchangeWithSimulator, line_timing_still_fits_in_the_wait) {
    channel.Close();
    test::SimPorts timed({.blankIdentity = false, .lineTiming = true});
    SerialChannel ch(timed); // the real 16 ms step
    RegisterExchange l(ch);
    ASSERT_TRUE(ch.Open(1, 19200));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Word(l.Exchange(Command::ReadParam, 73)), 6000);
    }
}

struct FiguresCase {
    const char* name;
    sim::FaultPlan first; // the fault on the first of two reads
    bool firstAnswered;
    LinkFigures expected;
};

// The second read always gets its own answer; what the first did shows in the figures. A long
// clock step keeps each delay well inside its window (the answer within the four-step wait,
// during the quiet-line wait, or after it) on a loaded machine.
TEST_F(ExchangeWithSimulator, figures_count_what_the_link_went_through) {
    constexpr auto step = 40ms; // gives up after 160 ms; the quiet line is awaited until 200 ms
    const FiguresCase cases[] = {
        {"clean", {}, true, {.exchanges = 2}},
        {"silent",
         {.fault = sim::Fault::Silent},
         false,
         {.exchanges = 2, .failedExchanges = 1, .quietWaits = 1}},
        {"short",
         {.fault = sim::Fault::ShortReply, .bytes = 2},
         false,
         {.exchanges = 2, .failedExchanges = 1, .quietWaits = 1}},
        {"surplus",
         {.fault = sim::Fault::Surplus, .bytes = 3},
         false,
         {.exchanges = 2, .failedExchanges = 1, .quietWaits = 1}},
        {"late within the bound",
         {.delay = 180ms},
         false,
         {.exchanges = 2, .failedExchanges = 1, .lateBytesDiscarded = 4, .quietWaits = 1}},
        {"split, rest within the wait",
         {.fault = sim::Fault::Split, .bytes = 1, .gap = 60ms},
         true,
         {.exchanges = 2}},
        {"split, rest after the wait",
         {.fault = sim::Fault::Split, .bytes = 1, .gap = 180ms},
         false,
         {.exchanges = 2, .failedExchanges = 1, .lateBytesDiscarded = 3, .quietWaits = 1}},
    };
    channel.Close();
    SerialChannel slow(ports, step);
    RegisterExchange slowLink(slow);
    for (const auto& c : cases) {
        slow.Close();
        ASSERT_TRUE(slow.Open(1, 19200));
        ports.sim->InjectOnce(c.first);
        EXPECT_EQ(slowLink.Exchange(Command::ReadParam, 71).has_value(), c.firstAnswered) << c.name;
        EXPECT_EQ(slowLink.Exchange(Command::ReadParam, 73), (Reply{0x4902, 6000})) << c.name;
        EXPECT_EQ(slow.Figures(), c.expected) << c.name;
    }
}

struct SettleCase {
    const char* name;
    sim::FaultPlan fault;
    std::chrono::milliseconds pause; // before the exchanges that must be quick
};

// Watching the line costs an exchange one step, and only while a whole reply is owed. A long
// clock step keeps the late answer inside the quiet-line wait on a loaded machine.
TEST_F(ExchangeWithSimulator, once_no_reply_is_owed_exchanges_cost_nothing_extra) {
    constexpr auto step = 40ms;
    const SettleCase cases[] = {
        {"late answer thrown away while the line was awaited quiet", {.delay = 180ms}, 0ms},
        {"surplus taken with its exchange", {.fault = sim::Fault::Surplus, .bytes = 2}, 0ms},
        {"short reply whose rest never comes", {.fault = sim::Fault::ShortReply, .bytes = 2}, 0ms},
        {"answer lost, until it is given up",
         {.fault = sim::Fault::Silent},
         SerialChannel::kOwedReplySteps * step},
    };
    channel.Close();
    SerialChannel slow(ports, step);
    RegisterExchange slowLink(slow);
    for (const auto& c : cases) {
        slow.Close();
        ASSERT_TRUE(slow.Open(1, 19200));
        ports.sim->InjectOnce(c.fault);
        EXPECT_FALSE(slowLink.Exchange(Command::ReadParam, 71)) << c.name;
        EXPECT_TRUE(slowLink.Exchange(Command::ReadParam, 71)) << c.name;
        std::this_thread::sleep_for(c.pause);
        for (int i = 0; i < 5; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            EXPECT_TRUE(slowLink.Exchange(Command::ReadParam, 73)) << c.name;
            EXPECT_LT(std::chrono::steady_clock::now() - t0, step) << c.name << ", exchange " << i;
        }
        EXPECT_EQ(slow.Figures().quietWaits, 1u) << c.name;
    }
}

TEST_F(ExchangeWithSimulator, while_a_lost_answer_is_owed_each_reply_is_watched_for_one_step) {
    ports.sim->InjectOnce({.fault = sim::Fault::Silent});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 71));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(link.Exchange(Command::ReadParam, 73));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, kStep);
}

// A controller that answers late answers the next request only after that: the late answer
// and the next one's own come one right after the other.
TEST(LateReply, beyond_the_quiet_bound_is_not_taken_for_the_next_answer) {
    test::SimPorts ports({.lineTiming = true});
    SerialChannel channel(ports, 10ms);
    RegisterExchange link(channel);
    ASSERT_TRUE(channel.Open(1, 19200));
    // Gives up at 40 ms, the line is quiet until 50 ms, the next request goes out: the answer
    // comes at 75 ms, during the next exchange.
    ports.sim->InjectOnce({.delay = 70ms});
    EXPECT_FALSE(link.Exchange(Command::ReadParam, 71));
    const auto second = link.Exchange(Command::ReadParam, 5);
    EXPECT_FALSE(second && second->second != 1) << "took the late answer for its own";
    for (auto [address, value] : {std::pair{73, 6000}, {5, 1}, {71, 4}})
        EXPECT_EQ(Word(link.Exchange(Command::ReadParam, static_cast<std::uint8_t>(address))),
                  value)
            << address;
}

// The exchange that took a late answer could not see its own, which was late as well; that one
// must not be taken by the exchange after it, and so on down the tick.
TEST(LateReply, two_late_answers_in_a_row_shift_no_more_than_one_exchange) {
    test::SimPorts ports({.lineTiming = true});
    SerialChannel channel(ports); // the real clock step
    RegisterExchange link(channel);
    ASSERT_TRUE(channel.Open(1, 19200));
    // The first answer comes about 95 ms after its request, during the second exchange; the
    // second's comes about 35 ms after that, after the step that exchange watched the line.
    ports.sim->InjectOnce({.delay = 90ms});
    ports.sim->InjectOnce({.delay = 30ms});
    int wrong = 0;
    for (std::size_t i = 0; i < test::kMonitorBurst.size(); ++i) {
        const auto read = test::kMonitorBurst[i];
        const auto reply = link.Exchange(read.command, read.address);
        const bool answered = reply.has_value();
        const bool own = answered && test::IsAnswerTo(*reply, read);
        wrong += answered && !own ? 1 : 0;
        if (i >= 6) {
            EXPECT_TRUE(answered && own) << "exchange " << i;
        }
    }
    EXPECT_LE(wrong, 1);
}

// In the field one reply 62 ms late made the seven exchanges after it in a monitor tick return
// the previous register's value.
TEST(LateReply, one_late_reply_in_a_burst_fails_only_its_own_exchange) {
    test::SimPorts ports({.lineTiming = true});
    SerialChannel channel(ports); // the real clock step
    RegisterExchange link(channel);
    ASSERT_TRUE(channel.Open(1, 19200));
    constexpr std::size_t kLate = 3;
    ports.sim->SetFaultForAddress(test::kMonitorBurst[kLate].address,
                                  sim::FaultPlan{.delay = 62ms});
    bool lateTaken = false;
    for (std::size_t i = 0; i < test::kMonitorBurst.size(); ++i) {
        const auto read = test::kMonitorBurst[i];
        const auto reply = link.Exchange(read.command, read.address);
        const bool answered = reply.has_value();
        if (i == kLate) {
            // It ends about when the four steps do: taken if the thread came late enough to see
            // it, then as its own answer; never as another's.
            lateTaken = answered;
            if (answered) {
                EXPECT_TRUE(test::IsAnswerTo(*reply, read)) << "the late one";
            }
            continue;
        }
        ASSERT_TRUE(answered) << "exchange " << i;
        EXPECT_TRUE(test::IsAnswerTo(*reply, read))
            << "exchange " << i << " got the answer of address " << (reply->first >> 8);
    }
    EXPECT_EQ(channel.Figures().failedExchanges, lateTaken ? 0u : 1u);
    // Byte by byte, some of the late reply may have come within its own wait.
    EXPECT_LE(channel.Figures().lateBytesDiscarded, lateTaken ? 0u : 4u);
}

} // namespace
