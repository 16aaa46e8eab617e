// The window's words and keys: messages, numbering, the empty trend, the menu keys.

#include "app/main_window.h"
#include "app/status_bar.h"
#include "datalog/trend_window.h"
#include "session/controller_session.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

class Words : public ::testing::Test {
protected:
    explicit Words(bool blank = false) : ports(sim::Simulator::Options{.blankIdentity = blank}) {
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    WholeWordStatusBar& bar() { return *qobject_cast<WholeWordStatusBar*>(form.statusBar()); }

    test::SimPorts ports;
    ControllerSession session{ports, Threading::Caller, 5ms};
    test::ScriptedPrompts prompts;
    QTemporaryDir logDir;
    TForm1 form{session, prompts, logDir.path(), [] { return QDate(2026, 12, 8); }};
};

class BlankController : public Words {
protected:
    BlankController() : Words(true) {}
};

TEST_F(Words, the_journal_keeps_every_message_whole_while_the_bar_cuts_at_a_word) {
    const QStringList messages{
        QString("Снимок калибровки сохранён в архиве ").repeated(4).trimmed(),
        "Связь восстановлена",
    };
    for (const QString& message : messages) {
        form.statusBar()->showMessage(message);
        const QString shown = bar().ShownMessage();
        EXPECT_TRUE(shown == message || message.startsWith(shown.chopped(2) + ' '))
            << shown.toStdString();
    }
    EXPECT_NE(bar().ShownMessage(), messages[0]) << "the first message is to need cutting";
    MessageJournal* journal = form.ShowMessageJournal();
    ASSERT_EQ(journal->count(), messages.size());
    for (int row = 0; row < journal->count(); ++row)
        EXPECT_TRUE(journal->item(row)->text().endsWith(' ' + messages[row])) << row;
    // One that comes while the journal is open lands last.
    form.statusBar()->showMessage("Запись остановлена");
    ASSERT_EQ(journal->count(), messages.size() + 1);
    QTest::keyClick(journal, Qt::Key_C, Qt::ControlModifier);
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), journal->count());
    EXPECT_TRUE(copied.back().endsWith(" Запись остановлена"));
}

TEST_F(BlankController, numbered_at_connection_says_so_in_the_status_bar) {
    form.ConnectToPort(1);
    ASSERT_TRUE(form.SerialNumber().has_value());
    const QString said = "Контроллер пронумерован: " + form.SerialNumber()->trimmed();
    EXPECT_TRUE(bar().currentMessage().startsWith(said)) << bar().currentMessage().toStdString();
    // Connected again, the controller holds its number: nothing to say.
    form.Close_COMClick();
    bar().clearMessage();
    form.ConnectToPort(1);
    EXPECT_FALSE(bar().currentMessage().contains("пронумерован"))
        << bar().currentMessage().toStdString();
}

TEST_F(Words, the_empty_trend_says_what_to_do_until_there_is_something_to_plot) {
    struct Case {
        bool connect;
        bool note;
    };
    for (const Case c : {Case{false, true}, Case{true, false}}) {
        if (c.connect)
            form.ConnectToPort(1);
        form.ShowTrend();
        TrendWindow* trend = form.Trend();
        ASSERT_NE(trend, nullptr);
        EXPECT_EQ(trend->Note()->isVisible(), c.note) << c.connect;
        EXPECT_EQ(trend->PauseButton()->isVisible(), !c.note) << c.connect;
        if (c.note) {
            EXPECT_TRUE(trend->Note()->text().contains("«Открыть запись...»"));
        }
    }
}

// As xcb delivers them with a Russian layout: the key's letter differs, its scan code not.
TEST_F(Words, f10_and_alt_with_the_f_key_open_the_file_menu_under_a_russian_layout) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        quint32 scanCode;
        QString text;
        bool opens;
    };
    const Case cases[] = {
        {Qt::Key_F10, Qt::NoModifier, 76, {}, true},
        {0x0410 /* А */, Qt::AltModifier, 41, "а", true},
        {Qt::Key_F, Qt::AltModifier, 41, "f", true},
        // The layout's own mnemonic still works; another letter opens nothing.
        {0x0424 /* Ф, where A is */, Qt::AltModifier, 38, "ф", true},
        {0x042B /* Ы, where S is */, Qt::AltModifier, 39, "ы", false},
        {Qt::Key_F10, Qt::ShiftModifier, 76, {}, false},
    };
    auto* file = form.findChild<QMenu*>("N1");
    ASSERT_NE(file, nullptr);
    for (const Case& c : cases) {
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers, c.scanCode, 0, 0, c.text);
        QApplication::sendEvent(form.centralWidget(), &press);
        EXPECT_EQ(file->isVisible(), c.opens) << c.scanCode << ' ' << c.text.toStdString();
        file->hide();
    }
}

} // namespace
