#ifndef KWN_CHARTS_PLOTVIEW_H
#define KWN_CHARTS_PLOTVIEW_H

// The view of a plot: asks its window to zoom the time axis with the wheel
// and the + and - keys, and to pan it by a drag with the middle button or
// with Shift held, and with the arrow keys. A drag with the left button
// draws the rubber band of the chart view, which zooms into its span.

#include "charts/chartsqt.h"

#include <QtCharts/QChartView>

class PlotView : public KWN_CHARTS_QUALIFIED(QChartView)
{
    Q_OBJECT

public:
    explicit PlotView(QWidget *parent = nullptr);

signals:
    // factor < 1 zooms in; `at` is where, as a fraction of the plot's width
    // from its left edge.
    void zoomRequested(double factor, double at);
    // By this fraction of the plot's width: > 0 to later times.
    void panRequested(double fraction);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // x as a fraction of the plot area's width.
    double fractionAt(qreal x) const;

    bool panning = false;
    qreal panFromX = 0;
};

#endif
