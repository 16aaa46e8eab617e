#include "datalog/trend_thinning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace zef;

namespace {

TrendData noisy(int rows, double period, unsigned seed) {
    TrendData data(std::vector<TrendChannel>{{"U", "V"}});
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(0, 1);
    for (int i = 0; i < rows; ++i) {
        const double row[] = {value(random)};
        data.Append(i * period, row);
    }
    return data;
}

bool contains(const QList<QPointF>& points, QPointF p) {
    return std::find(points.begin(), points.end(), p) != points.end();
}

struct ThinCase {
    int rows;
    double from, to;
    int buckets;
};

class Thinning : public ::testing::TestWithParam<ThinCase> {};

// A peak shorter than a pixel column must stay on the plot: each column's lowest and highest
// sample survive, and nothing is invented or reordered.
TEST_P(Thinning, keeps_each_buckets_lowest_and_highest_sample_in_time_order) {
    const ThinCase c = GetParam();
    const TrendData data = noisy(c.rows, 0.35, 7);
    const auto pieces = ThinChannel(data, 0, c.from, c.to, c.buckets);
    ASSERT_EQ(pieces.size(), 1u);
    const QList<QPointF>& points = pieces.front();
    EXPECT_LE(points.size(), 4 * c.buckets + 2);

    for (qsizetype i = 1; i < points.size(); ++i)
        ASSERT_LT(points[i - 1].x(), points[i].x());
    for (const QPointF& p : points) {
        const std::size_t row = data.LowerBound(p.x());
        ASSERT_LT(row, data.Size());
        ASSERT_EQ(data.Seconds(row), p.x());
        ASSERT_EQ(data.Value(row, 0), p.y());
    }

    // Slice b holds the samples whose time lies in the b-th of `buckets` equal parts.
    std::vector<std::size_t> low(c.buckets, data.Size()), high(c.buckets, data.Size());
    for (std::size_t row = data.LowerBound(c.from); row < data.Size(); ++row) {
        const double t = data.Seconds(row);
        if (t > c.to)
            break;
        const int b = std::min(int((t - c.from) * c.buckets / (c.to - c.from)), c.buckets - 1);
        if (low[b] == data.Size() || data.Value(row, 0) < data.Value(low[b], 0))
            low[b] = row;
        if (high[b] == data.Size() || data.Value(row, 0) > data.Value(high[b], 0))
            high[b] = row;
    }
    int filled = 0;
    for (int b = 0; b < c.buckets; ++b) {
        if (low[b] == data.Size())
            continue;
        ++filled;
        EXPECT_TRUE(contains(points, {data.Seconds(low[b]), data.Value(low[b], 0)})) << b;
        EXPECT_TRUE(contains(points, {data.Seconds(high[b]), data.Value(high[b], 0)})) << b;
    }
    EXPECT_GT(filled, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Thinning,
                         ::testing::Values(ThinCase{10300, 0, 10300 * 0.35, 900},
                                           ThinCase{10300, 100, 160, 700},
                                           ThinCase{10300, 1000.1, 2000.3, 37},
                                           ThinCase{50, 0, 17, 900}, ThinCase{3000, 0, 1049, 1}));

TEST(Thinning, a_range_with_fewer_samples_than_columns_keeps_every_sample) {
    const TrendData data = noisy(100, 1.0, 3);
    const auto pieces = ThinChannel(data, 0, 10, 20, 500);
    ASSERT_EQ(pieces.size(), 1u);
    // 10 ... 20 and one row beyond each end.
    ASSERT_EQ(pieces.front().size(), 13);
    EXPECT_EQ(pieces.front().front().x(), 9);
    EXPECT_EQ(pieces.front().back().x(), 21);
}

TEST(Thinning, a_gap_splits_the_line_and_never_joins_across_it) {
    TrendData data(std::vector<TrendChannel>{{"t", "°C"}});
    for (double t : {0.0, 0.35, 0.7, 1.05, 20.0, 20.35, 20.7, 40.0}) {
        const double row[] = {t};
        data.Append(t, row);
    }
    for (int buckets : {1, 3, 1000}) {
        const auto pieces = ThinChannel(data, 0, 0, 40, buckets);
        ASSERT_EQ(pieces.size(), 3u) << buckets << " buckets";
        EXPECT_EQ(pieces[0].back().x(), 1.05);
        EXPECT_EQ(pieces[1].front().x(), 20.0);
        EXPECT_EQ(pieces[1].back().x(), 20.7);
        ASSERT_EQ(pieces[2].size(), 1);
        EXPECT_EQ(pieces[2].front().x(), 40.0);
    }
}

TEST(Thinning, a_sample_without_a_value_ends_the_piece) {
    TrendData data(std::vector<TrendChannel>{{"a", ""}});
    const double none = std::numeric_limits<double>::quiet_NaN();
    for (double v : {1.0, 2.0, none, 4.0, 5.0}) {
        const double row[] = {v};
        data.Append(data.Size() * 0.35, row);
    }
    const auto pieces = ThinChannel(data, 0, 0, 2, 100);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], (QList<QPointF>{{0, 1}, {0.35, 2}}));
    EXPECT_EQ(pieces[1], (QList<QPointF>{{1.05, 4}, {1.4, 5}}));
}

