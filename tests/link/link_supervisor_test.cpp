#include "link/link_supervisor.h"
#include "support/sim_ports.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// Port 1 is the simulated controller while the device is plugged in; unplugging takes the
// open backend away, as a USB adapter pulled out does, and no new one opens until it is back.
class PluggablePorts final : public PortDirectory {
public:
    std::unique_ptr<SerialBackend> backendFor(int portNumber) override {
        if (portNumber != 1)
            return nullptr;
        ++asked;
        if (!present)
            return nullptr;
        auto backend = std::make_unique<sim::SimBackend>(inner.sim);
        last = backend.get();
        return backend;
    }
    void Unplug() {
        present = false;
        last->Unplug();
    }

    test::SimPorts inner;
    sim::SimBackend* last = nullptr;
    bool present = true;
    int asked = 0;
};

class Supervisor : public ::testing::Test {
protected:
    void SetUp() override {
        supervisor.SetStateObserver([this](LinkState s) { states.push_back(s); });
        ASSERT_TRUE(channel.Open(1, 19200));
        supervisor.Start(1, 19200);
    }
    // A probe's answer is taken at the next call, four clock steps later at the least.
    bool probeLater() {
        std::this_thread::sleep_for(20ms);
        return supervisor.Probe();
    }
    void silence() { ports.inner.sim->SetFault({sim::Fault::Silent, 0, {}}); }
    void speak() { ports.inner.sim->SetFault({}); }
    std::size_t framesOnLine() const { return ports.inner.sim->Frames().size(); }

    PluggablePorts ports;
    SerialChannel channel{ports, 2ms};
    RegisterExchange link{channel};
    LinkSupervisor supervisor{link};
    std::vector<LinkState> states;
};

TEST_F(Supervisor, failures_in_a_row_lose_the_link_and_an_answer_between_resets_the_count) {
    struct Case {
        std::vector<bool> answers; // true: the controller answers that exchange
        bool lost;
    };
    const Case cases[] = {
        {{false, false}, false},
        {{false, false, true, false, false}, false},
        {{false, false, false}, true},
        {{true, false, true, false, false, false}, true},
    };
    for (const auto& c : cases) {
        supervisor.Start(1, 19200);
        for (bool answers : c.answers) {
            answers ? speak() : silence();
            (void)link.Exchange(Command::ReadLive, 76);
        }
        EXPECT_EQ(supervisor.IsLost(), c.lost) << c.answers.size();
    }
    speak();
}

TEST_F(Supervisor, while_lost_exchanges_fail_without_touching_the_line) {
    (void)link.Exchange(Command::ReadLive, 76);
    silence();
    for (int i = 0; i < LinkSupervisor::kFailuresForLoss; ++i)
        (void)link.Exchange(Command::ReadLive, 77);
    ASSERT_TRUE(supervisor.IsLost());
    EXPECT_EQ(states, (std::vector{LinkState::Live, LinkState::Lost}));
    const auto sent = framesOnLine();
    const std::uint16_t flag = ports.inner.Param(15);
    speak();
    EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
    EXPECT_FALSE(link.Exchange(Command::WriteParam, 15, flag ^ 1));
    EXPECT_EQ(framesOnLine(), sent);
    EXPECT_EQ(ports.inner.Param(15), flag);
}

TEST_F(Supervisor, probe_sends_one_request_and_brings_the_link_back_when_answered) {
    silence();
    for (int i = 0; i < LinkSupervisor::kFailuresForLoss; ++i)
        (void)link.Exchange(Command::ReadLive, 76);
    ASSERT_TRUE(supervisor.IsLost());
    ports.inner.sim->ClearFrames();
    EXPECT_FALSE(supervisor.Probe());
    EXPECT_FALSE(supervisor.Probe()); // too soon for an answer: nothing done
    EXPECT_FALSE(probeLater());
    EXPECT_EQ(ports.inner.sim->Frames(), (std::vector{BuildRequest(Command::ReadLive, 0, 0),
                                                      BuildRequest(Command::ReadLive, 0, 0)}));
    EXPECT_TRUE(supervisor.IsLost());
    speak();
    EXPECT_FALSE(probeLater()); // the probe out there went unanswered; the next one goes out
    EXPECT_TRUE(probeLater());
    EXPECT_EQ(supervisor.State(), LinkState::Live);
    EXPECT_EQ(supervisor.FailuresInARow(), 0);
    EXPECT_TRUE(link.Exchange(Command::ReadLive, 162));
    EXPECT_EQ(states, (std::vector{LinkState::Live, LinkState::Lost, LinkState::Live}));
}

TEST_F(Supervisor, vanished_device_is_lost_at_once_and_reopened_once_a_second_until_back) {
    ports.Unplug();
    EXPECT_FALSE(link.Exchange(Command::ReadLive, 76));
    ASSERT_TRUE(supervisor.IsLost());
    EXPECT_FALSE(channel.IsOpen()); // let go of at once
    EXPECT_FALSE(supervisor.LostReason().empty());
    EXPECT_EQ(supervisor.DeviceName(), "simulator");

    const auto t0 = LinkSupervisor::Clock::now();
    struct Step {
        std::chrono::milliseconds at;
        bool present;
        bool looked; // the port was opened again, or tried
        bool back;
    };
    // The first probe looks at once, the next ones only a second after the last look; the
    // probe sent on the port opened again is answered at the call after.
    const Step steps[] = {
        {0ms, false, true, false},    {400ms, false, false, false}, {1000ms, false, true, false},
        {1500ms, true, false, false}, {2000ms, true, true, false},  {2350ms, true, false, true},
    };
    for (const auto& s : steps) {
        if (s.back)
            std::this_thread::sleep_for(20ms); // for the simulated reply on the real clock
        ports.present = s.present;
        const int before = ports.asked;
        EXPECT_EQ(supervisor.Probe(t0 + s.at), s.back) << s.at.count();
        EXPECT_EQ(ports.asked - before, s.looked ? 1 : 0) << s.at.count();
    }
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_EQ(channel.PortNumber(), 1);
    EXPECT_TRUE(ports.last->Dtr());
    EXPECT_FALSE(ports.last->Rts());
    EXPECT_TRUE(link.Exchange(Command::ReadLive, 162));
}

TEST_F(Supervisor, stop_ends_the_watch_and_a_closed_session_is_not_probed) {
    silence();
    for (int i = 0; i < LinkSupervisor::kFailuresForLoss; ++i)
        (void)link.Exchange(Command::ReadLive, 76);
    ASSERT_TRUE(supervisor.IsLost());
    supervisor.Stop();
    channel.Close();
    EXPECT_EQ(supervisor.State(), LinkState::Closed);
    const int asked = ports.asked;
    EXPECT_FALSE(supervisor.Probe());
    EXPECT_EQ(ports.asked, asked);
    speak();
    ASSERT_TRUE(channel.Open(1, 19200));
    // Failures outside a session decide nothing.
    silence();
    for (int i = 0; i < 5; ++i)
        (void)link.Exchange(Command::ReadLive, 76);
    EXPECT_EQ(supervisor.State(), LinkState::Closed);
}

} // namespace
