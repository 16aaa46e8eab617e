#include "app/map_chart.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

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

} // namespace

MapChart::MapChart(QWidget* parent)
    : QChartView(parent), m_chart(new QChart), m_series1(new QLineSeries),
      m_series2(new QLineSeries) {
    setObjectName("Chart1");
    m_chart->legend()->hide();
    m_chart->setTitle(QString());
    m_chart->setMargins(QMargins(0, 0, 14, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(Qt::white);
    m_chart->setAnimationOptions(QChart::NoAnimation);

    m_series1->setObjectName("Series1");
    QPen red(Qt::red);
    red.setWidth(3);
    m_series1->setPen(red);
    m_series1->setColor(Qt::red);
    m_series1->setPointsVisible(true);
    m_series1->setMarkerSize(7);
    m_series1->setPointLabelsVisible(true);
    m_series1->setPointLabelsFormat("@yPoint");
    m_series1->setPointLabelsClipping(false);
    m_series1->setPointLabelsColor(Qt::black);
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

    QFont small = font();
    small.setPointSize(7);
    m_speedAxis->setLabelsFont(small);
    m_timeAxis->setLabelsFont(small);

    m_unitTime = new QGraphicsSimpleTextItem("mS", m_chart);
    m_unitSpeed = new QGraphicsSimpleTextItem("Об/мин", m_chart);
    m_unitTime->setFont(small);
    m_unitSpeed->setFont(small);

    setChart(m_chart);
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setInteractive(false);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_marker = new MarkerDot(this);
    MoveMarkerHome();
}

void MapChart::ClearSeries() {
    m_series1->clear();
    m_series2->clear();
}

void MapChart::AddPoint(double x, double y, const QString& label) {
    // The axis labels come from the points' labels; the categories already hold them.
    Q_UNUSED(label);
    m_series1->append(x, y);
}

int MapChart::PointCount() const { return static_cast<int>(m_series1->count()); }

double MapChart::PointY(int index) const { return m_series1->at(index).y(); }

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

void MapChart::MoveMarkerHome() { m_marker->move(kMarkerHome); }

void MapChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    placeUnitLabels();
}

void MapChart::placeUnitLabels() {
    const QRectF area = m_chart->plotArea();
    m_unitTime->setPos(area.left() + 4, area.top() + 2);
    const QRectF speed = m_unitSpeed->boundingRect();
    m_unitSpeed->setPos(area.right() - speed.width() - 2, area.bottom() - speed.height() - 2);
}

} // namespace zef
