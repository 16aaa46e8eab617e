#pragma once

#include <QChartView>
#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QStringList>

#include <optional>
#include <vector>

class QGraphicsLineItem;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QRubberBand;
class QValueAxis;

namespace zef {

// One channel's plot in the trend window: its own value scale, the shared time range, the
// cursor line. Mouse input becomes requests to the window, which keeps every plot on the same
// time range.
class TrendPlot : public QChartView {
    Q_OBJECT
public:
    TrendPlot(const QString& title, const QColor& color, QWidget* parent = nullptr);

    // Draws the pieces of a line (each drawn on its own, so gaps between them stay empty) over
    // the time range [from, to]; the value scale fits the samples inside the range.
    void Show(const std::vector<QList<QPointF>>& pieces, double from, double to);
    void SetTimeLabelsVisible(bool visible);
    // The wall-clock time of second 0: with the time labels, the clock time of each tick
    // stands under its seconds. Invalid: seconds only.
    void SetClockStart(const QDateTime& start);
    // The clock times under the ticks now, left to right.
    [[nodiscard]] QStringList ClockLabels() const;
    // What the cursor reads, at the right end of the plot's header.
    void SetReading(const QString& text);
    [[nodiscard]] QString Reading() const;
    // The channel's name and its reading stand apart and whole above the plot.
    [[nodiscard]] bool HeaderFits() const;
    // The cursor line at a time, or none.
    void SetCursor(std::optional<double> seconds);

    // The fitter's markers as upright lines at their times.
    void SetMarks(std::vector<double> seconds);
    // The marker lines inside the time range now, in view coordinates.
    [[nodiscard]] std::vector<double> MarkXs() const;

    // Pixel columns of the plot area: how many slices the samples are thinned to.
    [[nodiscard]] int PlotWidth() const;
    [[nodiscard]] QValueAxis* TimeAxis() const { return m_time; }
    [[nodiscard]] QValueAxis* ValueAxis() const { return m_value; }
    // The line pieces drawn now (series kept for reuse beyond these are empty).
    [[nodiscard]] std::vector<QLineSeries*> Pieces() const;
    [[nodiscard]] bool CursorVisible() const;
    // The cursor line's horizontal position in view coordinates.
    [[nodiscard]] double CursorX() const;
    // The time at a point of the view, as the mouse would read it.
    [[nodiscard]] double TimeAt(QPointF viewPoint) const;
    [[nodiscard]] QPointF ViewPointAt(double seconds) const;

signals:
    void cursorMoved(double seconds);
    void cursorLeft();
    void zoomRequested(double from, double to);
    void wheelZoomRequested(double at, double factor);
    void resetRequested();
    // The plot area's width changed: the samples need thinning to the new width.
    void widthChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // The plot areas of all plots start at the same left edge whatever their value labels are,
    // so one time sits at one x in every plot and the cursor lines form one line.
    void placePlotArea();
    void placeTicks();
    void placeAxes(double low, double high, double from, double to);
    static void setAxis(QValueAxis* axis, double min, double max, double step);
    void placeReading();
    void placeCursor();
    void placeMarks();
    void placeClock();
    [[nodiscard]] bool inPlotArea(QPointF viewPoint) const;

    QChart* m_chart;
    QValueAxis* m_time;
    QValueAxis* m_value;
    QColor m_color;
    QGraphicsSimpleTextItem* m_title;
    QGraphicsSimpleTextItem* m_reading;
    QGraphicsSimpleTextItem* m_timeUnit;
    QGraphicsLineItem* m_cursorLine;
    std::vector<QLineSeries*> m_series;
    std::vector<double> m_marks;
    QDateTime m_clockStart;
    std::vector<QGraphicsSimpleTextItem*> m_clockLabels;
    std::vector<QGraphicsLineItem*> m_markLines;
    std::size_t m_pieces = 0;
    bool m_timeLabels = false;
    std::optional<double> m_cursor;
    QRubberBand* m_band = nullptr;
    std::optional<QPointF> m_pressedAt;
};

} // namespace zef
