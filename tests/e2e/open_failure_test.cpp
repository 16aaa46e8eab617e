// Ports that do not open, through the real QSerialPort path: each failure is told apart and
// its message says what to do.

#include "link/open_failure.h"
#include "link/qt_serial_backend.h"
#include "link/serial_channel.h"
#include "support/sim_process.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <grp.h>
#include <iostream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zef;

namespace {

constexpr char kHoldEnv[] = "ZEF_TEST_HOLD_PORT";

struct Attempt {
    bool opened = false;
    OpenFailure failure = OpenFailure::Unknown;
    QString text;
};

Attempt TryToOpen(const std::string& device) {
    PortMap map;
    map.Map(1, device);
    MappedPortDirectory ports(map);
    SerialChannel channel(ports);
    Attempt a;
    a.opened = channel.Open(1, 19200);
    a.failure = channel.OpenFailureKind();
    a.text = OpenFailureText(
        ReportOpenFailure(1, channel, std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB1"}));
    return a;
}

std::string Lines(const Attempt& a) {
    return a.text.toStdString();
}

TEST(OpenFailure, an_absent_device_is_named_with_the_ports_that_exist) {
    QTemporaryDir dir;
    const std::string device = dir.filePath("ttyUSB7").toStdString();
    const Attempt a = TryToOpen(device);
    ASSERT_FALSE(a.opened);
    EXPECT_EQ(a.failure, OpenFailure::Absent);
    const QStringList lines = a.text.split('\n');
    ASSERT_GE(lines.size(), 4) << Lines(a);
    EXPECT_EQ(lines[0], "Невозможно открыть порт COM1");
    EXPECT_EQ(lines[1].toStdString(), "Устройство: " + device);
    EXPECT_TRUE(lines[2].startsWith("Причина: ")) << Lines(a);
    EXPECT_EQ(lines.last(), "Порты в системе: /dev/ttyS0, /dev/ttyUSB1");
}

TEST(OpenFailure, a_path_that_is_no_serial_port_is_called_so) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("calibration.zef").toStdString();
    std::ofstream(file) << "not a port";
    for (const std::string& device : {file, std::string("/dev/null")}) {
        const Attempt a = TryToOpen(device);
        ASSERT_FALSE(a.opened) << device;
        if (device == "/dev/null" && !ExamineDevice(device).terminal)
            continue; // no table of terminal drivers to tell /dev/null from a port
        EXPECT_EQ(a.failure, OpenFailure::NotSerial) << Lines(a);
        EXPECT_TRUE(a.text.contains("Устройство: " + QString::fromStdString(device))) << Lines(a);
        EXPECT_TRUE(a.text.contains("Это не последовательный порт")) << Lines(a);
    }
}

// A pseudo-terminal made unreadable. Root opens it all the same, so as root the attempt is made
// in a child that has become the unprivileged user "nobody" first.
TEST(OpenFailure, a_port_without_permission_names_the_group_and_the_fix) {
    test::SimProcess sim({});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const std::string device = sim.Device();
    ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    struct stat info {};
    ASSERT_EQ(::stat(device.c_str(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    // No group may read and write it: joining one would not help, the mode has to change.
    const std::string fix = std::string("группа: ") + owner->gr_name +
                            ", права: c--------- \\(0000\\).*администратор \\(правило udev\\)";

    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            if (::geteuid() == 0) {
                const passwd* nobody = ::getpwnam("nobody");
                if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                    ::setuid(nobody->pw_uid) != 0) {
                    std::fputs("cannot become nobody", stderr);
                    std::_Exit(3);
                }
            }
            const Attempt a = TryToOpen(device);
            std::fputs(a.text.toUtf8().constData(), stderr);
            std::_Exit(a.opened ? 1 : a.failure == OpenFailure::NoPermission ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), fix);
}

// Not run by itself: started as a second process by the test below, it holds a port the way
// another program would, until its input closes.
TEST(PortHolder, DISABLED_holds_the_port_until_its_input_closes) {
    const char* device = std::getenv(kHoldEnv);
    ASSERT_NE(device, nullptr);
    QtSerialBackend port(device);
    ASSERT_TRUE(port.open()) << port.lastError();
    std::cout << "held" << std::endl;
    std::string line;
    std::getline(std::cin, line);
}

TEST(OpenFailure, a_port_another_program_holds_is_reported_as_taken) {
    test::SimProcess sim({});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kHoldEnv, QString::fromStdString(sim.Device()));
    holder.setProcessEnvironment(env);
    holder.start("/proc/self/exe",
                 {"--gtest_also_run_disabled_tests", "--gtest_filter=PortHolder.*"});
    ASSERT_TRUE(holder.waitForStarted(5000));
    QByteArray said;
    while (!said.contains("held") && holder.waitForReadyRead(10000))
        said += holder.readAllStandardOutput();
    ASSERT_TRUE(said.contains("held"))
        << said.toStdString() << holder.readAllStandardError().toStdString();

    const Attempt a = TryToOpen(sim.Device());
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
    ASSERT_FALSE(a.opened);
    EXPECT_EQ(a.failure, OpenFailure::Busy) << Lines(a);
    EXPECT_TRUE(a.text.startsWith("Невозможно открыть порт COM1\nУстройство: " +
                                  QString::fromStdString(sim.Device())))
        << Lines(a);
    EXPECT_TRUE(a.text.endsWith("Порт занят другой программой. Закройте её и попробуйте снова."))
        << Lines(a);
    // Once the other program lets go, the port opens.
    EXPECT_TRUE(TryToOpen(sim.Device()).opened);
}

} // namespace
