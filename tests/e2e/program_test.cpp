// The main window on the real serial path: zef-sim on a pseudo-terminal behind COM2.

#include "app/main_window.h"
#include "app/map_chart.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "link/qt_serial_backend.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_process.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;

TEST(Program, connects_through_the_serial_port_and_shows_the_controllers_values) {
    test::SimProcess sim({"--line-timing"});
    ASSERT_TRUE(sim.Error().empty()) << sim.Error();
    PortMap map;
    map.Map(2, sim.Device());
    MappedPortDirectory ports(map);
    ControllerSession session{ports, Threading::Caller};
    SerialChannel& channel = session.Channel();
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form(session, prompts, logDir.path());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    QTest::mouseClick(form.Connect_to_COM[1], Qt::LeftButton);
    ASSERT_TRUE(form.Connected()) << prompts.messages.join("; ").toStdString();
    EXPECT_TRUE(prompts.messages.isEmpty());

    EXPECT_EQ(form.SpinEdit("SpinExtEdit2")->Value(), 4);
    EXPECT_TRUE(form.SpinEdit("SpinExtEdit2")->text().endsWith("4 цилиндра"));
    EXPECT_EQ(form.SpinEdit("SpinExtEdit3")->Value(), 6000);
    EXPECT_EQ(form.SpinEdit("SpinExtEdit9")->Value(), 2);
    EXPECT_EQ(form.SpinEdit("SpinExtEdit19")->Value(), 0.65L);
    EXPECT_EQ(form.Control<QComboBox>("ComboBox3")->currentText(), "На газе или бензине");
    EXPECT_EQ(form.StaticText4->text(), "370000 ");
    ASSERT_EQ(form.Chart1()->PointCount(), 8);
    EXPECT_DOUBLE_EQ(form.Chart1()->PointY(7), 6.0);
    const ParamValue rpm = form.ReadOut("ExtText2")->Value();
    EXPECT_GT(rpm, 700);
    EXPECT_LT(rpm, 3200);

    // The monitor runs on its own: within a second the status line shows a correction.
    QTest::qWait(1000);
    EXPECT_TRUE(form.StaticText2->text().endsWith(" %")) << form.StaticText2->text().toStdString();

    QTest::mouseClick(form.Close_COM, Qt::LeftButton);
    EXPECT_FALSE(form.Connected());
    EXPECT_FALSE(channel.IsOpen());
}
