#include "codec/busrecord.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QTime>

QString timeOfDayText(qint64 timeMs)
{
    // Asking the time zone for every row costs more than the rest of the row;
    // the offset is looked up again only when the time moves by a minute.
    static qint64 offsetAt = 0;
    static qint64 offsetMs = 0;
    static bool known = false;
    if (!known || qAbs(timeMs - offsetAt) > 60000) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(timeMs).offsetFromUtc()) * 1000;
        offsetAt = timeMs;
        known = true;
    }
    const qint64 dayMs = 24 * 3600 * 1000;
    qint64 ms = (timeMs + offsetMs) % dayMs;
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
