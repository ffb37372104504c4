#include "codec/buslog.h"

#include "codec/frame.h"

#include <QDateTime>

QString busLogTime(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch).toUTC().toString(Qt::ISODateWithMs);
}

QString busLogFrameLine(qint64 msSinceEpoch, const QString &direction, const QByteArray &bytes)
{
    return busLogTime(msSinceEpoch) + QLatin1Char(' ') + direction + QLatin1Char(' ') + frameToHexText(bytes);
}

QString busLogNoiseLine(qint64 msSinceEpoch, const QByteArray &bytes)
{
    return QLatin1String("# ") + busLogTime(msSinceEpoch) + QLatin1String(" noise: ") + frameToHexText(bytes);
}

namespace {

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Cheap shape check before the date parser: "dddd-dd-ddTdd:dd:dd" at `at`.
bool looksLikeTime(const QString &line, int at)
{
    static const char shape[] = "dddd-dd-ddTdd:dd:dd";
    if (line.size() - at < int(sizeof shape) - 1)
        return false;
    for (int i = 0; shape[i]; ++i) {
        const QChar c = line.at(at + i);
        if (shape[i] == 'd' ? !c.isDigit() : c != QLatin1Char(shape[i]))
            return false;
    }
    return true;
}

} // namespace

BusLogLine parseBusLogLine(const QString &line)
{
    BusLogLine result;
    int i = 0;
    const int n = line.size();
    while (i < n && isSpace(line.at(i)))
        ++i;
    if (n == 0)
        return result;
    if (i < n && line.at(i) == QLatin1Char('#')) {
        result.kind = BusLogLine::Comment;
        return result;
    }
    result.kind = BusLogLine::Frame;
    result.frameText = line;

    // Any other line is taken as it is, without a second look at all of it.
    if (!looksLikeTime(line, i))
        return result;
    int timeEnd = i;
    while (timeEnd < n && !isSpace(line.at(timeEnd)))
        ++timeEnd;
    const QString time = line.mid(i, timeEnd - i);
    int dirStart = timeEnd;
    while (dirStart < n && isSpace(line.at(dirStart)))
        ++dirStart;
    const QString direction = line.mid(dirStart, 2);
    const int dirEnd = dirStart + 2;
    if ((direction != QLatin1String("RX") && direction != QLatin1String("TX")) || dirStart == timeEnd
        || (dirEnd < n && !isSpace(line.at(dirEnd))))
        return result;
    const QDateTime parsed = QDateTime::fromString(time, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return result;
    int textStart = dirEnd;
    while (textStart < n && isSpace(line.at(textStart)))
        ++textStart;
    result.time = time;
    result.timeMs = parsed.toMSecsSinceEpoch();
    result.direction = direction;
    result.frameText = line.mid(textStart);
    return result;
}
