// "Порты...", the buttons that follow the mapping, and the window's messages for a port that
// did not open.

#include "app/main_window.h"
#include "app/options.h"
#include "dialogs/ports_dialog.h"
#include "link/port_memory.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_process.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;

namespace {

const std::vector<PortInfo> kTwoPorts = {
    {.device = "/dev/ttyS0", .description = "ttyS0"},
    {.device = "/dev/ttyUSB0",
     .description = "FT232R USB UART",
     .manufacturer = "FTDI",
     .serialNumber = "A50285BI",
     .vendorId = 0x0403,
     .productId = 0x6001,
     .stableNames = {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"}},
};

TEST(PortsDialog, lists_what_is_known_and_takes_a_port_by_its_stable_name) {
    std::vector<PortInfo> listed = kTwoPorts;
    PortsDialog dialog([&listed] { return listed; },
                       {"/dev/ttyS0", "/dev/ttyS1", "simulator", "/dev/ttyS3"});
    QTableWidget* table = dialog.Table();
    ASSERT_EQ(table->rowCount(), 2);
    const QStringList usb = {
        "/dev/ttyUSB0", "FT232R USB UART",
        "FTDI",         "A50285BI",
        "0403:6001",    "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"};
    for (int column = 0; column < usb.size(); ++column)
        EXPECT_EQ(table->item(1, column)->text(), usb[column]) << column;
    EXPECT_EQ(dialog.Chosen()[2], "simulator");

    table->selectRow(1);
    dialog.UseSelectedFor(2);
    table->selectRow(0);
    dialog.UseSelectedFor(4);
    dialog.Choice(1)->setEditText("  /dev/pts/9 ");
    EXPECT_EQ(dialog.Chosen(),
              (std::array<QString, 4>{"/dev/pts/9", usb.last(), "simulator", "/dev/ttyS0"}));

    // An adapter plugged in meanwhile shows after "Обновить"; what was chosen stays.
    listed.push_back({.device = "/dev/ttyACM0"});
    QTest::mouseClick(dialog.RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(dialog.Choice(3)->findText("/dev/ttyACM0"), 2);
    EXPECT_EQ(dialog.Chosen()[0], "/dev/pts/9");
}

// The window over the real serial path, with its settings in a temporary file.
struct Session {
    explicit Session(const QString& settingsFile, const QStringList& arguments = {"zef-service"})
        : settings(settingsFile, QSettings::IniFormat), ports([&] {
              PortMap map = AppOptions::Parse(arguments).ports;
              ApplyRememberedPorts(settings, map);
              return map;
          }()) {
        form.SetPortSetup(
            {.map = &ports.Map(), .settings = &settings, .list = [] { return kTwoPorts; }});
    }
    PortsDialog* choose(int portNumber, const QString& device) {
        form.PortsAction->trigger();
        auto* dialog = form.findChild<PortsDialog*>();
        if (dialog) {
            dialog->Choice(portNumber)->setEditText(device);
            dialog->accept();
        }
        return dialog;
    }

    QSettings settings;
    MappedPortDirectory ports;
    ControllerSession session{ports, Threading::Caller};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path()};
};

TEST(PortMapping, the_chosen_device_is_used_remembered_and_yields_to_the_command_line) {
    test::SimProcess sim({"--line-timing"});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    const QString device = QString::fromStdString(sim.Device());
    QTemporaryDir dir;
    const QString file = dir.filePath("zef-service.conf");
    {
        Session s(file, {"zef-service", "--com", "2=/dev/ttyZEF-session"});
        EXPECT_TRUE(s.form.Connect_to_COM[2]->toolTip().contains(
            QString::fromStdString(PortMap::DefaultDevice(3))));
        ASSERT_TRUE(s.choose(3, device));
        EXPECT_TRUE(s.prompts.messages.isEmpty()) << s.prompts.messages.join('\n').toStdString();
        EXPECT_EQ(s.form.Connect_to_COM[2]->toolTip(), "COM3: " + DescribePortTarget(sim.Device()));
        QTest::mouseClick(s.form.Connect_to_COM[2], Qt::LeftButton);
        ASSERT_TRUE(s.form.Connected()) << s.prompts.messages.join('\n').toStdString();
        EXPECT_EQ(s.channel.DeviceName(), sim.Device());
        s.form.Close_COMClick();
    }
    const QSettings written(file, QSettings::IniFormat);
    EXPECT_EQ(written.value("ports/COM3").toString(), device);
    // A device given on the command line was left alone in the dialog, so it is not remembered.
    EXPECT_FALSE(written.contains("ports/COM2"));

    {
        Session restarted(file);
        EXPECT_EQ(restarted.ports.Map().Target(3), sim.Device());
        QTest::mouseClick(restarted.form.Connect_to_COM[2], Qt::LeftButton);
        EXPECT_TRUE(restarted.form.Connected())
            << restarted.prompts.messages.join('\n').toStdString();
        restarted.form.Close_COMClick();
    }
    {
        Session overridden(file, {"zef-service", "--com", "3=/dev/ttyZEF-absent"});
        overridden.form.ConnectToPort(3);
        ASSERT_EQ(overridden.prompts.messages.size(), 1);
        EXPECT_TRUE(overridden.prompts.messages[0].startsWith(
            "Невозможно открыть порт COM3\nУстройство: /dev/ttyZEF-absent\n"))
            << overridden.prompts.messages[0].toStdString();
        EXPECT_TRUE(
            overridden.prompts.messages[0].endsWith("Порты в системе: /dev/ttyS0, /dev/ttyUSB0"))
            << overridden.prompts.messages[0].toStdString();
    }
    // Emptied in the dialog, a port goes back to its default and is forgotten.
    {
        Session s(file);
        ASSERT_TRUE(s.choose(3, ""));
        EXPECT_EQ(s.ports.Map().Target(3), PortMap::DefaultDevice(3));
    }
    EXPECT_FALSE(QSettings(file, QSettings::IniFormat).contains("ports/COM3"));
}

TEST(PortMapping, settings_that_cannot_be_written_are_reported_and_the_choice_holds_for_now) {
    QTemporaryDir dir;
    const QString file = dir.filePath("zef-service.conf");
    ASSERT_TRUE(QDir().mkpath(file)); // a folder where the file should be
    Session s(file);
    ASSERT_TRUE(s.choose(4, "/dev/ttyUSB0"));
    ASSERT_EQ(s.prompts.messages.size(), 1);
    EXPECT_TRUE(s.prompts.messages[0].contains(file)) << s.prompts.messages[0].toStdString();
    EXPECT_EQ(s.ports.Map().Target(4), "/dev/ttyUSB0");
}

// A port the user may not open, injected below the channel: the tests run as root, which
// opens any device.
class RefusingBackend final : public SerialBackend {
public:
    bool open() override { return false; }
    void close() override {}
    bool configure(std::int32_t) override { return false; }
    bool write(std::span<const std::uint8_t>) override { return false; }
    std::size_t bytesWaiting() override { return 0; }
    std::size_t read(std::span<std::uint8_t>) override { return 0; }
    bool waitForBytes(std::chrono::steady_clock::time_point) override { return false; }
    void setDtr(bool) override {}
    void setRts(bool) override {}
    std::string lastError() const override { return "Permission denied"; }
    OpenFailure openFailure() const override { return OpenFailure::NoPermission; }
    std::string name() const override { return "/dev/ttyZEF-locked"; }
};

class RefusingPorts final : public PortDirectory {
public:
    std::unique_ptr<SerialBackend> backendFor(int) override {
        return std::make_unique<RefusingBackend>();
    }
};

TEST(PortMapping, a_refused_port_says_how_to_get_the_permission) {
    RefusingPorts ports;
    ControllerSession session{ports, Threading::Caller};
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form(session, prompts, logDir.path());
    form.ConnectToPort(2);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].toStdString(),
              "Невозможно открыть порт COM2\nУстройство: /dev/ttyZEF-locked\n"
              "Причина: Permission denied\n"
              "Нет прав на устройство. Владелец: неизвестно, группа: неизвестно, права: "
              "неизвестны.\nНи одна группа, в которую можно вступить, не может читать и писать "
              "его: права устройства должен изменить администратор (правило udev).");
    EXPECT_EQ(prompts.kinds, QList{Prompts::Kind::Warning});
    EXPECT_FALSE(form.Connected());
    EXPECT_TRUE(form.Connect_to_COM[1]->isEnabled());
    // Without a mapping to change, the menu item is off.
    EXPECT_FALSE(form.PortsAction->isEnabled());
}

} // namespace
