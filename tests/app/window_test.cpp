#include "app/main_window.h"
#include "app/map_chart.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>

using namespace zef;
using namespace std::chrono_literals;

namespace {

std::vector<std::pair<int, int>> requests(const std::vector<Frame>& frames) {
    std::vector<std::pair<int, int>> out;
    for (const auto& f : frames)
        out.emplace_back(f[0], f[1]);
    return out;
}

class Window : public test::WindowFixture {
protected:
    void SetUp() override { WindowFixture::SetUp(); }

    std::uint16_t param(std::uint8_t a) { return ports.Param(a); }
    void setParam(std::uint8_t a, std::uint16_t v) { ports.SetParam(a, v); }
    QString groupTitle(const char* name) { return form.Control<QGroupBox>(name)->title(); }
};

TEST_F(Window, connection_sends_the_probe_then_the_whole_initialisation_in_order) {
    form.ConnectToPort(1);
    using P = std::pair<int, int>;
    std::vector<P> expected = {{0, 0}, {2, 7}};
    for (int a : {234, 238, 242, 246, 250, 254})
        expected.push_back({0, a});
    for (int a : {5, 19, 4, 3, 0, 71, 20, 25, 25, 28, 21, 25, 73, 23, 24, 6, 68, 31, 30})
        expected.push_back({2, a});
    for (int a : {166, 192, 196, 198, 178, 72, 162})
        expected.push_back({0, a});
    expected.push_back({2, 15});
    expected.push_back({3, 15}); // the first connection selects a button where none was
    expected.push_back({0, 164});
    for (int a = 36; a <= 67; ++a) // the identity
        expected.push_back({2, a});
    expected.push_back({2, 35});
    const auto frames = ports.sim->Frames();
    EXPECT_EQ(requests(frames), expected);
    // The flag goes back exactly as read.
    const auto write15 = std::find_if(frames.begin(), frames.end(),
                                      [](const Frame& f) { return f[0] == 3 && f[1] == 15; });
    ASSERT_NE(write15, frames.end());
    EXPECT_EQ(*write15, BuildRequest(Command::WriteParam, 15, 1));

    // A second connection to the same controller writes nothing.
    form.Close_COMClick();
    ports.sim->ClearFrames();
    form.ConnectToPort(1);
    for (const auto& f : ports.sim->Frames())
        EXPECT_NE(f[0], static_cast<std::uint8_t>(Command::WriteParam)) << int(f[1]);
}

struct States {
    bool connectButtons, closeButton, fileItems, serialEnabled, counterEnabled, radios, combos,
        edits, readouts, timer;
};

void expectStates(TForm1& form, const States& s, const char* when) {
    for (auto* b : form.Connect_to_COM)
        EXPECT_EQ(b->isEnabled(), s.connectButtons) << when;
    EXPECT_EQ(form.Close_COM->isEnabled(), s.closeButton) << when;
    EXPECT_EQ(form.N2->isEnabled(), s.fileItems) << when;
    EXPECT_EQ(form.N3->isEnabled(), s.fileItems) << when;
    EXPECT_EQ(form.StaticText1->isEnabled(), s.serialEnabled) << when;
    EXPECT_EQ(form.StaticText4->isEnabled(), s.counterEnabled) << when;
    EXPECT_EQ(form.Control<QRadioButton>("RadioButton1")->isEnabled(), s.radios) << when;
    EXPECT_EQ(form.Control<QRadioButton>("RadioButton2")->isEnabled(), s.radios) << when;
    for (const char* c : {"ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4"})
        EXPECT_EQ(form.Control<QComboBox>(c)->isEnabled(), s.combos) << when << " " << c;
    for (const char* e : {"SpinExtEdit9", "SpinExtEdit2", "SpinExtEdit19", "SpinExtEdit22"})
        EXPECT_EQ(form.SpinEdit(e)->isEnabled(), s.edits) << when << " " << e;
    for (const char* r : {"ExtText2", "ExtText9", "ExtText6", "ExtText3"})
        EXPECT_EQ(form.ReadOut(r)->isEnabled(), s.readouts) << when << " " << r;
    EXPECT_EQ(form.Timer1().isActive(), s.timer) << when;
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system") << when;
}

TEST_F(Window, control_states_follow_the_session) {
    const States idle{true, false, false, false, false, false, false, false, false, false};
    const States connected{false, true, true, true, true, true, true, true, true, true};
    expectStates(form, idle, "at start");
    EXPECT_EQ(form.StaticText2->text(), "Подстройка");
    EXPECT_TRUE(form.SpinEdit("SpinExtEdit1")->isEnabled()); // on the hidden service panel
    EXPECT_FALSE(form.Panel1->isVisible());
    EXPECT_FALSE(form.Panel2->isVisible());

    setParam(35, 12);
    connectCom1();
    expectStates(form, connected, "connected");
    EXPECT_EQ(form.StaticText4->text(), "120000 ");
    EXPECT_EQ(form.Chart1()->PointCount(), 8);
    EXPECT_EQ(form.SpinEdit("SpinExtEdit2")->Value(), 4);

    form.Chart1()->CentreMarkerOn({200, 100});
    form.Close_COMClick();
    expectStates(form, idle, "after Close COM");
    EXPECT_EQ(form.StaticText1->text(), " ");
    EXPECT_EQ(form.StaticText2->text(), "");
    EXPECT_EQ(form.StaticText4->text(), "");
    EXPECT_EQ(form.Chart1()->PointCount(), 0);
    EXPECT_EQ(form.Chart1()->Marker()->pos(), MapChart::kMarkerHome);
    EXPECT_EQ(form.SpinEdit("SpinExtEdit9")->Value(), 1); // passive: 0 limited to 1..2
    EXPECT_EQ(form.ReadOut("ExtText2")->Value(), 0);
    EXPECT_FALSE(channel.IsOpen());
    // The selections stay until the next connection reads them.
    EXPECT_EQ(form.Control<QComboBox>("ComboBox3")->currentIndex(), 0);
}

TEST_F(Window, counter_text_in_cycles) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0, "0 "}, {7, "70000 "}, {65535, "655350000 "}};
    for (auto [raw, text] : cases) {
        setParam(35, raw);
        connectCom1();
        EXPECT_EQ(form.StaticText4->text(), text);
        form.Close_COMClick();
    }
}

