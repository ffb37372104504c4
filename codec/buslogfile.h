#ifndef KWN_CODEC_BUSLOGFILE_H
#define KWN_CODEC_BUSLOGFILE_H

// Bus logs as files of records: what Save and Record write, what Open reads
// back. Frames go on "TIME DIR HEX" lines, noise runs on "# TIME noise: HEX"
// and events on "# TIME event: TEXT" comment lines, so that other readers
// pass them over while ours keeps them.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QVector>

class QIODevice;

// The log line of a record, with its line end. Its time to the millisecond,
// or to the µs when `precise`.
QByteArray busLogLineOf(const BusRecord &record, bool precise = false);

struct BusLogEntry
{
    BusRecord::Kind kind = BusRecord::Received;
    // False when the line had no time (a plain frame text) or one that does
    // not exist (month 13, 02-30): the reader gives it one of its own.
    bool hasTime = false;
    qint64 timeUs = -1; // the time read to the µs, before 1970 too; -1 when !hasTime
    QByteArray bytes;
    QString text;       // an event's text
};

// A "# TIME noise: HEX" line: the time and bytes it holds, as a noise entry.
// False for any other line. Its time is read as a frame line's is.
bool parseBusLogNoiseLine(const QString &line, BusLogEntry *entry);
// A "# TIME event: TEXT" line, as an event entry; false for any other line.
bool parseBusLogEventLine(const QString &line, BusLogEntry *entry);

struct BusLogRead
{
    QVector<BusLogEntry> entries;
    int refused = 0;  // lines that were neither a frame, noise, an event nor a comment
};

enum class BusLogLineKind { Skipped, Entry, Refused };

// One line of a log, without its line end: a frame, noise or event entry,
// nothing to read (empty or another comment), or a line that is no frame.
BusLogLineKind readBusLogLine(const QByteArray &line, BusLogEntry *entry);

// The lines of a device, read a block at a time. A line longer than any log
// line can be (a frame is at most 31 bytes) is given as too long, and is
// never held whole however long it is.
class BusLogLineReader
{
public:
    static constexpr qsizetype kMaxLineBytes = 4096;

    explicit BusLogLineReader(QIODevice &device) : m_device(device) {}
    // The next line without its line end; false at the end of the device.
    bool next(QByteArray *line, bool *tooLong);

private:
    bool fill();

    QIODevice &m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_end = false;
};

// Every frame, noise and event line of a log, in order. Other comment lines
// and empty lines are passed over. Each line is read whole, NUL bytes
// and all, as `kwn-frame decode` reads it; a line too long to be a log line
// is refused.
BusLogRead readBusLog(QIODevice &device);

#endif
