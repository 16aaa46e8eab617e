#pragma once

#include "datalog/trend_data.h"

#include <QList>
#include <QPointF>
#include <QRectF>

#include <vector>

namespace zef {

// One channel's samples between `from` and `to` seconds as line pieces to draw: a new piece
// starts after a gap (or a sample without a value), so a lost link is never bridged. Each of
// `buckets` equal slices of the time range (one a pixel column) keeps at most its first, lowest,
// highest and last sample, in time order: the line drawn from them covers the same pixels as
// the line through every sample, so peaks survive a zoomed-out hour. One sample beyond each end
// is kept so the line reaches the plot's edges.
std::vector<QList<QPointF>> ThinChannel(const TrendData& data, std::size_t channel, double from,
                                        double to, int buckets);

// The points (x channel, y channel) of every row inside `area`, thinned to one a cell of a
// `columns` x `rows` grid over it: a scatter of a long recording draws as fast as a short one's
// and looks the same at the size it is drawn.
std::vector<QPointF> ThinScatter(const TrendData& data, std::size_t x, std::size_t y,
                                 const QRectF& area, int columns, int rows);

// A tick step of 1, 2 or 5 times a power of ten that divides `span` into about `ticks` parts
// (never fewer), so the axes read in round numbers.
double TrendTickStep(double span, int ticks);

} // namespace zef
