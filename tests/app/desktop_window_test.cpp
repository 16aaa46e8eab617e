// The window as a desktop program: keyboard, tooltips, recent files, what it remembers, the
// log folder in its messages, Qt's own dialogs in Russian and the open dialog that lets the
// program judge a typed name itself.

#include "app/desktop.h"
#include "app/main_window.h"
#include "app/map_chart.h"
#include "archive/compare.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "datalog/channels.h"
#include "datalog/datalog_csv.h"
#include "dialogs/prompts.h"
#include "dialogs/tuning_dialog.h"
#include "files/log_location.h"
#include "params/catalogue.h"
#include "params/hints.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

// Nothing here may read or write the real user's settings, Qt's file dialog state included.
class PrivateSettings : public ::testing::Environment {
public:
    void SetUp() override { QStandardPaths::setTestModeEnabled(true); }
};
const auto* const kPrivateSettings = ::testing::AddGlobalTestEnvironment(new PrivateSettings);

std::string text(const QString& s) {
    return s.toStdString();
}

void touch(const QString& path, const QByteArray& bytes = "0\r\n") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class DesktopWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    QString file(const QString& name) const { return QDir(dir.path()).filePath(name); }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    SerialChannel& channel = session.Channel();
    RegisterExchange& link = session.Link();
    test::ScriptedPrompts prompts;
    QTemporaryDir dir, logDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 7); }};
};

TEST_F(DesktopWindow, menus_have_mnemonics_and_the_file_commands_their_shortcuts) {
    struct Case {
        QAction* action;
        const char* text;
        QKeySequence shortcut;
    };
    const Case cases[] = {
        {form.N2, "&Загрузить из файла", QKeySequence("Ctrl+O")},
        {form.N3, "&Сохранить в файле", QKeySequence("Ctrl+S")},
        {form.N7, "&Выход", QKeySequence("Ctrl+Q")},
        {form.N6, "&О программе", QKeySequence()},
        {form.RecentMenu()->menuAction(), "Последние &файлы", QKeySequence()},
        {form.UndoAction, "&Отменить", QKeySequence("Ctrl+Z")},
        {form.RedoAction, "&Повторить", QKeySequence("Ctrl+Shift+Z")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text(c.action->text()), c.text);
        EXPECT_EQ(c.action->shortcut(), c.shortcut) << c.text;
    }
    QStringList menus;
    for (QAction* a : form.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&Файл", "&Правка", "&Журнал", "&Карта", "&Вид", "&?"}));
}

TEST_F(DesktopWindow, shortcuts_load_and_save_only_while_connected_and_ctrl_q_quits) {
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(prompts.filters.isEmpty()) << "no file dialog before a connection";

    form.ConnectToPort(1);
    ASSERT_TRUE(form.Connected());
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier); // the dialog is answered with cancel
    QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(prompts.filters.size(), 2);

    QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form.isVisible());
}

// The hints come from each control's own row of the catalogue; a control that the window
// shows without one, or with another control's, is found here.
TEST_F(DesktopWindow, every_edit_and_read_out_says_its_register_unit_and_limits) {
    int edits = 0, readouts = 0;
    for (TSpinExtEdit* edit : form.findChildren<TSpinExtEdit*>()) {
        const EditRow* row = FindEdit(edit->objectName().toStdString());
        ASSERT_NE(row, nullptr) << text(edit->objectName());
        EXPECT_TRUE(edit->toolTip().endsWith('\n' + EditHint(*row))) << row->control;
        // The parameter first, the register after it.
        if (row->address) {
            EXPECT_TRUE(edit->toolTip().startsWith(RegisterCaption(*row->address) + '\n'))
                << row->control;
        }
        ++edits;
    }
    for (TExtText* readout : form.findChildren<TExtText*>()) {
        const ReadoutRow* row = FindReadout(readout->objectName().toStdString());
        ASSERT_NE(row, nullptr) << text(readout->objectName());
        EXPECT_TRUE(readout->toolTip().endsWith('\n' + ReadoutHint(*row))) << row->control;
        EXPECT_FALSE(readout->toolTip().startsWith("Регистр")) << row->control;
        ++readouts;
    }
    EXPECT_EQ(edits, static_cast<int>(EditRows().size()));
    EXPECT_EQ(readouts, static_cast<int>(ReadoutRows().size()));
    for (const char* combo : {"ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4"})
        EXPECT_TRUE(form.Control<QComboBox>(combo)->toolTip().startsWith(
            RegisterCaption(FindChoice(combo)->address) + '\n'))
            << combo;
}

