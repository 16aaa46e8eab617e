#include "control_probe.h"

#include "controls/bound_value.h"
#include "controls/ext_edit.h"

#include <QDialog>
#include <QFocusEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <gtest/gtest.h>

#include <limits>

using namespace zef;
using namespace zef::test;

namespace {

constexpr ParamValue kNaN = std::numeric_limits<ParamValue>::quiet_NaN();

void expectShows(const TExtEdit& edit, ParamValue value) {
    EXPECT_EQ(edit.Value(), value);
    EXPECT_EQ(edit.text(), EditText(edit.ValueFormat(), value));
}

TEST(controls_edit, setter_limits_and_tells_only_of_a_visible_change) {
    struct Case {
        const char* what;
        ParamValue min, max;
        const char* pattern;
        ParamValue start, x, expected;
        bool raises;
    };
    const Case cases[] = {
        {"within the limits", -1, 1, "#####0.00", 0, 0.5L, 0.5L, true},
        {"above the upper limit", 1000, 4000, "#####0 Об/мин", 2000, 5000, 4000, true},
        {"below the lower limit", 1000, 4000, "#####0 Об/мин", 2000, 10, 1000, true},
        {"lower limit above the upper", 5, 1, "#####0.00", 0, -3, 5, false},
        {"not a number", -1, 1, "#####0.00", 0, kNaN, 1, true},
        {"too small to show", 0, 5, "#####0.00 Volt", 4.501L, 4.504L, 4.504L, false},
        {"the value already shown", 0, 5, "#####0.00 Volt", 4.5L, 4.5L, 4.5L, false},
        {"up against the limit", 0, 5, "#####0.00 Volt", 5, 5.05L, 5, false},
        {"snapped to zero", -1, 1, "#0.000000000000", 0.5L, 1e-11L, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget window;
        auto* edit = new TExtEdit(&window);
        ShowWindow(window);
        edit->SetValueFormat(QString::fromUtf8(c.pattern));
        edit->SetValueMin(c.min);
        edit->SetValueMax(c.max);
        edit->SetValue(c.start);
        const ParamValue start = edit->Value();
        ChangeLog log;
        edit->onChangeValue = log.Handler();

        edit->SetValue(c.x);

        expectShows(*edit, c.expected);
        ASSERT_EQ(log.changes.size(), c.raises ? 1u : 0u);
        if (c.raises) {
            EXPECT_EQ(log.changes[0].sender, edit);
            EXPECT_EQ(log.changes[0].oldValue, start);
            EXPECT_EQ(log.changes[0].newValue, c.expected);
        }
    }
}

// The owner writes the controller on onChangeValue: a control the user cannot see or use must
// change silently, whichever property moved its value.
TEST(controls_edit, tells_only_while_showing_and_enabled_itself) {
    enum class Where { Shown, Disabled, HiddenTabPage, InDisabledGroup, WindowNotShown };
    struct State {
        const char* what;
        Where where;
        bool raises;
    };
    const State states[] = {
        {"shown and enabled", Where::Shown, true},
        {"disabled", Where::Disabled, false},
        {"on a tab page not shown", Where::HiddenTabPage, false},
        {"in a disabled group, enabled itself", Where::InDisabledGroup, true},
        {"window not shown yet", Where::WindowNotShown, false},
    };
    struct Trigger {
        const char* what;
        void (*apply)(TExtEdit&);
        ParamValue expected;
    };
    const Trigger triggers[] = {
        {"Value", [](TExtEdit& e) { e.SetValue(0.5L); }, 0.5L},
        {"ValueMin above the value", [](TExtEdit& e) { e.SetValueMin(0.5L); }, 0.5L},
        {"ValueMax below the value", [](TExtEdit& e) { e.SetValueMax(-0.5L); }, -0.5L},
    };
    for (const auto& state : states) {
        for (const auto& trigger : triggers) {
            SCOPED_TRACE(std::string(state.what) + ", " + trigger.what);
            QWidget window;
            auto* tabs = new QTabWidget(&window);
            auto* shownPage = new QGroupBox;
            auto* otherPage = new QWidget;
            tabs->addTab(shownPage, "shown");
            tabs->addTab(otherPage, "other");
            auto* edit = new TExtEdit(state.where == Where::HiddenTabPage ? otherPage : shownPage);
            if (state.where == Where::Disabled)
                edit->setEnabled(false);
            if (state.where == Where::InDisabledGroup)
                shownPage->setEnabled(false);
            if (state.where != Where::WindowNotShown)
                ShowWindow(window);
            ChangeLog log;
            edit->onChangeValue = log.Handler();

            trigger.apply(*edit);

            expectShows(*edit, trigger.expected);
            EXPECT_EQ(log.changes.size(), state.raises ? 1u : 0u);
        }
    }
}

// The window description applies ValueMin before ValueMax: with the default upper limit of 1
// still in place, the lower limit must win, and the later ValueMax must leave it there.
TEST(controls_edit, creation_order_of_the_description) {
    QWidget window;
    auto* edit = new TSpinExtEdit(&window);
    ChangeLog log;
    edit->onChangeValue = log.Handler();
    edit->SetValueFormat(QString::fromUtf8("#####0 Об/мин"));
    edit->SetValueMin(1000);
    EXPECT_EQ(edit->Value(), 1000);
    edit->SetValueMax(4000);
    expectShows(*edit, 1000);
    edit->SetValue(1500);
    edit->SetValueStep(100);
    ShowWindow(window);
    expectShows(*edit, 1500);
    EXPECT_TRUE(log.changes.empty()) << "nothing is told while the window is being made";
}

struct TypedCase {
    const char* text;
    ParamValue min, max, start, expected;
};

std::vector<TypedCase> typedCases() {
    return {
        {" 4.50 Volt", 0.0001L, 5, 4.5L, 4.5L}, {"3.3", 0.0001L, 5, 4.5L, 3.3L},
        {"abc", 0.0001L, 5, 4.5L, 4.5L},        {"1,5", 0.0001L, 5, 4.5L, 1.5L},
        {"1e-3", 0.0001L, 5, 4.5L, 0.001L},     {"2 3", 0.0001L, 5, 4.5L, 2},
        {"V 3.3", 0.0001L, 5, 4.5L, 3.3L},      {".", 0.0001L, 5, 4.5L, 0.0001L},
        {"-", 0.0001L, 5, 4.5L, 4.5L},          {"1.2.3", 0.0001L, 5, 4.5L, 4.5L},
        {"1,2.3", 0.0001L, 5, 4.5L, 4.5L},      {"1e3", 0.0001L, 5, 4.5L, 5},
        {"5000", 1000, 4000, 2000, 4000},       {"10", 1000, 4000, 2000, 1000},
    };
}

TEST(controls_edit, enter_commits_the_typed_text) {
    for (const auto& c : typedCases()) {
        SCOPED_TRACE(c.text);
        QWidget window;
        auto* edit = new TExtEdit(&window);
        ShowWindow(window);
        edit->SetValueFormat("#####0.00 Volt");
        edit->SetValueMin(c.min);
        edit->SetValueMax(c.max);
        edit->SetValue(c.start);
        ChangeLog log;
        edit->onChangeValue = log.Handler();

        edit->selectAll();
        QTest::keyClicks(edit, c.text);
        ASSERT_TRUE(edit->isModified());
        QTest::keyClick(edit, Qt::Key_Return);

        expectShows(*edit, c.expected);
        EXPECT_FALSE(edit->isModified());
        const bool textChanged = EditText("#####0.00 Volt", c.start) != edit->text();
        ASSERT_EQ(log.changes.size(), textChanged ? 1u : 0u);
        if (textChanged) {
            EXPECT_EQ(log.changes[0].oldValue, c.start);
            EXPECT_EQ(log.changes[0].newValue, c.expected);
        }
    }
}

// Enter belongs to the box: it must not also press the dialog's default button.
TEST(controls_edit, enter_goes_no_further_than_the_box) {
    QDialog dialog;
    auto* edit = new TExtEdit(&dialog);
    auto* ok = new QPushButton("OK", &dialog);
    ok->move(0, 40);
    ok->setDefault(true);
    bool pressed = false;
    QObject::connect(ok, &QPushButton::clicked, [&] { pressed = true; });
    ShowWindow(dialog);
    edit->selectAll();
    QTest::keyClicks(edit, "0.25");
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(edit->Value(), 0.25L);
    EXPECT_FALSE(pressed);
    EXPECT_TRUE(dialog.isVisible());
}

TEST(controls_edit, leaving_the_box_commits_it) {
    QWidget window;
    auto* first = new TExtEdit(&window);
    auto* second = new TExtEdit(&window);
    second->move(0, 40);
    ShowWindow(window);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ChangeLog log;
    first->onChangeValue = log.Handler();

    first->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(first, "0.75");
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(second->hasFocus());
    expectShows(*first, 0.75L);
    ASSERT_EQ(log.changes.size(), 1u);

    // Passing through without typing commits nothing: a value outside the limits, as the
    // controller may hold it, stays as read instead of being cut to the limit and written.
    first->SetValueMin(1);
    first->SetValueMax(2);
    first->onInit = [](QWidget*, std::int32_t, std::int32_t, ParamValue& v) { v = 6; };
    first->InitOne();
    log.changes.clear();
    first->setFocus(Qt::TabFocusReason);
    second->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(first->Value(), 6);
    EXPECT_TRUE(log.changes.empty());
    first->SetValueMin(-1);
    first->SetValueMax(1);
    first->SetValue(0.5L);

    // Switching to another window does not leave the box.
    first->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(first, "0.1");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(first, &away);
    EXPECT_EQ(first->Value(), 0.5L);
    EXPECT_TRUE(first->isModified());
}

TEST(controls_edit, init_shows_the_answer_as_it_stands) {
    QWidget window;
    auto* edit = new TSpinExtEdit(&window);
    edit->setEnabled(false);
    ShowWindow(window);
    edit->SetValueMin(1);
    edit->SetValueMax(2);
    edit->SetQueryCod(7);
    edit->SetValueAdr(72);
    ChangeLog log;
    edit->onChangeValue = log.Handler();

    // Without a handler, initialising only enables.
    edit->InitOne();
    EXPECT_TRUE(edit->isEnabled());
    expectShows(*edit, 1);

    std::int32_t code = 0;
    std::int32_t address = 0;
    ParamValue offered = 0;
    edit->onInit = [&](QWidget* sender, std::int32_t q, std::int32_t a, ParamValue& value) {
        EXPECT_EQ(sender, edit);
        code = q;
        address = a;
        offered = value;
        value = 6;
        edit->SetValueFormat("#0.0 V"); // a handler may switch the unit word
    };
    edit->setEnabled(false);
    edit->InitOne();
    EXPECT_TRUE(edit->isEnabled());
    EXPECT_EQ(code, 7);
    EXPECT_EQ(address, 72);
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(edit->text(), " 6.0 V");
    EXPECT_EQ(edit->Value(), 6) << "the controller's value is shown outside the limits";
    EXPECT_TRUE(log.changes.empty());
}

// A value from the controller outside the limits is pulled in by the first step either way,
// and the owner hears of it.
TEST(controls_edit, first_step_after_init_brings_the_value_within_the_limits) {
    for (bool up : {true, false}) {
        SCOPED_TRACE(up ? "up" : "down");
        QWidget window;
        auto* edit = new TSpinExtEdit(&window);
        ShowWindow(window);
        edit->SetValueMin(1);
        edit->SetValueMax(2);
        edit->onInit = [](QWidget*, std::int32_t, std::int32_t, ParamValue& value) { value = 6; };
        ChangeLog log;
        edit->onChangeValue = log.Handler();
        edit->InitOne();
        up ? edit->StepUp() : edit->StepDown();
        expectShows(*edit, 2);
        ASSERT_EQ(log.changes.size(), 1u);
        EXPECT_EQ(log.changes[0].oldValue, 6);
        EXPECT_EQ(log.changes[0].newValue, 2);
    }
}

TEST(controls_edit, pass_parks_at_zero_within_the_limits_silently) {
    struct Case {
        const char* pattern;
        ParamValue min, start, expected;
        const char* text;
    };
    const Case cases[] = {
        {"#####0.00 Volt", 0.0001L, 3.3L, 0.0001L, " 0.00 Volt"},
        {"#####0 Об/мин", 1000, 2500, 1000, " 1000 Об/мин"},
        {"#####0.00", -1, 0.7L, 0, " 0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        QWidget window;
        auto* edit = new TSpinExtEdit(&window);
        ShowWindow(window);
        edit->SetValueFormat(QString::fromUtf8(c.pattern));
        edit->SetValueMax(5000);
        edit->SetValueMin(c.min);
        edit->SetValue(c.start);
        ChangeLog log;
        edit->onChangeValue = log.Handler();
        edit->PassOne();
        EXPECT_FALSE(edit->isEnabled());
        EXPECT_EQ(edit->Value(), c.expected);
        EXPECT_EQ(edit->text(), QString::fromUtf8(c.text));
        EXPECT_TRUE(log.changes.empty());
    }
}

TEST(controls_edit, three_steps_up_and_down_from_zero_end_at_exactly_zero) {
    QWidget window;
    auto* edit = new TSpinExtEdit(&window);
    ShowWindow(window);
    ChangeLog log;
    edit->onChangeValue = log.Handler();
    for (int i = 0; i < 3; ++i)
        edit->StepUp();
    for (int i = 0; i < 3; ++i)
        edit->StepDown();
    expectShows(*edit, 0);
    ASSERT_EQ(log.changes.size(), 6u);
    EXPECT_EQ(log.changes.back().newValue, 0);
}

TEST(controls_edit, step_reads_typed_text_first) {
    struct Case {
        const char* what;
        bool typed;
        ParamValue expected;
        size_t changes;
    };
    const Case cases[] = {
        {"typed text", true, 0.6L, 2},              // commit to 0.5, then the step
        {"text the program wrote", false, 0.1L, 1}, // the held value steps
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget window;
        auto* edit = new TSpinExtEdit(&window);
        ShowWindow(window);
        ChangeLog log;
        edit->onChangeValue = log.Handler();
        edit->selectAll();
        if (c.typed)
            QTest::keyClicks(edit, "0.5");
        else
            edit->setText(" 0.50");
        edit->StepUp();
        EXPECT_NEAR(static_cast<double>(edit->Value()), static_cast<double>(c.expected), 1e-12);
        EXPECT_EQ(edit->text(), EditText(edit->ValueFormat(), c.expected));
        EXPECT_EQ(log.changes.size(), c.changes);
    }
}

TEST(controls_edit, font_and_spin_button_follow_the_bounds) {
    for (int height : {25, 21, 33, 40}) {
        SCOPED_TRACE(height);
        QWidget window;
        auto* edit = new TSpinExtEdit(&window);
        edit->SetBounds(QRect(10, 10, 120, height));
        ShowWindow(window);
        EXPECT_EQ(edit->font().pointSize(), *FontPointsForHeight(height));
        const QRect button = LayOutSpinButton(120, height);
        EXPECT_EQ(edit->SpinButton()->geometry(), button);
        const SpinHalves halves = SplitSpinButton(button.size());
        EXPECT_EQ(edit->SpinButton()->UpButton()->geometry(), halves.up);
        EXPECT_EQ(edit->SpinButton()->DownButton()->geometry(), halves.down);
    }
}

// The window description sets the bounds before the font: the described font must survive the
// control being shown, and give way only when the height changes again.
TEST(controls_edit, described_font_stays_until_the_height_changes) {
    QWidget window;
    auto* edit = new TSpinExtEdit(&window);
    edit->SetBounds(QRect(10, 10, 120, 21));
    QFont described = edit->font();
    described.setPointSize(10);
    edit->setFont(described);
    ShowWindow(window);
    EXPECT_EQ(edit->font().pointSize(), 10);
    edit->resize(120, 30);
    QApplication::processEvents();
    EXPECT_EQ(edit->font().pointSize(), 20);
    edit->SetBounds(QRect(10, 10, 120, 30));
    EXPECT_EQ(edit->font().pointSize(), 20);
    EXPECT_EQ(edit->sizeHint(), QSize(120, 30));
}

} // namespace
