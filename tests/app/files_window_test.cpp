// The file menu, the identity on connection and the serial number dialog, through the window.

#include "app/main_window.h"
#include "app/registry_status.h"
#include "controls/ext_edit.h"
#include "dialogs/serial_dialog.h"
#include "files/cp1251.h"
#include "files/identity.h"
#include "registry/registry_numbering.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <numeric>

using namespace zef;
using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class FilesWindow : public ::testing::Test {
protected:
    explicit FilesWindow(bool blank = false)
        : ports(sim::Simulator::Options{.blankIdentity = blank}) {}

    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    std::uint16_t param(std::uint8_t a) { return ports.Param(a); }
    void setParam(std::uint8_t a, std::uint16_t v) { ports.SetParam(a, v); }
    std::string serial() {
        return ports.sim->WithModel([](sim::ControllerModel& m) { return m.Serial(); });
    }
    QString file(const QString& name) const { return QDir(dir.path()).filePath(name); }
    QString logPath() const { return QDir(logDir.path()).filePath("Protocol.lst"); }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    QTemporaryDir dir, logDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 7); }};
};

TEST_F(FilesWindow, save_then_load_into_another_controller_gives_the_same_values) {
    form.ConnectToPort(1);
    ASSERT_TRUE(form.Connected());
    setParam(25, 420);
    prompts.files = {file("golf")};
    emit form.N3Click();
    EXPECT_EQ(prompts.filters, QStringList{"Установки ZEF (*.zef)"});
    const QByteArray saved = readAll(file("golf.zef"));
    EXPECT_EQ(saved.count("\r\n"), 31);
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system (golf.zef)");

    // Another controller, different everywhere the file reaches.
    form.Close_COMClick();
    for (std::uint8_t r : {0, 3, 4, 5, 6, 7, 13, 20, 25, 71, 73})
        setParam(r, static_cast<std::uint16_t>(param(r) == 0 ? 1 : param(r) - 1));
    form.ConnectToPort(1);
    prompts.files = {file("golf.zef")};
    emit form.N2Click();
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("; ").toStdString();
    EXPECT_EQ(param(25), 420);
    EXPECT_EQ(param(71), 4);
    EXPECT_EQ(form.SpinEdit("SpinExtEdit20")->Value(), 42);
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system (golf.zef)");
    EXPECT_TRUE(form.Timer1().isActive());

    // The next write of any kind makes the caption plain again.
    form.SpinEdit("SpinExtEdit9")->StepDown();
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");
}

TEST_F(FilesWindow, malformed_file_writes_nothing_and_leaves_the_window_working) {
    form.ConnectToPort(1);
    writeAll(file("bad.zef"), "0\r\n0\r\n0\r\n1500rpm\r\n");
    const std::uint16_t before = param(0);
    setParam(0, 1);
    form.Timer1().stop();
    ports.sim->ClearFrames();
    prompts.files = {file("bad.zef")};
    emit form.N2Click();
    ASSERT_EQ(prompts.messages.size(), 1);
    for (const auto& f : ports.sim->Frames())
        EXPECT_NE(f[0], static_cast<std::uint8_t>(Command::WriteParam)) << int(f[1]);
    EXPECT_EQ(param(0), 1);
    EXPECT_TRUE(form.Timer1().isActive());
    EXPECT_TRUE(form.SpinEdit("SpinExtEdit2")->isEnabled());
    EXPECT_EQ(form.SpinEdit("SpinExtEdit2")->Value(), 4);
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");
    Q_UNUSED(before);

    prompts.files = {file("missing.zef")};
    emit form.N2Click();
    EXPECT_EQ(prompts.messages.last(), "Такого файла нет!");
}

// A short file loads as it always has, the rest of the registers kept, and the window says so.
TEST_F(FilesWindow, short_file_loads_and_the_window_says_the_rest_is_unchanged) {
    form.ConnectToPort(1);
    const std::uint16_t kept = param(7);
    writeAll(file("five.zef"), "1\r\n2\r\n3\r\n4\r\n5\r\n");
    prompts.files = {file("five.zef")};
    emit form.N2Click();
    EXPECT_EQ(std::vector<int>({param(0), param(3), param(4), param(5), param(6), param(7)}),
              std::vector<int>({1, 2, 3, 4, 5, kept}));
    EXPECT_EQ(prompts.messages,
              QStringList{"В файле 5 значений из 31: остальные параметры не изменены"});
}

TEST_F(FilesWindow, answering_no_to_replace_keeps_the_file_and_the_caption) {
    form.ConnectToPort(1);
    writeAll(file("car.zef"), "keep");
    prompts.files = {file("car")};
    prompts.answers = {false};
    emit form.N3Click();
    EXPECT_EQ(prompts.questions, QStringList{"Такой файл существует! Заменить?"});
    EXPECT_EQ(readAll(file("car.zef")), "keep");
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");
}

