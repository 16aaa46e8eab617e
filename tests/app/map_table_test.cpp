// The map table under the chart: typed and moved points are written as the arrows write them,
// several at once only after "Да", and the operating point's cell follows the engine.
#include "app/main_window.h"
#include "app/map_table.h"
#include "controls/ext_text.h"
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
        form.ConnectToPort(1);
        form.Timer1().stop(); // the tests tick themselves
        heightWithoutTable = form.height();
        form.findChild<QAction*>("MapTableAction")->trigger();
        ASSERT_TRUE(form.MapTableDock()->isVisible());
    }
    void store(const Writes& points) {
        for (const auto& [parameter, micros] : points)
            ports.SetParam(static_cast<std::uint8_t>(parameter),
                           static_cast<std::uint16_t>(micros));
        form.Timer1Timer();
        ports.sim->ClearFrames();
        prompts.questions.clear();
    }
    Writes writes() const {
        Writes out;
        for (const auto& f : ports.sim->Frames())
            if (f[0] == static_cast<std::uint8_t>(Command::WriteParam))
                out.emplace_back(f[1], f[2] | f[3] << 8);
        return out;
    }
    void type(int column, const QString& text) {
        table->editItem(table->item(0, column));
        QLineEdit* editor = nullptr; // a closed one lingers hidden until deleted
        for (auto* e : table->viewport()->findChildren<QLineEdit*>())
            editor = e->isVisible() ? e : editor;
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QSignalSpy committed(table, &QTableWidget::itemChanged); // once the key is dealt with
        QTest::keyClick(editor, Qt::Key_Return);
        ASSERT_TRUE(committed.count() > 0 || committed.wait(2000)) << qPrintable(text);
    }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 8); }};
    QTableWidget* table = form.MapNumbers()->Table();
    int heightWithoutTable = 0;
};

TEST_F(MapTableWindow, a_typed_point_is_one_write_of_the_step_within_the_limits) {
    EXPECT_EQ(form.centralWidget()->size(), QSize(610, 406)); // the dock adds, it takes nothing
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"3.27", 3250}, {"3,33", 3350}, {"8.02", 8000}, {"1", 1000},
        {"3.21", {}},   {"8.05", {}},   {"0.97", {}},   {"x", {}},
    };
    for (const auto& [typed, written] : cases) {
        store({{9, 3200}}); // the 1500 rpm point
        type(2, typed);
        EXPECT_EQ(writes(), (written ? Writes{{9, *written}} : Writes{})) << typed;
        EXPECT_EQ(table->item(0, 2)->text(), "3.20") << typed; // the new value with a tick
        form.Timer1Timer();
        EXPECT_EQ(table->item(0, 2)->text(), QString::number(written.value_or(3200) / 1e3, 'f', 2));
    }
    form.Close_COMClick();
    EXPECT_FALSE(table->isEnabled() || table->item(0, 2)->text().size());
    form.findChild<QAction*>("MapTableAction")->trigger();
    EXPECT_TRUE(QTest::qWaitFor([this] { return form.height() == heightWithoutTable; }));
}

TEST_F(MapTableWindow, selected_points_move_together_only_after_yes) {
    struct Case {
        const char* button;
        std::vector<int> selected;
        std::deque<bool> answers; // none: the fitter pressed Enter on "Нет"
        int questions;
        Writes expected;
    };
    // 1500 rpm at 7.98: a step up would pass 8 ms, so it stays as with an arrow.
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
        table->clearSelection();
        for (const int column : c.selected)
            table->item(0, column)->setSelected(true);
        prompts.answers = c.answers;
        form.MapNumbers()->findChild<QPushButton*>(c.button)->click();
        EXPECT_EQ(writes(), c.expected) << c.button << " " << c.selected.size();
        EXPECT_EQ(prompts.questions.size(), c.questions) << c.button;
    }
}

TEST_F(MapTableWindow, the_operating_point_cell_follows_the_engine_speed) {
    for (const auto& [rpm, marked] :
         {std::pair{0, 0}, {840, 1}, {1240, 1}, {1260, 2}, {2600, 4}, {5100, 6}, {9000, 6}}) {
        ports.sim->WithModel([rpm](sim::ControllerModel& m) { m.PinLive(162, rpm); });
        form.ReadOut("ExtText2")->InitOne();
        form.Timer1Timer();
        EXPECT_EQ(form.MapNumbers()->MarkedPoint(), marked) << rpm;
    }
    form.Close_COMClick();
    EXPECT_EQ(form.MapNumbers()->MarkedPoint(), std::nullopt);
}

} // namespace
