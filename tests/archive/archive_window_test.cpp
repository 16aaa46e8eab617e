// The archive through the window: snapshots at connection and before a load, the compare views,
// and a wrong load undone from the archive dialog.
#include "app/main_window.h"
#include "archive/snapshot_archive.h"
#include "controls/ext_edit.h"
#include "dialogs/archive_dialog.h"
#include "dialogs/compare_dialog.h"
#include "files/disk_faults.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ArchiveWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form.SetArchive(&archive);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void TearDown() override {
        for (auto* dialog : form.findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
            delete dialog;
    }

    void connectCom1() {
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected()) << prompts.messages.join("; ").toStdString();
    }
    QString folder() const { return data.filePath("calibrations/ZEF-K7LX_SN_05.02_00123"); }
    QStringList snapshots() const { return test::FolderEntries(folder()); }
    QString status() const { return form.statusBar()->currentMessage(); }

    SettingsValues controllerValues() {
        SettingsValues values;
        for (const std::uint8_t address : kSettingsRegisters)
            values.push_back(ports.Param(address));
        return values;
    }
    // The controller's calibration with some registers changed, as a file.
    QString fileWith(const QString& name, std::initializer_list<std::pair<int, int>> changes) {
        SettingsValues values = controllerValues();
        for (const auto& [index, value] : changes)
            values[static_cast<std::size_t>(index)] = static_cast<std::uint16_t>(value);
        const QString path = files.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(FormatSettings(values)) > 0);
        return path;
    }
    QString wrongFile() {
        return fileWith("wrong.zef", {{0, 2}, {5, 2000}, {21, 900}, {29, 7}, {30, 3000}});
    }
    int writesSent() const {
        const auto frames = ports.sim->Frames();
        return static_cast<int>(std::count_if(frames.begin(), frames.end(), [](const Frame& f) {
            return f[0] == static_cast<std::uint8_t>(Command::WriteParam);
        }));
    }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    QTemporaryDir data, logDir, files;
    QDateTime now{QDate(2026, 12, 7), QTime(10, 0, 0)};
    CalibrationArchive archive{data.path(), [this] { return now = now.addSecs(1); }};
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 7); }};
};

TEST_F(ArchiveWindow, connection_archives_each_distinct_state_once_as_a_save_writes_it) {
    // The snapshot is made of what the connection read: it reads only the registers the
    // connection did not, each once.
    form.SetArchive(nullptr);
    connectCom1(); // the window's first connection settles what later ones read
    form.Close_COMClick();
    ports.sim->ClearFrames();
    connectCom1();
    const auto unarchived = ports.sim->Frames();
    const auto unread = std::count_if(
        kSettingsRegisters.begin(), kSettingsRegisters.end(), [&](std::uint8_t address) {
            return std::count(unarchived.begin(), unarchived.end(),
                              BuildRequest(Command::ReadParam, address, 0)) == 0;
        });
    form.Close_COMClick();
    ports.sim->ClearFrames();
    form.SetArchive(&archive);
    connectCom1();
    EXPECT_EQ(ports.sim->Frames().size(), unarchived.size() + static_cast<std::size_t>(unread));
    ASSERT_EQ(snapshots(), QStringList{"2026-12-07_10-00-01_connect.zef"});
    EXPECT_TRUE(status().contains("сохранена в архиве")) << status().toStdString();
    prompts.files = {files.filePath("car")};
    emit form.N3Click();
    EXPECT_EQ(readAll(folder() + "/" + snapshots()[0]), readAll(files.filePath("car.zef")));

    form.Close_COMClick();
    connectCom1();
    EXPECT_EQ(snapshots().size(), 1);
    EXPECT_TRUE(status().contains("уже в архиве")) << status().toStdString();

    form.Close_COMClick();
    ports.SetParam(25, 420);
    connectCom1();
    EXPECT_EQ(snapshots().size(), 2);

    // The status bar adds to the window; the client area keeps its size.
    EXPECT_EQ(form.centralWidget()->size(), QSize(610, 406));
}

