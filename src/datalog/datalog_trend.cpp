#include "datalog/datalog_trend.h"

#include "datalog/channels.h"

#include <algorithm>

namespace zef {

namespace {

// Missing rows are a gap only when more than jitter is missing: two rows in a row.
constexpr double kGapPeriods = 3;

std::vector<TrendChannel> Channels() {
    std::vector<TrendChannel> channels;
    for (const DatalogChannel& channel : DatalogChannels())
        channels.push_back({channel.name, channel.unit});
    return channels;
}

// The period a recording was made at: the middle of its row intervals, which lost rows and
// a late row or two do not move.
double MedianInterval(const std::vector<DatalogRow>& rows) {
    std::vector<double> intervals;
    intervals.reserve(rows.size());
    for (std::size_t i = 1; i < rows.size(); ++i)
        intervals.push_back(rows[i].seconds - rows[i - 1].seconds);
    if (intervals.empty())
        return TrendData::kDefaultGapSeconds / kGapPeriods;
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return *middle;
}

} // namespace

TrendData DatalogTrend(std::chrono::milliseconds period) {
    TrendData trend(Channels());
    trend.SetGapSeconds(kGapPeriods * std::chrono::duration<double>(period).count());
    return trend;
}

TrendData DatalogTrend(const std::vector<DatalogRow>& rows) {
    TrendData trend(Channels());
    trend.SetGapSeconds(kGapPeriods * MedianInterval(rows));
    trend.Reserve(rows.size());
    if (!rows.empty())
        trend.SetStart(rows.front().time.addMSecs(-qRound64(rows.front().seconds * 1000)));
    for (const DatalogRow& row : rows)
        AppendToTrend(trend, row);
    return trend;
}

void AppendToTrend(TrendData& trend, const DatalogRow& row) {
    trend.Append(row.seconds, row.values);
    if (!row.mark.isEmpty())
        trend.AddMark({row.seconds, row.mark});
}

double RecordedGapSeconds(const std::vector<double>& seconds) {
    // Every so many intervals, up to a few thousand: enough to find the period's middle
    // without a copy of all of them beside a long recording.
    constexpr std::size_t kSampled = 4096;
    const std::size_t step = std::max<std::size_t>(1, seconds.size() / kSampled);
    std::vector<double> intervals;
    for (std::size_t i = step; i < seconds.size(); i += step)
        intervals.push_back(seconds[i] - seconds[i - 1]);
    if (intervals.empty())
        return TrendData::kDefaultGapSeconds;
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return kGapPeriods * *middle;
}

} // namespace zef
