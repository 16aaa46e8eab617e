// The titles a window manager shows, read back from a real X server (Xvfb): the desktop adds
// nothing to them, so the caption with a file name and the dialogs' captions read as designed.

#include "app/desktop.h"
#include "app/main_window.h"
#include "app/options.h"
#include "dialogs/about_box.h"
#include "dialogs/prompts.h"
#include "dialogs/serial_dialog.h"
#include "files/settings_file.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// An X server of the test's own, and the application on it.
class XServer : public ::testing::Environment {
public:
    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        if (xvfb.isEmpty() || xdotool.isEmpty()) {
            skipReason = "Xvfb and xdotool are needed (scripts/install-deps.sh installs them)";
        } else {
            server.start(xvfb,
                         {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            QByteArray number;
            while (server.waitForReadyRead(10000)) {
                number += server.readAllStandardOutput();
                if (number.contains('\n'))
                    break;
            }
            if (number.trimmed().isEmpty())
                skipReason = "Xvfb did not start: " + server.readAllStandardError().toStdString();
            else
                qputenv("DISPLAY", ":" + number.trimmed());
        }
        qputenv("QT_QPA_PLATFORM", skipReason.empty() ? "xcb" : "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
        SetApplicationIdentity();
        (void)SetUpDesktopApplication(*app);
    }
    void TearDown() override {
        app.reset();
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            server.waitForFinished(5000);
        }
    }

    static inline std::string skipReason;
    QProcess server;
    std::unique_ptr<QApplication> app;
    int argc = 1;
    char arg0[16] = "x11_tests";
    char* argv[2] = {arg0, nullptr};
};

// The name the X server holds for a window: what a window manager shows in its title bar.
std::string titleOnServer(QWidget& w) {
    QTest::qWait(100); // let the property reach the server
    QProcess xdotool;
    xdotool.start("xdotool", {"getwindowname", QString::number(w.winId())});
    xdotool.waitForFinished(5000);
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed().toStdString();
}

TEST(WindowTitles, read_exactly_as_designed_on_the_x_server) {
    if (!XServer::skipReason.empty())
        GTEST_SKIP() << XServer::skipReason;
    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    test::ScriptedPrompts scripted;
    QTemporaryDir logDir;
    TForm1 form{session, scripted, logDir.path()};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(titleOnServer(form), "ZEF-K7LX system");
    form.setWindowTitle(CaptionWithFile("/home/fitter/cars/golf.zef"));
    EXPECT_EQ(titleOnServer(form), "ZEF-K7LX system (golf.zef)");

    TForm2 serial({.currentSerial = {}, .writeSerial = {}, .acceptsCharacter = {}}, "07.12.26",
                  &form);
    serial.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&serial));
    EXPECT_EQ(titleOnServer(serial), "Серийный номер");
    serial.hide();
    TForm3 about(&form);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_EQ(titleOnServer(about), "Инфо");
    about.hide();

    // The program's message boxes carry its plain caption.
    QtPrompts prompts(&form);
    std::string boxTitle;
    QTimer::singleShot(300, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            boxTitle = titleOnServer(*box);
            box->close();
        }
    });
    prompts.Message("Такого файла нет!", Prompts::Kind::Information);
    EXPECT_EQ(boxTitle, "ZEF-K7LX system");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no X server; running them starts one.
    ::testing::AddGlobalTestEnvironment(new XServer);
    return RUN_ALL_TESTS();
}
