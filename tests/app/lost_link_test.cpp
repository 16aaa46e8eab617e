// The window when the controller stops answering and when it is back: against the in-process
// simulator, whose fault switches make a silent controller and whose backend can be pulled out.

#include "app/main_window.h"
#include "app/map_chart.h"
#include "app/status_bar.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

using namespace zef;
using namespace std::chrono_literals;

namespace {

constexpr char kOtherSerial[] = "ZEF-K7LX SN 05.02 00777 ";

class LostLink : public test::WindowFixture {
protected:
    LostLink() : WindowFixture(QDate(2026, 12, 8)) {}
    void SetUp() override {
        WindowFixture::SetUp();
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        // The ticks are driven by hand.
        form.Timer1().stop();
        ports.sim->ClearFrames();
    }
    QString state() const { return form.LinkStatus().StateLabel()->text(); }
    void silence() { ports.sim->SetFault({sim::Fault::Silent, 0, {}}); }
    void speak() { ports.sim->SetFault({}); }
    std::vector<Frame> writes() const {
        std::vector<Frame> out;
        for (const auto& f : ports.sim->Frames())
            if (f[0] == static_cast<std::uint8_t>(Command::WriteParam))
                out.push_back(f);
        return out;
    }
    // A tick, a little later than the last: a probe's answer is taken at the tick after it.
    void tick() {
        QTest::qWait(40);
        form.Timer1Timer();
    }
    // Ticks until the link is back, or gives up.
    bool tickUntilBack() {
        for (int i = 0; i < 4 && form.Supervisor().IsLost(); ++i)
            tick();
        return !form.Supervisor().IsLost();
    }
    void loseTheLink() {
        silence();
        form.Timer1Timer();
        ASSERT_TRUE(form.Supervisor().IsLost());
    }
};

TEST_F(LostLink, silent_controller_is_lost_within_one_tick_and_everything_shown_is_greyed) {
    EXPECT_EQ(state(), "Подключено: COM1 (simulator)");
    const QString status = form.StaticText2->text();
    const ParamValue rpm = form.ReadOut("ExtText2")->Value();
    const double point = form.Chart1()->PointY(3);

    loseTheLink();
    // Three unanswered requests decide it; the rest of the tick does not reach the line.
    EXPECT_EQ(ports.sim->Frames().size(), std::size_t(LinkSupervisor::kFailuresForLoss));
    EXPECT_EQ(state(), "Нет связи");
    EXPECT_EQ(form.LinkStatus().StateLabel()->palette().color(QPalette::WindowText),
              QColor(Qt::red));
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(form.Connected());

    // Nothing shown as live: greyed, as it was, and taking no input.
    for (const char* name : {"ExtText1", "ExtText2", "ExtText3", "ExtText9"})
        EXPECT_FALSE(form.ReadOut(name)->isEnabled()) << name;
    for (const char* name : {"SpinExtEdit2", "SpinExtEdit3", "SpinExtEdit19"})
        EXPECT_FALSE(form.SpinEdit(name)->isEnabled()) << name;
    for (QLabel* label : {form.StaticText1, form.StaticText2, form.StaticText3, form.StaticText4})
        EXPECT_FALSE(label->isEnabled()) << label->objectName().toStdString();
    EXPECT_FALSE(form.Control<QRadioButton>("RadioButton1")->isEnabled());
    EXPECT_FALSE(form.N2->isEnabled());
    EXPECT_TRUE(form.Chart1()->Stale());
    EXPECT_FALSE(form.Chart1()->Marker()->isVisible());
    EXPECT_EQ(form.StaticText2->text(), status);
    EXPECT_EQ(form.ReadOut("ExtText2")->Value(), rpm);
    EXPECT_DOUBLE_EQ(form.Chart1()->PointY(3), point);
    EXPECT_TRUE(form.Close_COM->isEnabled());
}

TEST_F(LostLink, while_lost_a_tick_is_one_probe_and_read_outs_ask_nothing) {
    loseTheLink();
    for (int n = 1; n <= 3; ++n) {
        ports.sim->ClearFrames();
        tick();
        EXPECT_EQ(ports.sim->Frames(), std::vector{BuildRequest(Command::ReadLive, 0, 0)}) << n;
    }
    // A read-out's own timer finds it disabled; asked directly it keeps its value and sends
    // nothing.
    ports.sim->ClearFrames();
    TExtText* rpm = form.ReadOut("ExtText2");
    const ParamValue before = rpm->Value();
    rpm->QueryTick();
    rpm->InitOne();
    EXPECT_EQ(rpm->Value(), before);
    EXPECT_TRUE(ports.sim->Frames().empty());
}

TEST_F(LostLink, an_unanswered_read_shows_nothing_from_another_registers_reply) {
    // Before the link counts as lost: one register silent, its neighbours answering.
    TExtText* supply = form.ReadOut("ExtText6"); // register 164, converted as it is left
    const ParamValue shown = supply->Value();
    ports.sim->WithModel([](sim::ControllerModel& m) { m.PinLive(162, 4321); });
    ports.sim->SetFaultForAddress(164, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    ASSERT_TRUE(link.Exchange(Command::ReadLive, 162)); // leaves 4321 in the reply record
    supply->InitOne();
    EXPECT_EQ(supply->Value(), shown);

    // The map point whose register is silent stays; the others follow the controller.
    ports.sim->SetFaultForAddress(164, std::nullopt);
    ports.sim->SetFaultForAddress(238, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    const double point3 = form.Chart1()->PointY(3);
    form.Timer1Timer();
    EXPECT_FALSE(form.Supervisor().IsLost());
    EXPECT_DOUBLE_EQ(form.Chart1()->PointY(3), point3);
}

TEST_F(LostLink, answer_again_rereads_another_controller_and_writes_nothing) {
    loseTheLink();
    // Another controller on the cable meanwhile: another serial, another limit, the other
    // oxygen flag, a different counter.
    ports.sim->WithModel([](sim::ControllerModel& m) {
        m.SetIdentity(kOtherSerial, "01.12.26");
        m.SetParam(73, 5000);
        m.SetParam(15, 0);
        m.SetParam(35, 9);
        m.SetParam(7, 3000);
    });
    tick(); // still silent: one probe
    tick();
    ASSERT_TRUE(form.Supervisor().IsLost());
    speak();
    ports.sim->ClearFrames();
    ASSERT_TRUE(tickUntilBack());

    EXPECT_EQ(state(), "Подключено: COM1 (simulator)");
    EXPECT_TRUE(form.statusBar()->currentMessage().startsWith("Связь восстановлена"));
    EXPECT_EQ(form.StaticText1->text(), kOtherSerial);
    EXPECT_EQ(form.StaticText3->text(), "01.12.26");
    EXPECT_EQ(form.StaticText4->text(), "90000 ");
    EXPECT_EQ(form.SpinEdit("SpinExtEdit3")->Value(), 5000);
    EXPECT_DOUBLE_EQ(form.Chart1()->PointY(1), 3.0);
    EXPECT_TRUE(form.Control<QRadioButton>("RadioButton2")->isChecked());
    EXPECT_FALSE(form.ReadOut("ExtText1")->isEnabled()); // no oxygen sensor on this one
    EXPECT_TRUE(form.ReadOut("ExtText2")->isEnabled());
    EXPECT_TRUE(form.SpinEdit("SpinExtEdit3")->isEnabled());
    EXPECT_TRUE(form.StaticText2->isEnabled());
    EXPECT_FALSE(form.Chart1()->Stale());
    // Read, never written: the flag stays as this controller holds it.
    EXPECT_TRUE(writes().empty());
    EXPECT_EQ(ports.Param(15), 0);
    EXPECT_EQ(form.SerialNumber(), QString(kOtherSerial));
    // The probe sent while silent went unanswered; the next one answered, then come the reads
    // of the connection sequence from the map on.
    ASSERT_GT(ports.sim->Frames().size(), 60u);
    EXPECT_EQ(ports.sim->Frames()[0], BuildRequest(Command::ReadLive, 0, 0));
    EXPECT_EQ(ports.sim->Frames()[1], BuildRequest(Command::ReadParam, 7, 0));
}

TEST_F(LostLink, a_blank_controller_met_again_is_shown_not_numbered) {
    loseTheLink();
    ports.sim->WithModel([](sim::ControllerModel& m) { m.SetIdentity(kBlankSerial, "01.01.00"); });
    speak();
    ports.sim->ClearFrames();
    ASSERT_TRUE(tickUntilBack());
    EXPECT_EQ(form.StaticText1->text(), kBlankSerial);
    EXPECT_TRUE(writes().empty());
    EXPECT_FALSE(QDir(logDir.path()).exists("Protocol.lst"));
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(LostLink, vanished_device_is_let_go_and_taken_again_when_it_answers) {
    ports.last->Unplug();
    form.Timer1Timer();
    ASSERT_TRUE(form.Supervisor().IsLost());
    EXPECT_EQ(state(), "Нет связи");
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_FALSE(form.LinkStatus().StateLabel()->toolTip().isEmpty()); // the system's reason
    // The next tick opens the port again, and the simulated device is there.
    tick();
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_TRUE(form.Supervisor().IsLost()); // until its probe is answered
    tick();
    EXPECT_EQ(state(), "Подключено: COM1 (simulator)");
    EXPECT_TRUE(form.ReadOut("ExtText2")->isEnabled());
}

TEST_F(LostLink, close_com_ends_the_watch_and_the_probes) {
    loseTheLink();
    form.Close_COMClick();
    EXPECT_EQ(state(), "Нет подключения");
    EXPECT_EQ(form.Supervisor().State(), LinkState::Closed);
    EXPECT_FALSE(form.Timer1().isActive());
    EXPECT_TRUE(form.LinkStatus().FiguresLabel()->text().isEmpty());
    EXPECT_TRUE(form.StaticText3->isEnabled());
    EXPECT_FALSE(form.Chart1()->Stale());
    for (auto* b : form.Connect_to_COM)
        EXPECT_TRUE(b->isEnabled());
    speak();
    form.ConnectToPort(1);
    EXPECT_EQ(state(), "Подключено: COM1 (simulator)");
    EXPECT_TRUE(form.ReadOut("ExtText2")->isEnabled());
}

TEST_F(LostLink, figures_count_exchanges_failures_and_discarded_bytes) {
    form.RefreshLinkFigures();
    const QString text = form.LinkStatus().FiguresLabel()->text();
    EXPECT_TRUE(text.contains("Неудачных: 0")) << text.toStdString();
    ports.sim->InjectOnce({sim::Fault::Silent, 0, {}});
    (void)link.Exchange(Command::ReadLive, 76);
    // Far later than the four steps of the wait: the reply comes between two exchanges.
    ports.sim->InjectOnce({sim::Fault::None, 0, 200ms, {}});
    (void)link.Exchange(Command::ReadLive, 77);
    // Without the event loop, so that no read-out's query comes in between.
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(link.Exchange(Command::ReadLive, 76)); // throws the late four bytes away first
    EXPECT_FALSE(form.Supervisor().IsLost());
    form.RefreshLinkFigures();
    const QString after = form.LinkStatus().FiguresLabel()->text();
    EXPECT_TRUE(after.contains("Неудачных: 2")) << after.toStdString();
    EXPECT_TRUE(after.contains("Отброшено байт: 4")) << after.toStdString();
    EXPECT_TRUE(after.startsWith("Обменов/с: ")) << after.toStdString();
}

} // namespace
