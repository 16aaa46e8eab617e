#pragma once

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zef {

struct TrendChannel {
    QString name;
    QString unit;
};

// A moment the fitter marked during the recording.
struct TrendMark {
    double seconds = 0;
    QString text;
};

// One channel over a stretch of time: samples without a value are left out.
struct StretchFigures {
    double min = 0;
    double max = 0;
    double mean = 0;
    std::size_t samples = 0;
};

// Samples in time order. Where no rows are (a lost link) the plots show a gap: samples further
// apart than GapSeconds() are not joined.
class TrendData {
public:
    // Three recording periods at the slowest tick: one missed row is jitter, more is a gap.
    static constexpr double kDefaultGapSeconds = 3 * 0.35;

    explicit TrendData(std::vector<TrendChannel> channels);

    const std::vector<TrendChannel>& Channels() const { return m_channels; }

    // One value per channel; a row older than the last one is dropped, since the plots and the
    // cursor look samples up by bisection.
    void Append(double seconds, std::span<const double> values);
    void Clear();
    void Reserve(std::size_t rows);
    [[nodiscard]] std::size_t Capacity() const { return m_seconds.capacity(); }

    std::size_t Size() const { return m_seconds.size(); }
    bool Empty() const { return m_seconds.empty(); }
    double Seconds(std::size_t row) const { return m_seconds[row]; }
    double Value(std::size_t row, std::size_t channel) const {
        return m_values[row * m_channels.size() + channel];
    }
    const std::vector<double>& AllSeconds() const { return m_seconds; }

    // The wall-clock time of second 0, for the cursor's read-out; invalid when unknown.
    void SetStart(const QDateTime& start) { m_start = start; }
    const QDateTime& Start() const { return m_start; }

    void SetGapSeconds(double seconds) { m_gapSeconds = seconds; }
    double GapSeconds() const { return m_gapSeconds; }

    // True when rows `row - 1` and `row` lie too far apart to be joined.
    bool GapBefore(std::size_t row) const;

    // The first row at or after `seconds` (Size() when none).
    std::size_t LowerBound(double seconds) const;
    // The row nearest to `seconds`, or nothing when that row lies further than half the gap
    // limit away: inside a gap, before the first or after the last row.
    std::optional<std::size_t> RowAt(double seconds) const;

    // Markers in time order; one set earlier than the last is placed where it belongs.
    void AddMark(TrendMark mark);
    const std::vector<TrendMark>& Marks() const { return m_marks; }

    // A channel's lowest, highest and mean value over the samples from `from` to `to`
    // seconds; nothing when no sample there has a value.
    [[nodiscard]] std::optional<StretchFigures> Figures(std::size_t channel, double from,
                                                        double to) const;

    // Every kBlockRows rows, each channel's summary, so a view of hours need not visit every
    // sample: the lowest and highest with where they are, the sum of the values and how many
    // have one.
    static constexpr std::size_t kBlockRows = 128;
    struct Block {
        double min = 0;
        double max = 0;
        double sum = 0;
        std::uint8_t minAt = 0; // rows after the block's first
        std::uint8_t maxAt = 0;
        std::uint8_t valued = 0;
    };
    // The summary of the whole block that starts at `row`, or null when the block is not yet full.
    [[nodiscard]] const Block* BlockAt(std::size_t row, std::size_t channel) const {
        const std::size_t block = row / kBlockRows;
        return row % kBlockRows == 0 &&
                       block < m_blocks.size() / std::max<std::size_t>(1, m_channels.size())
                   ? &m_blocks[block * m_channels.size() + channel]
                   : nullptr;
    }

    // Whether no gap lies between the rows of the whole block that starts at `row`.
    [[nodiscard]] bool BlockGapless(std::size_t row) const {
        return m_blockSteps[row / kBlockRows] <= m_gapSeconds + kGapSlack;
    }

    // Counts Append calls, so a view redraws only what changed.
    std::size_t Generation() const { return m_generation; }

private:
    std::vector<TrendChannel> m_channels;
    std::vector<double> m_seconds;
    std::vector<double> m_values; // row-major: Size() x Channels().size()
    std::vector<TrendMark> m_marks;
    std::vector<Block> m_blocks;      // block-major: one a channel
    std::vector<double> m_blockSteps; // the longest step between a block's rows
    // A microsecond: rows stamped exactly the limit apart differ from it by rounding.
    static constexpr double kGapSlack = 1e-6;
    void summariseLastBlock();
    QDateTime m_start;
    double m_gapSeconds = kDefaultGapSeconds;
    std::size_t m_generation = 0;
};

} // namespace zef
