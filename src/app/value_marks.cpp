#include "app/value_marks.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace zef {

QString ValueMarkText(double ms) {
    QString text = QString::number(std::round(ms * 1000) / 1000, 'f', 3);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QStringLiteral("0") : text;
}

QRectF PlaceValueMark(QPointF point, QSizeF size, double distance, const MarkRoom& room) {
    const QRectF& b = room.bounds;
    const double w = size.width(), h = size.height();
    const auto clampX = [&](double x) {
        return std::clamp(x, b.left(), std::max(b.left(), b.right() - w));
    };
    // Above, below, and a line further out each way where the first two are taken.
    const double tops[] = {point.y() - distance - h, point.y() + distance,
                           point.y() - distance - 2 * h - 2, point.y() + distance + h + 2};
    const double lefts[] = {point.x() - w / 2, point.x() + distance / 2,
                            point.x() - w - distance / 2};

    std::optional<QRectF> fallback;
    for (const double top : tops) {
        if (top < b.top() || top + h > b.bottom())
            continue;
        for (const double left : lefts) {
            const QRectF place(clampX(left), top, w, h);
            if (!fallback)
                fallback = place;
            const bool covers = std::any_of(room.avoid.begin(), room.avoid.end(),
                                            [&](const QRectF& r) { return r.intersects(place); });
            if (!covers)
                return place;
        }
    }
    if (fallback)
        return *fallback;
    // Not even the bounds have room: keep it inside them as far as it goes.
    return QRectF(clampX(point.x() - w / 2),
                  std::clamp(tops[0], b.top(), std::max(b.top(), b.bottom() - h)), w, h);
}

} // namespace zef
