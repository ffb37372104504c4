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

bool parseBusLogLine(const char *line, qsizetype size, BusLogLine *result, qsizetype *textStart)
{
    // As long as the bytes looked at are ASCII, they are the line's
    // characters one for one. A space or tab byte is never part of a longer
    // UTF-8 sequence, nor of an invalid one.
    const auto isSpaceByte = [](char c) { return c == ' ' || c == '\t'; };
    *result = BusLogLine();
    *textStart = 0;
    qsizetype i = 0;
    while (i < size && isSpaceByte(line[i]))
        ++i;
    if (size == 0)
        return true;
    if (i < size && line[i] == '#') {
        result->kind = BusLogLine::Comment;
        return true;
    }
    result->kind = BusLogLine::Frame;
    // The shape of a time: fewer bytes than its characters can hold none.
    static const char shape[] = "dddd-dd-ddTdd:dd:dd";
    if (size - i < qsizetype(sizeof shape) - 1)
        return true;
    for (int k = 0; shape[k]; ++k) {
        const char c = line[i + k];
        if (uchar(c) >= 0x80) {
            // The first character that is not ASCII: no time unless it is a
            // digit of another script, left to the general way.
            const QString character = QString::fromUtf8(line + i + k, int(qMin<qsizetype>(4, size - i - k)));
            return !(shape[k] == 'd' && character.front().isDigit());
        }
        if (shape[k] == 'd' ? !(c >= '0' && c <= '9') : c != shape[k])
            return true;
    }
    qsizetype timeEnd = i;
    while (timeEnd < size && !isSpaceByte(line[timeEnd])) {
        if (uchar(line[timeEnd]) >= 0x80)
            return false;
        ++timeEnd;
    }
    qsizetype dirStart = timeEnd;
    while (dirStart < size && isSpaceByte(line[dirStart]))
        ++dirStart;
    const qsizetype dirEnd = dirStart + 2;
    if (dirStart == timeEnd || dirEnd > size || (line[dirStart] != 'R' && line[dirStart] != 'T')
        || line[dirStart + 1] != 'X' || (dirEnd < size && !isSpaceByte(line[dirEnd])))
        return true;
    const QString time = QString::fromLatin1(line + i, int(timeEnd - i));
    const QDateTime parsed = QDateTime::fromString(time, Qt::ISODateWithMs);
    if (!parsed.isValid())
        return true;
    qsizetype start = dirEnd;
    while (start < size && isSpaceByte(line[start]))
        ++start;
    result->time = time;
    result->timeMs = parsed.toMSecsSinceEpoch();
    result->direction = QString::fromLatin1(line + dirStart, 2);
    *textStart = start;
    return true;
}
