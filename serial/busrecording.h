#ifndef KWN_SERIAL_BUSRECORDING_H
#define KWN_SERIAL_BUSRECORDING_H

// Records held by the session's user saved at once, through the writer a
// recording writes with (capture/recordwriter.h): a log, or a capture when
// the name ends in ".pcap".

#include "codec/busrecord.h"

#include <QString>

#include <functional>

// Records held elsewhere, handed over one by one by their index, so that
// a store saves without copying them out first.
struct RecordRange
{
    int count = 0;
    std::function<const BusRecord &(int)> at;
};

struct SavedRecords
{
    RecordCounts counts;  // of the records written
    bool capture = false; // written as a capture, which leaves out the events
    QString message;      // "Saved 2 frames to PATH", or why not: "Cannot write PATH: ..."
    bool ok = false;
};

// Writes every record of the range into a new log or capture by the path,
// a file the user chose; a write error leaves what was written.
// `preciseTimes`: a log's times to the µs rather than the millisecond.
SavedRecords saveRecords(const QString &path, const RecordRange &records, bool preciseTimes);

#endif
