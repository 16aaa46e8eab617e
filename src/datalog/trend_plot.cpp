#include "datalog/trend_plot.h"

#include "datalog/trend_thinning.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QRubberBand>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zef {

namespace {

constexpr int kRightMargin = 10;
constexpr int kGap = 4;
// A drag narrower than this is a click, not a zoom.
constexpr int kShortestDrag = 5;
// Pixels per label along each axis: round numbers that do not crowd each other.
constexpr int kPixelsPerTimeTick = 90;
constexpr int kPixelsPerValueTick = 18;

QString valueFormat(double step) {
    if (step >= 1)
        return "%.0f";
    if (step >= 0.1)
        return "%.1f";
    return "%.2f";
}

} // namespace

TrendPlot::TrendPlot(const QString& title, const QColor& color, QWidget* parent)
    : QChartView(parent), m_chart(new QChart), m_time(new QValueAxis), m_value(new QValueAxis),
      m_color(color) {
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(0, 0, 0, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    // The view paints the background: the chart's own stops short of the view's edge once
    // the plot area is placed by hand.
    m_chart->setBackgroundVisible(false);
    m_chart->setAnimationOptions(QChart::NoAnimation);

    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    for (QValueAxis* axis : {m_time, m_value}) {
        axis->setLabelsFont(small);
        axis->setTruncateLabels(false);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0);
        axis->setMinorTickCount(0);
    }
    m_time->setLabelsVisible(false);
    m_time->setRange(0, 60);
    m_value->setRange(0, 1);
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_value, Qt::AlignLeft);

    m_title = new QGraphicsSimpleTextItem(title, m_chart);
    QFont bold = small;
    bold.setBold(true);
    m_title->setFont(bold);
    m_title->setBrush(color.darker(130));
    m_title->setZValue(20);

    m_reading = new QGraphicsSimpleTextItem(m_chart);
    m_reading->setFont(bold);
    m_reading->setBrush(color.darker(130));
    m_reading->setZValue(20);

    // The axis prints its labels through a Latin-1 format: the unit stands on its own.
    m_timeUnit = new QGraphicsSimpleTextItem("с", m_chart);
    m_timeUnit->setFont(small);
    m_timeUnit->setBrush(m_time->labelsBrush());
    m_timeUnit->hide();

    m_cursorLine = new QGraphicsLineItem(m_chart);
    m_cursorLine->setPen(QPen(QColor(40, 40, 40), 1));
    m_cursorLine->setZValue(30);
    m_cursorLine->hide();

    setChart(m_chart);
    setBackgroundBrush(Qt::white);
    setRenderHint(QPainter::Antialiasing, false);
    setMouseTracking(true);
    setMinimumHeight(90);
    connect(m_chart, &QChart::plotAreaChanged, this, [this] { placeCursor(); });
    connect(m_time, &QValueAxis::rangeChanged, this, [this] { placeMarks(); });
}

void TrendPlot::Show(const std::vector<QList<QPointF>>& pieces, double from, double to) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int pass = 0; pass < 2 && !(low <= high); ++pass)
        for (const QList<QPointF>& piece : pieces)
            for (const QPointF& p : piece)
                // The samples just outside the range only lead the line to the edge; they
                // set the scale only when nothing lies inside.
                if (pass == 1 || (p.x() >= from && p.x() <= to)) {
                    low = std::min(low, p.y());
                    high = std::max(high, p.y());
                }
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    const double pad = high > low ? (high - low) * 0.08 : std::max(std::abs(high) * 0.05, 0.5);
    low -= pad;
    high += pad;

    placeAxes(low, high, from, to);

    while (m_series.size() < pieces.size()) {
        auto* series = new QLineSeries;
        series->setPen(QPen(m_color, 1.5));
        m_chart->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(m_value);
        m_series.push_back(series);
    }
    for (std::size_t i = 0; i < m_series.size(); ++i) {
        QLineSeries* series = m_series[i];
        if (i < pieces.size()) {
            series->replace(pieces[i]);
            // A lone sample between two gaps has no line; its point keeps it visible.
            const bool lone = pieces[i].size() == 1;
            if (series->pointsVisible() != lone)
                series->setPointsVisible(lone);
        } else if (series->count() > 0) {
            series->clear();
        }
    }
    m_pieces = pieces.size();
    placeCursor();
}

void TrendPlot::SetTimeLabelsVisible(bool visible) {
    if (m_timeLabels == visible)
        return;
    m_timeLabels = visible;
    m_time->setLabelsVisible(visible);
    placePlotArea();
}

void TrendPlot::SetClockStart(const QDateTime& start) {
    if (start == m_clockStart)
        return;
    m_clockStart = start;
    placePlotArea();
}

