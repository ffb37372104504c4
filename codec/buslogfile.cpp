#include "codec/buslogfile.h"

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QDateTime>
#include <QIODevice>

QByteArray busLogLineOf(const BusRecord &record)
{
    const QString line = record.kind == BusRecord::Noise
        ? busLogNoiseLine(record.timeMs, record.bytes)
        : busLogFrameLine(record.timeMs, directionText(record.kind), record.bytes);
    return line.toUtf8() + '\n';
}

bool parseBusLogNoiseLine(const QString &line, qint64 *timeMs, QByteArray *bytes)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1Char('#')))
        return false;
    const QStringList words = text.mid(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || words.at(1) != QLatin1String("noise:"))
        return false;
    const QDateTime time = QDateTime::fromString(words.at(0), Qt::ISODateWithMs);
    const QString hex = words.at(2);
    if (!time.isValid() || hex.isEmpty() || hex.size() % 2 != 0)
        return false;
    for (const QChar c : hex) {
        const bool digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        if (!digit)
            return false;
    }
    *timeMs = time.toMSecsSinceEpoch();
    *bytes = hexTextToBytes(hex);
    return true;
}

BusLogRead readBusLog(QIODevice &device)
{
    BusLogRead read;
    while (!device.atEnd()) {
        const QString line = QString::fromUtf8(device.readLine()).trimmed();
        if (line.isEmpty())
            continue;
        BusLogEntry entry;
        if (parseBusLogNoiseLine(line, &entry.timeMs, &entry.bytes)) {
            entry.kind = BusRecord::Noise;
            read.entries.append(std::move(entry));
            continue;
        }
        const BusLogLine logged = parseBusLogLine(line);
        if (logged.kind != BusLogLine::Frame)
            continue; // events and other comments
        const ParsedFrame parsed = parseFrameText(logged.frameText);
        if (!parsed.ok()) {
            ++read.refused;
            continue;
        }
        entry.kind = logged.direction == QLatin1String("TX") ? BusRecord::Sent : BusRecord::Received;
        entry.timeMs = logged.timeMs;
        entry.bytes = parsed.bytes;
        read.entries.append(std::move(entry));
    }
    return read;
}
