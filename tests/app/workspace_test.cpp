// The fitter's workspace against the in-process simulator: the table of every parameter writes
// as the window's edits do, the dashboard follows the link, and the window's words and keys.

#include "app/dashboard.h"
#include "app/main_window.h"
#include "app/parameter_table.h"
#include "app/status_bar.h"
#include "archive/snapshot_archive.h"
#include "controls/ext_edit.h"
#include "datalog/channels.h"
#include "params/choices.h"
#include "session/controller_session.h"
#include "support/clipped_text.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class Workspace : public test::WindowFixture {
protected:
    Workspace() : WindowFixture(QDate(2026, 12, 8)) {}
    void SetUp() override {
        WindowFixture::SetUp();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        form.Timer1().stop(); // the monitor would crowd the frames
    }
    // Types into the window's edit as the Tab key leaves it, and commits.
    void typeIntoWindow(const char* name, const QString& text) {
        form.activateWindow(); // the table may have taken the focus
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        TSpinExtEdit* edit = form.SpinEdit(name);
        for (QWidget* w = edit; w->parentWidget(); w = w->parentWidget())
            if (auto* pages = qobject_cast<QTabWidget*>(w->parentWidget()->parentWidget());
                pages && pages->indexOf(w) >= 0)
                pages->setCurrentWidget(w);
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, text);
        form.CommitTypedValue();
    }
    void loseAndRegain(const std::function<void()>& whileLost) {
        ports.sim->SetFault({sim::Fault::Silent, 0, {}});
        form.Timer1Timer();
        ASSERT_TRUE(form.Supervisor().IsLost());
        whileLost();
        ports.sim->SetFault({});
        for (int i = 0; i < 4 && form.Supervisor().IsLost(); ++i) {
            QTest::qWait(40);
            form.Timer1Timer();
        }
        ASSERT_FALSE(form.Supervisor().IsLost());
    }
};

