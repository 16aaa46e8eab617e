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
    if (m_seconds.size() % kBlockRows == 0)
        summariseLastBlock();
    ++m_generation;
}

void TrendData::summariseLastBlock() {
    const std::size_t n = m_channels.size();
    const std::size_t first = m_seconds.size() - kBlockRows;
    double step = 0;
    for (std::size_t row = first + 1; row < m_seconds.size(); ++row)
        step = std::max(step, m_seconds[row] - m_seconds[row - 1]);
    m_blockSteps.push_back(step);
    for (std::size_t channel = 0; channel < n; ++channel) {
        Block block;
        for (std::size_t i = 0; i < kBlockRows; ++i) {
            const double value = m_values[(first + i) * n + channel];
            if (!std::isfinite(value))
                continue;
            if (block.valued == 0 || value < block.min) {
                block.min = value;
                block.minAt = std::uint8_t(i);
            }
            if (block.valued == 0 || value > block.max) {
                block.max = value;
                block.maxAt = std::uint8_t(i);
            }
            block.sum += value;
            ++block.valued;
        }
        m_blocks.push_back(block);
    }
}

void TrendData::Clear() {
    m_seconds.clear();
    m_values.clear();
    m_marks.clear();
    m_blocks.clear();
    m_blockSteps.clear();
    ++m_generation;
}

void TrendData::Reserve(std::size_t rows) {
    m_seconds.reserve(rows);
    m_values.reserve(rows * m_channels.size());
    m_blocks.reserve(rows / kBlockRows * m_channels.size());
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
        const Block* block = BlockAt(row, channel);
        if (block && m_seconds[row + kBlockRows - 1] <= to) {
            if (block->valued > 0) {
                figures.min = figures.samples == 0 ? block->min : std::min(figures.min, block->min);
                figures.max = figures.samples == 0 ? block->max : std::max(figures.max, block->max);
                sum += block->sum;
                figures.samples += block->valued;
            }
            row += kBlockRows - 1;
            continue;
        }
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
    return row > 0 && row < m_seconds.size() &&
           m_seconds[row] - m_seconds[row - 1] > m_gapSeconds + kGapSlack;
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