TEST(Thinning, nothing_to_draw_outside_the_recording_or_for_an_empty_range) {
    const TrendData data = noisy(10, 1.0, 1);
    EXPECT_TRUE(ThinChannel(data, 0, 5, 5, 10).empty());
    EXPECT_TRUE(ThinChannel(data, 1, 0, 9, 10).empty()); // no such channel
    EXPECT_TRUE(ThinChannel(TrendData(std::vector<TrendChannel>{{"a", ""}}), 0, 0, 9, 10).empty());
}

} // namespace

namespace {

struct StepCase {
    double span;
    int ticks;
    double step;
};

class TickStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(TickStep, is_a_round_number_giving_at_most_the_asked_parts) {
    const StepCase c = GetParam();
    EXPECT_DOUBLE_EQ(TrendTickStep(c.span, c.ticks), c.step) << c.span << " / " << c.ticks;
}

INSTANTIATE_TEST_SUITE_P(Cases, TickStep,
                         ::testing::Values(StepCase{60, 6, 10}, StepCase{60, 10, 10},
                                           StepCase{60, 12, 5}, StepCase{3605, 8, 500},
                                           StepCase{1, 4, 0.5}, StepCase{0.45, 2, 0.5},
                                           StepCase{8000, 2, 5000}, StepCase{7, 1, 10},
                                           StepCase{0, 3, 1}, StepCase{-5, 3, 1}));

// The map's scatter: one dot a cell, at the cell's middle, whatever the number of rows in it;
// rows outside the map's axes or without a value leave no dot.
TEST(Thinning, a_scatter_keeps_one_point_a_cell_of_the_rows_inside_the_area) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> rows;
        std::vector<QPointF> expected;
    };
    const Case cases[] = {
        {"many rows in one cell", {{100, 1}, {120, 1.5}, {900, 0.1}}, {{500, 1}}},
        {"two cells", {{100, 1}, {5900, 7.9}}, {{500, 1}, {5500, 7}}},
        {"the far edges", {{0, 0}, {6000, 8}}, {{500, 1}, {5500, 7}}},
        {"outside or without a value", {{-1, 1}, {6001, 1}, {100, 8.5}, {nan, 1}, {100, nan}}, {}},
    };
    for (const Case& c : cases) {
        TrendData data({{"Обороты", "об/мин"}, {"Время впрыска", "мс"}});
        double t = 0;
        for (const auto& [x, y] : c.rows) {
            const double row[] = {x, y};
            data.Append(t++, row);
        }
        // Cells of 1000 rpm by 2 ms over 0 to 6000 rpm and 0 to 8 ms.
        const auto points = ThinScatter(data, 0, 1, QRectF(0, 0, 6000, 8), 6, 4);
        EXPECT_EQ(points, c.expected) << c.name;
    }
}

} // namespace