TEST_F(Workspace, table_edit_sends_the_frames_of_the_window_edit) {
    struct Case {
        const char* edit;
        std::uint8_t address;
        QString typed; // a comma, a value past a limit, a unit word
    };
    const Case cases[] = {
        {"SpinExtEdit19", 20, "1,25"}, {"SpinExtEdit3", 73, "500"}, {"SpinExtEdit22", 6, "75"},
        {"SpinExtEdit2", 71, "5"},     {"SpinExtEdit9", 5, "1"},    {"SpinExtEdit24", 28, "20 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        const std::uint16_t before = ports.Param(c.address);
        ports.sim->ClearFrames();
        typeIntoWindow(c.edit, c.typed);
        const auto byWindow = ports.sim->TakeFrames();
        ASSERT_FALSE(byWindow.empty());
        const std::uint16_t written = ports.Param(c.address);

        ports.SetParam(c.address, before);
        ParameterTable* table = form.ShowParameterTable();
        ASSERT_EQ(table->Word(c.address), before);
        ports.sim->ClearFrames();
        table->EditValue(c.address, c.typed);
        EXPECT_EQ(ports.sim->TakeFrames(), byWindow);
        EXPECT_EQ(table->Word(c.address), written);
    }
}

TEST_F(Workspace, table_list_pick_sends_the_frames_of_the_window_list_and_shows_there) {
    for (const ChoiceRow& row : ChoiceRows()) {
        SCOPED_TRACE(row.control);
        auto* windowList = form.findChild<QComboBox*>(ToQString(row.control));
        ASSERT_NE(windowList, nullptr);
        const std::uint16_t before = ports.Param(row.address);
        const int pick = (ItemFromWord(row, before).value_or(0) + 1) % windowList->count();
        ports.sim->ClearFrames();
        windowList->setCurrentIndex(pick);
        emit windowList->activated(pick);
        const auto byWindow = ports.sim->TakeFrames();
        ASSERT_FALSE(byWindow.empty());
        const std::uint16_t written = ports.Param(row.address);

        ports.SetParam(row.address, before);
        windowList->setCurrentIndex(-1);
        ParameterTable* table = form.ShowParameterTable();
        const QModelIndex value =
            table->Table()->model()->index(table->RowOf(row.address), ParameterTable::ValueColumn);
        table->Table()->edit(value);
        auto* tableList = qobject_cast<QComboBox*>(table->Table()->indexWidget(value));
        ASSERT_NE(tableList, nullptr);
        ports.sim->ClearFrames();
        tableList->setCurrentIndex(pick);
        emit tableList->activated(pick);
        EXPECT_EQ(ports.sim->TakeFrames(), byWindow);
        EXPECT_EQ(table->Word(row.address), written);
        EXPECT_EQ(windowList->currentIndex(), pick);
    }
}

TEST_F(Workspace, table_lists_unshown_registers_read_only_and_marks_a_file_s_differences) {
    ParameterTable* table = form.ShowParameterTable();
    QTableWidgetItem* unshown = table->Table()->item(table->RowOf(14), ParameterTable::ValueColumn);
    EXPECT_FALSE(unshown->flags() & Qt::ItemIsEditable);
    ports.sim->ClearFrames();
    table->EditValue(14, "7");
    EXPECT_TRUE(ports.sim->TakeFrames().empty());

    SettingsValues values;
    for (std::uint8_t address : kSettingsRegisters)
        values.push_back(*table->Word(address));
    values[static_cast<std::size_t>(table->RowOf(73))] = 4000;
    const QString path = QDir(logDir.path()).filePath("car.zef");
    ASSERT_TRUE(WriteSettingsFile(path, values));
    ASSERT_TRUE(table->CompareWith(path));
    for (std::uint8_t address : kSettingsRegisters)
        EXPECT_EQ(table->Table()->item(table->RowOf(address), 0)->background().style() !=
                      Qt::NoBrush,
                  address == 73)
            << int(address);

    table->Filter()->setText("оборот");
    EXPECT_FALSE(table->Table()->isRowHidden(table->RowOf(73)));
    EXPECT_TRUE(table->Table()->isRowHidden(table->RowOf(14)));
}

TEST_F(Workspace, table_marks_exactly_the_registers_a_chosen_snapshot_holds_otherwise) {
    ParameterTable* table = form.ShowParameterTable();
    EXPECT_FALSE(table->SnapshotButton()->isEnabled()); // no archive
    const CalibrationArchive archive(QDir(logDir.path()).filePath("archive"));
    form.SetArchive(&archive);
    table = form.ShowParameterTable();
    ASSERT_TRUE(table->SnapshotButton()->isEnabled());
    ASSERT_TRUE(form.SerialNumber());

    SettingsValues values;
    for (std::uint8_t address : kSettingsRegisters)
        values.push_back(*table->Word(address));
    values[static_cast<std::size_t>(table->RowOf(6))] += 1;
    values[static_cast<std::size_t>(table->RowOf(73))] -= 100;
    ASSERT_TRUE(archive.Store(*form.SerialNumber(), values, SnapshotReason::Connect));
    QTest::mouseClick(table->SnapshotButton(), Qt::LeftButton); // the newest is proposed
    for (std::uint8_t address : kSettingsRegisters)
        EXPECT_EQ(table->Table()->item(table->RowOf(address), 0)->background().style() !=
                      Qt::NoBrush,
                  address == 6 || address == 73)
            << int(address);
    EXPECT_TRUE(table->Table()
                    ->horizontalHeaderItem(ParameterTable::FileColumn)
                    ->text()
                    .startsWith("В снимке "));
    form.SetArchive(nullptr);
}

TEST_F(Workspace, table_keeps_its_values_while_lost_and_reads_again_when_back) {
    ParameterTable* table = form.ShowParameterTable();
    const auto held = table->Word(73);
    loseAndRegain([&] {
        ports.SetParam(73, 3000);
        EXPECT_FALSE(table->Reload());
        EXPECT_EQ(table->Word(73), held);
        EXPECT_TRUE(table->findChild<QLabel*>("ParameterState")->text().startsWith("Нет связи"));
    });
    EXPECT_TRUE(table->Reload());
    EXPECT_EQ(table->Word(73), 3000);
}

TEST_F(Workspace, dashboard_shows_the_engine_greys_while_lost_and_follows_again) {
    Dashboard* dashboard = form.ShowDashboard();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dashboard));
    form.Timer1Timer();
    for (Gauge* gauge : dashboard->Gauges())
        EXPECT_TRUE(gauge->Value() || gauge->Dial().key == std::string_view("correction"))
            << gauge->Dial().key;
    EXPECT_FALSE(dashboard->LostLabel()->isVisible());
    loseAndRegain([&] {
        EXPECT_TRUE(dashboard->LostLabel()->isVisible());
        EXPECT_FALSE(dashboard->GaugeFor("rpm")->isEnabled());
        EXPECT_FALSE(dashboard->Refresh());
    });
    EXPECT_FALSE(dashboard->LostLabel()->isVisible());
    EXPECT_TRUE(dashboard->GaugeFor("rpm")->isEnabled());
    ports.sim->ClearFrames();
    EXPECT_TRUE(dashboard->Refresh());
    EXPECT_EQ(ports.sim->TakeFrames().size(), DatalogChannels().size());
}

