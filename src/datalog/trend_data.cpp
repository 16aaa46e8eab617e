#include "datalog/trend_data.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zef {

TrendData::TrendData(std::vector<TrendChannel> channels) : m_channels(std::move(channels)) {}

void TrendData::Append(double seconds, std::span<const double> values) {
    if (!std::isfinite(seconds) || (!m_seconds.empty() && seconds < m_seconds.back()))
        return;
    const std::size_t n = m_channels.size();
    m_seconds.push_back(seconds);
    const std::size_t given = std::min(n, values.size());
    m_values.insert(m_values.end(), values.begin(), values.begin() + std::ptrdiff_t(given));
    // A short row leaves its missing channels without a value rather than shifting the next row.
    m_values.insert(m_values.end(), n - given, std::numeric_limits<double>::quiet_NaN());
    ++m_generation;
}

void TrendData::Clear() {
    m_seconds.clear();
    m_values.clear();
    m_marks.clear();
    ++m_generation;
}

void TrendData::Reserve(std::size_t rows) {
    m_seconds.reserve(rows);
    m_values.reserve(rows * m_channels.size());
}

void TrendData::AddMark(TrendMark mark) {
    if (!std::isfinite(mark.seconds))
        return;
    const auto at = std::upper_bound(
        m_marks.begin(), m_marks.end(), mark.seconds,
        [](double seconds, const TrendMark& other) { return seconds < other.seconds; });
    m_marks.insert(at, std::move(mark));
    ++m_generation;
}

std::optional<StretchFigures> TrendData::Figures(std::size_t channel, double from,
                                                 double to) const {
    if (channel >= m_channels.size() || !(from <= to))
        return std::nullopt;
    StretchFigures figures;
    double sum = 0;
    const std::size_t n = m_channels.size();
    for (std::size_t row = LowerBound(from); row < m_seconds.size() && m_seconds[row] <= to;
         ++row) {
        const double value = m_values[row * n + channel];
        if (!std::isfinite(value))
            continue;
        if (figures.samples == 0)
            figures.min = figures.max = value;
        figures.min = std::min(figures.min, value);
        figures.max = std::max(figures.max, value);
        sum += value;
        ++figures.samples;
    }
    if (figures.samples == 0)
        return std::nullopt;
    figures.mean = sum / double(figures.samples);
    return figures;
}

bool TrendData::GapBefore(std::size_t row) const {
    // A microsecond's slack: rows stamped exactly the limit apart differ from it by rounding.
    constexpr double kSlack = 1e-6;
    return row > 0 && row < m_seconds.size() &&
           m_seconds[row] - m_seconds[row - 1] > m_gapSeconds + kSlack;
}

std::size_t TrendData::LowerBound(double seconds) const {
    return std::size_t(std::lower_bound(m_seconds.begin(), m_seconds.end(), seconds) -
                       m_seconds.begin());
}

std::optional<std::size_t> TrendData::RowAt(double seconds) const {
    if (m_seconds.empty() || !std::isfinite(seconds))
        return std::nullopt;
    std::size_t row = LowerBound(seconds);
    if (row == m_seconds.size() ||
        (row > 0 && seconds - m_seconds[row - 1] <= m_seconds[row] - seconds))
        --row;
    // Within a joined stretch the nearest sample is never further than half the gap limit; in a
    // gap, further than that, no sample stands for the time.
    if (std::abs(m_seconds[row] - seconds) > m_gapSeconds / 2)
        return std::nullopt;
    return row;
}

} // namespace zef
