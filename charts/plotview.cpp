#include "charts/plotview.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

KWN_CHARTS_USE

namespace {

// One notch of the wheel, and one press of + or -.
constexpr double kZoomStep = 0.8;
// One press of an arrow key.
constexpr double kPanStep = 0.1;

// Where the mouse is across the view.
qreal xOf(const QMouseEvent *event)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return event->position().x();
#else
    return event->localPos().x();
#endif
}

} // namespace

PlotView::PlotView(QWidget *parent) : QChartView(parent)
{
    setRubberBand(QChartView::HorizontalRubberBand);
    setRenderHint(QPainter::Antialiasing, false);
    setFocusPolicy(Qt::StrongFocus);
}

double PlotView::fractionAt(qreal x) const
{
    const QRectF area = chart() ? chart()->plotArea() : QRectF();
    if (area.width() <= 0)
        return 0.5;
    return qBound(0.0, (mapToScene(QPoint(int(x), 0)).x() - area.left()) / area.width(), 1.0);
}

void PlotView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    emit zoomRequested(std::pow(kZoomStep, delta / 120.0), fractionAt(event->position().x()));
    event->accept();
}

void PlotView::mousePressEvent(QMouseEvent *event)
{
    const bool pan = event->button() == Qt::MiddleButton
        || (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier));
    if (!pan) {
        QChartView::mousePressEvent(event);
        return;
    }
    panning = true;
    panFromX = xOf(event);
    setCursor(Qt::ClosedHandCursor);
    event->accept();
}

void PlotView::mouseMoveEvent(QMouseEvent *event)
{
    if (!panning) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const QRectF area = chart() ? chart()->plotArea() : QRectF();
    const qreal dx = xOf(event) - panFromX;
    panFromX = xOf(event);
    // The plot follows the hand: dragging to the right shows earlier times.
    if (area.width() > 0 && dx != 0)
        emit panRequested(-dx / area.width());
    event->accept();
}

void PlotView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!panning) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    panning = false;
    unsetCursor();
    event->accept();
}

void PlotView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        emit panRequested(-kPanStep);
        break;
    case Qt::Key_Right:
        emit panRequested(kPanStep);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        emit zoomRequested(kZoomStep, 0.5);
        break;
    case Qt::Key_Minus:
        emit zoomRequested(1.0 / kZoomStep, 0.5);
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}
