#ifndef KWN_SERIAL_BUSRECORDING_H
#define KWN_SERIAL_BUSRECORDING_H

// Where a recording of the bus goes: a log, one line per record, or a pcap
// capture for Wireshark, which holds frames and noise runs but no events.
// The session hands each batch over as it comes; the sink writes it through
// to the system, so that a write error shows at once.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

#include <functional>
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
    // Flushes and closes; false, with the reason in `problem` when given,
    // on a write error.
    virtual bool close(QString *problem = nullptr) = 0;
    // Whether the path no longer names the file written (removed or replaced).
    virtual bool gone() const = 0;
};

// Frames, noise runs and events among records, counted one way for every
// writer and reader that says how many it wrote or read.
struct RecordCounts
{
    quint64 frames = 0; // received and sent, bad checksums included
    quint64 noiseRuns = 0;
    quint64 events = 0;

    void add(const BusRecord &record);
    void add(const QVector<BusRecord> &records);
};

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
// through the sink a recording uses; a write error leaves what was written.
// `preciseTimes`: a log's times to the µs rather than the millisecond.
SavedRecords saveRecords(const QString &path, const RecordRange &records, bool preciseTimes);

#endif
