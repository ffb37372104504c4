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

QString timeOfDayText(qint64 timeUs)
{
    const qint64 timeMs = floorDiv(timeUs, 1000);
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
    return QTime::fromMSecsSinceStartOfDay(int(ms)).toString(QStringLiteral("hh:mm:ss.zzz"))
        + QStringLiteral("%1").arg(timeUs - timeMs * 1000, 3, 10, QLatin1Char('0'));
}

namespace {

// `value` in units of 1/`scale` with `digits` decimals, exactly.
QString fixedText(qint64 value, qint64 scale, int digits)
{
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    const QString text = QString::number(magnitude / quint64(scale)) + QLatin1Char('.')
        + QStringLiteral("%1").arg(magnitude % quint64(scale), digits, 10, QLatin1Char('0'));
    return value < 0 ? QLatin1Char('-') + text : text;
}

} // namespace

QString deltaText(qint64 deltaUs)
{
    return deltaUs < 0 ? QString() : fixedText(deltaUs, 1000, 3);
}

QString secondsText(qint64 us)
{
    return fixedText(us, 1000000, 6);
}

QString directionText(BusRecord::Kind kind)
{
    return kind == BusRecord::Sent ? QStringLiteral("TX") : QStringLiteral("RX");
}

QString spacedHexText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    if (bytes.isEmpty())
        return QString();
    QString text(3 * bytes.size() - 1, QLatin1Char(' '));
    QChar *out = text.data();
    for (int i = 0; i < bytes.size(); ++i) {
        const quint8 byte = quint8(bytes.at(i));
        out[3 * i] = QLatin1Char(digits[byte >> 4]);
        out[3 * i + 1] = QLatin1Char(digits[byte & 0xF]);
    }
    return text;
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

void setShownValues(BusRecord &record, const QString &status, bool success, const QString &parameters)
{
    record.statusShown = !success;
    if (success || status.isEmpty())
        record.shownValues = parameters;
    else if (parameters.isEmpty())
        record.shownValues = status;
    else
        record.shownValues = status + QStringLiteral(" | ") + parameters;
}

BusRecord eventRecord(qint64 timeUs, const QString &text)
{
    BusRecord record;
    record.kind = BusRecord::Event;
    record.timeUs = timeUs;
    record.values = text;
    record.shownValues = text;
    return record;
}

QString columnText(const BusRecord &record, int column)
{
    const bool noise = record.kind == BusRecord::Noise;
    const bool frame = !noise && record.kind != BusRecord::Event;
    switch (column) {
    case ColumnTime:
        return timeOfDayText(record.timeUs);
    case ColumnDelta:
        return deltaText(record.deltaUs);
    case ColumnDirection:
        return record.kind == BusRecord::Event ? QString() : directionText(record.kind);
    case ColumnDevice:
        return record.device;
    case ColumnMessage:
        return noise ? QStringLiteral("Noise") : record.message;
    case ColumnRoute:
        return record.parsed ? routeText(record.sourceAddress, record.destinationAddress) : QString();
    case ColumnValues:
        return noise ? countText(quint64(record.bytes.size()), "byte", "bytes") : record.shownValues;
    case ColumnBytes:
        return spacedHexText(record.bytes);
    case ColumnChecksum:
        if (!frame || !record.parsed)
            return QString();
        return record.checksumOk ? QStringLiteral("ok") : QStringLiteral("bad");
    default:
        return QString();
    }
}

QString columnToolTip(const BusRecord &record, int column)
{
    if (column == ColumnValues && !record.values.isEmpty())
        return record.values;
    return columnText(record, column);
}

void prepareSearch(BusRecord &record)
{
    QString all;
    all.reserve(96 + record.shownValues.size() + 5 * record.bytes.size());
    for (int column = 0; column < BusColumnCount; ++column) {
        // A line break between columns, which the filter field cannot hold,
        // so that no match spans two columns.
        if (column > 0)
            all += QLatin1Char('\n');
        all += columnText(record, column);
    }
    if (!record.bytes.isEmpty()) {
        all += QLatin1Char('\n');
        appendHexText(record.bytes, all);
    }
    record.search = all.toLower().toUtf8();
}

BusFilter::BusFilter(const QString &text)
{
    const int size = text.size();
    int at = 0;
    while (at < size) {
        if (text.at(at).isSpace()) {
            ++at;
            continue;
        }
        // A lone "-" is looked for as it is.
        const bool excluded = text.at(at) == QLatin1Char('-') && at + 1 < size && !text.at(at + 1).isSpace();
        if (excluded)
            ++at;
        int end = at;
        QString word;
        if (text.at(at) == QLatin1Char('"')) {
            // A phrase, spaces and all, to the closing quote or the end.
            end = text.indexOf(QLatin1Char('"'), at + 1);
            if (end < 0)
                end = size;
            word = text.mid(at + 1, end - at - 1);
            at = qMin(size, end + 1);
        } else {
            while (end < size && !text.at(end).isSpace())
                ++end;
            word = text.mid(at, end - at);
            at = end;
        }
        if (word.isEmpty())
            continue;
        (excluded ? m_excluded : m_required).append(word.toLower().toUtf8());
    }
}

bool BusFilter::matches(const QByteArray &search) const
{
    for (const QByteArray &word : m_required) {
        if (!search.contains(word))
            return false;
    }
    for (const QByteArray &word : m_excluded) {
        if (search.contains(word))
            return false;
    }
    return true;
}
