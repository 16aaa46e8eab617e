#include "control_probe.h"
#include "fake_clock.h"

#include "controls/bound_value.h"
#include "controls/ext_text.h"

#include <QElapsedTimer>
#include <QTabWidget>
#include <QThread>

#include <gtest/gtest.h>

using namespace zef;
using namespace zef::test;

namespace {

TEST(controls_readout, text_with_and_without_caption) {
    struct Case {
        const char* caption;
        const char* pattern;
        ParamValue min, max, value;
        const char* text;
    };
    const Case cases[] = {
        {"Напряжение датчика", "#####0.00 Вольт", -1, 1, 0.456L, " Напряжение датчика 0.46 Вольт "},
        {"", "##0 град.. С", -1, 1, 60, "  60 град С "},
        {"", "#####0.00 ", -1, 1, 0, "  0.00  "},
        // Limits are only kept: nothing stops a value beyond them.
        {"", "###0 Об/мин", -1, 100000, 120000, "  120000 Об/мин "},
        {"", "##0 град С", -1, 1, -273, "  -273 град С "},
        {"Исходное", "#0.00 mS", -1, 1, 3.5L, " Исходное 3.50 mS "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        TExtText readout;
        readout.SetValueCaption(QString::fromUtf8(c.caption));
        readout.SetValueFormat(QString::fromUtf8(c.pattern));
        readout.SetValueMin(c.min);
        readout.SetValueMax(c.max);
        readout.SetValue(c.value);
        EXPECT_EQ(readout.Value(), c.value);
        EXPECT_EQ(readout.text(), QString::fromUtf8(c.text));
    }
}

TEST(controls_readout, markup_in_a_caption_is_shown_as_written) {
    TExtText readout;
    readout.SetValueCaption("<b>x</b>");
    EXPECT_EQ(readout.textFormat(), Qt::PlainText);
    EXPECT_EQ(readout.text(), " <b>x</b> 0.00  ");
}

TEST(controls_readout, tells_of_a_changed_text_only_while_showing_and_enabled) {
    struct Case {
        const char* what;
        bool enabled;
        ParamValue x;
        bool raises;
    };
    const Case cases[] = {
        {"changed text", true, 0.5L, true},
        {"same text", true, 0.001L, false},
        {"disabled", false, 0.5L, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget window;
        auto* readout = new TExtText(&window);
        readout->setEnabled(c.enabled);
        ShowWindow(window);
        ChangeLog log;
        readout->onChangeValue = log.Handler();
        readout->SetValue(c.x);
        EXPECT_EQ(readout->text(), ReadoutText({}, "#####0.00 ", c.x));
        ASSERT_EQ(log.changes.size(), c.raises ? 1u : 0u);
        if (c.raises) {
            EXPECT_EQ(log.changes[0].oldValue, 0);
            EXPECT_EQ(log.changes[0].newValue, c.x);
        }
    }
}

// A read-out on the window, ticking on a hand-run clock.
struct ReadoutWindow {
    explicit ReadoutWindow(FakeClock& clock, bool onOtherPage = false) {
        tabs = new QTabWidget(&window);
        shownPage = new QWidget;
        otherPage = new QWidget;
        tabs->addTab(shownPage, "shown");
        tabs->addTab(otherPage, "other");
        readout = new TExtText(onOtherPage ? otherPage : shownPage, clock.MakeTimer());
    }

    void Count(FakeClock& clock, long long queryMs = 0) {
        readout->onQuery = [this, &clock, queryMs](QWidget* sender, std::int32_t, std::int32_t,
                                                   ParamValue& value) {
            EXPECT_EQ(sender, readout);
            starts.push_back(clock.Now());
            clock.Busy(queryMs);
            value += 1;
        };
    }

    QWidget window;
    QTabWidget* tabs;
    QWidget* shownPage;
    QWidget* otherPage;
    TExtText* readout;
    std::vector<long long> starts;
};

// The timer is off while the owner queries, so the next query comes a full interval after the
// previous one ended, and slow queries never pile up.
TEST(controls_readout, next_query_comes_an_interval_after_the_last_one_ended) {
    struct Case {
        int interval;
        long long queryMs;
    };
    const Case cases[] = {{500, 300}, {400, 0}, {500, 700}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.interval) + " ms interval, " + std::to_string(c.queryMs) +
                     " ms query");
        FakeClock clock;
        ReadoutWindow w(clock);
        w.Count(clock, c.queryMs);
        w.readout->SetQueryInterval(c.interval);
        w.readout->SetAutoQuery(true);
        ShowWindow(w.window);
        clock.Advance(5 * (c.interval + c.queryMs));
        ASSERT_GE(w.starts.size(), 4u);
        EXPECT_EQ(w.starts[0], c.interval);
        for (size_t i = 1; i < w.starts.size(); ++i)
            EXPECT_EQ(w.starts[i] - w.starts[i - 1], c.interval + c.queryMs) << "query " << i;
        EXPECT_EQ(w.readout->Value(), static_cast<ParamValue>(w.starts.size()));
    }
}

TEST(controls_readout, queries_only_while_enabled_and_showing) {
    enum class Where { Shown, Disabled, HiddenTabPage, NoHandler, AutoQueryOff };
    struct Case {
        const char* what;
        Where where;
        size_t queries;
    };
    const Case cases[] = {
        {"shown and enabled", Where::Shown, 5},
        {"disabled", Where::Disabled, 0},
        {"on a tab page not shown", Where::HiddenTabPage, 0},
        {"without a handler", Where::NoHandler, 0},
        {"AutoQuery off", Where::AutoQueryOff, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeClock clock;
        ReadoutWindow w(clock, c.where == Where::HiddenTabPage);
        if (c.where != Where::NoHandler)
            w.Count(clock);
        if (c.where == Where::Disabled)
            w.readout->setEnabled(false);
        w.readout->SetQueryInterval(200);
        w.readout->SetAutoQuery(c.where != Where::AutoQueryOff);
        ShowWindow(w.window);
        clock.Advance(1000);
        EXPECT_EQ(w.starts.size(), c.queries);
        EXPECT_EQ(w.readout->QueryTimer().IsActive(), c.where != Where::AutoQueryOff)
            << "the timer keeps running; only its ticks do nothing";
    }
}

// InitOne queries even a read-out that is not showing; its own ticks resume once it is shown.
TEST(controls_readout, init_queries_once_even_on_a_hidden_page) {
    FakeClock clock;
    ReadoutWindow w(clock, true);
    w.readout->setEnabled(false);
    w.Count(clock);
    w.readout->SetQueryInterval(500);
    w.readout->SetAutoQuery(true);
    ShowWindow(w.window);

    w.readout->InitOne();
    EXPECT_TRUE(w.readout->isEnabled());
    EXPECT_EQ(w.starts.size(), 1u);
    EXPECT_EQ(w.readout->Value(), 1);
    clock.Advance(5000);
    EXPECT_EQ(w.starts.size(), 1u);

    w.tabs->setCurrentWidget(w.otherPage);
    clock.Advance(500);
    EXPECT_EQ(w.starts.size(), 2u) << "the next tick after the page is shown queries";
}

TEST(controls_readout, init_without_a_handler_only_enables_and_shows) {
    TExtText readout;
    readout.setEnabled(false);
    readout.SetValue(7);
    readout.InitOne();
    EXPECT_TRUE(readout.isEnabled());
    EXPECT_EQ(readout.text(), "  7.00  ");
}

TEST(controls_readout, query_answer_goes_through_the_setter) {
    FakeClock clock;
    ReadoutWindow w(clock);
    w.readout->SetQueryCod(3);
    w.readout->SetValueAdr(88);
    ChangeLog log;
    w.readout->onChangeValue = log.Handler();
    w.readout->onQuery = [](QWidget*, std::int32_t code, std::int32_t address, ParamValue& v) {
        v = code * 1000 + address;
    };
    w.readout->SetQueryInterval(100);
    w.readout->SetAutoQuery(true);
    ShowWindow(w.window);
    clock.Advance(100);
    EXPECT_EQ(w.readout->Value(), 3088);
    ASSERT_EQ(log.changes.size(), 1u);
    EXPECT_EQ(log.changes[0].newValue, 3088);
    clock.Advance(100);
    EXPECT_EQ(log.changes.size(), 1u) << "the same answer changes nothing";
}

TEST(controls_readout, pass_shows_zero_greyed_without_telling) {
    QWidget window;
    auto* readout = new TExtText(&window);
    readout->SetValueFormat(QString::fromUtf8("###0 Об/мин"));
    readout->SetValueMax(100000);
    readout->SetValue(850);
    readout->SetAutoQuery(true);
    ShowWindow(window);
    ChangeLog log;
    readout->onChangeValue = log.Handler();
    readout->PassOne();
    EXPECT_EQ(readout->Value(), 0);
    EXPECT_EQ(readout->text(), QString::fromUtf8("  0 Об/мин "));
    EXPECT_FALSE(readout->isEnabled());
    EXPECT_TRUE(log.changes.empty());
    EXPECT_TRUE(readout->QueryTimer().IsActive());
}

// An interval of zero would fire on every pass of the event loop and flood the serial line.
TEST(controls_readout, zero_interval_keeps_the_timer_off) {
    TExtText readout;
    readout.SetAutoQuery(true);
    EXPECT_TRUE(readout.QueryTimer().IsActive());
    readout.SetQueryInterval(0);
    EXPECT_FALSE(readout.QueryTimer().IsActive());
    readout.SetQueryInterval(400);
    EXPECT_TRUE(readout.QueryTimer().IsActive());
    EXPECT_EQ(readout.QueryTimer().Interval(), 400);
}

// One check of the query rhythm on the real event loop, with Qt's own timer.
TEST(controls_readout, query_rhythm_on_the_event_loop) {
    QWidget window;
    auto* readout = new TExtText(&window);
    QElapsedTimer clock;
    std::vector<qint64> starts;
    readout->onQuery = [&](QWidget*, std::int32_t, std::int32_t, ParamValue&) {
        starts.push_back(clock.elapsed());
        QThread::msleep(60); // a blocking exchange
    };
    readout->SetQueryInterval(100);
    ShowWindow(window);
    clock.start();
    readout->SetAutoQuery(true);
    QTest::qWait(700);
    ASSERT_GE(starts.size(), 2u);
    EXPECT_GE(starts[0], 100 - 1);
    for (size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], 160 - 2) << "query " << i;
}

} // namespace
