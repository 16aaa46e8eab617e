// A controller whose device vanishes mid-session (adapter pulled out, zef-sim killed), on the
// real QSerialPort path with the window's event loop running.

#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"
#include "support/sim_process.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/resource.h>
#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

constexpr auto kBound = SerialChannel::kWaitPeriods * SerialChannel::kDefaultStep;

// Port 1 is the device; the test keeps sight of the backend the channel owns.
class KeptPort final : public PortDirectory {
public:
    explicit KeptPort(std::string device) : m_device(std::move(device)) {}
    std::unique_ptr<SerialBackend> backendFor(int portNumber) override {
        if (portNumber != 1)
            return nullptr;
        auto backend = std::make_unique<QtSerialBackend>(m_device);
        last = backend.get();
        return backend;
    }
    QtSerialBackend* last = nullptr;

private:
    std::string m_device;
};

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Processor time the event loop takes over `span` while nothing is asked of it.
double idleLoopCost(std::chrono::milliseconds span) {
    const double before = processorSeconds();
    QTimer::singleShot(span, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    return processorSeconds() - before;
}

enum class Vanish {
    BetweenExchanges, // nothing asked while the device went
    BeforeARequest,   // the next request meets the dead device
    DuringAReply,     // gone while an exchange waits for its answer
};

struct VanishCase {
    const char* name;
    Vanish when;
};

class VanishedDevice : public ::testing::TestWithParam<VanishCase> {
protected:
    // The window's event loop; the port must be opened with it in place.
    static inline int argc = 1;
    static inline char arg0[] = "vanished_device_test";
    static inline char* argv[] = {arg0, nullptr};
    QCoreApplication app{argc, argv};
};

TEST_P(VanishedDevice, the_port_is_let_go_exchanges_fail_at_once_and_nothing_spins) {
    const VanishCase& c = GetParam();
    const bool slow = c.when == Vanish::DuringAReply;
    test::SimProcess sim(slow ? QStringList{"--delay", "300"} : QStringList{});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    KeptPort ports(sim.Device());
    SerialChannel channel(ports);
    RegisterExchange link(channel);
    ASSERT_TRUE(channel.Open(1, 19200));
    channel.SetDtr();
    channel.ClearRts();
    QtSerialBackend& backend = *ports.last;
    if (!slow) {
        ASSERT_EQ(link.Exchange(Command::ReadParam, 73).value_or(Reply{}).second, 6000);
    }

    switch (c.when) {
    case Vanish::BetweenExchanges:
        sim.Kill();
        (void)idleLoopCost(100ms); // the window idles between two ticks
        break;
    case Vanish::BeforeARequest:
        sim.Kill();
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
        break;
    case Vanish::DuringAReply: {
        std::thread killer([pid = sim.Pid()] {
            std::this_thread::sleep_for(20ms);
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        });
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
        killer.join();
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
        break;
    }
    }

    // Left open, as the window leaves it until "Close COM": a second of event loop.
    const double cost = idleLoopCost(1000ms);
    EXPECT_LT(cost, 0.2) << "processor seconds in one second of event loop";

    EXPECT_FALSE(backend.PortOpen());
    EXPECT_EQ(backend.BytesPending(), 0);
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_TRUE(channel.DeviceLost());
    EXPECT_EQ(channel.DeviceError(), "No such file or directory"); // the device node went

    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(link.Exchange(Command::ReadLive, 162));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, kBound);
    channel.Close();
    EXPECT_FALSE(channel.DeviceLost());
}

INSTANTIATE_TEST_SUITE_P(Serial, VanishedDevice,
                         ::testing::Values(VanishCase{"between_exchanges",
                                                      Vanish::BetweenExchanges},
                                           VanishCase{"before_a_request", Vanish::BeforeARequest},
                                           VanishCase{"during_a_reply", Vanish::DuringAReply}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
