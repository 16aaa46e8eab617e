// What the map chart leaves on screen: after every change of its data the pixels must be those
// of a chart drawn afresh with the same data, with no trace of earlier values.

#include "app/map_chart.h"

#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using namespace zef;

namespace {

constexpr QSize kChartSize{372, 196};
constexpr double kSpeeds[] = {0, 500, 1000, 1500, 2000, 3000, 4000, 6000};

// The window's pixels as the platform holds them, repaints included, not a fresh rendering.
QImage onScreen(QWidget& w) {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
    return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

void fill(MapChart& chart, const std::vector<double>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        chart.AddPoint(kSpeeds[i], values[i], QString::number(kSpeeds[i]));
}

struct Shown {
    MapChart chart;
    explicit Shown(const std::vector<double>& values = {}) {
        chart.resize(kChartSize);
        fill(chart, values);
        chart.show();
    }
};

// Counts the pixels that differ, so a failure says how much is stale.
int differences(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return a.width() * a.height();
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

TEST(MapChartRepaint, screen_matches_a_fresh_chart_after_every_change) {
    const std::vector<double> start = {2.5, 2.5, 2.85, 3.3, 3.8, 4.6, 5.3, 6.0};
    struct Step {
        const char* what;
        std::function<void(MapChart&)> change;
        std::vector<double> after; // empty: the series are cleared
    };
    const std::vector<Step> steps = {
        {"one point moves up",
         [](MapChart& c) { c.SetPointY(3, 3.35); },
         {2.5, 2.5, 2.85, 3.35, 3.8, 4.6, 5.3, 6.0}},
        {"first two points move down together",
         [](MapChart& c) {
             c.SetPointY(0, 1.0);
             c.SetPointY(1, 1.0);
         },
         {1.0, 1.0, 2.85, 3.35, 3.8, 4.6, 5.3, 6.0}},
        {"the last point reaches the top",
         [](MapChart& c) { c.SetPointY(7, 8.0); },
         {1.0, 1.0, 2.85, 3.35, 3.8, 4.6, 5.3, 8.0}},
        {"the series are cleared", [](MapChart& c) { c.ClearSeries(); }, {}},
        {"a reload after clearing", [&](MapChart& c) { fill(c, start); }, start},
    };

    Shown live(start);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&live.chart));
    (void)onScreen(live.chart);
    for (const Step& step : steps) {
        step.change(live.chart);
        const QImage seen = onScreen(live.chart);
        Shown fresh(step.after);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fresh.chart));
        const QImage expected = onScreen(fresh.chart);
        EXPECT_EQ(differences(seen, expected), 0) << step.what;
    }
}

} // namespace
