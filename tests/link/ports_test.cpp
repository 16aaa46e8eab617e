// The port list's line, the names that survive re-plugging, the remembered mapping and the
// wording of a port that did not open.

#include "link/open_failure.h"
#include "link/port_info.h"
#include "link/port_memory.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace zef;
namespace fs = std::filesystem;

namespace {

TEST(PortLine, names_the_device_first_and_leaves_out_what_is_unknown) {
    const struct {
        PortInfo port;
        std::string line;
    } cases[] = {
        {{.device = "/dev/ttyS0"}, "/dev/ttyS0"},
        {{.device = "/dev/ttyUSB0",
          .description = "FT232R USB UART",
          .manufacturer = "FTDI",
          .serialNumber = "A50285BI",
          .vendorId = 0x0403,
          .productId = 0x6001,
          .stableNames = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}},
         "/dev/ttyUSB0  \"FT232R USB UART\"  manufacturer \"FTDI\"  serial \"A50285BI\"  "
         "usb 0403:6001  by-id /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"},
        {{.device = "/dev/ttyACM0", .vendorId = 0x2341, .stableNames = {"/a", "/b"}},
         "/dev/ttyACM0  usb 2341:????  by-id /a  by-id /b"},
        {{.device = "COM3", .description = "USB-SERIAL CH340", .productId = 0x7523},
         "COM3  \"USB-SERIAL CH340\"  usb ????:7523"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPortLine(c.port), c.line);
}

// A folder laid out as udev lays out /dev/serial/by-id: links to the device nodes, one of them
// left over from an adapter that has gone.
class StableNames : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        fs::create_directories(root / "dev");
        fs::create_directories(root / "by-id");
        for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyS0"})
            std::ofstream(root / "dev" / node) << "";
        fs::create_symlink("../dev/ttyUSB1", root / "by-id" / "usb-FTDI_B-port0");
        fs::create_symlink("../dev/ttyUSB0", root / "by-id" / "usb-FTDI_A-port0");
        fs::create_symlink(root / "dev" / "ttyUSB0", root / "by-id" / "usb-FTDI_A-if00");
        fs::create_symlink("../dev/ttyUSB9", root / "by-id" / "usb-gone-port0");
        // A link of the user's own to a device, as zef-sim --link makes.
        fs::create_symlink(root / "dev" / "ttyUSB1", root / "myadapter");
    }
    std::string at(const std::string& relative) const { return (root / relative).string(); }

    QTemporaryDir dir;
    fs::path root;
};

TEST_F(StableNames, every_link_that_leads_to_the_device_is_found) {
    EXPECT_EQ(
        StableNamesOf(at("dev/ttyUSB0"), root / "by-id"),
        (std::vector<std::string>{at("by-id/usb-FTDI_A-if00"), at("by-id/usb-FTDI_A-port0")}));
    // Reached through a link of its own, the device is still the one behind by-id.
    EXPECT_EQ(StableNamesOf(at("myadapter"), root / "by-id"),
              std::vector<std::string>{at("by-id/usb-FTDI_B-port0")});
    EXPECT_TRUE(StableNamesOf(at("dev/ttyS0"), root / "by-id").empty());
    EXPECT_TRUE(StableNamesOf(at("dev/ttyUSB9"), root / "by-id").empty());
    EXPECT_TRUE(StableNamesOf(at("dev/ttyUSB0"), root / "no-such-folder").empty());
}

