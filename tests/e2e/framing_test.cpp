// Stray, split and late bytes on the real serial path, every byte at line speed as a UART sends
// it: a read returns its own register's word or nothing, and a save never writes another's.

#include "files/settings_file.h"
#include "link/qt_serial_backend.h"
#include "link/register_exchange.h"
#include "sim/pty_server.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class Framing : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!server.Open(error))
            GTEST_SKIP() << error;
        // Every register holds a word of its own, so a word tells whose it is.
        simulator->WithModel([](sim::ControllerModel& m) {
            for (const std::uint8_t a : kSettingsRegisters)
                m.SetParam(a, static_cast<std::uint16_t>(0x5000 + a));
            return 0;
        });
        server.Start();
        PortMap map;
        map.Map(1, server.DevicePath());
        ports = std::make_unique<MappedPortDirectory>(map);
        channel = std::make_unique<SerialChannel>(*ports);
        link = std::make_unique<RegisterExchange>(*channel);
        ASSERT_TRUE(channel->Open(1, 19200));
    }
    // The fault on read `at` of the next burst, after a probe that settles the line.
    void faultAt(std::size_t at, sim::FaultPlan fault) {
        for (std::size_t i = 0; i <= at; ++i)
            simulator->InjectOnce({});
        simulator->InjectOnce(fault);
        (void)link->Exchange(Command::ReadLive, 0);
    }
    static SettingsValues expected() {
        SettingsValues v;
        for (const std::uint8_t a : kSettingsRegisters)
            v.push_back(static_cast<std::uint16_t>(0x5000 + a));
        return v;
    }

    std::shared_ptr<sim::Simulator> simulator =
        std::make_shared<sim::Simulator>(sim::Simulator::Options{.lineTiming = true});
    sim::PtyServer server{simulator};
    std::unique_ptr<MappedPortDirectory> ports;
    std::unique_ptr<SerialChannel> channel;
    std::unique_ptr<RegisterExchange> link;
};

TEST_F(Framing, no_read_or_save_takes_a_word_that_is_not_its_registers) {
    struct Case {
        const char* name;
        sim::FaultPlan fault;
        bool recovers; // the retry gets a clean answer
    };
    const Case cases[] = {
        {"1 stray byte", {.fault = sim::Fault::Surplus, .bytes = 1}, true},
        {"4 stray bytes", {.fault = sim::Fault::Surplus, .bytes = 4}, true},
        {"5 stray bytes", {.fault = sim::Fault::Surplus, .bytes = 5}, true},
        {"split 2+2, 30 ms apart", {.fault = sim::Fault::Split, .bytes = 2, .gap = 30ms}, true},
        {"62 ms late", {.delay = 62ms}, true},
        {"6 bytes of garbage", {.fault = sim::Fault::Garbage, .bytes = 6}, true},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        // In the middle of the burst, and on its last read, where only the quiet after it tells.
        for (const std::size_t at : {std::size_t{15}, kSettingsRegisters.size() - 1}) {
            const std::string where = std::string(c.name) + " at read " + std::to_string(at);
            faultAt(at, c.fault);
            const auto values = ReadSettings(*link);
            if (values) {
                EXPECT_EQ(*values, expected()) << where;
            }
            EXPECT_EQ(values.has_value(), c.recovers)
                << where << (values ? "" : values.error().toStdString());

            const QString path = dir.filePath(QString::fromStdString(c.name) + ".zef");
            faultAt(at, c.fault);
            if (SaveSettings(*link, path)) {
                const auto saved = ReadSettingsFile(path);
                ASSERT_TRUE(saved.has_value()) << where;
                EXPECT_EQ(*saved, expected()) << where;
            }
            QFile::remove(path);
        }
    }
    EXPECT_GT(channel->Figures().voidBursts, 0u);
}

} // namespace