QStringList TrendPlot::ClockLabels() const {
    QStringList texts;
    for (const QGraphicsSimpleTextItem* label : m_clockLabels)
        if (label->isVisible())
            texts << label->text();
    return texts;
}

void TrendPlot::placeClock() {
    std::size_t shown = 0;
    const double step = m_time->tickInterval();
    const QRectF area = m_chart->plotArea();
    if (m_timeLabels && m_clockStart.isValid() && step > 0 && !area.isEmpty()) {
        const QFontMetrics labels(m_time->labelsFont());
        const QString format = step >= 1 ? "HH:mm:ss" : "HH:mm:ss.zzz";
        for (double at = std::ceil(m_time->min() / step) * step; at <= m_time->max() + 1e-9;
             at += step) {
            if (shown == m_clockLabels.size()) {
                auto* label = new QGraphicsSimpleTextItem(m_chart);
                label->setFont(m_time->labelsFont());
                label->setBrush(m_time->labelsBrush());
                m_clockLabels.push_back(label);
            }
            QGraphicsSimpleTextItem* label = m_clockLabels[shown++];
            label->setText(m_clockStart.addMSecs(qint64(std::llround(at * 1000))).toString(format));
            const double x = m_chart->mapToPosition(QPointF(at, m_value->min())).x();
            label->setPos(x - label->boundingRect().width() / 2,
                          area.bottom() + labels.height() + kGap);
            label->show();
        }
    }
    for (std::size_t i = shown; i < m_clockLabels.size(); ++i)
        m_clockLabels[i]->hide();
}

void TrendPlot::SetReading(const QString& text) {
    if (m_reading->text() == text)
        return;
    m_reading->setText(text);
    placeReading();
}

QString TrendPlot::Reading() const {
    return m_reading->text();
}

bool TrendPlot::HeaderFits() const {
    const QRectF title = m_title->sceneBoundingRect(), reading = m_reading->sceneBoundingRect();
    return !title.intersects(reading) && reading.right() <= width() && title.right() <= width() &&
           title.bottom() <= m_chart->plotArea().top();
}

void TrendPlot::placeReading() {
    const QRectF area = m_chart->plotArea();
    m_reading->setPos(area.right() - m_reading->boundingRect().width(), 1);
}

void TrendPlot::SetCursor(std::optional<double> seconds) {
    m_cursor = seconds;
    placeCursor();
}

int TrendPlot::PlotWidth() const {
    const int width = int(m_chart->plotArea().width());
    return std::max(width > 0 ? width : this->width() - 80, 100);
}

std::vector<QLineSeries*> TrendPlot::Pieces() const {
    return {m_series.begin(), m_series.begin() + std::ptrdiff_t(m_pieces)};
}

bool TrendPlot::CursorVisible() const {
    return m_cursorLine->isVisible();
}

double TrendPlot::CursorX() const {
    return mapFromScene(m_chart->mapToScene(m_cursorLine->line().p1())).x();
}

double TrendPlot::TimeAt(QPointF viewPoint) const {
    return m_chart->mapToValue(m_chart->mapFromScene(mapToScene(viewPoint.toPoint()))).x();
}

QPointF TrendPlot::ViewPointAt(double seconds) const {
    const QRectF area = m_chart->plotArea();
    const double x = m_chart->mapToPosition(QPointF(seconds, m_value->min())).x();
    return mapFromScene(m_chart->mapToScene(QPointF(x, area.center().y())));
}

void TrendPlot::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    placePlotArea();
    if (event->oldSize().width() != event->size().width())
        emit widthChanged();
}

void TrendPlot::placePlotArea() {
    const QFontMetrics labels(m_value->labelsFont());
    const QFontMetrics title(m_title->font());
    const int left = labels.horizontalAdvance("-0000.00") + 2 * kGap;
    const int top = title.height() + kGap;
    // With the clock, a second line of labels under the seconds.
    const int lines = m_clockStart.isValid() ? 2 : 1;
    const int bottom = m_timeLabels ? lines * labels.height() + 2 * kGap : kGap;
    const QRectF area(left, top, std::max(width() - left - kRightMargin, 10),
                      std::max(height() - top - bottom, 10));
    m_chart->setPlotArea(area);
    m_title->setPos(left, 1);
    placeReading();
    m_timeUnit->setVisible(m_timeLabels);
    m_timeUnit->setPos(kGap, area.bottom() + kGap);
    placeTicks();
    placeCursor();
}

void TrendPlot::placeTicks() {
    placeAxes(m_value->min(), m_value->max(), m_time->min(), m_time->max());
}