TEST_F(Window, connection_messages_name_the_port_and_leave_the_window_idle) {
    form.ConnectToPort(3); // nothing behind COM3
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0], "Невозможно открыть порт COM3");
    EXPECT_FALSE(form.Connected());
    EXPECT_TRUE(form.Connect_to_COM[2]->isEnabled());

    ports.sim->SetFault({sim::Fault::Silent, 0, {}});
    form.ConnectToPort(1);
    ASSERT_EQ(prompts.messages.size(), 2);
    // The window's own words stay the first line; the device and what to check follow.
    EXPECT_EQ(prompts.messages[1].section('\n', 0, 0), "Нет прибора на COM1");
    EXPECT_TRUE(prompts.messages[1].contains("Устройство: simulator"))
        << prompts.messages[1].toStdString();
    EXPECT_TRUE(prompts.messages[1].contains("кабель")) << prompts.messages[1].toStdString();
    // A port that failed is a warning, not a piece of information.
    EXPECT_EQ(prompts.kinds, QList({Prompts::Kind::Warning, Prompts::Kind::Warning}));
    EXPECT_FALSE(form.Connected());
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(ports.sim->Frames().size(), 1u); // the probe only
    // The port is free again: another user can take it.
    EXPECT_TRUE(ports.sim->Claim());
    ports.sim->Release();
}

