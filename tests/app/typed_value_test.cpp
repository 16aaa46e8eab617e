// A value the fitter typed reaches the controller however the fitter leaves the box: the pages,
// the menu, the window's close and "Close COM" all hide or park the box, and a box that is no
// longer showing changes silently.

#include "app/main_window.h"
#include "controls/ext_edit.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

using namespace zef;
using namespace std::chrono_literals;

namespace {

constexpr auto kGesture = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

class TypedValue : public ::testing::Test {
public:
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        // The monitor's own exchanges would only crowd the log of frames.
        form.Timer1().stop();
    }
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }

    QTabWidget* tabs(const char* name) { return form.Control<QTabWidget>(name); }

    // Shows the edit's page, puts the focus in it as the Tab key does (the whole text selected)
    // and types over it.
    TSpinExtEdit* typeInto(const char* name, const QString& text) {
        TSpinExtEdit* edit = form.SpinEdit(name);
        for (QWidget* w = edit; w->parentWidget(); w = w->parentWidget()) {
            auto* pages = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget());
            if (pages && pages->indexOf(w) >= 0)
                pages->setCurrentWidget(w);
        }
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, text);
        ports.sim->ClearFrames();
        return edit;
    }

    int writesTo(std::uint8_t address) const {
        int n = 0;
        for (const auto& f : ports.sim->Frames())
            n += f[0] == static_cast<std::uint8_t>(Command::WriteParam) && f[1] == address;
        return n;
    }

    void clickTab(QTabWidget* widget, int index) {
        QTabBar* bar = widget->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        EXPECT_EQ(widget->currentIndex(), index);
    }

    // Opens a menu of the menu bar the way a mouse does, on its title.
    QMenu* openMenu(const char* name) {
        auto* menu = form.findChild<QMenu*>(name);
        QMenuBar* bar = form.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        return menu;
    }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir, fileDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 7); }};
};

struct Leaving {
    const char* how;
    const char* edit;
    QString typed;
    std::uint8_t address;
    std::uint16_t written;
    const char* shown; // what the box ends with, unit word included; empty when it is parked
    std::function<void(TypedValue&, TForm1&)> leave;
};

