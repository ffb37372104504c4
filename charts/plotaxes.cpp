// The axes of a plot window: round ticks in time, value axes fitted to
// what is drawn and titled with their parameters, names on a named value's.

#include "charts/plotwindow.h"

#include "codec/plotshape.h"

#include <QtCharts/QCategoryAxis>
#include <QtCharts/QValueAxis>

#include <limits>

KWN_CHARTS_USE

// Ticks on round seconds (0.5, 1, 1.5 …) wherever the view begins, with
// the digits the step needs.
void PlotWindow::setTimeTicks()
{
    const double step = roundTickStep(axisTime->max() - axisTime->min());
    if (step <= 0)
        return;
    axisTime->setTickType(QValueAxis::TicksDynamic);
    axisTime->setTickAnchor(0);
    axisTime->setTickInterval(step);
    axisTime->setLabelFormat(QStringLiteral("%.") + QString::number(tickDecimals(step)) + QLatin1Char('f'));
}

// Each number's axis names what it shows: the parameters drawn on it, with
// the unit their descriptions give ("Position (degrees), Speed"); a named
// value's axis is its parameter's already.
void PlotWindow::titleValueAxes()
{
    for (auto it = axisOfGroup.constBegin(); it != axisOfGroup.constEnd(); ++it) {
        QStringList titles;
        bool named = false;
        for (int i = 0; i < plotted.size(); ++i) {
            if (plotted.at(i).axis != it.value())
                continue;
            const ValueSeries &series = extractor.series(i);
            named = named || series.kind() == SeriesKind::Named;
            const QString unit = series.kind() == SeriesKind::Bitfield ? QStringLiteral("field as a number")
                                                                       : unitOfDescription(series.description());
            const QString title = unit.isEmpty() ? series.key().parameter
                                                 : QStringLiteral("%1 (%2)").arg(series.key().parameter, unit);
            if (!titles.contains(title))
                titles << title;
        }
        if (!named)
            it.value()->setTitleText(titles.join(QStringLiteral(", ")));
    }
}

void PlotWindow::fitValueAxes()
{
    for (auto it = axisOfGroup.constBegin(); it != axisOfGroup.constEnd(); ++it) {
        double low = std::numeric_limits<double>::max();
        double high = std::numeric_limits<double>::lowest();
        const ValueSeries *namedSeries = nullptr;
        for (int i = 0; i < plotted.size(); ++i) {
            if (plotted.at(i).axis != it.value())
                continue;
            if (extractor.series(i).kind() == SeriesKind::Named)
                namedSeries = &extractor.series(i);
            low = qMin(low, plotted.at(i).low);
            high = qMax(high, plotted.at(i).high);
        }
        if (namedSeries) {
            showNames(it.value(), *namedSeries, low, high);
            continue;
        }
        if (low > high) {
            low = 0;
            high = 1;
        } else if (low == high) {
            low -= 1;
            high += 1;
        }
        const double margin = (high - low) * 0.05;
        it.value()->setRange(low - margin, high + margin);
        // Round ticks (0, 500, 1000) rather than fifths of the range.
        if (auto *values = qobject_cast<QValueAxis *>(it.value()))
            values->applyNiceNumbers();
    }
}

void PlotWindow::showNames(QAbstractAxis *axis, const ValueSeries &series, double low, double high)
{
    auto *names = static_cast<QCategoryAxis *>(axis);
    const QMap<qint64, QString> &known = series.names();
    if (names->count() != known.size()) {
        for (const QString &label : names->categoriesLabels())
            names->remove(label);
        QStringList used;
        for (auto it = known.constBegin(); it != known.constEnd(); ++it) {
            // Labels are keys of the axis: two numbers of one name keep apart.
            QString label = it.value();
            if (used.contains(label))
                label += QStringLiteral(" (%1)").arg(it.key());
            used << label;
            names->append(label, double(it.key()));
        }
    }
    if (!known.isEmpty()) {
        low = qMin(low, double(known.firstKey()));
        high = qMax(high, double(known.lastKey()));
    }
    if (low > high) {
        low = 0;
        high = 1;
    }
    names->setStartValue(low - 0.5);
    names->setRange(low - 0.5, high + 0.5);
}