TEST_F(FilesWindow, silent_controller_saves_no_file) {
    form.ConnectToPort(1);
    ports.sim->SetFaultForAddress(20, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    writeAll(file("old.zef"), "old");
    prompts.files = {file("old.zef")};
    prompts.answers = {true};
    emit form.N3Click();
    EXPECT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(readAll(file("old.zef")), "old");
}

// The caption names the file the controller matches; a save that did not happen must not
// change it, and the user learns why it failed.
TEST_F(FilesWindow, failed_save_shows_the_reason_and_keeps_the_caption) {
    form.ConnectToPort(1);
    prompts.files = {file("golf")};
    emit form.N3Click();
    ASSERT_EQ(form.windowTitle(), "ZEF-K7LX system (golf.zef)");

    ASSERT_TRUE(QDir(dir.path()).mkdir("polo.zef")); // nothing can replace a folder
    prompts.files = {file("polo")};
    prompts.answers = {true};
    emit form.N3Click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].contains(QDir::toNativeSeparators(file("polo.zef"))))
        << prompts.messages[0].toStdString();
    EXPECT_TRUE(prompts.messages[0].contains(QString::fromLocal8Bit(std::strerror(EISDIR))))
        << prompts.messages[0].toStdString();
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system (golf.zef)");
    EXPECT_TRUE(QFileInfo(file("polo.zef")).isDir());
}

TEST_F(FilesWindow, serial_dialog_shows_the_serial_and_writes_it_with_todays_date) {
    form.ConnectToPort(1);
    TForm2 dialog({.currentSerial = [&] { return form.StaticText1->text(); },
                   .writeSerial = [&](const QString& s) { return form.WriteSerialNumber(s); },
                   .acceptsCharacter = [](QChar c) { return IsCp1251Representable(QString(c)); }},
                  "07.12.26", &form);
    dialog.show();
    EXPECT_EQ(dialog.Edit1()->text(), QString::fromStdString(serial()));
    EXPECT_EQ(dialog.Edit1()->maxLength(), 32);

    dialog.Edit1()->setText("ZEF-K7LX SN 05.02 00777 ");
    dialog.Button1Click();
    EXPECT_EQ(serial(), "ZEF-K7LX SN 05.02 00777 ");
    EXPECT_EQ(form.StaticText3->text(), "07.12.26");
    EXPECT_FALSE(dialog.isVisible());

    // Typing a character the controller cannot store is refused.
    dialog.show();
    dialog.Edit1()->clear();
    dialog.Edit1()->insert("AБ€");            // typed text goes through the same check
    EXPECT_EQ(dialog.Edit1()->text(), "AБ€"); // the euro sign has a byte in the code page
    dialog.Edit1()->insert("中");
    EXPECT_EQ(dialog.Edit1()->text(), "AБ€");

    // OK with the blank serial numbers the controller at once.
    dialog.Edit1()->setText(kBlankSerial);
    dialog.Button1Click();
    EXPECT_EQ(serial(), "ZEF-K7LX SN 05.02 00114 ");
    EXPECT_EQ(readAll(logPath()).size(), 80);
}

// A label shown as written lays out every character, tags and all; one that took its text for
// markup drops the tags and needs less room.
bool showsLiterally(const QLabel* label) {
    return label->sizeHint().width() >=
           label->fontMetrics().horizontalAdvance(label->text()) + 2 * label->frameWidth();
}

TEST_F(FilesWindow, controller_text_shows_as_written) {
    struct Case {
        const char* serial; // 24 characters, as the controller holds them
        const char* date;   // 8
    };
    const Case cases[] = {
        {"<b>ZEF</b> SN 05.02 0012", "<i>7</i>"},
        {"<font color=red>X</font>", "<s>7</s>"},
        {"<img src=x> 05.02 00123 ", "<br>6.12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.serial);
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.SetIdentity(c.serial, c.date); });
        form.ConnectToPort(1);
        EXPECT_EQ(form.StaticText1->text(), QString::fromLatin1(c.serial).left(24));
        EXPECT_TRUE(showsLiterally(form.StaticText1));
        EXPECT_EQ(form.StaticText3->text(), QString::fromLatin1(c.date));
        EXPECT_TRUE(showsLiterally(form.StaticText3));
        form.Close_COMClick();
    }
}

class BlankController : public FilesWindow {
protected:
    BlankController() : FilesWindow(true) {}
};

TEST_F(BlankController, is_numbered_on_connection) {
    form.ConnectToPort(1);
    EXPECT_EQ(serial(), "ZEF-K7LX SN 05.02 00114 ");
    EXPECT_EQ(form.StaticText1->text(), "ZEF-K7LX SN 05.02 00114 ");
    EXPECT_EQ(form.StaticText3->text(), "07.12.26");
    EXPECT_EQ(readAll(logPath()).size(), 80);
    EXPECT_FALSE(form.StaticText4->text().trimmed().isEmpty()); // the counter came after
}