TEST_F(DesktopWindow, recent_files_follow_loads_and_saves_and_load_again_from_the_menu) {
    QStringList told;
    QObject::connect(&form, &TForm1::RecentFilesChanged,
                     [&](const QStringList& files) { told = files; });
    EXPECT_FALSE(form.RecentMenu()->menuAction()->isEnabled()) << "nothing to load into";

    form.ConnectToPort(1);
    EXPECT_TRUE(form.RecentMenu()->menuAction()->isEnabled());
    prompts.files = {file("golf"), file("passat")};
    emit form.N3Click();
    emit form.N3Click();
    EXPECT_EQ(told, (QStringList{file("passat.zef"), file("golf.zef")}));
    QList<QAction*> items = form.RecentMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(text(items[0]->text()), text(RecentFiles::MenuText(0, file("passat.zef"))));

    // Loading golf from the menu names it in the caption and puts it first.
    form.SpinEdit("SpinExtEdit9")->StepDown(); // any write makes the caption plain
    items[1]->trigger();
    EXPECT_TRUE(prompts.messages.isEmpty()) << text(prompts.messages.join("; "));
    EXPECT_EQ(text(form.windowTitle()), "ZEF-K7LX system (golf.zef)");
    EXPECT_EQ(told.first(), file("golf.zef"));

    // A file that has gone is reported by the program's own words and leaves the list.
    QFile::remove(file("passat.zef"));
    form.RecentMenu()->actions()[1]->trigger();
    EXPECT_EQ(prompts.messages, QStringList{"Такого файла нет!"});
    EXPECT_EQ(told, QStringList{file("golf.zef")});
    EXPECT_EQ(form.RecentMenu()->actions().size(), 1);

    form.Close_COMClick();
    EXPECT_FALSE(form.RecentMenu()->menuAction()->isEnabled());
}

TEST_F(DesktopWindow, place_and_recent_files_are_there_after_a_restart) {
    QSettings settings(file("user.ini"), QSettings::IniFormat);
    RestoreDesktopState(form, settings);
    form.ConnectToPort(1);
    prompts.files = {file("golf")};
    emit form.N3Click();
    form.move(123, 87);
    QTest::qWait(50);
    const QPoint place = form.pos();
    SaveDesktopState(form, settings);

    // The next start reads the same file.
    QSettings again(file("user.ini"), QSettings::IniFormat);
    EXPECT_EQ(again.value("recentFiles").toStringList(), QStringList{file("golf.zef")});
    EXPECT_TRUE(again.contains("window/geometry"));
    test::SimPorts otherPorts;
    ControllerSession otherSession{otherPorts, Threading::Caller, 5ms};
    TForm1 next{otherSession, prompts, logDir.path()};
    RestoreDesktopState(next, again);
    next.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&next));
    EXPECT_EQ(next.pos(), place);
    EXPECT_EQ(next.RecentFilesList(), QStringList{file("golf.zef")});
}

TEST(LogFolderNote, numbering_error_names_the_folder_it_tried_and_how_to_choose_another) {
    test::SimPorts ports(sim::Simulator::Options{.blankIdentity = true});
    ControllerSession session{ports, Threading::Caller, 5ms};
    test::ScriptedPrompts prompts;
    QTemporaryDir scratch;
    const QString share = QDir(scratch.path()).filePath("line-share"); // not mounted
    const LogFolder folder = ResolveLogFolder(GatherLogFolderFacts(scratch.path(), share, {}));
    TForm1 form{session, prompts, folder.path};
    form.SetLogFolderNote(DescribeLogFolder(folder));
    form.ConnectToPort(1);
    ASSERT_EQ(prompts.messages.size(), 1);
    const QString said = prompts.messages.first();
    EXPECT_TRUE(said.contains(QDir::toNativeSeparators(share))) << text(said);
    EXPECT_TRUE(said.contains("--log-dir")) << text(said);
    EXPECT_FALSE(QFileInfo::exists(share));
}

// Answers the next modal file dialog once it is up.
void onFileDialog(std::function<void(QFileDialog&)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no file dialog";
            if (QWidget* other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        act(*box);
    });
}

void typeAndAccept(QFileDialog& box, const QString& name) {
    auto* edit = box.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(name);
    // A dialog that refuses the name says so in a box of its own: note it and close it.
    QTimer::singleShot(300, [&box] {
        if (auto* refusal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "the file dialog refused the name: " << text(refusal->text());
            refusal->close();
        }
        if (box.isVisible())
            box.reject();
    });
    QTest::keyClick(edit, Qt::Key_Return); // as the user confirms a typed name
}

