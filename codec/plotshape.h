#ifndef KWN_CODEC_PLOTSHAPE_H
#define KWN_CODEC_PLOTSHAPE_H

// How a plot of values over time is drawn, apart from any chart library:
// where a line breaks because the bus was silent, where the ticks of an
// axis fall, and what unit a parameter's description gives its values.

#include <QPointF>
#include <QString>
#include <QVector>

// The silence (in seconds) past which a series' line breaks: ten times the
// usual spacing of its times (in µs, in order; the median of up to a
// thousand spacings taken evenly), and a second at least. 0 when there are
// fewer than two.
double gapSeconds(const QVector<qint64> &timesUs);

// The points cut where two neighbours lie more than `gap` apart in x; a gap
// of 0 or less cuts nowhere. Every point stays, in order.
QVector<QVector<QPointF>> splitAtGaps(const QVector<QPointF> &points, double gap);

// The distance between ticks for about `ticks` of them over `span`: 1, 2 or
// 5 times a power of ten (0.5, 1, 2, 5, 10, 20 …). 0 for a span of none.
double roundTickStep(double span, int ticks = 5);
// The digits after the point that show every tick of that step: 0 for 5 or
// 10, 1 for 0.5, 2 for 0.02.
int tickDecimals(double step);

// The unit a description gives, from the words after its first " in " up to
// a comma, full stop, semicolon or line end: "Temperature in tenths of a degree
// Celsius." gives "tenths of a degree Celsius". Empty when there is none, or
// when those words run past 40 characters (a sentence, not a unit).
QString unitOfDescription(const QString &description);

#endif
