#include "datalog/trend_thinning.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zef {

namespace {

// The rows of one slice that survive: first, lowest, highest, last.
class Bucket {
public:
    bool Empty() const { return m_first == kNone; }

    void Start(long index, std::size_t row, double value) {
        m_index = index;
        m_first = m_last = m_low = m_high = row;
        m_lowValue = m_highValue = value;
    }
    void Add(std::size_t row, double value) { AddRun(row, row, value, row, value); }
    // A run of rows from the same slice, summarised: the same as adding each of them.
    void AddRun(std::size_t last, std::size_t low, double lowValue, std::size_t high,
                double highValue) {
        m_last = last;
        if (lowValue < m_lowValue) {
            m_low = low;
            m_lowValue = lowValue;
        }
        if (highValue > m_highValue) {
            m_high = high;
            m_highValue = highValue;
        }
    }
    long Index() const { return m_index; }

    void FlushTo(const TrendData& data, std::size_t channel, QList<QPointF>& out) {
        if (Empty())
            return;
        std::array<std::size_t, 4> rows{m_first, m_low, m_high, m_last};
        std::sort(rows.begin(), rows.end());
        const auto end = std::unique(rows.begin(), rows.end());
        for (auto it = rows.begin(); it != end; ++it)
            out.append(QPointF(data.Seconds(*it), data.Value(*it, channel)));
        m_first = kNone;
    }

private:
    static constexpr std::size_t kNone = std::size_t(-1);
    long m_index = 0;
    std::size_t m_first = kNone, m_last = kNone, m_low = kNone, m_high = kNone;
    double m_lowValue = 0, m_highValue = 0;
};

} // namespace

std::vector<QList<QPointF>> ThinChannel(const TrendData& data, std::size_t channel, double from,
                                        double to, int buckets) {
    std::vector<QList<QPointF>> pieces;
    if (data.Empty() || channel >= data.Channels().size() || !(to > from))
        return pieces;
    buckets = std::max(buckets, 1);
    std::size_t first = data.LowerBound(from);
    if (first > 0)
        --first;
    const std::size_t end = std::min(
        data.Size(),
        std::size_t(std::upper_bound(data.AllSeconds().begin(), data.AllSeconds().end(), to) -
                    data.AllSeconds().begin()) +
            1);
    const double perSecond = buckets / (to - from);

    QList<QPointF> piece;
    Bucket bucket;
    auto closePiece = [&] {
        bucket.FlushTo(data, channel, piece);
        if (!piece.isEmpty())
            pieces.push_back(std::move(piece));
        piece = QList<QPointF>();
    };
    // The rows beyond the ends get slices of their own below 0 and at `buckets`.
    const auto sliceOf = [&](double t) {
        return t < from ? -1
               : t > to ? long(buckets)
                        : std::min(long((t - from) * perSecond), long(buckets) - 1);
    };
    for (std::size_t row = first; row < end; ++row) {
        const double value = data.Value(row, channel);
        if (!std::isfinite(value)) {
            closePiece();
            continue;
        }
        if (row > first && data.GapBefore(row))
            closePiece();
        const long index = sliceOf(data.Seconds(row));
        if (!bucket.Empty() && bucket.Index() == index) {
            bucket.Add(row, value);
        } else {
            bucket.FlushTo(data, channel, piece);
            bucket.Start(index, row, value);
        }
        // A whole block in this slice, every row with a value and no gap: its summary stands
        // for its rows, and a zoomed-out view of hours visits a sample in a hundred.
        const std::size_t last = row + TrendData::kBlockRows - 1;
        const TrendData::Block* block = data.BlockAt(row, channel);
        if (block && last < end && block->valued == TrendData::kBlockRows &&
            data.BlockGapless(row) && sliceOf(data.Seconds(last)) == index) {
            bucket.AddRun(last, row + block->minAt, block->min, row + block->maxAt, block->max);
            row = last;
        }
    }
    closePiece();
    return pieces;
}

double TrendTickStep(double span, int ticks) {
    if (!(span > 0) || !std::isfinite(span))
        return 1;
    const double rough = span / std::max(ticks, 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough * (1 - 1e-9))
            return factor * power;
    return 10 * power;
}

std::vector<QPointF> ThinScatter(const TrendData& data, std::size_t x, std::size_t y,
                                 const QRectF& area, int columns, int rows) {
    std::vector<QPointF> points;
    const std::size_t channels = data.Channels().size();
    if (x >= channels || y >= channels || columns < 1 || rows < 1 || !area.isValid())
        return points;
    std::vector<bool> taken(std::size_t(columns) * std::size_t(rows), false);
    const double cellWidth = area.width() / columns, cellHeight = area.height() / rows;
    for (std::size_t row = 0; row < data.Size(); ++row) {
        const double vx = data.Value(row, x), vy = data.Value(row, y);
        // Outside the area, or without a value (NaN fails every comparison).
        if (!(vx >= area.left() && vx <= area.right() && vy >= area.top() && vy <= area.bottom()))
            continue;
        const int column = std::min(columns - 1, int((vx - area.left()) / cellWidth));
        const int line = std::min(rows - 1, int((vy - area.top()) / cellHeight));
        const std::size_t cell = std::size_t(line) * std::size_t(columns) + std::size_t(column);
        if (taken[cell])
            continue;
        taken[cell] = true;
        // The cell's middle: the same picture whichever row came first.
        points.emplace_back(area.left() + (column + 0.5) * cellWidth,
                            area.top() + (line + 0.5) * cellHeight);
    }
    return points;
}

} // namespace zef