TEST_F(ArchiveWindow, unanswered_read_at_connection_stores_nothing_and_says_so) {
    ports.sim->SetFaultForAddress(34, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    connectCom1();
    EXPECT_FALSE(QFileInfo::exists(folder()));
    EXPECT_TRUE(status().contains("не сохранён")) << status().toStdString();
    EXPECT_TRUE(status().contains("34")) << status().toStdString();
    EXPECT_TRUE(prompts.messages.isEmpty());
}

TEST_F(ArchiveWindow, load_asks_before_overwriting_a_calibration_it_could_not_archive) {
    connectCom1();
    ports.sim->SetFaultForAddress(34, sim::FaultPlan{sim::Fault::Silent, 0, {}});
    const QString wrong = wrongFile();
    const int writes = writesSent();
    prompts.files = {wrong};
    prompts.answers = {false};
    emit form.N2Click();
    ASSERT_EQ(prompts.questions.size(), 1);
    EXPECT_TRUE(prompts.questions[0].contains("регистра 34")) << prompts.questions[0].toStdString();
    EXPECT_EQ(writesSent(), writes);
    EXPECT_EQ(ports.Param(0), 0);
    EXPECT_TRUE(status().contains("не загружен")) << status().toStdString();
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");
    EXPECT_TRUE(form.Timer1().isActive());

    prompts.files = {wrong};
    prompts.answers = {true};
    emit form.N2Click();
    EXPECT_EQ(ports.Param(0), 2);
    // Register 34 answers nothing: the controller may not hold the file, so no file is named.
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system");
    EXPECT_TRUE(prompts.messages.last().startsWith("Калибровка загружена не полностью: записано "
                                                   "30 из 31"));
    EXPECT_EQ(snapshots().size(), 1); // the one at connection
}

// Connect, load the wrong file, restore: the archive dialog opens on the newest snapshot, so
// the menu item and "Восстановить" are all it takes.
TEST_F(ArchiveWindow, wrong_load_is_undone_from_the_archive_dialog) {
    connectCom1();
    const SettingsValues own = controllerValues();
    prompts.files = {wrongFile()};
    emit form.N2Click();
    ASSERT_EQ(ports.Param(0), 2);
    EXPECT_TRUE(status().startsWith("Прежняя калибровка в архиве: 2026-12-07_10-00-01"))
        << status().toStdString();

    form.ArchiveAction->trigger();
    auto* dialog = form.findChild<ArchiveDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->windowTitle().endsWith("ZEF-K7LX SN 05.02 00123"));
    QTableWidget* table = dialog->Table();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), "2026-12-07");
    EXPECT_EQ(table->item(0, 2)->text(), "подключение");
    EXPECT_EQ(table->item(0, 3)->text(), "5");
    prompts.answers = {true};
    QTest::mouseClick(dialog->RestoreButton(), Qt::LeftButton);

    EXPECT_EQ(controllerValues(), own);
    EXPECT_EQ(form.windowTitle(), "ZEF-K7LX system (2026-12-07_10-00-01_connect.zef)");
    EXPECT_EQ(form.SpinEdit("SpinExtEdit20")->Value(), 30); // the window shows it too
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(0, 2)->text(), "перед загрузкой");
    EXPECT_EQ(table->item(0, 3)->text(), "5");
    EXPECT_EQ(table->item(1, 3)->text(), "0");

    // The two snapshots side by side: what the wrong file did.
    table->selectAll();
    QTest::mouseClick(dialog->CompareButton(), Qt::LeftButton);
    auto* view = dialog->findChild<CompareDialog*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "2026-12-07 10:00:01, подключение — 2026-12-07 10:00:02, "
                                   "перед загрузкой: отличий 5 из 31");
    EXPECT_EQ(view->WriteButton(), nullptr);
    delete view;

    // Writing a snapshot from its comparison is a restore too; the list follows it.
    table->selectRow(0);
    QTest::mouseClick(dialog->CompareButton(), Qt::LeftButton);
    view = dialog->findChild<CompareDialog*>();
    ASSERT_NE(view, nullptr);
    prompts.answers = {true};
    QTest::mouseClick(view->WriteButton(), Qt::LeftButton);
    EXPECT_EQ(ports.Param(0), 2);
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 3)->text(), "5");
    EXPECT_EQ(table->item(1, 3)->text(), "0");
}

TEST_F(ArchiveWindow, compare_with_file_marks_the_differences_and_writes_the_file) {
    connectCom1();
    prompts.files = {fileWith("two.zef", {{21, 420}, {30, 5000}})};
    form.CompareWithFileAction->trigger();
    auto* view = form.findChild<CompareDialog*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "Контроллер — two.zef: отличий 2 из 31");
    QTableWidget* table = view->Table();
    ASSERT_EQ(table->rowCount(), 31);
    const QStringList row21 = {table->item(21, 0)->text(), table->item(21, 1)->text(),
                               table->item(21, 2)->text(), table->item(21, 3)->text(),
                               table->item(21, 4)->text(), table->item(21, 5)->text(),
                               table->item(21, 6)->text()};
    EXPECT_EQ(row21,
              (QStringList{"≠", "25", "Обогащение при  разгоне", "30 %", "42 %", "300", "420"}));
    EXPECT_EQ(table->item(20, 0)->text(), "");

    view->OnlyDifferences()->setChecked(true);
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(1, 4)->text(), "5000 Об/мин");

    ASSERT_NE(view->WriteButton(), nullptr);
    prompts.answers = {true};
    QTest::mouseClick(view->WriteButton(), Qt::LeftButton);
    EXPECT_EQ(ports.Param(25), 420);
    EXPECT_EQ(ports.Param(73), 5000);
    EXPECT_EQ(view->windowTitle(), "Контроллер — two.zef: отличий нет");
    EXPECT_EQ(table->rowCount(), 0);
    // The state the write replaced is the one archived at connection: not stored twice.
    EXPECT_EQ(snapshots().size(), 1);
}

TEST_F(ArchiveWindow, two_files_compare_with_no_controller) {
    EXPECT_FALSE(form.CompareWithFileAction->isEnabled());
    EXPECT_FALSE(form.ArchiveAction->isEnabled());
    EXPECT_TRUE(form.CompareFilesAction->isEnabled());

    prompts.files = {fileWith("a.zef", {}), fileWith("b.zef", {{3, 0}})};
    form.CompareFilesAction->trigger();
    auto* view = form.findChild<CompareDialog*>();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->windowTitle(), "a.zef — b.zef: отличий 1 из 31");
    EXPECT_EQ(view->Table()->item(3, 4)->text(), "1 катушка");
    EXPECT_EQ(view->WriteButton(), nullptr);
    EXPECT_TRUE(ports.sim->Frames().empty());
    EXPECT_EQ(ports.requests, 0);

    connectCom1();
    EXPECT_TRUE(form.CompareWithFileAction->isEnabled());
    EXPECT_TRUE(form.ArchiveAction->isEnabled());
    form.Close_COMClick();
    EXPECT_FALSE(form.ArchiveAction->isEnabled());
}

} // namespace
