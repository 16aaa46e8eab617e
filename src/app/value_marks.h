#pragma once

#include <QRectF>
#include <QString>

#include <vector>

namespace zef {

// The value marks of the map chart, worked out without painting.

// A point's value in milliseconds as its mark shows it: up to three decimals (whole
// microseconds), no trailing zeros, "." as the decimal mark.
[[nodiscard]] QString ValueMarkText(double ms);

struct MarkRoom {
    QRectF bounds;             // a mark stays inside: the plot, and the chart's own edges
    std::vector<QRectF> avoid; // unit labels, the points' circles, marks already placed
};

// Where a mark of `size` goes for the point at `point`: `distance` above it, or the same
// below where the top leaves no room, or a line further out; centred on the point, or beside
// it where that would cover something in `avoid`; always inside the bounds. When every place
// covers something, the first place that fits the bounds is taken.
[[nodiscard]] QRectF PlaceValueMark(QPointF point, QSizeF size, double distance,
                                    const MarkRoom& room);

} // namespace zef