// Only a production log that fails ends the connection sequence early. Writes that the
// controller leaves unanswered after the log took the number are told, and the sequence goes on
// to the operating counter. Three in a row lose the link: the writes after them do not reach
// the line, and no counter is shown that was not read.
TEST_F(BlankController, unanswered_numbering_writes_are_told_and_the_counter_still_shows) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> silent; // registers that answer no write once numbering starts
        int unanswered;
        bool lost;
    };
    std::vector<std::uint8_t> identity(32);
    std::iota(identity.begin(), identity.end(), std::uint8_t{36});
    const Case cases[] = {
        {"no identity write answered", identity, 32, true},
        {"one serial and one date register", {50, 67}, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(logPath());
        for (std::uint8_t a : identity)
            ports.sim->SetFaultForAddress(a, std::nullopt);
        ports.sim->WithModel(
            [](sim::ControllerModel& m) { m.SetIdentity(kBlankSerial, "01.01.00"); });
        setParam(35, 12);
        prompts.messages.clear();
        // The fault strikes once the log holds the number, before the controller is written.
        link.SetWriteObserver([&] {
            if (!QFile::exists(logPath()))
                return;
            for (std::uint8_t a : c.silent)
                ports.sim->SetFaultForAddress(a, sim::FaultPlan{sim::Fault::Silent, 0, {}});
        });
        ports.sim->ClearFrames();

        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        EXPECT_EQ(readAll(logPath()).size(), 80);
        // Cut short, the number is spent but the controller does not carry it whole.
        EXPECT_EQ(form.StaticText1->text(), "Нумерация не завершена");
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].contains("ZEF-K7LX SN 05.02 00114"))
            << prompts.messages[0].toStdString();
        EXPECT_TRUE(prompts.messages[0].contains(QString("%1 из 32").arg(c.unanswered)))
            << prompts.messages[0].toStdString();
        const auto frames = ports.sim->Frames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(form.Supervisor().IsLost(), c.lost);
        const auto writes = std::count_if(frames.begin(), frames.end(), [](const Frame& f) {
            return f[0] == static_cast<std::uint8_t>(Command::WriteParam) &&
                   f[1] >= kSerialRegister && f[1] < kDateRegister + kDateLength;
        });
        if (c.lost) {
            EXPECT_EQ(writes, LinkSupervisor::kFailuresForLoss);
            EXPECT_NE(form.StaticText4->text(), "120000 ");
        } else {
            EXPECT_EQ(writes, 32);
            EXPECT_EQ(frames.back(), BuildRequest(Command::ReadParam, 35, 0));
            EXPECT_EQ(form.StaticText4->text(), "120000 ");
        }
        form.Close_COMClick();
    }
}

TEST_F(BlankController, failing_log_ends_the_sequence_but_keeps_the_session) {
    writeAll(logPath(), "short"); // no whole record
    form.ConnectToPort(1);
    EXPECT_TRUE(form.Connected());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(serial(), kBlankSerial);
    EXPECT_EQ(readAll(logPath()), "short");
    EXPECT_EQ(form.StaticText4->text(), " "); // the counter was not read
}

} // namespace

// With a registry the number comes from it, and the log the workstation keeps gets it too.
TEST_F(BlankController, is_numbered_from_the_registry_and_the_log_follows) {
    ProductionRegistry registry({.url = "sqlite:" + file("registry.sqlite"),
                                 .workplace = {"bench-1", "fitter", "test"},
                                 .queueFile = {},
                                 .schemaVersion = -1});
    const ProtocolRecord last("ZEF-K7LX SN 05.02 00499 ", kRecordSeparator, "01.12.26", 13);
    ASSERT_TRUE(registry.ImportProtocolLog(last.ToByteArray()));
    RegistryNumbering numbering(registry, logPath());
    form.SetNumberSource(&numbering);
    form.ConnectToPort(1);
    EXPECT_EQ(serial(), "ZEF-K7LX SN 05.02 00500 ");
    EXPECT_EQ(readAll(logPath()).mid(40, 25), "\x18ZEF-K7LX SN 05.02 00500 ");
    const auto history = registry.History("500");
    ASSERT_TRUE(history);
    EXPECT_EQ(history->size(), 1u);
}

// The status bar names the registry and counts the events that wait for it.
TEST(RegistryStatus, names_the_registry_and_counts_what_waits) {
    QTemporaryDir dir;
    ProductionRegistry registry({.url = "postgresql://line@127.0.0.1:1/zef",
                                 .workplace = {"bench-1", "fitter", "test"},
                                 .queueFile = dir.filePath("queue.jsonl"),
                                 .schemaVersion = -1});
    RegistryStatus status(registry);
    EXPECT_EQ(status.text(), "Реестр: postgresql://line@127.0.0.1:1/zef");
    registry.Record(NewEvent(registry.Who(), "ZEF-K7LX SN 05.02 00214", EventKind::Saved));
    status.Refresh();
    EXPECT_EQ(status.text(), "Реестр: postgresql://line@127.0.0.1:1/zef, ждут записи: 1");
}