TEST_F(StableNames, the_stable_name_is_remembered_where_there_is_one) {
    const struct {
        std::string chosen, remembered;
    } cases[] = {
        {at("dev/ttyUSB0"), at("by-id/usb-FTDI_A-if00")},
        {at("dev/ttyUSB1"), at("by-id/usb-FTDI_B-port0")},
        {at("myadapter"), at("by-id/usb-FTDI_B-port0")},
        // Chosen by one of its stable names, that name is kept.
        {at("by-id/usb-FTDI_A-port0"), at("by-id/usb-FTDI_A-port0")},
        {at("dev/ttyS0"), at("dev/ttyS0")},
        {"/dev/no-such-device", "/dev/no-such-device"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StableDeviceName(c.chosen, root / "by-id"), c.remembered) << c.chosen;
}

TEST_F(StableNames, a_link_is_described_with_the_device_it_leads_to) {
    EXPECT_EQ(DescribePortTarget(at("by-id/usb-FTDI_A-port0")).toStdString(),
              at("by-id/usb-FTDI_A-port0") + " → " + at("dev/ttyUSB0"));
    EXPECT_EQ(DescribePortTarget(at("dev/ttyS0")).toStdString(), at("dev/ttyS0"));
    EXPECT_EQ(DescribePortTarget("/dev/no-such-device").toStdString(), "/dev/no-such-device");
    EXPECT_EQ(DescribePortTarget("simulator"), "встроенный имитатор контроллера");
}

TEST(RememberedPorts, survive_a_restart_and_yield_to_the_command_line) {
    QTemporaryDir dir;
    const QString file = dir.filePath("zef-service.conf");
    {
        QSettings settings(file, QSettings::IniFormat);
        EXPECT_FALSE(RememberPort(settings, 2, "/dev/serial/by-id/usb-FTDI_A-port0"));
        EXPECT_FALSE(RememberPort(settings, 3, "/dev/ttyUSB1"));
        EXPECT_FALSE(RememberPort(settings, 4, "/dev/ttyUSB2"));
        // Put back to the default, a port is forgotten rather than remembered as the default.
        EXPECT_FALSE(RememberPort(settings, 4, PortMap::DefaultDevice(4)));
        EXPECT_TRUE(RememberPort(settings, 5, "/dev/ttyUSB3"));
    }
    const QSettings restarted(file, QSettings::IniFormat);
    EXPECT_FALSE(restarted.contains("ports/COM4"));
    const PortMap remembered = RememberedPortMap(restarted);
    EXPECT_EQ(remembered.Target(1), PortMap::DefaultDevice(1));
    EXPECT_EQ(remembered.Target(2), "/dev/serial/by-id/usb-FTDI_A-port0");
    EXPECT_EQ(remembered.Target(3), "/dev/ttyUSB1");
    EXPECT_EQ(remembered.Target(4), PortMap::DefaultDevice(4));

    PortMap commandLine;
    ASSERT_TRUE(commandLine.MapFromOption("3=/dev/pts/5"));
    ApplyRememberedPorts(restarted, commandLine);
    EXPECT_EQ(commandLine.Target(2), "/dev/serial/by-id/usb-FTDI_A-port0");
    EXPECT_EQ(commandLine.Target(3), "/dev/pts/5");
}

TEST(RememberedPorts, a_settings_file_that_cannot_be_written_is_reported) {
    QTemporaryDir dir;
    // A folder where the file should be: no user, root included, can write it.
    const QString file = dir.filePath("zef-service.conf");
    ASSERT_TRUE(QDir().mkpath(file));
    QSettings settings(file, QSettings::IniFormat);
    const auto error = RememberPort(settings, 1, "/dev/ttyUSB0");
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(file)) << error->toStdString();
}

TEST(RememberedPorts, com_names_resolve_through_the_mapping) {
    PortMap map;
    map.Map(2, "/dev/serial/by-id/usb-FTDI_A-port0");
    const struct {
        std::string name;
        std::optional<std::string> device;
    } cases[] = {
        {"COM2", "/dev/serial/by-id/usb-FTDI_A-port0"},
        {"com2", "/dev/serial/by-id/usb-FTDI_A-port0"},
        {"COM1", PortMap::DefaultDevice(1)},
        {"COM5", std::nullopt},
        {"COM0", std::nullopt},
        {"COM12", std::nullopt},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"COMPORT", "COMPORT"},
        {"COM", "COM"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolvePortName(c.name, map), c.device) << c.name;
}