void TrendPlot::placeAxes(double low, double high, double from, double to) {
    const int height = int(m_chart->plotArea().height());
    const double valueStep =
        TrendTickStep(high - low, std::clamp(height / kPixelsPerValueTick, 2, 6));
    const double timeStep = TrendTickStep(to - from, std::max(PlotWidth() / kPixelsPerTimeTick, 1));
    m_value->setLabelFormat(valueFormat(valueStep));
    m_time->setLabelFormat(valueFormat(timeStep));
    setAxis(m_value, low, high, valueStep);
    setAxis(m_time, from, to, timeStep);
    placeClock();
}

void TrendPlot::setAxis(QValueAxis* axis, double min, double max, double step) {
    // A shown axis lays out its ticks on every change: the old step with the new range (or the
    // new step with the old range) must never ask for thousands of them, even for a moment.
    if (step > axis->tickInterval()) {
        axis->setTickInterval(step);
        axis->setRange(min, max);
    } else {
        axis->setRange(min, max);
        axis->setTickInterval(step);
    }
}

void TrendPlot::placeCursor() {
    placeMarks();
    const QRectF area = m_chart->plotArea();
    if (!m_cursor || *m_cursor < m_time->min() || *m_cursor > m_time->max() || area.isEmpty()) {
        m_cursorLine->hide();
        return;
    }
    const double x = m_chart->mapToPosition(QPointF(*m_cursor, m_value->min())).x();
    m_cursorLine->setLine(x, area.top(), x, area.bottom());
    m_cursorLine->show();
}

void TrendPlot::SetMarks(std::vector<double> seconds) {
    if (seconds == m_marks)
        return;
    m_marks = std::move(seconds);
    placeMarks();
}

void TrendPlot::placeMarks() {
    const QRectF area = m_chart->plotArea();
    std::size_t shown = 0;
    for (const double at : m_marks) {
        if (at < m_time->min() || at > m_time->max() || area.isEmpty())
            continue;
        if (shown == m_markLines.size()) {
            auto* line = new QGraphicsLineItem(m_chart);
            line->setPen(QPen(QColor(200, 120, 0), 1, Qt::DashLine));
            line->setZValue(25);
            m_markLines.push_back(line);
        }
        const double x = m_chart->mapToPosition(QPointF(at, m_value->min())).x();
        m_markLines[shown]->setLine(x, area.top(), x, area.bottom());
        m_markLines[shown]->show();
        ++shown;
    }
    for (std::size_t i = shown; i < m_markLines.size(); ++i)
        m_markLines[i]->hide();
}

std::vector<double> TrendPlot::MarkXs() const {
    std::vector<double> xs;
    for (const QGraphicsLineItem* line : m_markLines)
        if (line->isVisible())
            xs.push_back(mapFromScene(m_chart->mapToScene(line->line().p1())).x());
    return xs;
}

bool TrendPlot::inPlotArea(QPointF viewPoint) const {
    const QRectF area = m_chart->plotArea();
    const QPointF at = m_chart->mapFromScene(mapToScene(viewPoint.toPoint()));
    return at.x() >= area.left() && at.x() <= area.right();
}

void TrendPlot::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !inPlotArea(event->position())) {
        QChartView::mousePressEvent(event);
        return;
    }
    m_pressedAt = event->position();
    if (!m_band)
        m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
    event->accept();
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event) {
    if (inPlotArea(event->position()))
        emit cursorMoved(TimeAt(event->position()));
    else
        emit cursorLeft();
    if (m_pressedAt && m_band) {
        const QRectF area = m_chart->plotArea();
        const double left =
            std::max(std::min(m_pressedAt->x(), event->position().x()), area.left());
        const double right =
            std::min(std::max(m_pressedAt->x(), event->position().x()), area.right());
        m_band->setGeometry(
            QRect(QPoint(int(left), int(area.top())), QPoint(int(right), int(area.bottom()))));
        m_band->setVisible(right - left >= kShortestDrag);
    }
    event->accept();
}

void TrendPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_pressedAt) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    const QPointF from = *m_pressedAt;
    m_pressedAt.reset();
    if (m_band)
        m_band->hide();
    if (std::abs(event->position().x() - from.x()) >= kShortestDrag) {
        const double a = TimeAt(from), b = TimeAt(event->position());
        emit zoomRequested(std::min(a, b), std::max(a, b));
    }
    event->accept();
}

void TrendPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit resetRequested();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TrendPlot::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y();
    if (steps == 0 || !inPlotArea(event->position())) {
        QChartView::wheelEvent(event);
        return;
    }
    // Each notch away from the user zooms in by a fifth, towards the user out by as much.
    const double factor = std::pow(0.8, steps / 120.0);
    emit wheelZoomRequested(TimeAt(event->position()), factor);
    event->accept();
}

void TrendPlot::leaveEvent(QEvent* event) {
    emit cursorLeft();
    QChartView::leaveEvent(event);
}

} // namespace zef
