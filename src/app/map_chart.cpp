#include "app/map_chart.h"

#include "app/value_marks.h"
#include "dialogs/form_font.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>

namespace zef {

namespace {

class MarkerDot final : public QWidget {
public:
    explicit MarkerDot(QWidget* parent) : QWidget(parent) {
        setObjectName("Shape1");
        setFixedSize(MapChart::kMarkerSize, MapChart::kMarkerSize);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::blue);
        p.drawEllipse(rect());
    }
};

constexpr int kSpeeds[] = {0, 500, 1000, 1500, 2000, 3000, 4000, 6000};
constexpr int kPointSize = 7;
// How far a mark stands from its point, as the original chart's mark arrows did.
constexpr double kMarkDistance = 8;

} // namespace

MapChart::MapChart(QWidget* parent)
    : QChartView(parent), m_chart(new QChart), m_series1(new QLineSeries),
      m_series2(new QLineSeries) {
    setObjectName("Chart1");
    m_chart->legend()->hide();
    m_chart->setTitle(QString());
    m_chart->setMargins(QMargins(0, 0, 5, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setAnimationOptions(QChart::NoAnimation);

    m_series1->setObjectName("Series1");
    SetStale(false);
    m_series1->setPointsVisible(true);
    m_series1->setMarkerSize(kPointSize);
    m_series2->setObjectName("Series2");
    m_series2->setColor(Qt::green);
    m_series2->setPointsVisible(false);

    m_chart->addSeries(m_series1);
    m_chart->addSeries(m_series2);

    // The speeds of the map are not evenly spaced; each label sits on its own speed.
    m_speedAxis = new QCategoryAxis;
    m_speedAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (int speed : kSpeeds)
        m_speedAxis->append(QString::number(speed), speed);
    m_speedAxis->setRange(0, 6000);
    m_speedAxis->setStartValue(0);
    m_speedAxis->setGridLineVisible(true);
    m_speedAxis->setTruncateLabels(false);

    m_timeAxis = new QValueAxis;
    m_timeAxis->setRange(0, 8);
    m_timeAxis->setTickCount(9);
    m_timeAxis->setLabelFormat("%.0f");
    m_timeAxis->setTruncateLabels(false);

    m_chart->addAxis(m_speedAxis, Qt::AlignBottom);
    m_chart->addAxis(m_timeAxis, Qt::AlignLeft);
    for (auto* s : {m_series1, m_series2}) {
        s->attachAxis(m_speedAxis);
        s->attachAxis(m_timeAxis);
    }

    const QFont small = FormFont(7);
    m_speedAxis->setLabelsFont(small);
    m_timeAxis->setLabelsFont(small);
    // The axis keeps the room for its labels, but the chart draws them itself: centred on the
    // last speed, "6000" would run past the chart's edge, which lies 5 pixels from the plot.
    m_speedAxis->setLabelsColor(Qt::transparent);
    for (int speed : kSpeeds) {
        auto* label = new QGraphicsSimpleTextItem(QString::number(speed), m_chart);
        label->setFont(small);
        label->setBrush(m_timeAxis->labelsBrush());
        m_speedLabels.push_back(label);
    }

    m_unitTime = new QGraphicsSimpleTextItem("mS", m_chart);
    m_unitSpeed = new QGraphicsSimpleTextItem("Об/мин", m_chart);
    m_unitTime->setFont(small);
    m_unitSpeed->setFont(small);

    setChart(m_chart);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setInteractive(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_marker = new MarkerDot(this);
    MoveMarkerHome();

    connect(m_series1, &QXYSeries::pointAdded, this, &MapChart::dataChanged);
    connect(m_series1, &QXYSeries::pointReplaced, this, &MapChart::dataChanged);
    connect(m_series1, &QXYSeries::pointsReplaced, this, &MapChart::dataChanged);
    connect(m_series1, &QXYSeries::pointRemoved, this, &MapChart::dataChanged);
    connect(m_series1, &QXYSeries::pointsRemoved, this, &MapChart::dataChanged);
    connect(m_chart, &QChart::plotAreaChanged, this, [this] {
        placeUnitLabels();
        placeMarks();
    });
}

void MapChart::ClearSeries() {
    m_series1->clear();
    m_series2->clear();
    dataChanged();
}

void MapChart::AddPoint(double x, double y, const QString& label) {
    // The axis labels come from the points' labels; the categories already hold them.
    Q_UNUSED(label);
    m_series1->append(x, y);
}

int MapChart::PointCount() const {
    return static_cast<int>(m_series1->count());
}

double MapChart::PointY(int index) const {
    return m_series1->at(index).y();
}

void MapChart::SetPointY(int index, double y) {
    const QPointF p = m_series1->at(index);
    if (p.y() != y)
        m_series1->replace(index, p.x(), y);
}

QPointF MapChart::ValueToPixel(double x, double y) const {
    const QPointF inChart = m_chart->mapToPosition(QPointF(x, y), m_series2);
    return mapFromScene(m_chart->mapToScene(inChart));
}

void MapChart::CentreMarkerOn(QPointF pixel) {
    m_marker->move(qRound(pixel.x()) - kMarkerSize / 2, qRound(pixel.y()) - kMarkerSize / 2);
}

void MapChart::MoveMarkerHome() {
    m_marker->move(kMarkerHome);
}

void MapChart::SetStale(bool stale) {
    m_stale = stale;
    const QColor colour = stale ? QColor(Qt::gray) : QColor(Qt::red);
    QPen pen(colour);
    pen.setWidth(3);
    m_series1->setPen(pen);
    m_series1->setColor(colour);
    if (m_marker)
        m_marker->setVisible(!stale);
    for (auto* mark : m_marks)
        mark->setBrush(stale ? QBrush(Qt::gray) : m_unitTime->brush());
    viewport()->update();
}

void MapChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    placeUnitLabels();
    placeMarks();
}

void MapChart::SetSuggested(const std::vector<QPointF>& points) {
    if (!m_suggested) {
        m_suggested = new QLineSeries;
        m_suggested->setObjectName("Suggested");
        m_suggested->setPen(QPen(QColor(0, 110, 0), 2, Qt::DashLine));
        m_chart->addSeries(m_suggested);
        m_suggested->attachAxis(m_speedAxis);
        m_suggested->attachAxis(m_timeAxis);
    }
    m_suggested->replace(QList<QPointF>(points.begin(), points.end()));
    viewport()->update();
}

void MapChart::SetRecordingPoints(const std::vector<QPointF>& points) {
    if (!m_recording) {
        m_recording = new QScatterSeries;
        m_recording->setObjectName("RecordingPoints");
        m_recording->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        m_recording->setMarkerSize(3);
        m_recording->setPen(Qt::NoPen);
        m_recording->setBrush(QColor(200, 120, 0, 150));
        m_chart->addSeries(m_recording);
        m_recording->attachAxis(m_speedAxis);
        m_recording->attachAxis(m_timeAxis);
    }
    m_recording->replace(QList<QPointF>(points.begin(), points.end()));
    viewport()->update();
}

QRectF MapChart::ValueArea() const {
    return QRectF(QPointF(m_speedAxis->min(), m_timeAxis->min()),
                  QPointF(m_speedAxis->max(), m_timeAxis->max()));
}

QSizeF MapChart::PlotSize() const {
    return m_chart->plotArea().size();
}

void MapChart::dataChanged() {
    placeMarks();
    viewport()->update();
}

std::vector<QRectF> MapChart::LabelRects() const {
    std::vector<QRectF> rects;
    for (const auto* unit : {m_unitTime, m_unitSpeed})
        rects.push_back(unit->mapRectToParent(unit->boundingRect()));
    for (const auto* label : m_speedLabels)
        rects.push_back(label->mapRectToParent(label->boundingRect()));
    // The axis labels lie outside the plot area: left of it and under it.
    const QRectF area = m_chart->plotArea();
    const QRectF whole = m_chart->rect();
    rects.emplace_back(QPointF(whole.left(), whole.top()), QPointF(area.left(), whole.bottom()));
    rects.emplace_back(QPointF(whole.left(), area.bottom()), whole.bottomRight());
    return rects;
}

void MapChart::placeMarks() {
    const int count = PointCount();
    while (static_cast<int>(m_marks.size()) < count) {
        auto* mark = new QGraphicsSimpleTextItem(m_chart);
        mark->setFont(m_unitTime->font());
        mark->setBrush(m_stale ? QBrush(Qt::gray) : m_unitTime->brush());
        mark->setZValue(100);
        m_marks.push_back(mark);
    }
    for (int i = 0; i < static_cast<int>(m_marks.size()); ++i)
        m_marks[i]->setVisible(i < count);
    if (count == 0)
        return;

    const QRectF area = m_chart->plotArea();
    // Inside the plot, where neither axis has its labels, and inside the chart on the right,
    // where the last point sits on the plot's edge.
    MarkRoom room{QRectF(QPointF(area.left() + 1, m_chart->rect().top()),
                         QPointF(m_chart->rect().right() - 1, area.bottom() - 1)),
                  LabelRects()};
    std::vector<QPointF> points;
    for (int i = 0; i < count; ++i) {
        points.push_back(m_chart->mapToPosition(m_series1->at(i), m_series1));
        const double r = kPointSize / 2.0 + 1;
        room.avoid.emplace_back(points.back() - QPointF(r, r), QSizeF(2 * r, 2 * r));
    }
    // The point at 0 rpm repeats the one at 500 rpm and sits on the axis: it goes last, where
    // the others leave it room.
    for (int k = 1; k <= count; ++k) {
        const int i = k % count;
        QGraphicsSimpleTextItem* mark = m_marks[i];
        mark->setText(ValueMarkText(m_series1->at(i).y()));
        const QRectF place =
            PlaceValueMark(points[i], mark->boundingRect().size(), kMarkDistance, room);
        mark->setPos(place.topLeft());
        room.avoid.push_back(place);
    }
}

std::vector<QRectF> MapChart::MarkRects() const {
    std::vector<QRectF> rects;
    for (int i = 0; i < PointCount(); ++i)
        rects.push_back(m_marks[i]->mapRectToParent(m_marks[i]->boundingRect()));
    return rects;
}

QStringList MapChart::MarkTexts() const {
    QStringList texts;
    for (int i = 0; i < PointCount(); ++i)
        texts << m_marks[i]->text();
    return texts;
}

void MapChart::placeUnitLabels() {
    const QRectF area = m_chart->plotArea();
    const QRectF whole = m_chart->rect();
    for (std::size_t i = 0; i < m_speedLabels.size(); ++i) {
        QGraphicsSimpleTextItem* label = m_speedLabels[i];
        const double w = label->boundingRect().width();
        const double x = m_chart->mapToPosition(QPointF(kSpeeds[i], 0), m_series2).x() - w / 2;
        label->setPos(std::clamp(x, whole.left(), whole.right() - w), area.bottom() + 3);
    }
    m_unitTime->setPos(area.left() + 4, area.top() + 2);
    const QRectF speed = m_unitSpeed->boundingRect();
    m_unitSpeed->setPos(area.right() - speed.width() - 2, area.bottom() - speed.height() - 2);
}

} // namespace zef
