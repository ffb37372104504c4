#ifndef KWN_CAPTURE_RECORDWRITER_H
#define KWN_CAPTURE_RECORDWRITER_H

// Where records of the bus are written: a log, one line per record (see
// codec/buslogfile.h), or a pcap capture for Wireshark (see capturefile.h),
// which holds frames and noise runs but no events. The one writer of both
// kinds for every file the tool writes: the session's recording, the Bus
// page's Save, kwn-frame monitor's capture and kwn-frame convert.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

#include <memory>

namespace capture {

// A name ending in ".pcap" is written as a capture, whatever else was chosen.
bool isCapturePath(const QString &path);

// The reason in a writer's error, without the "cannot write PATH: " or
// "PATH: " it starts with, for a message that names the file itself.
QString writeProblem(const QString &error, const QString &path);

class RecordWriter
{
public:
    enum class Kind { Log, Capture };
    enum class Opening {
        // A file the user chose in a dialog (catalogue/fileaccess.h's
        // openForWriting): no new file through a link, a FIFO without a
        // reader refused rather than waited on; gone() tells whether the
        // name still names it.
        Chosen,
        // The name as a command line gives it: links followed, a FIFO
        // waited on, and "-" standard output for a capture.
        AsNamed
    };

    virtual ~RecordWriter() = default;

    // A log or a capture by the name, replacing what is there; nothing,
    // with the reason in `error` ("cannot write PATH: ..."), when it cannot
    // be made. A capture's header waits for the first flush, so that a file
    // that takes nothing fails there, as a log does.
    static std::unique_ptr<RecordWriter> open(const QString &path, Kind kind, Opening opening, QString *error);

    // Adds a record, buffered; false with errorText() on a write error or a
    // record the file cannot hold (a capture's time out of its range).
    // `preciseTimes`: a log's times to the µs rather than the millisecond (a
    // capture has them anyway). An event goes in a log and is counted in a
    // capture, which leaves it out.
    bool write(const BusRecord &record, bool preciseTimes);
    // Each record, then a flush: what was written is with the system.
    bool write(const QVector<BusRecord> &records, bool preciseTimes);
    // Hands what is buffered to the system; false with errorText() on a write error.
    virtual bool flush() = 0;
    // Flushes and closes; false with errorText() on a write error.
    virtual bool close() = 0;
    // Whether the path no longer names the file written (removed or
    // replaced); false for a file opened AsNamed.
    virtual bool gone() const = 0;

    // Why writing stopped: "cannot write PATH: reason" or "PATH: reason".
    QString errorText() const { return m_error; }
    // Of the records taken without an error.
    const RecordCounts &counts() const { return m_counts; }

protected:
    // write() of the kind of file, without the count.
    virtual bool put(const BusRecord &record, bool preciseTimes) = 0;

    QString m_error;
    RecordCounts m_counts;
};

} // namespace capture

#endif
