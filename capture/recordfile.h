#ifndef KWN_CAPTURE_RECORDFILE_H
#define KWN_CAPTURE_RECORDFILE_H

// Files of bus records of either kind, told apart by their content, never by
// their name: a pcap capture (see capturefile.h) or a bus log (see
// codec/buslogfile.h). Both give the same records for the same bus: frames
// received and sent, bad checksums included, and noise runs; a log gives its
// events too, which a capture cannot hold.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QTemporaryFile;

namespace capture {

enum class RecordFileKind { Log, Capture };

// What the file's first bytes say it is; a file that cannot be read is taken
// for a log, whose reading then says why.
RecordFileKind recordFileKind(const QString &path);

struct RecordFileRead
{
    RecordFileKind kind = RecordFileKind::Log;
    QVector<BusRecord> records; // kind, time and bytes (an event's text in values)
    int refusedLines = 0;       // log lines that were no frame, noise or event
    QString error;              // the file could not be read whole; records holds what came before
    bool ok() const { return error.isEmpty(); }
};

// `path` may be "-" for standard input, and may be a pipe or a FIFO: each
// file is opened once and read once, and a FIFO without a writer reads as
// empty rather than waiting for one.

// Every record of a log or capture, in order. A log line without a time (a
// plain frame text) takes the time of the record before it, or the time of
// reading when it comes first, as the Bus page's Open does.
RecordFileRead readRecordFile(const QString &path);

// One record handed over while a file is read: the bytes are valid during
// the call; an event's text is in `text`. Return false to stop.
struct RecordView
{
    BusRecord::Kind kind = BusRecord::Received;
    qint64 timeUs = 0;
    bool hasTime = true; // false: a log line without one, given the time above
    const char *bytes = nullptr;
    int size = 0;
    QString text;
    // Bytes of the file read so far, for telling how far reading is: a
    // capture's up to the end of this record, a log's up to the end of
    // the block it came in.
    qint64 bytesRead = 0;
};
using RecordVisitor = std::function<bool(const RecordView &)>;

struct RecordScan
{
    RecordFileKind kind = RecordFileKind::Log;
    quint64 records = 0;
    int refusedLines = 0;
    QString error;
};

// readRecordFile without holding the records: each goes to `visit` as it is read.
RecordScan scanRecordFile(const QString &path, const RecordVisitor &visit);

class InputFile;

// A file to be read more than once: the file itself when it is a regular
// file, else (a pipe, a FIFO, standard input) a temporary copy of all that
// `file` has left to give, removed with this object.
class RereadableFile
{
public:
    RereadableFile();
    ~RereadableFile();
    // Takes what is left of `file`, opened from `path`, when it must be
    // copied; false with errorText() when it cannot be.
    bool open(InputFile &file, const QString &path);
    QString errorText() const { return m_error; }

    // scanRecordFile of the file, again and again; messages name the file
    // as it was opened.
    RecordScan scan(const RecordVisitor &visit) const;
    // Whether the time of any record has digits past the millisecond (a
    // log written from it then gives times to the µs), read up to the
    // first such record.
    bool timesFinerThanMs() const;
    // Where it can be read again by name: the file itself, or its copy.
    QString readablePath() const { return m_path; }

private:
    std::unique_ptr<QTemporaryFile> m_copy;
    QString m_path; // the file itself or its copy
    QString m_name;
    QString m_error;
};

struct ConvertResult
{
    QString error;             // nothing usable was written when not empty
    quint64 records = 0;       // frames and noise runs written
    quint64 eventsLeftOut = 0; // log events, which a capture cannot hold
    int refusedLines = 0;      // log lines that were no frame, noise or event
    bool ok() const { return error.isEmpty(); }
};

// Which records a conversion writes: those for which it holds (all when empty).
using RecordChoice = std::function<bool(const RecordView &)>;

// Writes every frame and noise run of the file `in`, log or capture, into a
// new capture `out`; events are left out and counted.
ConvertResult convertToCapture(const QString &in, const QString &out, const RecordChoice &choice = {});

// Writes every record of the file `in` into a new log `out`, as the Bus page
// saves: times to the millisecond, or to the µs when any record's time has
// digits past the millisecond, so that a log made by the page or the
// monitor comes back byte for byte from its capture.
ConvertResult convertToLog(const QString &in, const QString &out, const RecordChoice &choice = {});

} // namespace capture

#endif