TEST_F(Window, choices_and_captions_follow_the_controller) {
    struct Case {
        std::uint16_t start, petrol, vapour, throttle;
        int startItem, petrolItem, vapourItem, throttleItem;
        QString caption;
    };
    const Case cases[] = {
        {1, 0, 0, 3, 1, 0, 0, 3, "Переход с бензина на газ"},
        {0, 256, 7, 9, 0, 0, 1, 3, "Переход с пара на жидкую фазу"},
        {2, 1, 0, 1, 2, 1, 0, 1, "Переход с бензина на газ"},
        {5, 0, 0, 0, -1, 0, 0, 0, "Переход с бензина на газ"}, // unchanged from the last one
    };
    for (const auto& c : cases) {
        setParam(0, c.start);
        setParam(19, c.petrol);
        setParam(3, c.vapour);
        setParam(4, c.throttle);
        connectCom1();
        EXPECT_EQ(form.Control<QComboBox>("ComboBox3")->currentIndex(), c.startItem);
        EXPECT_EQ(form.Control<QComboBox>("ComboBox1")->currentIndex(), c.petrolItem);
        EXPECT_EQ(form.Control<QComboBox>("ComboBox2")->currentIndex(), c.vapourItem);
        EXPECT_EQ(form.Control<QComboBox>("ComboBox4")->currentIndex(), c.throttleItem);
        EXPECT_EQ(groupTitle("GroupBox15"), c.caption);
        form.Close_COMClick();
    }
}

TEST_F(Window, oxygen_flag_selects_a_button_and_the_readout) {
    const std::pair<std::uint16_t, bool> cases[] = {{2, false}, {3, true}, {0, false}, {1, true}};
    for (auto [word, present] : cases) {
        setParam(15, word);
        connectCom1();
        EXPECT_EQ(form.Control<QRadioButton>("RadioButton1")->isChecked(), present) << word;
        EXPECT_EQ(form.Control<QRadioButton>("RadioButton2")->isChecked(), !present) << word;
        EXPECT_EQ(form.ReadOut("ExtText1")->isEnabled(), present) << word;
        form.Close_COMClick();
    }
}

