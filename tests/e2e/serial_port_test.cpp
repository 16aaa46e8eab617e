// The real QSerialPort path against the simulator on a pseudo-terminal.

#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"
#include "sim/pty_server.h"
#include "support/monitor_burst.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

constexpr auto kBound = SerialChannel::kWaitPeriods * SerialChannel::kDefaultStep;

struct Session {
    explicit Session(const std::string& device) : ports(mapped(device)) {}
    static MappedPortDirectory mapped(const std::string& device) {
        PortMap map;
        map.Map(1, device);
        return MappedPortDirectory(map);
    }
    bool open() {
        if (!channel.Open(1, 19200))
            return false;
        channel.SetDtr();
        channel.ClearRts();
        return true;
    }
    MappedPortDirectory ports;
    SerialChannel channel{ports};
    RegisterExchange link{channel};
};

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

#define START_SIM(var, ...)                                                                        \
    test::SimProcess var(QStringList{__VA_ARGS__});                                                \
    ASSERT_TRUE(var.Error().empty()) << var.Error()

TEST(RealSerialPort, reads_and_writes_registers_through_zef_sim) {
    START_SIM(sim, "--line-timing");
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    EXPECT_TRUE(s.link.Exchange(Command::ReadLive, 0)); // the probe
    EXPECT_EQ(s.link.Exchange(Command::ReadParam, 71).value_or(Reply{}).second, 4);
    // Bytes that a cooked terminal would eat or translate pass untouched both ways.
    const std::uint16_t awkward[] = {0x130D, 0x0311, 0x0A0D, 0x7F1A};
    for (auto value : awkward) {
        EXPECT_TRUE(s.link.Exchange(Command::WriteParam, 0x11, value));
        EXPECT_EQ(s.link.Exchange(Command::ReadParam, 0x11).value_or(Reply{}).second, value)
            << std::hex << value;
    }
    EXPECT_EQ(s.channel.Figures(), (LinkFigures{.exchanges = 10}));
}

TEST(RealSerialPort, a_port_in_use_cannot_be_opened_again) {
    START_SIM(sim);
    Session first(sim.Device()), second(sim.Device());
    ASSERT_TRUE(first.open());
    EXPECT_FALSE(second.open());
    first.channel.Close();
    EXPECT_TRUE(second.open());
}

TEST(RealSerialPort, absent_device_does_not_open_and_says_why) {
    Session s("/dev/zef-no-such-port");
    EXPECT_FALSE(s.open());
    EXPECT_FALSE(s.channel.IsOpen());
    EXPECT_EQ(s.channel.DeviceError(), "No such file or directory");
}

TEST(RealSerialPort, silent_controller_fails_within_the_bound) {
    START_SIM(sim, "--fault", "silent");
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(s.link.Exchange(Command::ReadParam, 71));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(elapsed, 3 * SerialChannel::kDefaultStep);
    EXPECT_LT(elapsed, kBound + 200ms);
}

TEST(RealSerialPort, surplus_reply_fails_and_answers_nothing) {
    START_SIM(sim, "--fault", "surplus=3");
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    EXPECT_FALSE(s.link.Exchange(Command::ReadParam, 71));
    const auto next = s.link.Exchange(Command::ReadParam, 5);
    EXPECT_FALSE(next && next->second != 1); // never the surplus taken for its answer
}

TEST(RealSerialPort, late_reply_does_not_shift_the_next_answers) {
    START_SIM(sim, "--delay-address", "99=100");
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    EXPECT_FALSE(s.link.Exchange(Command::ReadParam, 99));
    std::this_thread::sleep_for(80ms); // the late answer arrives meanwhile
    const std::pair<std::uint8_t, std::uint16_t> expected[] = {{71, 4}, {5, 1}, {73, 6000}};
    for (auto [address, value] : expected) {
        EXPECT_EQ(s.link.Exchange(Command::ReadParam, address).value_or(Reply{}).second, value)
            << int(address);
    }
    EXPECT_EQ(s.channel.Figures().lateBytesDiscarded, 4u);
}