TEST(QtFileDialogs, open_dialog_hands_an_unknown_name_to_the_program) {
    QTemporaryDir scratch;
    QSettings settings(QDir(scratch.path()).filePath("user.ini"), QSettings::IniFormat);
    QtPrompts prompts(nullptr, &settings);
    const QString filter = "Установки ZEF (*.zef)";
    QString startedIn;

    onFileDialog([&](QFileDialog& box) {
        startedIn = box.directory().absolutePath();
        box.setDirectory(scratch.path());
        typeAndAccept(box, "missing.zef");
    });
    EXPECT_EQ(prompts.OpenFileName(filter), QDir(scratch.path()).filePath("missing.zef"));
    EXPECT_EQ(startedIn, QDir::homePath()) << "nothing remembered yet";
    EXPECT_EQ(settings.value("dialogs/open.zef").toString(), scratch.path());

    // The next open dialog starts where the last one ended; the save dialog keeps its own.
    onFileDialog([&](QFileDialog& box) {
        startedIn = box.directory().absolutePath();
        box.reject();
    });
    EXPECT_EQ(prompts.OpenFileName(filter), std::nullopt);
    EXPECT_EQ(startedIn, scratch.path());
    onFileDialog([&](QFileDialog& box) {
        startedIn = box.directory().absolutePath();
        box.reject();
    });
    EXPECT_EQ(prompts.SaveFileName(filter), std::nullopt);
    EXPECT_EQ(startedIn, QDir::homePath());

    // Saving over a file asks nothing here: the program asks in its own words.
    touch(QDir(scratch.path()).filePath("car.zef"));
    onFileDialog([&](QFileDialog& box) {
        box.setDirectory(scratch.path());
        typeAndAccept(box, "car.zef");
    });
    EXPECT_EQ(prompts.SaveFileName(filter), QDir(scratch.path()).filePath("car.zef"));
    EXPECT_EQ(settings.value("dialogs/save.zef").toString(), scratch.path());
}

TEST(QtFileDialogs, folder_keys_follow_the_dialog_and_the_extension) {
    struct Case {
        const char *dialog, *filter, *key;
    };
    const Case cases[] = {
        {"open", "Установки ZEF (*.zef)", "dialogs/open.zef"},
        {"save", "Установки ZEF (*.zef)", "dialogs/save.zef"},
        {"open", "Архив (*.zip)", "dialogs/open.zip"},
        {"open", "Все файлы", "dialogs/open"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(QtPrompts::FolderKey(c.dialog, QString::fromUtf8(c.filter))), c.key);
}

// Last in this program: once installed, the translation stays for the rest of the run.
TEST(QtTranslations, qt_dialogs_and_buttons_speak_russian) {
    QMessageBox before(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(text(before.button(QMessageBox::Yes)->text()), "&Yes");

    ASSERT_TRUE(LoadQtTranslations(*qApp)) << "Debian: qt6-translations-l10n";
    QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(text(box.button(QMessageBox::Yes)->text()), "&Да");
    EXPECT_EQ(text(box.button(QMessageBox::No)->text()), "&Нет");

    QFileDialog dialog(nullptr, QString(), QDir::tempPath(), "Установки ZEF (*.zef)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
        auto* label = dialog.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        const QString t = label->text();
        EXPECT_TRUE(std::any_of(t.begin(), t.end(),
                                [](QChar c) { return c.script() == QChar::Script_Cyrillic; }))
            << name << ": " << text(t);
    }
}

// "Карта → Подбор по записи..." only with a controller and a recording the replay takes; once
// open, the menu brings the same dialog forward.
TEST_F(DesktopWindow, map_tuning_opens_on_a_session_and_a_readable_recording) {
    DatalogRow row{QDateTime(QDate(2026, 12, 8), QTime(9, 0)), 0, {}, {}};
    row.values.assign(DatalogChannels().size(), 0);
    touch(file("drive.csv"), DatalogHeaderLine() + DatalogRowLine(row));
    touch(file("bad.csv"), DatalogHeaderLine() + "1,2\n");
    const std::tuple<QString, QString, int> steps[] = {{"", "нет связи", 0},
                                                       {"", "", 0},
                                                       {file("bad.csv"), "строка 2", 0},
                                                       {file("drive.csv"), "", 1},
                                                       {"", "", 1}};
    for (const auto& [chosen, message, open] : steps) {
        prompts.messages.clear();
        prompts.files = {chosen};
        form.findChild<QAction*>("MapTuning")->trigger();
        EXPECT_TRUE(message.isEmpty() ? prompts.messages.isEmpty()
                                      : prompts.messages.join("").contains(message))
            << text(chosen);
        EXPECT_EQ(form.findChildren<TuningDialog*>().size(), open);
        form.ConnectToPort(1); // after the first: the rest on a session
    }
    EXPECT_EQ(form.Chart1()->Suggested()->count(), 8);
}

} // namespace
