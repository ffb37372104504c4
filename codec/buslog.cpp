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

// The start of a log line's time, 'd' for an ASCII digit.
const char kTimeShape[] = "dddd-dd-ddTdd:dd:dd";
constexpr int kTimeShapeSize = int(sizeof kTimeShape) - 1;
constexpr qint64 kDayMs = 24 * 3600 * 1000;

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}

} // namespace

bool hasBusLogTimeShape(const QString &text, int at)
{
    if (at < 0 || text.size() - at < kTimeShapeSize)
        return false;
    for (int i = 0; i < kTimeShapeSize; ++i) {
        const ushort c = text.at(at + i).unicode();
        if (kTimeShape[i] == 'd' ? !(c >= '0' && c <= '9') : c != ushort(kTimeShape[i]))
            return false;
    }
    return true;
}

bool readBusLogTime(const QString &time, qint64 *msSinceEpoch)
{
    // QDateTime knows no second 60: a leap second is read as second 59 and
    // then moved to its last millisecond.
    const bool leap = hasBusLogTimeShape(time) && time.at(17) == QLatin1Char('6') && time.at(18) == QLatin1Char('0');
    QDateTime parsed;
    if (leap) {
        QString second59 = time;
        second59[17] = QLatin1Char('5');
        second59[18] = QLatin1Char('9');
        parsed = QDateTime::fromString(second59, Qt::ISODateWithMs);
    } else {
        parsed = QDateTime::fromString(time, Qt::ISODateWithMs);
    }
    if (!parsed.isValid())
        return false;
    qint64 ms = parsed.toMSecsSinceEpoch();
    if (leap) {
        ms = floorDiv(ms, 1000) * 1000 + 999;
        if (floorDiv(ms + 1, kDayMs) * kDayMs != ms + 1)
            return false; // leap seconds end a UTC day
    }
    *msSinceEpoch = ms;
    return true;
}

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
    if (!hasBusLogTimeShape(line, i))
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
    int textStart = dirEnd;
    while (textStart < n && isSpace(line.at(textStart)))
        ++textStart;
    result.time = time;
    qint64 ms = 0;
    result.timeValid = readBusLogTime(time, &ms);
    result.timeMs = result.timeValid ? ms : -1;
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
    if (size - i < kTimeShapeSize)
        return true;
    for (int k = 0; k < kTimeShapeSize; ++k) {
        const char c = line[i + k];
        if (uchar(c) >= 0x80) {
            // The first character that is not ASCII: no time. A digit of
            // another script is left to the general way all the same.
            const QString character = QString::fromUtf8(line + i + k, int(qMin<qsizetype>(4, size - i - k)));
            return !(kTimeShape[k] == 'd' && character.front().isDigit());
        }
        if (kTimeShape[k] == 'd' ? !(c >= '0' && c <= '9') : c != kTimeShape[k])
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
    qsizetype start = dirEnd;
    while (start < size && isSpaceByte(line[start]))
        ++start;
    result->time = QString::fromLatin1(line + i, int(timeEnd - i));
    qint64 ms = 0;
    result->timeValid = readBusLogTime(result->time, &ms);
    result->timeMs = result->timeValid ? ms : -1;
    result->direction = QString::fromLatin1(line + dirStart, 2);
    *textStart = start;
    return true;
}
