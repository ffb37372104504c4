#ifndef KWN_CODEC_BUSLOG_H
#define KWN_CODEC_BUSLOG_H

// Bus logs: one frame per line, "TIME DIR HEX", where TIME is the UTC time in
// ISO 8601 with milliseconds ("2026-12-06T22:42:16.123Z"), DIR is RX or TX and
// HEX the frame's bytes as hexadecimal text. Noise runs and events go on lines
// starting with "#", which readers pass over. Plain frame texts are read too.
//
// A line is a log line by its shape alone: a first word that starts with a
// date and time of day, "dddd-dd-ddThh:mm:ss" in ASCII digits, then RX or TX,
// then the frame. Its time is kept as written whatever it holds; one that no
// clock shows (month 13, 02-30, an offset of +99:99) is marked as such and
// its digits are never taken for frame bytes.

#include <QByteArray>
#include <QString>

// "2026-12-06T22:42:16.123Z" for a time in milliseconds since the epoch.
QString busLogTime(qint64 msSinceEpoch);
// The same for a time in µs since the epoch, to the millisecond, or to the
// µs ("2026-12-06T22:42:16.123456Z") when `precise`.
QString busLogTimeUs(qint64 usSinceEpoch, bool precise);

struct BusLogLine
{
    enum Kind { Empty, Comment, Frame };
    Kind kind = Empty;
    QString time;           // as written; empty for a plain frame text
    bool timeValid = false; // `time` holds a date and time that exist
    qint64 timeMs = -1;     // the time read when timeValid (before 1970 too), else -1
    qint64 timeUs = -1;     // the same to the µs, when the time has more digits
    QString direction;      // "RX" or "TX"; empty for a plain frame text
    QString frameText;      // the rest of the line, or the whole of a plain line
};

// True when `text` from `at` on starts as a log line's time does,
// "dddd-dd-ddThh:mm:ss".
bool hasBusLogTimeShape(const QString &text, int at = 0);

// The time of a log line, as written: true, with the time in milliseconds
// since the epoch, for a date and time that exist. A leap second, second 60
// of the last minute of a UTC day, is read as the last millisecond before
// it (23:59:59.999 UTC), so that it sorts between its neighbours.
bool readBusLogTime(const QString &time, qint64 *msSinceEpoch);
// The same to the µs: the digits of the second's fraction are read as they
// stand, up to six of them (more are cut off).
bool readBusLogTimeUs(const QString &time, qint64 *usSinceEpoch);

// A line of a log (without its line end). A line whose first two words are a
// time and RX or TX is a logged frame (see above); any other line that is not
// empty and does not start with "#" is a plain frame text, kept as it is.
BusLogLine parseBusLogLine(const QString &line);

// parseBusLogLine for a line given as UTF-8 bytes, read without converting
// it: the frame text is left out of `result` and is the line's bytes from
// `*textStart` on. False, with nothing read, when the line's start holds a
// digit of another script where a time could be, or other than ASCII inside
// what has the shape of a time: the caller then converts the line.
bool parseBusLogLine(const char *line, qsizetype size, BusLogLine *result, qsizetype *textStart);

#endif
