// The map table under the chart: typed and moved points are written as the arrows write them,
// several at once only after "Да", and the operating point's cell follows the engine.
#include "app/main_window.h"
#include "app/map_chart.h"
#include "app/map_editor.h"
#include "app/map_table.h"
#include "controls/ext_text.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QAction>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

using Writes = std::vector<std::pair<int, int>>; // parameter, value

class MapTableWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        form.Timer1().stop(); // the tests tick themselves
        form.findChild<QAction*>("MapTableAction")->trigger();
        ASSERT_TRUE(form.MapTableDock()->isVisible());
        table = form.MapNumbers()->Table();
    }

    // Puts the map into the controller and shows it, as a tick does.
    void store(const std::vector<std::pair<int, int>>& points) {
        for (const auto& [parameter, micros] : points)
            ports.SetParam(static_cast<std::uint8_t>(parameter),
                           static_cast<std::uint16_t>(micros));
        form.Timer1Timer();
        ports.sim->ClearFrames();
        prompts.questions.clear();
    }
    std::vector<Frame> writes() const {
        std::vector<Frame> out;
        for (const auto& f : ports.sim->Frames())
            if (f[0] == static_cast<std::uint8_t>(Command::WriteParam))
                out.push_back(f);
        return out;
    }
    static std::vector<Frame> frames(const Writes& expected) {
        std::vector<Frame> out;
        for (const auto& [parameter, micros] : expected)
            out.push_back(BuildRequest(Command::WriteParam, static_cast<std::uint8_t>(parameter),
                                       static_cast<std::uint16_t>(micros)));
        return out;
    }
    void type(int column, const QString& text) {
        table->setCurrentCell(0, column);
        table->editItem(table->item(0, column));
        // A closed editor lingers hidden until deleted; the open one shows.
        QLineEdit* editor = nullptr;
        for (auto* e : table->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                editor = e;
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        // The editor hands its text over once the key has been dealt with.
        QSignalSpy committed(table, &QTableWidget::itemChanged);
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(committed.count() > 0 || committed.wait(2000)) << qPrintable(text);
    }
    void select(const std::vector<int>& columns) {
        table->clearSelection();
        for (const int c : columns)
            table->item(0, c)->setSelected(true);
    }
    void click(const char* button) { form.MapNumbers()->findChild<QPushButton*>(button)->click(); }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 8); }};
    QTableWidget* table = nullptr;
};

TEST_F(MapTableWindow, a_typed_point_is_one_write_of_the_step_within_the_limits) {
    EXPECT_EQ(form.centralWidget()->size(), QSize(610, 406)); // the dock adds, it takes nothing
    struct Case {
        const char* typed;
        Writes expected;
    };
    const Case cases[] = {
        {"3.27", {{9, 3250}}}, {"3,33", {{9, 3350}}}, {"8.02", {{9, 8000}}}, {"1", {{9, 1000}}},
        {"3.21", {}},          {"8.05", {}},          {"0.97", {}},          {"x", {}},
    };
    for (const Case& c : cases) {
        store({{9, 3200}}); // the 1500 rpm point
        ASSERT_EQ(table->item(0, 2)->text(), "3.20");
        type(2, c.typed);
        EXPECT_EQ(writes(), frames(c.expected)) << c.typed;
        EXPECT_TRUE(prompts.questions.isEmpty()) << c.typed;
        // The cell shows the controller's value until the next tick reads the new one.
        EXPECT_EQ(table->item(0, 2)->text(), "3.20") << c.typed;
        form.Timer1Timer();
        EXPECT_EQ(table->item(0, 2)->text(),
                  c.expected.empty() ? QString("3.20")
                                     : QString::number(c.expected[0].second / 1000.0, 'f', 2))
            << c.typed;
    }
    form.Close_COMClick();
    EXPECT_FALSE(table->isEnabled());
    EXPECT_FALSE(form.MapNumbers()->findChild<QPushButton*>("MapStepUp")->isEnabled());
    EXPECT_TRUE(table->item(0, 2)->text().isEmpty());
}

TEST_F(MapTableWindow, selected_points_move_together_only_after_yes) {
    struct Case {
        const char* button;
        std::vector<int> selected;
        std::deque<bool> answers; // none: the fitter pressed Enter on "Нет"
        int questions;
        Writes expected;
    };
    // 500 rpm at 2.50, 1000 at 2.85, 1500 at 7.98: a step up would pass 8 ms there, as an
    // arrow would, so it stays.
    const Case cases[] = {
        {"MapStepUp", {0, 1, 2}, {true}, 1, {{7, 2550}, {8, 2900}}},
        {"MapStepUp", {0, 1, 2}, {false}, 1, {}},
        {"MapStepDown", {1}, {}, 0, {{8, 2800}}},
        {"MapPercentDown", {0, 1, 2}, {true}, 1, {{7, 2400}, {8, 2700}, {9, 7600}}},
        {"MapPercentDown", {0, 1, 2}, {}, 1, {}},
        {"MapPercentUp", {1, 2}, {true}, 1, {{8, 3000}, {9, 8000}}},
    };
    form.MapNumbers()->Percent()->setValue(5);
    for (const Case& c : cases) {
        store({{7, 2500}, {8, 2850}, {9, 7980}});
        select(c.selected);
        prompts.answers = c.answers;
        click(c.button);
        EXPECT_EQ(writes(), frames(c.expected)) << c.button << " " << c.selected.size();
        EXPECT_EQ(prompts.questions.size(), c.questions) << c.button;
    }
}

TEST_F(MapTableWindow, the_operating_point_cell_follows_the_engine_speed) {
    struct Case {
        int rpm;
        int marked;
    };
    for (const Case c : {Case{0, 0}, Case{840, 1}, Case{1240, 1}, Case{1260, 2}, Case{2600, 4},
                         Case{5100, 6}, Case{9000, 6}}) {
        ports.sim->WithModel([&](sim::ControllerModel& m) { m.PinLive(162, c.rpm); });
        form.ReadOut("ExtText2")->InitOne();
        form.Timer1Timer();
        EXPECT_EQ(form.MapNumbers()->MarkedPoint(), c.marked) << c.rpm;
    }
    form.Close_COMClick();
    EXPECT_EQ(form.MapNumbers()->MarkedPoint(), std::nullopt);
}

} // namespace
