#include "control_probe.h"
#include "fake_clock.h"

#include "controls/ext_edit.h"

#include <QElapsedTimer>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace zef;
using namespace zef::test;

namespace {

struct SpinWindow {
    explicit SpinWindow(std::unique_ptr<TickTimer> timer = {}) {
        edit = new TSpinExtEdit(&window, std::move(timer));
        edit->SetBounds(QRect(10, 10, 120, 25));
        edit->SetValueMin(-1000);
        edit->SetValueMax(1000);
        edit->SetValueStep(1);
        edit->onChangeValue = log.Handler();
        ShowWindow(window);
    }

    QWidget window;
    TSpinExtEdit* edit;
    ChangeLog log;
};

// Held down, a half steps on its timer from 400 ms after the press and then every 100 ms, and
// once more when it is let go over the half.
TEST(controls_spin, held_half_repeats_after_400_then_every_100_ms) {
    struct Case {
        long long heldMs;
        int steps;
    };
    const Case cases[] = {{0, 1}, {399, 1}, {400, 2}, {499, 2}, {500, 3}, {750, 5}, {1000, 8}};
    for (bool up : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE((up ? "up, held " : "down, held ") + std::to_string(c.heldMs));
            FakeClock clock;
            SpinWindow w(clock.MakeTimer());
            QToolButton* half =
                up ? w.edit->SpinButton()->UpButton() : w.edit->SpinButton()->DownButton();
            QTest::mousePress(half, Qt::LeftButton);
            clock.Advance(c.heldMs);
            QTest::mouseRelease(half, Qt::LeftButton);
            clock.Advance(1000); // nothing more once let go
            EXPECT_EQ(w.edit->Value(), up ? c.steps : -c.steps);
            EXPECT_EQ(w.log.changes.size(), static_cast<size_t>(c.steps));
        }
    }
}

TEST(controls_spin, dragged_off_half_pauses_and_does_not_click) {
    FakeClock clock;
    SpinWindow w(clock.MakeTimer());
    QToolButton* up = w.edit->SpinButton()->UpButton();
    QTest::mousePress(up, Qt::LeftButton);
    clock.Advance(450); // one repeat
    QMouseEvent off(QEvent::MouseMove, QPointF(-20, -20), up->mapToGlobal(QPointF(-20, -20)),
                    Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(up, &off);
    clock.Advance(1000);
    QTest::mouseRelease(up, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_EQ(w.edit->Value(), 1);
}

// One check on the real event loop, with Qt's own timer.
TEST(controls_spin, held_half_repeats_on_the_event_loop) {
    SpinWindow w;
    QElapsedTimer clock;
    std::vector<qint64> at;
    w.edit->onChangeValue = [&](QWidget*, ParamValue, ParamValue) {
        at.push_back(clock.elapsed());
    };
    QToolButton* up = w.edit->SpinButton()->UpButton();
    clock.start();
    QTest::mousePress(up, Qt::LeftButton);
    QTest::qWait(780);
    QTest::mouseRelease(up, Qt::LeftButton);
    ASSERT_GE(at.size(), 3u) << "at least two repeats and the click on release";
    // A periodic timer keeps to its schedule, so one late tick makes the next gap shorter;
    // the schedule itself must never be ahead.
    for (size_t i = 0; i + 1 < at.size(); ++i)
        EXPECT_GE(at[i], 400 + 100 * static_cast<qint64>(i) - 2) << "repeat " << i;
}

TEST(controls_spin, arrow_keys_do_not_step) {
    SpinWindow w;
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right}) {
        QTest::keyClick(w.edit, key);
        EXPECT_EQ(w.edit->Value(), 0) << "key " << key;
    }
    EXPECT_TRUE(w.log.changes.empty());
}

// The box that had the focus commits its text before the spin edit steps, and the spin edit's
// own text is selected so that typing replaces it.
TEST(controls_spin, pressing_the_spin_button_takes_the_focus) {
    FakeClock clock;
    SpinWindow w(clock.MakeTimer());
    auto* other = new TExtEdit(&w.window);
    other->move(10, 50);
    other->show();
    w.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    ChangeLog otherLog;
    other->onChangeValue = otherLog.Handler();
    other->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(other, "0.5");

    QTest::mousePress(w.edit->SpinButton()->UpButton(), Qt::LeftButton);
    EXPECT_TRUE(w.edit->hasFocus());
    EXPECT_FALSE(w.edit->SpinButton()->UpButton()->hasFocus());
    EXPECT_EQ(w.edit->selectedText(), w.edit->text());
    ASSERT_EQ(otherLog.changes.size(), 1u);
    EXPECT_TRUE(w.log.changes.empty()) << "the other box commits before any step";
    QTest::mouseRelease(w.edit->SpinButton()->UpButton(), Qt::LeftButton);
    EXPECT_EQ(w.edit->Value(), 1);
    EXPECT_EQ(w.edit->selectedText(), w.edit->text()) << "still replaced by typing";
}

TEST(controls_spin, focus_selects_the_text_except_by_a_click_inside) {
    SpinWindow w;
    auto* other = new TExtEdit(&w.window);
    other->move(10, 50);
    other->show();
    w.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));

    other->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(other, Qt::Key_Tab);
    ASSERT_TRUE(w.edit->hasFocus());
    EXPECT_EQ(w.edit->selectedText(), w.edit->text());

    other->setFocus(Qt::OtherFocusReason);
    QTest::mouseClick(w.edit, Qt::LeftButton, {}, QPoint(30, 12));
    ASSERT_TRUE(w.edit->hasFocus());
    EXPECT_FALSE(w.edit->hasSelectedText());
}

} // namespace
