#include "codec/buslog.h"

#include <QDateTime>

QString busLogTime(qint64 msSinceEpoch)
{
    // Made in UTC: through local time every call would look up the time zone.
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString busLogTimeUs(qint64 usSinceEpoch, bool precise)
{
    const qint64 ms = usSinceEpoch / 1000 - (usSinceEpoch % 1000 < 0 ? 1 : 0);
    if (!precise)
        return busLogTime(ms);
    // "…16.123Z" with the three digits of the µs put in before the "Z".
    QString text = busLogTime(ms);
    const qint64 us = usSinceEpoch - ms * 1000;
    text.insert(text.size() - 1, QStringLiteral("%1").arg(us, 3, 10, QLatin1Char('0')));
    return text;
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
    qint64 us = 0;
    if (!readBusLogTimeUs(time, &us))
        return false;
    *msSinceEpoch = floorDiv(us, 1000);
    return true;
}

bool readBusLogTimeUs(const QString &text, qint64 *usSinceEpoch)
{
    // The fraction is read here, digit by digit: QDateTime rounds more than
    // three digits one way or the other (and a whole second up).
    QString time = text;
    qint64 fractionUs = 0;
    if (hasBusLogTimeShape(time) && time.size() > 19 && time.at(19) == QLatin1Char('.')) {
        int end = 20;
        qint64 scale = 100000;
        while (end < time.size() && time.at(end).unicode() >= '0' && time.at(end).unicode() <= '9') {
            fractionUs += scale * (time.at(end).unicode() - '0');
            scale /= 10;
            ++end;
        }
        // Qt judges the rest as written, with a fraction it reads exactly.
        if (end > 20)
            time.replace(20, end - 20, QStringLiteral("000"));
    }
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
    const qint64 ms = parsed.toMSecsSinceEpoch();
    if (leap) {
        // Its last µs, whatever the fraction said.
        if (floorDiv(ms + 1000, kDayMs) * kDayMs != ms + 1000)
            return false; // leap seconds end a UTC day
        *usSinceEpoch = ms * 1000 + 999999;
        return true;
    }
    *usSinceEpoch = ms * 1000 + fractionUs;
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
    qint64 us = 0;
    result.timeValid = readBusLogTimeUs(time, &us);
    result.timeUs = result.timeValid ? us : -1;
    result.timeMs = result.timeValid ? floorDiv(us, 1000) : -1;
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
    qint64 us = 0;
    result->timeValid = readBusLogTimeUs(result->time, &us);
    result->timeUs = result->timeValid ? us : -1;
    result->timeMs = result->timeValid ? floorDiv(us, 1000) : -1;
    result->direction = QString::fromLatin1(line + dirStart, 2);
    *textStart = start;
    return true;
}
