// What the map chart shows: after every change of its data the pixels are those of a chart
// drawn afresh with the same data, and every value mark can be read.

#include "app/map_chart.h"
#include "app/value_marks.h"

#include <QDir>
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
        const int stale = differences(seen, expected);
        EXPECT_EQ(stale, 0) << step.what;
        if (stale != 0) {
            const QString at =
                QDir::temp().filePath(QString("zef-chart-%1").arg(&step - steps.data()));
            seen.save(at + "-seen.png");
            expected.save(at + "-fresh.png");
            ADD_FAILURE() << "pictures in " << at.toStdString() << "-*.png";
        }
    }
}

TEST(ValueMarks, text_is_the_value_in_whole_microseconds) {
    struct Case {
        double ms;
        const char* text;
    };
    const Case cases[] = {{2.5, "2.5"},       {2.85, "2.85"},     {6.0, "6"},
                          {8.0, "8"},         {1.0005, "1.001"},  {0.0, "0"},
                          {65.535, "65.535"}, {2.8499999, "2.85"}};
    for (const auto& c : cases)
        EXPECT_EQ(ValueMarkText(c.ms).toStdString(), c.text) << c.ms;
}

TEST(ValueMarks, go_above_their_point_unless_the_room_or_a_neighbour_says_otherwise) {
    const QSizeF size(20, 10);
    const QRectF bounds(30, 0, 300, 150); // plot from x 30; the chart's top at 0
    struct Case {
        const char* what;
        QPointF point;
        std::vector<QRectF> avoid;
        QRectF expected;
    };
    const Case cases[] = {
        {"centred above", {100, 80}, {}, {90, 62, 20, 10}},
        {"below where the top leaves no room", {100, 5}, {}, {90, 13, 20, 10}},
        {"moved left at the right edge", {329, 80}, {}, {310, 62, 20, 10}},
        {"moved right of the axis labels", {30, 80}, {}, {30, 62, 20, 10}},
        {"beside a mark already placed", {100, 80}, {{75, 60, 20, 10}}, {104, 62, 20, 10}},
        {"to the other side when that is taken too",
         {100, 80},
         {{97, 60, 30, 10}},
         {76, 62, 20, 10}},
        {"below when nothing above is free", {100, 80}, {{0, 55, 400, 20}}, {90, 88, 20, 10}},
    };
    for (const auto& c : cases) {
        const QRectF placed = PlaceValueMark(c.point, size, 8, {bounds, c.avoid});
        EXPECT_EQ(placed, c.expected) << c.what;
        EXPECT_TRUE(bounds.contains(placed)) << c.what;
    }
}

// The marks of a whole map, at the values that used to hide them: at the top of the scale, at
// the right edge, at the axis, and side by side.
TEST(ValueMarks, every_mark_of_the_chart_is_whole_and_clear_of_the_rest) {
    const std::vector<std::vector<double>> maps = {
        {2.5, 2.5, 2.85, 3.3, 3.8, 4.6, 5.3, 6.0}, {8.0, 8.0, 8.0, 8.0, 8.0, 8.0, 8.0, 8.0},
        {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0},  {1.0, 1.0, 8.0, 1.0, 8.0, 1.0, 8.0, 7.95},
        {0.0, 0.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.0},
    };
    Shown shown;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.chart));
    MapChart& chart = shown.chart;
    for (const auto& values : maps) {
        chart.ClearSeries();
        fill(chart, values);
        (void)onScreen(chart);
        const auto marks = chart.MarkRects();
        ASSERT_EQ(marks.size(), values.size());
        const QRectF inside = chart.chart()->rect();
        for (std::size_t i = 0; i < marks.size(); ++i) {
            const std::string at = "point " + std::to_string(i) + " of " +
                                   ValueMarkText(values[1]).toStdString() + "...";
            EXPECT_EQ(chart.MarkTexts()[static_cast<int>(i)], ValueMarkText(values[i])) << at;
            EXPECT_TRUE(inside.contains(marks[i])) << at;
            for (const QRectF& label : chart.LabelRects())
                EXPECT_FALSE(label.intersects(marks[i])) << at;
            const QPointF p = chart.ValueToPixel(kSpeeds[i], values[i]);
            const QRectF circle(chart.mapToScene(p.toPoint()) - QPointF(4, 4), QSizeF(8, 8));
            EXPECT_FALSE(circle.intersects(marks[i])) << at << " under its circle";
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_FALSE(marks[i].intersects(marks[j])) << at << " on point " << j;
        }
    }
    // The speed labels, "6000" at the right edge included, are whole too.
    for (const QRectF& label : chart.LabelRects())
        EXPECT_TRUE(chart.chart()->rect().contains(label));
}

} // namespace
