#ifndef KWN_SERIAL_BUSRECORDING_H
#define KWN_SERIAL_BUSRECORDING_H

// Where a recording of the bus goes: a log, one line per record, or a pcap
// capture for Wireshark, which holds frames and noise runs but no events.
// The session hands each batch over as it comes; the sink writes it through
// to the system, so that a write error shows at once.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

#include <memory>

// A name ending in ".pcap" is written as a capture, whatever else was chosen.
bool isCapturePath(const QString &path);

// The reason in a capture writer's error, without the "cannot write PATH: "
// or "PATH: " it starts with, for a message that names the file itself.
QString captureProblem(const QString &error, const QString &path);

class RecordingSink
{
public:
    virtual ~RecordingSink() = default;

    // A log or a capture by the name, replacing what is there; nothing,
    // with the reason in `problem`, when it cannot be made.
    static std::unique_ptr<RecordingSink> open(const QString &path, QString *problem);

    // Writes the records and hands them to the system; false with the
    // reason in `problem` on a write error. `preciseTimes`: a log's times
    // to the µs rather than the millisecond (a capture has them anyway).
    virtual bool write(const QVector<BusRecord> &records, bool preciseTimes, QString *problem) = 0;
    // Flushes and closes; false on a write error.
    virtual bool close() = 0;
    // Whether the path no longer names the file written (removed or replaced).
    virtual bool gone() const = 0;
};

#endif