TEST(RealSerialPort, killed_simulator_makes_exchanges_fail_without_spinning) {
    START_SIM(sim);
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    ASSERT_TRUE(s.link.Exchange(Command::ReadParam, 73));
    sim.Kill();

    const auto t0 = std::chrono::steady_clock::now();
    const double cpu0 = cpuSeconds();
    constexpr int kExchanges = 10;
    for (int i = 0; i < kExchanges; ++i)
        EXPECT_FALSE(s.link.Exchange(Command::ReadLive, 162));
    const auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;

    EXPECT_LT(wall, kExchanges * std::chrono::duration<double>(kBound).count() + 0.5);
    EXPECT_LT(cpu, 0.5 * wall + 0.02) << "the wait burns the processor";
    s.channel.Close(); // and closing afterwards is harmless
}

// In-process server: the frames the controller received can be checked one by one.
TEST(RealSerialPort, every_request_reaches_the_controller_in_order) {
    auto simulator = std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    sim::PtyServer server(simulator);
    std::string error;
    if (!server.Open(error))
        GTEST_SKIP() << error;
    server.Start();
    Session s(server.DevicePath());
    ASSERT_TRUE(s.open());
    for (int address = 0; address < 40; ++address)
        EXPECT_TRUE(s.link.Exchange(Command::ReadParam, static_cast<std::uint8_t>(address)));
    const auto frames = simulator->Frames();
    ASSERT_EQ(frames.size(), 40u);
    for (int address = 0; address < 40; ++address)
        EXPECT_EQ(frames[static_cast<std::size_t>(address)],
                  BuildRequest(Command::ReadParam, static_cast<std::uint8_t>(address), 0));
}

// In the field one reply 62 ms late made the seven exchanges after it in a monitor tick return
// the previous register's value.
TEST(RealSerialPort, one_late_reply_in_a_burst_fails_only_its_own_exchange) {
    constexpr std::size_t kLate = 4;
    const auto late = std::to_string(test::kMonitorBurst[kLate].address) + "=62";
    START_SIM(sim, "--line-timing", "--delay-address", QString::fromStdString(late));
    Session s(sim.Device());
    ASSERT_TRUE(s.open());
    bool lateTaken = false;
    for (std::size_t i = 0; i < test::kMonitorBurst.size(); ++i) {
        const auto read = test::kMonitorBurst[i];
        const auto reply = s.link.Exchange(read.command, read.address);
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
    EXPECT_EQ(s.channel.Figures().failedExchanges, lateTaken ? 0u : 1u);
}

// The terminal starts out cooked, slow and with the wrong frame; opening the port must leave
// it as the controller needs it, whatever it was.
TEST(RealSerialPort, open_sets_the_line_to_raw_19200_8n2_without_flow_control) {
    auto simulator = std::make_shared<sim::Simulator>();
    sim::PtyServer server(simulator);
    std::string error;
    if (!server.Open(error))
        GTEST_SKIP() << error;
    const int fd = ::open(server.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios cooked{};
    ASSERT_EQ(tcgetattr(fd, &cooked), 0);
    cooked.c_cflag = (cooked.c_cflag & ~(CSIZE | CSTOPB)) | CS7 | PARENB | CRTSCTS;
    cooked.c_iflag |= ICRNL | IXON | IXOFF | INLCR;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    cfsetispeed(&cooked, B9600);
    cfsetospeed(&cooked, B9600);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &cooked), 0);

    Session s(server.DevicePath());
    ASSERT_TRUE(s.open());
    termios tio{};
    ASSERT_EQ(tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(tio.c_cflag & CSTOPB) << "two stop bits";
    EXPECT_FALSE(tio.c_cflag & PARENB) << "parity";
    EXPECT_FALSE(tio.c_cflag & CRTSCTS) << "hardware flow control";
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF)) << "software flow control";
    EXPECT_FALSE(tio.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) << "input translation";
    EXPECT_FALSE(tio.c_oflag & OPOST) << "output processing";
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) << "line discipline";
    EXPECT_EQ(cfgetispeed(&tio), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
}

} // namespace