TEST_F(Window, failed_flag_read_keeps_the_selection_and_writes_nothing) {
    setParam(15, 1);
    connectCom1();
    ports.sim->ClearFrames();
    ports.sim->SetFaultForAddress(15, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    // The engine speed word left in the reply record must not reach register 15.
    form.ReadOut("ExtText2")->InitOne();
    EXPECT_TRUE(form.Control<QRadioButton>("RadioButton1")->isChecked());
    for (const auto& f : ports.sim->Frames())
        EXPECT_NE(f[0], static_cast<std::uint8_t>(Command::WriteParam));
    EXPECT_EQ(param(15), 1);
}

TEST_F(Window, user_changes_write_their_register_and_reset_the_caption) {
    connectCom1();
    form.setWindowTitle("ZEF-K7LX system (golf.zef)");

    // Typed and committed with Enter: 1,55 is 1.55 V.
    // Only a control the user can see tells the window about a change: open its page first.
    TSpinExtEdit* idle = form.SpinEdit("SpinExtEdit19");
    form.PageControl1->setCurrentIndex(0);
    form.Control<QTabWidget>("PageControl2")->setCurrentIndex(1);
    idle->setFocus();
    idle->selectAll();
    QTest::keyClicks(idle, "1,55");
    QTest::keyClick(idle, Qt::Key_Return);
    EXPECT_EQ(param(20), 1550);
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");

    // A spin step: 4 cylinders to 5, and the plural follows.
    form.Control<QTabWidget>("PageControl2")->setCurrentIndex(0);
    TSpinExtEdit* cylinders = form.SpinEdit("SpinExtEdit2");
    cylinders->StepUp();
    EXPECT_EQ(param(71), 5);
    EXPECT_TRUE(cylinders->text().endsWith("цилиндров"));

    // Temperature limits: 100 °C is 3730 tenths of a kelvin.
    TSpinExtEdit* changeover = form.SpinEdit("SpinExtEdit22");
    changeover->SetValue(100);
    EXPECT_EQ(param(6), 3130); // on a page not shown: no write
    form.PageControl1->setCurrentIndex(1);
    changeover->SetValue(20);
    EXPECT_EQ(param(6), 2930);
    changeover->SetValue(100);
    EXPECT_EQ(param(6), 3730);
    form.PageControl1->setCurrentIndex(0);

    // A list pick writes the item's position; the start mode also sets the caption.
    auto* start = form.Control<QComboBox>("ComboBox3");
    start->setCurrentIndex(2);
    emit start->activated(2);
    EXPECT_EQ(param(0), 2);
    EXPECT_EQ(groupTitle("GroupBox15"), "Переход с бензина на газ");

    // Choosing "нет" writes 0 and turns the sensor read-out off; choosing it again writes
    // nothing more.
    auto* absent = form.Control<QRadioButton>("RadioButton2");
    ports.sim->ClearFrames();
    absent->click();
    absent->click();
    EXPECT_EQ(param(15), 0);
    EXPECT_FALSE(form.ReadOut("ExtText1")->isEnabled());
    int writes15 = 0;
    for (const auto& f : ports.sim->Frames())
        writes15 += f[0] == 3 && f[1] == 15;
    EXPECT_EQ(writes15, 1);
}

TEST_F(Window, map_arrows_write_the_point_and_the_reply_sets_the_readouts) {
    setParam(9, 3500);
    connectCom1();
    ports.sim->WithModel([](sim::ControllerModel& m) {
        m.PinLive(162, 3000);
        m.PinLive(72, 4000);
    });
    auto* up = form.findChild<QWidget*>("Set1500Up");
    ASSERT_NE(up, nullptr);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(param(9), 3550);
    EXPECT_EQ(form.ReadOut("ExtText2")->Value(), 3000);
    EXPECT_EQ(form.ReadOut("ExtText3")->Value(), 4);
    form.Timer1Timer();
    EXPECT_DOUBLE_EQ(form.Chart1()->PointY(3), 3.55);
}

TEST_F(Window, monitor_places_the_marker_on_the_operating_point) {
    connectCom1();
    form.Timer1().stop();
    ports.sim->WithModel([](sim::ControllerModel& m) {
        m.PinLive(162, 3000);
        m.PinLive(72, 4000);
    });
    form.ReadOut("ExtText2")->InitOne();
    form.ReadOut("ExtText3")->InitOne();
    form.Timer1Timer();
    const QPointF target = form.Chart1()->ValueToPixel(3000, 4);
    const QRect marker = form.Chart1()->Marker()->geometry();
    EXPECT_NEAR(marker.center().x() + 0.5, target.x(), 1.0);
    EXPECT_NEAR(marker.center().y() + 0.5, target.y(), 1.0);
}

TEST_F(Window, unplugged_controller_keeps_the_window_going) {
    connectCom1();
    ports.sim->SetFault({sim::Fault::Silent, 0, {}});
    form.Timer1Timer();
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(form.Connected());
    form.Close_COMClick();
    EXPECT_FALSE(form.Connected());
}

} // namespace