TEST_F(TypedValue, is_written_once_whichever_way_the_box_is_left) {
    const Leaving cases[] = {
        {"a click on the next inner tab", "SpinExtEdit9", "1", 5, 0, " 1 катушка",
         [](TypedValue& t, TForm1&) { t.clickTab(t.tabs("PageControl2"), 1); }},
        {"a click on the outer tab", "SpinExtEdit2", "6", 71, 6, " 6 цилиндров",
         [](TypedValue& t, TForm1&) { t.clickTab(t.tabs("PageControl1"), 1); }},
        {"a click on the page's own tab", "SpinExtEdit19", "1.2", 20, 1200, " 1.20 Volt",
         [](TypedValue& t, TForm1&) { t.clickTab(t.tabs("PageControl2"), 1); }},
        {"Ctrl+Tab to the next page", "SpinExtEdit3", "5000", 73, 5000, " 5000 Об/мин",
         [](TypedValue&, TForm1& f) {
             QTest::keyClick(f.SpinEdit("SpinExtEdit3"), Qt::Key_Tab, Qt::ControlModifier);
             EXPECT_FALSE(f.SpinEdit("SpinExtEdit3")->isVisible());
         }},
        {"the wheel over the tabs", "SpinExtEdit18", "2000", 21, 2000, " 2000 Об/мин",
         [](TypedValue& t, TForm1& f) {
             QTabBar* bar = t.tabs("PageControl2")->tabBar();
             QWheelEvent wheel(bar->tabRect(1).center(), bar->mapToGlobal(bar->tabRect(1).center()),
                               {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                               false);
             QApplication::sendEvent(bar, &wheel);
             EXPECT_FALSE(f.SpinEdit("SpinExtEdit18")->isVisible());
         }},
        {"opening the File menu", "SpinExtEdit9", "1", 5, 0, " 1 катушка",
         [](TypedValue& t, TForm1&) {
             QMenu* menu = t.openMenu("N1");
             EXPECT_TRUE(menu->isVisible());
         }},
        {"opening the ? menu", "SpinExtEdit2", "3", 71, 3, " 3 цилиндра",
         [](TypedValue& t, TForm1&) { t.openMenu("N4"); }},
        {"\"Сохранить в файле\" without its menu", "SpinExtEdit22", "45", 6, 3180, " 45 град С",
         [](TypedValue& t, TForm1& f) {
             t.prompts.files = {QDir(t.fileDir.path()).filePath("car")};
             f.N3->trigger();
             EXPECT_TRUE(QFile::exists(QDir(t.fileDir.path()).filePath("car.zef")));
         }},
        {"the about box by its shortcut", "SpinExtEdit17", "2.5", 24, 2500, " 2.5 V",
         [](TypedValue& t, TForm1& f) {
             f.N6->setShortcut(QKeySequence(Qt::Key_F1));
             std::optional<std::uint16_t> whenShown;
             const auto shown =
                 QObject::connect(&f, &TForm1::N6Click, [&] { whenShown = t.ports.Param(24); });
             QTest::keyClick(f.SpinEdit("SpinExtEdit17"), Qt::Key_F1);
             QObject::disconnect(shown);
             EXPECT_EQ(whenShown, 2500) << "written before the box opens";
         }},
        {"closing the window", "SpinExtEdit16", "3.5", 23, 3500, " 3.5 V",
         [](TypedValue&, TForm1& f) { EXPECT_TRUE(f.close()); }},
        {"\"Выход\"", "SpinExtEdit17", "1.5", 24, 1500, " 1.5 V",
         [](TypedValue&, TForm1& f) { f.N7->trigger(); }},
        {"\"Close COM\" clicked with the mouse", "SpinExtEdit24", "20", 28, 200, "",
         [](TypedValue&, TForm1& f) { QTest::mouseClick(f.Close_COM, Qt::LeftButton); }},
        {"\"Close COM\" pressed without the focus moving", "SpinExtEdit24", "20", 28, 200, "",
         [](TypedValue&, TForm1& f) { f.Close_COM->click(); }},
        {"a gesture that hides the service panel", "SpinExtEdit1", "5.5", 68, 5500, " 5.50 Volt",
         [](TypedValue& t, TForm1& f) {
             QTest::mousePress(t.tabs("PageControl1")->tabBar(), Qt::RightButton, kGesture, {2, 2});
             EXPECT_TRUE(f.Panel1->isHidden());
         }},
    };
    std::map<std::uint8_t, std::uint16_t> asSupplied;
    for (const auto& c : cases)
        asSupplied[c.address] = ports.Param(c.address);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        // Every case starts from the controller as supplied, freshly connected.
        if (form.Connected())
            form.Close_COMClick();
        for (auto [address, value] : asSupplied)
            ports.SetParam(address, value);
        if (!form.isVisible()) {
            form.show();
            form.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        }
        form.ConnectToPort(1);
        form.Timer1().stop();
        if (c.address == 68) {
            QTest::mousePress(tabs("PageControl1")->tabBar(), Qt::RightButton, kGesture, {2, 2});
            ASSERT_TRUE(form.Panel1->isVisible());
        }
        TSpinExtEdit* edit = typeInto(c.edit, c.typed);
        ASSERT_TRUE(edit->hasFocus());
        ASSERT_EQ(writesTo(c.address), 0) << "nothing is written while the fitter types";

        c.leave(*this, form);

        EXPECT_EQ(ports.Param(c.address), c.written);
        EXPECT_EQ(writesTo(c.address), 1);
        if (*c.shown) {
            EXPECT_EQ(edit->text().trimmed(), QString(c.shown).trimmed());
        }
        EXPECT_FALSE(edit->isModified());
        TearDown();
    }
}

// Only typed text is committed: a box the fitter merely passed through keeps what the
// controller holds, even outside the box's limits, instead of cutting it to the limit and
// writing that behind the fitter's back.
TEST_F(TypedValue, box_left_without_typing_writes_nothing) {
    form.Close_COMClick();
    ports.SetParam(5, 5); // six coils, more than the box allows
    form.ConnectToPort(1);
    form.Timer1().stop();
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"a tab", [&] { clickTab(tabs("PageControl2"), 1); }},
        {"the menu", [&] { openMenu("N1")->close(); }},
        {"closing the window", [&] { form.close(); }},
        {"Close COM", [&] { form.Close_COM->click(); }},
    };
    for (const auto& [how, leave] : ways) {
        SCOPED_TRACE(how);
        if (!form.isVisible()) {
            form.show();
            form.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        }
        TSpinExtEdit* edit = typeInto("SpinExtEdit9", "");
        ASSERT_EQ(edit->Value(), 6);
        leave();
        EXPECT_EQ(writesTo(5), 0);
        EXPECT_EQ(ports.Param(5), 5);
    }
}

} // namespace
