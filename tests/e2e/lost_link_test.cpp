// A lost link on the real serial path: zef-sim on a pseudo-terminal behind COM1, under a fixed
// path as a by-id name would be, with the window's own timers running. The controller is
// stopped (a silent controller), killed (the device vanishes) and replaced by another one.

#include "app/main_window.h"
#include "app/status_bar.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_process.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

using namespace zef;

namespace {

// Wide: the tests run under a sanitizer on a loaded machine.
constexpr int kPatienceMs = 15000;

class LostLinkOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("ttyZEF").toStdString();
        first = std::make_unique<test::SimProcess>(
            QStringList{"--line-timing", "--link", QString::fromStdString(path)});
        ASSERT_TRUE(first->Error().empty()) << first->Error();
        PortMap map;
        map.Map(1, path);
        ports = std::make_unique<MappedPortDirectory>(map);
        // As the program runs it: the real port on a line thread of its own.
        session = std::make_unique<ControllerSession>(*ports, Threading::LineThread);
        form = std::make_unique<TForm1>(*session, prompts, dir.path());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->ConnectToPort(1);
        ASSERT_TRUE(form->Connected()) << prompts.messages.join("; ").toStdString();
    }
    void TearDown() override {
        if (form && form->Connected())
            form->Close_COMClick();
    }
    QString state() const { return form->LinkStatus().StateLabel()->text(); }
    bool waitForState(const QString& prefix) {
        return QTest::qWaitFor([&] { return state().startsWith(prefix); }, kPatienceMs);
    }

    QTemporaryDir dir;
    std::string path;
    std::unique_ptr<test::SimProcess> first;
    std::unique_ptr<MappedPortDirectory> ports;
    std::unique_ptr<ControllerSession> session;
    test::ScriptedPrompts prompts;
    std::unique_ptr<TForm1> form;
};

TEST_F(LostLinkOnPty, stopped_controller_is_lost_and_found_again_on_the_open_port) {
    EXPECT_EQ(state(), "Подключено: COM1 (" + QString::fromStdString(path) + ")");
    ::kill(static_cast<pid_t>(first->Pid()), SIGSTOP);
    ASSERT_TRUE(waitForState("Нет связи")) << state().toStdString();
    EXPECT_TRUE(session->Channel().IsOpen()); // the device is there, the controller does not answer
    const ParamValue rpm = form->ReadOut("ExtText2")->Value();
    // Three probes unanswered, rather than a time: a loaded machine probes late, never early.
    const auto failed = [&] {
        session->Hold(); // the figures are the line's
        return session->Supervisor().SessionFigures().failedExchanges;
    };
    const auto before = failed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed() >= before + 3; }, kPatienceMs));
    EXPECT_FALSE(form->ReadOut("ExtText2")->isEnabled());
    EXPECT_EQ(form->ReadOut("ExtText2")->Value(), rpm);
    EXPECT_EQ(state(), "Нет связи");

    ::kill(static_cast<pid_t>(first->Pid()), SIGCONT);
    ASSERT_TRUE(waitForState("Подключено")) << state().toStdString();
    EXPECT_TRUE(form->ReadOut("ExtText2")->isEnabled());
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join("; ").toStdString();
}

TEST_F(LostLinkOnPty, killed_controller_then_another_behind_the_same_path_is_read_anew) {
    EXPECT_TRUE(form->StaticText1->text().contains("00123"));
    EXPECT_EQ(form->SpinEdit("SpinExtEdit3")->Value(), 6000);
    first->Kill();
    ASSERT_TRUE(waitForState("Нет связи")) << state().toStdString();
    // The vanished device is let go of, and nothing is made up while it is away.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session->Channel().IsOpen(); }, kPatienceMs));
    const QString counter = form->StaticText4->text();
    QTest::qWait(1500);
    EXPECT_EQ(state(), "Нет связи");
    EXPECT_EQ(form->StaticText4->text(), counter);
    EXPECT_EQ(form->SpinEdit("SpinExtEdit3")->Value(), 6000);
    EXPECT_FALSE(form->SpinEdit("SpinExtEdit3")->isEnabled());

    // Another controller, under the same name, with its own serial number and limit.
    const QString log = dir.filePath("second.log");
    test::SimProcess second({"--line-timing", "--link", QString::fromStdString(path), "--serial",
                             "ZEF-K7LX SN 05.02 00777", "--param", "73=5000", "--param", "35=4",
                             "--log", log});
    ASSERT_TRUE(second.Error().empty()) << second.Error();
    ASSERT_TRUE(waitForState("Подключено")) << state().toStdString();
    EXPECT_TRUE(form->StaticText1->text().contains("00777"))
        << form->StaticText1->text().toStdString();
    EXPECT_EQ(form->SpinEdit("SpinExtEdit3")->Value(), 5000);
    EXPECT_EQ(form->StaticText4->text(), "40000 ");
    EXPECT_TRUE(form->SpinEdit("SpinExtEdit3")->isEnabled());
    form->Close_COMClick();
    EXPECT_EQ(state(), "Нет подключения");
    second.Kill();
    // Not one write reached the second controller: read, never written.
    QFile frames(log);
    ASSERT_TRUE(frames.open(QIODevice::ReadOnly));
    const QByteArray all = frames.readAll();
    EXPECT_FALSE(all.isEmpty());
    for (const QByteArray& line : all.split('\n'))
        EXPECT_FALSE(line.startsWith("03 ")) << line.toStdString();
}

} // namespace