TEST(OpenFailures, facts_about_the_device_tell_the_failures_apart) {
    const DeviceFacts serial{.exists = true, .characterDevice = true, .terminal = true};
    DeviceFacts locked = serial;
    locked.accessible = false;
    DeviceFacts notTerminal = serial;
    notTerminal.terminal = false;
    DeviceFacts unknownDriver = serial;
    unknownDriver.terminal.reset();
    const DeviceFacts regularFile{.exists = true, .characterDevice = false};
    const struct {
        const char* what;
        DeviceFacts facts;
        bool refused;
        OpenFailure failure;
    } cases[] = {
        {"absent", DeviceFacts{}, false, OpenFailure::Absent},
        {"absent, refused", DeviceFacts{}, true, OpenFailure::Absent},
        {"regular file", regularFile, false, OpenFailure::NotSerial},
        {"not a terminal", notTerminal, false, OpenFailure::NotSerial},
        {"no permission", locked, true, OpenFailure::NoPermission},
        {"held elsewhere", serial, true, OpenFailure::Busy},
        {"held, driver unknown", unknownDriver, true, OpenFailure::Busy},
        {"something else", serial, false, OpenFailure::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyOpenFailure(c.facts, c.refused), c.failure) << c.what;
}

TEST(OpenFailures, the_message_keeps_its_first_line_and_says_what_to_do) {
    const struct {
        OpenFailureReport report;
        QString text;
    } cases[] = {
        {{.portNumber = 3}, "Невозможно открыть порт COM3"},
        {{.portNumber = 1,
          .device = "/dev/ttyS0",
          .failure = OpenFailure::Unknown,
          .reason = "Input/output error"},
         "Невозможно открыть порт COM1\nУстройство: /dev/ttyS0\nПричина: Input/output error"},
        {{.portNumber = 2,
          .device = "/dev/ttyUSB0",
          .failure = OpenFailure::Absent,
          .reason = "No such file or directory",
          .existingPorts = std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB1"}},
         "Невозможно открыть порт COM2\nУстройство: /dev/ttyUSB0\n"
         "Причина: No such file or directory\n"
         "Такого устройства нет: адаптер не подключён или порт назначен неверно (меню «Файл → "
         "Порты...»).\nПорты в системе: /dev/ttyS0, /dev/ttyUSB1"},
        {{.portNumber = 2,
          .device = "/dev/ttyUSB0",
          .failure = OpenFailure::Absent,
          .existingPorts = std::vector<std::string>{}},
         "Невозможно открыть порт COM2\nУстройство: /dev/ttyUSB0\n"
         "Такого устройства нет: адаптер не подключён или порт назначен неверно (меню «Файл → "
         "Порты...»).\nПоследовательных портов в системе не найдено."},
        {{.portNumber = 4,
          .device = "/dev/ttyUSB0",
          .failure = OpenFailure::NoPermission,
          .reason = "Permission denied",
          .group = "uucp",
          .owner = "root",
          .mode = 0660},
         "Невозможно открыть порт COM4\nУстройство: /dev/ttyUSB0\nПричина: Permission denied\n"
         "Нет прав на устройство. Оно принадлежит группе uucp; добавьте себя в неё:\n"
         "    sudo usermod -aG uucp $USER\nзатем выйдите из системы и войдите снова."},
        {{.portNumber = 1, .device = "/dev/ttyUSB0", .failure = OpenFailure::NoPermission},
         "Невозможно открыть порт COM1\nУстройство: /dev/ttyUSB0\n"
         "Нет прав на устройство. Владелец: неизвестно, группа: неизвестно, права: неизвестны.\n"
         "Ни одна группа, в которую можно вступить, не может читать и писать его: права "
         "устройства должен изменить администратор (правило udev)."},
        {{.portNumber = 1,
          .device = "/dev/ttyUSB0",
          .failure = OpenFailure::NoPermission,
          .group = "root", // never: its members may do far more than use a port
          .owner = "root",
          .mode = 0660},
         "Невозможно открыть порт COM1\nУстройство: /dev/ttyUSB0\n"
         "Нет прав на устройство. Владелец: root, группа: root, права: crw-rw---- (0660).\n"
         "Ни одна группа, в которую можно вступить, не может читать и писать его: права "
         "устройства должен изменить администратор (правило udev)."},
        {{.portNumber = 1,
          .device = "/dev/pts/3",
          .failure = OpenFailure::Busy,
          .reason = "Permission error while locking the device"},
         "Невозможно открыть порт COM1\nУстройство: /dev/pts/3\n"
         "Причина: Permission error while locking the device\n"
         "Порт занят другой программой. Закройте её и попробуйте снова."},
        {{.portNumber = 1, .device = "/dev/null", .failure = OpenFailure::NotSerial},
         "Невозможно открыть порт COM1\nУстройство: /dev/null\nЭто не последовательный порт. "
         "Выберите порт адаптера в меню «Файл → Порты...»."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenFailureText(c.report).toStdString(), c.text.toStdString());
    EXPECT_EQ(NoControllerText(2, "/dev/ttyUSB0").toStdString(),
              "Нет прибора на COM2\nУстройство: /dev/ttyUSB0\nКонтроллер не ответил. Проверьте "
              "кабель и включено ли зажигание.");
    EXPECT_EQ(NoControllerText(2, "").toStdString(),
              "Нет прибора на COM2\nКонтроллер не ответил. Проверьте кабель и включено ли "
              "зажигание.");
}

TEST(OpenFailures, the_system_is_asked_about_real_paths) {
    QTemporaryDir dir;
    const QString file = dir.filePath("not-a-port");
    std::ofstream(file.toStdString()) << "x";

    const DeviceFacts absent = ExamineDevice(dir.filePath("absent").toStdString());
    EXPECT_FALSE(absent.exists);
    const DeviceFacts regular = ExamineDevice(file.toStdString());
    EXPECT_TRUE(regular.exists);
    EXPECT_FALSE(regular.characterDevice);
    const DeviceFacts null = ExamineDevice("/dev/null");
    EXPECT_TRUE(null.characterDevice);
    EXPECT_FALSE(null.group.empty());
    EXPECT_EQ(null.owner, "root");
    EXPECT_EQ(null.mode, 0666u);
    if (!null.terminal)
        GTEST_SKIP() << "the kernel's table of terminal drivers is not readable here";
    EXPECT_FALSE(*null.terminal);
    const DeviceFacts console = ExamineDevice("/dev/tty");
    ASSERT_TRUE(console.exists);
    EXPECT_EQ(console.terminal, true);
}

} // namespace
