#include "codec/buslogfile.h"

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"

#include <QIODevice>

QByteArray busLogLineOf(const BusRecord &record)
{
    const QString line = record.kind == BusRecord::Noise
        ? busLogNoiseLine(record.timeMs, record.bytes)
        : busLogFrameLine(record.timeMs, directionText(record.kind), record.bytes);
    return line.toUtf8() + '\n';
}

bool parseBusLogNoiseLine(const QString &line, BusLogEntry *entry)
{
    const QString text = line.trimmed();
    if (!text.startsWith(QLatin1Char('#')))
        return false;
    const QStringList words = text.mid(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() != 3 || words.at(1) != QLatin1String("noise:") || !hasBusLogTimeShape(words.at(0)))
        return false;
    const QString hex = words.at(2);
    if (hex.isEmpty() || hex.size() % 2 != 0)
        return false;
    for (const QChar c : hex) {
        const bool digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        if (!digit)
            return false;
    }
    qint64 ms = 0;
    entry->kind = BusRecord::Noise;
    entry->hasTime = readBusLogTime(words.at(0), &ms);
    entry->timeMs = entry->hasTime ? ms : -1;
    entry->bytes = hexTextToBytes(hex);
    return true;
}

namespace {

// The next line of `device` without its line end ("\n", "\r\n"), whole:
// QString::fromUtf8 of a QByteArray would stop at its first NUL.
QString nextLine(QIODevice &device)
{
    QByteArray bytes = device.readLine();
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

} // namespace

BusLogRead readBusLog(QIODevice &device)
{
    BusLogRead read;
    while (!device.atEnd()) {
        const QString line = nextLine(device);
        if (line.trimmed().isEmpty())
            continue;
        BusLogEntry entry;
        if (parseBusLogNoiseLine(line, &entry)) {
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
        entry.hasTime = logged.timeValid;
        entry.timeMs = logged.timeMs;
        entry.bytes = parsed.bytes;
        read.entries.append(std::move(entry));
    }
    return read;
}
