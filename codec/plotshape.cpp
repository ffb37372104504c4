#include "codec/plotshape.h"

#include <algorithm>
#include <cmath>
#include <vector>

double gapSeconds(const QVector<qint64> &timesUs)
{
    const int spacings = timesUs.size() - 1;
    if (spacings < 1)
        return 0;
    const int taken = std::min(spacings, 1000);
    std::vector<qint64> sample;
    sample.reserve(size_t(taken));
    for (int k = 0; k < taken; ++k) {
        const int i = int(qint64(k) * spacings / taken);
        sample.push_back(timesUs.at(i + 1) - timesUs.at(i));
    }
    std::nth_element(sample.begin(), sample.begin() + taken / 2, sample.end());
    return std::max(1.0, 10.0 * double(sample[size_t(taken / 2)]) / 1e6);
}

QVector<QVector<QPointF>> splitAtGaps(const QVector<QPointF> &points, double gap)
{
    QVector<QVector<QPointF>> parts;
    if (points.isEmpty())
        return parts;
    parts.append(QVector<QPointF>());
    for (int i = 0; i < points.size(); ++i) {
        if (i > 0 && gap > 0 && points.at(i).x() - points.at(i - 1).x() > gap)
            parts.append(QVector<QPointF>());
        parts.last().append(points.at(i));
    }
    return parts;
}

double roundTickStep(double span, int ticks)
{
    if (!(span > 0) || ticks < 1 || !std::isfinite(span))
        return 0;
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= raw * (1 - 1e-9))
            return multiple * power;
    }
    return 10 * power;
}

int tickDecimals(double step)
{
    if (!(step > 0))
        return 0;
    // A step of 0.2 or 0.5 needs one digit; 0.25 never comes from roundTickStep.
    return std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
}

QString unitOfDescription(const QString &description)
{
    const int in = description.indexOf(QLatin1String(" in "));
    if (in < 0)
        return QString();
    const int start = in + 4;
    int end = start;
    while (end < description.size() && !QStringLiteral(",.;\n").contains(description.at(end)))
        ++end;
    const QString unit = description.mid(start, end - start).trimmed();
    return unit.size() > 40 ? QString() : unit;
}