namespace {

constexpr auto kAll = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

TEST_F(Window, service_gestures_need_all_three_keys_the_right_button_and_a_session) {
    int dialogs = 0;
    QObject::connect(&form, &TForm1::StaticText1MouseDown, [&] { ++dialogs; });
    auto press = [](QWidget* w, Qt::KeyboardModifiers m, Qt::MouseButton b = Qt::RightButton) {
        QTest::mousePress(w, b, m, QPoint(5, 5));
        QTest::mouseRelease(w, b, m, QPoint(5, 5));
    };
    QWidget* tabStrip = form.PageControl1->tabBar();

    // Before a connection nothing happens anywhere.
    press(form.StaticText1, kAll);
    press(tabStrip, kAll);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(form.Panel1->isHidden());

    setParam(35, 5);
    connectCom1();
    press(form.StaticText1, Qt::ShiftModifier | Qt::ControlModifier); // no Alt
    press(form.StaticText1, kAll, Qt::LeftButton);
    press(tabStrip, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(form.Panel1->isHidden());

    press(form.StaticText1, kAll);
    EXPECT_EQ(dialogs, 1);
    press(tabStrip, kAll);
    EXPECT_FALSE(form.Panel1->isHidden());
    EXPECT_FALSE(form.Panel2->isHidden());
    press(tabStrip, kAll);
    EXPECT_TRUE(form.Panel1->isHidden());
    EXPECT_TRUE(form.Panel2->isHidden());
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(Window, counter_reset_asks_writes_zero_and_shows_it) {
    setParam(35, 5);
    connectCom1();
    ASSERT_EQ(form.StaticText4->text(), "50000 ");

    prompts.answers = {false};
    QTest::mousePress(form.StaticText4, Qt::RightButton, kAll);
    EXPECT_EQ(prompts.questions, QStringList{"Обнулить наработку?"});
    EXPECT_EQ(param(35), 5);
    EXPECT_EQ(form.StaticText4->text(), "50000 ");

    prompts.answers = {true};
    QTest::mousePress(form.StaticText4, Qt::RightButton, kAll);
    EXPECT_EQ(param(35), 0);
    EXPECT_EQ(form.StaticText4->text(), "0 ");

    // Already reset: no question, no write.
    ports.sim->ClearFrames();
    QTest::mousePress(form.StaticText4, Qt::RightButton, kAll);
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_TRUE(ports.sim->Frames().empty());
}

} // namespace

namespace {

// The service panel opens from the tab strip alone; the controls on the pages are the fitter's
// everyday work and a gesture that slips onto one of them must not open it.
TEST_F(Window, panel_gesture_counts_only_on_the_tab_strip) {
    connectCom1();
    auto* outer = form.PageControl1;
    auto* inner = form.Control<QTabWidget>("PageControl2");
    outer->setCurrentIndex(0);
    QWidget* cylinders = nullptr;
    for (auto* box : form.findChildren<QGroupBox*>())
        if (box->title() == "Количество цилиндров")
            cylinders = box;
    ASSERT_NE(cylinders, nullptr);
    inner->setCurrentIndex(0);
    const QRect strip = outer->tabBar()->geometry();
    const QPoint besideTheTabs(strip.right() + 4, strip.center().y());
    ASSERT_LT(besideTheTabs.x(), outer->width());
    ASSERT_EQ(outer->childAt(besideTheTabs), nullptr);
    QWidget* page = inner->currentWidget();
    ASSERT_EQ(page->childAt(page->width() - 2, page->height() - 2), nullptr);

    struct Place {
        const char* name;
        QWidget* widget;
        QPoint at;
        bool toggles;
    };
    const Place places[] = {
        {"the caption of a group on a page", cylinders, {12, 4}, false},
        {"a group on a page", cylinders, {cylinders->width() - 3, cylinders->height() - 3}, false},
        {"a read-out on a page", form.ReadOut("ExtText1"), {5, 5}, false},
        {"a radio button on a page", form.Control<QRadioButton>("RadioButton1"), {5, 5}, false},
        {"the page itself", page, {page->width() - 2, page->height() - 2}, false},
        {"the tabs of the inner pages", inner->tabBar(), inner->tabBar()->tabRect(1).center(),
         false},
        {"a tab of the strip", outer->tabBar(), outer->tabBar()->tabRect(1).center(), true},
        {"the strip beside the tabs", outer, besideTheTabs, true},
    };
    for (const auto& p : places) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(p.widget->isVisible());
        const bool before = form.Panel1->isVisible();
        QTest::mousePress(p.widget, Qt::RightButton, kAll, p.at);
        QTest::mouseRelease(p.widget, Qt::RightButton, kAll, p.at);
        EXPECT_EQ(form.Panel1->isVisible(), before != p.toggles);
        EXPECT_EQ(form.Panel2->isVisible(), form.Panel1->isVisible());
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }
}

} // namespace
