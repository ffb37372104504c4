#ifndef KWN_CODEC_BUSLOGFILE_H
#define KWN_CODEC_BUSLOGFILE_H

// Bus logs as files of records: what Save and Record write, what Open reads
// back. Frames go on "TIME DIR HEX" lines, noise runs on "# TIME noise: HEX"
// comment lines, so that other readers pass them over while ours keeps them.

#include "codec/busrecord.h"

#include <QByteArray>
#include <QVector>

class QIODevice;

// The log line of a record, with its line end.
QByteArray busLogLineOf(const BusRecord &record);

struct BusLogEntry
{
    BusRecord::Kind kind = BusRecord::Received;
    // False when the line had no time (a plain frame text) or one that does
    // not exist (month 13, 02-30): the reader gives it one of its own.
    bool hasTime = false;
    qint64 timeMs = -1; // the time read, before 1970 too; -1 when !hasTime
    QByteArray bytes;
};

// A "# TIME noise: HEX" line: the time and bytes it holds, as a noise entry.
// False for any other line. Its time is read as a frame line's is.
bool parseBusLogNoiseLine(const QString &line, BusLogEntry *entry);

struct BusLogRead
{
    QVector<BusLogEntry> entries;
    int refused = 0;  // lines that were neither a frame nor noise nor a comment
};

// Every frame and noise line of a log, in order. Comment lines other than
// noise and empty lines are passed over. Each line is read whole, NUL bytes
// and all, as `kwn-frame decode` reads it.
BusLogRead readBusLog(QIODevice &device);

#endif
