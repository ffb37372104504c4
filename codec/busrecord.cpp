#include "codec/busrecord.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QTime>

namespace {

constexpr qint64 kHourMs = 3600 * 1000;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

qint64 localOffsetMs(qint64 timeMs)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(timeMs).offsetFromUtc()) * 1000;
}

// A stretch of time over which the local time's offset from UTC holds.
struct OffsetSpan
{
    qint64 from = 0;  // first millisecond
    qint64 until = 0; // one past the last; empty: nothing known
    qint64 offsetMs = 0;
};

// Where the offset changes between `same`, whose offset is `offsetMs`, and
// `other`, on either side of it, whose offset is another: the first
// millisecond of the later of the two offsets. It changes once between them.
qint64 offsetChange(qint64 same, qint64 other, qint64 offsetMs)
{
    while (qAbs(other - same) > 1) {
        const qint64 middle = same + (other - same) / 2;
        (localOffsetMs(middle) == offsetMs ? same : other) = middle;
    }
    return qMax(same, other);
}

// The span around `timeMs` within its hour of UTC, found by asking for the
// offsets at both ends of the hour: the offset changes at most once an hour.
OffsetSpan offsetSpanAt(qint64 timeMs)
{
    OffsetSpan span;
    span.offsetMs = localOffsetMs(timeMs);
    span.from = floorDiv(timeMs, kHourMs) * kHourMs;
    span.until = span.from + kHourMs;
    if (localOffsetMs(span.from) != span.offsetMs)
        span.from = offsetChange(timeMs, span.from, span.offsetMs);
    if (localOffsetMs(span.until - 1) != span.offsetMs)
        span.until = offsetChange(timeMs, span.until - 1, span.offsetMs);
    return span;
}

} // namespace

QString timeOfDayText(qint64 timeMs)
{
    // Asking the time zone for every row costs more than the rest of the row;
    // each thread asks again only when the time leaves the span it last
    // found: the hour of UTC around that time, cut where the offset changes
    // (summer time begins or ends). A new zone for the whole system shows
    // from the next span on.
    thread_local OffsetSpan span;
    if (timeMs < span.from || timeMs >= span.until)
        span = offsetSpanAt(timeMs);
    const qint64 dayMs = 24 * 3600 * 1000;
    qint64 ms = (timeMs + span.offsetMs) % dayMs;
    if (ms < 0)
        ms += dayMs;
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString directionText(BusRecord::Kind kind)
{
    return kind == BusRecord::Sent ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString routeText(quint32 source, quint32 destination)
{
    const AddressingMode mode = addressingModeOf(destination);
    const QString to = mode == AddressingMode::PointToPoint ? nodeIdText(destination)
                                                            : addressingModeName(destination);
    return nodeIdText(source) + QStringLiteral(" \u2192 ") + to;
}

QString countText(quint64 count, const char *singular, const char *plural)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? singular : plural);
}

QString columnText(const BusRecord &record, int column)
{
    const bool noise = record.kind == BusRecord::Noise;
    switch (column) {
    case ColumnTime:
        return timeOfDayText(record.timeMs);
    case ColumnDelta:
        return record.deltaMs < 0 ? QString() : QString::number(record.deltaMs);
    case ColumnDirection:
        return directionText(record.kind);
    case ColumnDevice:
        return record.device;
    case ColumnMessage:
        return noise ? QStringLiteral("Noise") : record.message;
    case ColumnRoute:
        return record.parsed ? routeText(record.sourceAddress, record.destinationAddress) : QString();
    case ColumnValues:
        return noise ? countText(quint64(record.bytes.size()), "byte", "bytes") : record.values;
    case ColumnBytes:
        return frameToHexText(record.bytes);
    case ColumnChecksum:
        if (noise || !record.parsed)
            return QString();
        return record.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad");
    default:
        return QString();
    }
}

void prepareSearch(BusRecord &record)
{
    QString all;
    all.reserve(96 + record.values.size() + 2 * record.bytes.size());
    for (int column = 0; column < BusColumnCount; ++column) {
        // A line break between columns, which the filter field cannot hold,
        // so that no match spans two columns.
        if (column > 0)
            all += QLatin1Char('\n');
        all += columnText(record, column);
    }
    record.search = all.toLower().toUtf8();
}

QByteArray searchNeedle(const QString &filterText)
{
    return filterText.toLower().toUtf8();
}
