// "Подбор по записи...": the table from a drive of the simulated engine, the points written
// only when ticked and confirmed, the suggested curve on the map chart, and the live table.
#include "dialogs/tuning_dialog.h"

#include "app/map_chart.h"
#include "datalog/channels.h"
#include "datalog/datalog_trend.h"
#include "support/clipped_text.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QDirIterator>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class TuningWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ports.sim =
            std::make_shared<sim::Simulator>(sim::Simulator::Options{}, [this] { return now; });
        ports.sim->WithModel([](sim::ControllerModel& m) {
            m.SetTrueMap(sim::ControllerModel::DefaultTrueMapMs());
        });
        ASSERT_TRUE(channel.Open(1, 19200));
        for (now = 0; now < 170 + 2 * sim::ControllerModel::DriveCycleSeconds(); now += 0.35)
            rows.push_back({QDateTime(), now, *ReadDatalogRow(link), {}});
        before = *ReadMap(link);
    }

    std::unique_ptr<TuningDialog> Open() {
        TuningDialog::Hooks hooks;
        hooks.write = [this](const MapMicros& from, const MapMicros& chosen) {
            return std::optional(
                WriteMap(link, &archive, QStringLiteral("SN 1"), from, chosen, {}));
        };
        hooks.showSuggested = [this](const std::vector<QPointF>& curve) {
            chart.SetSuggested(curve);
        };
        return std::make_unique<TuningDialog>(before, prompts, std::move(hooks));
    }

    double now = 0;
    test::SimPorts ports;
    SerialChannel channel{ports, 5ms};
    RegisterExchange link{channel};
    std::vector<DatalogRow> rows;
    MapMicros before{};
    QTemporaryDir data;
    CalibrationArchive archive{data.path()};
    test::ScriptedPrompts prompts;
    MapChart chart;
};

TEST_F(TuningWindow, shows_the_drive_whole_and_writes_only_what_was_ticked_and_confirmed) {
    auto dialog = Open();
    dialog->AddRows(rows);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));

    test::ClippedTexts walk;
    walk.Walk(dialog.get());
    EXPECT_GE(walk.Checked(), 3); // the counts and both buttons
    EXPECT_TRUE(walk.Faults().empty()) << *walk.Faults().begin();
    QTableWidget* table = dialog->Table();
    for (int r = 0; r < table->rowCount(); ++r)
        for (int c = 0; c < table->columnCount(); ++c)
            EXPECT_LE(table->fontMetrics().horizontalAdvance(table->item(r, c)->text()),
                      table->columnWidth(c))
                << r << "," << c;
    EXPECT_TRUE(dialog->Counts()->text().contains(QStringLiteral("двигатель не прогрет: ")));

    ASSERT_TRUE(chart.Suggested());
    EXPECT_EQ(chart.Suggested()->count(), 8);
    EXPECT_EQ(chart.Suggested()->pen().style(), Qt::DashLine);

    // Sure and changing points are ticked by default; the fitter takes one out.
    const TuningResult& result = dialog->Result();
    for (std::size_t i = 0; i < kMapSize; ++i)
        EXPECT_EQ(dialog->Ticked()[i],
                  result.points[i].Changes() && result.points[i].confidence >= Confidence::Medium);
    ASSERT_TRUE(dialog->Ticked()[1]);
    dialog->SetTicked(1, false);

    struct Step {
        bool answer;
        MapMicros expected;
    };
    MapMicros chosen = ChosenMap(result, Confidence::Medium);
    chosen[1] = before[1];
    for (const Step& step : {Step{false, before}, Step{true, chosen}}) {
        prompts.answers = {step.answer};
        dialog->WriteClick();
        EXPECT_EQ(ReadMap(link), step.expected);
    }
    EXPECT_EQ(prompts.questions.size(), 2);
    QDirIterator archived(data.path(), {"*.zef"}, QDir::Files, QDirIterator::Subdirectories);
    EXPECT_TRUE(archived.hasNext());
    EXPECT_FALSE(dialog->WriteButton()->isEnabled());
    // What the controller took is the map the table now stands against.
    for (std::size_t i = 0; i < kMapSize; ++i)
        EXPECT_EQ(dialog->Result().points[i].currentMicros, chosen[i]) << i;

    dialog.reset();
    EXPECT_EQ(chart.Suggested()->count(), 0);
}

// Enter closes: points go to the controller only by their own button.
TEST_F(TuningWindow, enter_closes_the_dialog_and_writes_nothing) {
    auto dialog = Open();
    dialog->AddRows(rows);
    prompts.answers = {true};
    dialog->show();
    QTest::keyClick(dialog->Table(), Qt::Key_Return); // the focus where the dialog opens
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_EQ(ReadMap(link), before);
}

// Fed as a recording runs, the table comes to what the whole recording gives.
TEST_F(TuningWindow, the_live_table_follows_a_running_recording) {
    auto whole = Open();
    whole->AddRows(rows);
    auto live = Open();
    auto trend = std::make_shared<TrendData>(DatalogTrend(350ms));
    live->Follow(trend);
    int samples = 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        AppendToTrend(*trend, rows[r]);
        if (r % 100 == 99) {
            live->TakeNewRows();
            EXPECT_GT(live->Result().accepted + live->Result().rows, samples);
            samples = live->Result().accepted + live->Result().rows;
        }
    }
    live->TakeNewRows();
    for (std::size_t i = 0; i < kMapSize; ++i)
        EXPECT_EQ(live->Result().points[i].suggestedMicros,
                  whole->Result().points[i].suggestedMicros);
}

} // namespace
