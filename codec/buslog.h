#ifndef KWN_CODEC_BUSLOG_H
#define KWN_CODEC_BUSLOG_H

// Bus logs: one frame per line, "TIME DIR HEX", where TIME is the UTC time in
// ISO 8601 with milliseconds ("2026-12-06T22:42:16.123Z"), DIR is RX or TX and
// HEX the frame's bytes as hexadecimal text. Noise runs and events go on lines
// starting with "#", which readers pass over. Plain frame texts are read too.

#include <QByteArray>
#include <QString>

// "2026-12-06T22:42:16.123Z" for a time in milliseconds since the epoch.
QString busLogTime(qint64 msSinceEpoch);

// "TIME DIR HEX".
QString busLogFrameLine(qint64 msSinceEpoch, const QString &direction, const QByteArray &bytes);
// "# TIME noise: HEX".
QString busLogNoiseLine(qint64 msSinceEpoch, const QByteArray &bytes);

struct BusLogLine
{
    enum Kind { Empty, Comment, Frame };
    Kind kind = Empty;
    QString time;       // as written; empty for a plain frame text
    qint64 timeMs = -1; // the time read, -1 when there is none
    QString direction;  // "RX" or "TX"; empty for a plain frame text
    QString frameText;  // the rest of the line, or the whole of a plain line
};

// A line of a log (without its line end). A line whose first two words are a
// time and RX or TX is a logged frame; any other line that is not empty and
// does not start with "#" is a plain frame text, kept as it is.
BusLogLine parseBusLogLine(const QString &line);

// parseBusLogLine for a line given as UTF-8 bytes, read without converting
// it: the frame text is left out of `result` and is the line's bytes from
// `*textStart` on. False, with nothing read, when the line's start holds a
// digit of another script where a time could be, or other than ASCII inside
// what has the shape of a time: the caller then converts the line.
bool parseBusLogLine(const char *line, qsizetype size, BusLogLine *result, qsizetype *textStart);

#endif
