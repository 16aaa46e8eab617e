#include "datalog/trend_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

using namespace zef;

namespace {

TrendData twoChannels(const std::vector<double>& seconds) {
    TrendData data({{"Обороты", "об/мин"}, {"Температура", "°C"}});
    for (double s : seconds) {
        const double row[] = {s * 100, s + 0.5};
        data.Append(s, row);
    }
    return data;
}

TEST(TrendData, rows_keep_their_values_per_channel) {
    const TrendData data = twoChannels({0.0, 0.35, 0.7});
    ASSERT_EQ(data.Size(), 3u);
    EXPECT_DOUBLE_EQ(data.Seconds(2), 0.7);
    EXPECT_DOUBLE_EQ(data.Value(1, 0), 35.0);
    EXPECT_DOUBLE_EQ(data.Value(1, 1), 0.85);
    EXPECT_DOUBLE_EQ(data.Value(2, 1), 1.2);
}

// The view bisects on time: a row stamped before the last one would break every look-up.
TEST(TrendData, a_row_older_than_the_last_is_dropped) {
    TrendData data = twoChannels({1.0, 2.0});
    const double row[] = {7, 8};
    data.Append(1.5, row);
    data.Append(std::numeric_limits<double>::quiet_NaN(), row);
    ASSERT_EQ(data.Size(), 2u);
    EXPECT_DOUBLE_EQ(data.Seconds(1), 2.0);
    data.Append(2.0, row); // the same time is kept: two rows in one millisecond are possible
    EXPECT_EQ(data.Size(), 3u);
}

TEST(TrendData, a_short_row_leaves_the_missing_channel_empty_not_the_next_row_shifted) {
    TrendData data({{"a", ""}, {"b", ""}});
    const double shortRow[] = {1};
    const double full[] = {2, 3};
    data.Append(0, shortRow);
    data.Append(1, full);
    EXPECT_DOUBLE_EQ(data.Value(0, 0), 1);
    EXPECT_TRUE(std::isnan(data.Value(0, 1)));
    EXPECT_DOUBLE_EQ(data.Value(1, 0), 2);
    EXPECT_DOUBLE_EQ(data.Value(1, 1), 3);
}

struct GapCase {
    double limit;
    double step;
    bool gap;
};

class GapRule : public ::testing::TestWithParam<GapCase> {};

TEST_P(GapRule, only_samples_further_apart_than_the_limit_are_a_gap) {
    TrendData data = twoChannels({10.0, 10.0 + GetParam().step});
    data.SetGapSeconds(GetParam().limit);
    EXPECT_EQ(data.GapBefore(1), GetParam().gap);
    EXPECT_FALSE(data.GapBefore(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, GapRule,
                         ::testing::Values(GapCase{1.05, 0.35, false}, GapCase{1.05, 1.0, false},
                                           GapCase{1.05, 1.05, false}, GapCase{1.05, 1.06, true},
                                           GapCase{1.05, 30, true}, GapCase{0.2, 0.35, true},
                                           GapCase{5, 4.9, false}));

TEST(TrendData, the_default_gap_tolerates_one_missed_tick_but_not_a_lost_link) {
    TrendData data = twoChannels({0, 0.35, 1.05, 4.0});
    EXPECT_FALSE(data.GapBefore(1));
    EXPECT_FALSE(data.GapBefore(2)); // one row of 350 ms missing
    EXPECT_TRUE(data.GapBefore(3));
}

struct CursorCase {
    double at;
    std::optional<std::size_t> row;
};

class CursorRow : public ::testing::TestWithParam<CursorCase> {};

// Rows at 0, 0.5, 1.0, then a lost link until 5.0, 5.5; the gap limit is 1 s.
TEST_P(CursorRow, reads_the_nearest_sample_and_nothing_in_a_gap) {
    TrendData data = twoChannels({0, 0.5, 1.0, 5.0, 5.5});
    data.SetGapSeconds(1.0);
    EXPECT_EQ(data.RowAt(GetParam().at), GetParam().row) << "at " << GetParam().at;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CursorRow,
    ::testing::Values(CursorCase{0.0, 0}, CursorCase{0.2, 0}, CursorCase{0.3, 1},
                      CursorCase{0.5, 1}, CursorCase{0.74, 1}, CursorCase{0.76, 2},
                      CursorCase{1.4, 2}, // just past the last row before the gap
                      CursorCase{1.6, std::nullopt}, CursorCase{3.0, std::nullopt},
                      CursorCase{4.4, std::nullopt}, CursorCase{4.6, 3}, CursorCase{5.5, 4},
                      CursorCase{6.0, 4}, CursorCase{6.1, std::nullopt},
                      CursorCase{-0.6, std::nullopt}, CursorCase{-0.4, 0}));

TEST(TrendData, the_cursor_reads_nothing_without_rows) {
    const TrendData data(std::vector<TrendChannel>{{"a", ""}});
    EXPECT_EQ(data.RowAt(0), std::nullopt);
}

// The figures of a stretch take the samples inside it, ends included, and leave out those
// without a value; a stretch without any has none.
TEST(TrendData, a_stretch_gives_lowest_highest_and_mean_of_its_samples) {
    TrendData data = twoChannels({0, 1, 2, 3, 4});
    const double hole[] = {std::numeric_limits<double>::quiet_NaN(), 9};
    data.Append(5, hole);
    struct Case {
        std::size_t channel;
        double from, to;
        std::optional<StretchFigures> expected;
    };
    const Case cases[] = {
        {0, 0, 4, StretchFigures{0, 400, 200, 5}},
        {0, 0.5, 2.5, StretchFigures{100, 200, 150, 2}},
        {1, 3, 5, StretchFigures{3.5, 9, 17.0 / 3, 3}},
        {0, 4.5, 5, std::nullopt}, // only a sample without a value
        {0, 6, 9, std::nullopt},   // after the recording
        {0, 3, 1, std::nullopt},   // ends the wrong way round
        {2, 0, 4, std::nullopt},   // no such channel
    };
    for (const Case& c : cases) {
        const auto figures = data.Figures(c.channel, c.from, c.to);
        ASSERT_EQ(figures.has_value(), c.expected.has_value()) << c.channel << " " << c.from;
        if (!figures)
            continue;
        EXPECT_DOUBLE_EQ(figures->min, c.expected->min) << c.from;
        EXPECT_DOUBLE_EQ(figures->max, c.expected->max) << c.from;
        EXPECT_DOUBLE_EQ(figures->mean, c.expected->mean) << c.from;
        EXPECT_EQ(figures->samples, c.expected->samples) << c.from;
    }
}

} // namespace
