#pragma once

#include <QChartView>
#include <QPointF>
#include <QWidget>

#include <vector>

class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
class QCategoryAxis;
class QGraphicsSimpleTextItem;

namespace zef {

// The injection-time map drawn over engine speed: `Series1` holds the map, `Series2` stays
// empty and only lends its axes for turning values into pixels, and `Shape1` marks the
// engine's present operating point. The chart takes no mouse input.
class MapChart : public QChartView {
    Q_OBJECT
public:
    static constexpr QPoint kMarkerHome{12, 174};
    static constexpr int kMarkerSize = 6;

    explicit MapChart(QWidget* parent = nullptr);

    // The series operations the map editor needs.
    void ClearSeries();
    void AddPoint(double x, double y, const QString& label);
    [[nodiscard]] int PointCount() const;
    [[nodiscard]] double PointY(int index) const;
    void SetPointY(int index, double y);

    // Pixel position, in the chart's client coordinates, of an engine speed on the horizontal
    // axis and an injection time on the vertical one. Values outside the axes map beyond them.
    [[nodiscard]] QPointF ValueToPixel(double x, double y) const;

    // Puts the marker's centre on a pixel; nothing clips it but the chart's own edges.
    void CentreMarkerOn(QPointF pixel);
    void MoveMarkerHome();

    // Points that are no longer live (the controller stopped answering) are drawn grey, their
    // marks too, and the marker is hidden; fresh ones in the map's own colour.
    void SetStale(bool stale);
    [[nodiscard]] bool Stale() const { return m_stale; }
    [[nodiscard]] QWidget* Marker() const { return m_marker; }

    // A curve proposed for the map (a tuning's suggestion), dashed over it; empty removes it.
    void SetSuggested(const std::vector<QPointF>& points);
    [[nodiscard]] QLineSeries* Suggested() const { return m_suggested; } // null until first set

    // A recording's operating points under the map, one dot a few pixels across where any
    // number of them fell; empty removes them.
    void SetRecordingPoints(const std::vector<QPointF>& points);
    [[nodiscard]] QScatterSeries* RecordingPoints() const { return m_recording; } // null until set
    // The engine speeds and injection times the axes span, and the plot's size in pixels.
    [[nodiscard]] QRectF ValueArea() const;
    [[nodiscard]] QSizeF PlotSize() const;

    [[nodiscard]] QLineSeries* Series1() const { return m_series1; }
    [[nodiscard]] QLineSeries* Series2() const { return m_series2; }
    [[nodiscard]] QCategoryAxis* SpeedAxis() const { return m_speedAxis; }
    // The value mark of each point, in the chart's coordinates; as many as there are points.
    [[nodiscard]] std::vector<QRectF> MarkRects() const;
    [[nodiscard]] QStringList MarkTexts() const;
    // What no mark may cover: the axis labels and the two unit labels, in chart coordinates.
    [[nodiscard]] std::vector<QRectF> LabelRects() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeUnitLabels();
    // Every change of the data redraws the whole chart and places the marks anew: the marks
    // lie outside the series' own area, and a partial repaint would leave old ones behind.
    void dataChanged();
    void placeMarks();

    QChart* m_chart;
    QLineSeries* m_series1;
    QLineSeries* m_series2;
    QCategoryAxis* m_speedAxis;
    QValueAxis* m_timeAxis;
    QGraphicsSimpleTextItem* m_unitTime;
    QGraphicsSimpleTextItem* m_unitSpeed;
    QLineSeries* m_suggested = nullptr;
    QScatterSeries* m_recording = nullptr;
    QWidget* m_marker = nullptr;
    std::vector<QGraphicsSimpleTextItem*> m_marks;
    std::vector<QGraphicsSimpleTextItem*> m_speedLabels; // 0 ... 6000 under the plot
    bool m_stale = false;
};

} // namespace zef