TEST_F(Workspace, dashboard_remembers_its_zones_and_palette) {
    QSettings settings(QDir(logDir.path()).filePath("views.ini"), QSettings::IniFormat);
    const GaugeZones zones{10, 11, 13, 14};
    {
        Dashboard first(link, form.Supervisor(), &settings);
        first.SetZones(*first.GaugeFor("supply_v"), zones);
        first.SetNight(true);
        first.resize(700, 420);
        first.show();
        first.hide();
    }
    Dashboard second(link, form.Supervisor(), &settings);
    EXPECT_EQ(second.GaugeFor("supply_v")->Zones(), zones);
    EXPECT_TRUE(second.Night());
    EXPECT_EQ(second.size(), QSize(700, 420));
    EXPECT_LT(second.palette().color(QPalette::Window).lightness(),
              second.palette().color(QPalette::WindowText).lightness());
}

TEST_F(Workspace, no_text_is_clipped_at_three_sizes) {
    form.Timer1Timer();
    QWidget* views[] = {form.ShowParameterTable(), form.ShowDashboard()};
    form.Timer1Timer();
    for (QWidget* view : views)
        for (const QSize size : {QSize(520, 360), QSize(860, 560), QSize(1400, 900)}) {
            view->resize(size);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
            QCoreApplication::processEvents();
            test::ClippedTexts clipped;
            clipped.Walk(view);
            EXPECT_GT(clipped.Checked(), 0);
            EXPECT_TRUE(clipped.Faults().empty())
                << view->objectName().toStdString() << ": " << *clipped.Faults().begin();
        }
}

TEST_F(Workspace, every_menu_and_the_button_row_have_mnemonics_that_differ) {
    const auto mnemonic = [](const QString& text) {
        const auto at = text.indexOf('&');
        return at < 0 ? QChar() : text.at(at + 1).toLower();
    };
    std::vector<QList<QAction*>> levels{form.menuBar()->actions()};
    for (QAction* top : form.menuBar()->actions())
        levels.push_back(top->menu()->actions());
    for (const auto& actions : levels) {
        QSet<QChar> seen;
        for (QAction* a : actions) {
            const QChar key = mnemonic(a->text());
            if (!a->isVisible() || key.isNull())
                continue;
            EXPECT_FALSE(seen.contains(key)) << a->text().toStdString();
            seen.insert(key);
        }
    }
    QSet<QChar> buttons;
    for (QPushButton* b : {form.Connect_to_COM[0], form.Connect_to_COM[1], form.Connect_to_COM[2],
                           form.Connect_to_COM[3], form.Close_COM}) {
        ASSERT_FALSE(mnemonic(b->text()).isNull()) << b->text().toStdString();
        EXPECT_FALSE(buttons.contains(mnemonic(b->text())));
        buttons.insert(mnemonic(b->text()));
    }
}

TEST_F(Workspace, compare_two_files_says_which_side_each_dialog_chooses) {
    prompts.files = {"/nonexistent/a.zef", "/nonexistent/b.zef"};
    form.CompareTwoFiles();
    ASSERT_EQ(prompts.titles.size(), 2);
    EXPECT_TRUE(prompts.titles[0].contains("первый"));
    EXPECT_TRUE(prompts.titles[1].contains("второй") && prompts.titles[1].contains("a.zef"));
}

TEST_F(Workspace, a_long_status_message_shows_whole_words_and_all_of_it_in_the_tooltip) {
    auto* bar = qobject_cast<WholeWordStatusBar*>(form.statusBar());
    ASSERT_NE(bar, nullptr);
    const QString text = QString("Снимок калибровки сохранён в архиве ").repeated(4).trimmed();
    bar->showMessage(text);
    EXPECT_EQ(bar->currentMessage(), text);
    EXPECT_TRUE(bar->ShownMessage().endsWith(" …"));
    EXPECT_EQ(bar->toolTip(), text);
    bar->showMessage("Связь восстановлена");
    EXPECT_TRUE(bar->toolTip().isEmpty());
}

TEST(StatusWords, a_message_is_cut_only_between_words) {
    const QString text =
        "Снимок калибровки сохранён в архиве: контроллер 00042, причина: подключение";
    const QFontMetrics metrics(QApplication::font());
    for (const int width : {120, 260, 400, 2000}) {
        const QString shown = ElideAtWord(text, metrics, width);
        EXPECT_LE(metrics.horizontalAdvance(shown), width);
        if (shown == text)
            continue;
        ASSERT_TRUE(shown.endsWith(" …")) << shown.toStdString();
        const QString kept = shown.chopped(2);
        EXPECT_TRUE(text.startsWith(kept)) << shown.toStdString();
        EXPECT_FALSE(text.at(kept.size()).isLetterOrNumber()) << shown.toStdString();
    }
}

} // namespace
