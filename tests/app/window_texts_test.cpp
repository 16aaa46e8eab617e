// Every text of the window and its dialogs must be readable whole, with the fonts the install
// script installs and with the widest values the controls can be asked to show.

#include "app/main_window.h"
#include "controls/ext_edit.h"
#include "controls/ext_text.h"
#include "dialogs/about_box.h"
#include "dialogs/serial_dialog.h"
#include "params/catalogue.h"
#include "session/controller_session.h"
#include "support/clipped_text.h"
#include "support/scripted_prompts.h"
#include "support/sim_ports.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;
using namespace std::chrono_literals;

namespace {

std::string report(const test::ClippedTexts& walk) {
    std::string out;
    for (const auto& f : walk.Faults())
        out += "\n  " + f;
    return out;
}

// What each control shows for one register word: edits show the controller's value as read,
// even outside their limits.
void showWord(TForm1& form, std::uint16_t word) {
    for (const EditRow& row : EditRows()) {
        TSpinExtEdit* edit = form.SpinEdit(ToQString(row.control));
        const ParamValue value = ShownFromRaw(row.conversion, word);
        auto saved = edit->onInit;
        edit->onInit = [value](QWidget*, std::int32_t, std::int32_t, ParamValue& v) { v = value; };
        edit->InitOne();
        edit->onInit = saved;
    }
    for (const ReadoutRow& row : ReadoutRows())
        form.ReadOut(ToQString(row.control))->SetValue(ShownFromRaw(row.conversion, word));
}

void showLimit(TForm1& form, bool max) {
    for (const EditRow& row : EditRows())
        form.SpinEdit(ToQString(row.control))->SetValue(max ? row.ValueMax : row.ValueMin);
}

class WindowTexts : public test::WindowFixture {
protected:
    void SetUp() override {
        // The service panels are part of the window once a fitter has shown them.
        form.resize(820, 560);
        WindowFixture::SetUp();
        form.ConnectToPort(1);
        ASSERT_TRUE(form.Connected());
        form.Timer1().stop();
        form.Panel1->show();
        form.Panel2->show();
    }
};

TEST_F(WindowTexts, are_laid_out_for_the_installed_font) {
    // Without it every width below would be judged for a stand-in.
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(form.StaticText1->font()).family(), "Liberation Mono");
}

TEST_F(WindowTexts, every_caption_and_value_fits_its_room_on_every_page) {
    test::ClippedTexts walk;
    walk.WalkEveryPage(&form);
    for (const bool max : {false, true}) {
        showLimit(form, max);
        walk.WalkEveryPage(&form);
    }
    // The controller's words at both ends, converted: the widest read-out texts.
    for (const std::uint16_t word : {std::uint16_t{0}, std::uint16_t{0xFFFF}}) {
        showWord(form, word);
        walk.WalkEveryPage(&form);
    }
    // The longest status line and operating counter.
    form.StaticText2->setText("Ручная подстройка  -102.40 %");
    form.StaticText4->setText("655350000 ");
    walk.WalkEveryPage(&form);
    EXPECT_GT(walk.Checked(), 100);
    EXPECT_TRUE(walk.Faults().empty()) << report(walk);
}

TEST_F(WindowTexts, every_start_mode_caption_fits_its_group) {
    test::ClippedTexts walk;
    auto* startMode = form.Control<QComboBox>("ComboBox3");
    for (int item = 0; item < startMode->count(); ++item) {
        startMode->setCurrentIndex(item);
        emit startMode->activated(item); // as the user's pick: sets the group's caption
        walk.WalkEveryPage(&form);
    }
    EXPECT_TRUE(walk.Faults().empty()) << report(walk);
}

TEST(DialogTexts, serial_number_dialog_and_about_box_fit_their_texts) {
    TForm2 serial({.currentSerial = [] { return QString(24, QChar(u'Ж')); },
                   .writeSerial = {},
                   .acceptsCharacter = {}},
                  "07.12.26");
    serial.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&serial));
    TForm3 about;
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    test::ClippedTexts walk;
    walk.Walk(&serial);
    serial.Label1()->setText("00.00.00");
    walk.Walk(&serial);
    walk.Walk(&about);
    EXPECT_GT(walk.Checked(), 4);
    EXPECT_TRUE(walk.Faults().empty()) << report(walk);
}

} // namespace
