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

// A "# TIME noise: HEX" line: the time and bytes it holds. False for any
// other line.
bool parseBusLogNoiseLine(const QString &line, qint64 *timeMs, QByteArray *bytes);

struct BusLogEntry
{
    BusRecord::Kind kind = BusRecord::Received;
    qint64 timeMs = -1; // -1: the line had no time (a plain frame text)
    QByteArray bytes;
};

struct BusLogRead
{
    QVector<BusLogEntry> entries;
    int refused = 0;  // lines that were neither a frame nor noise nor a comment
};

// Every frame and noise line of a log, in order. Comment lines other than
// noise and empty lines are passed over.
BusLogRead readBusLog(QIODevice &device);

#endif
