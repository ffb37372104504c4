#ifndef KWN_CAPTURE_CAPTUREFILE_H
#define KWN_CAPTURE_CAPTUREFILE_H

// Bus records in pcap capture files, as Wireshark and tshark read them: link
// type USER0 (147), time stamps to the microsecond, and per record one byte
// of direction (0 received, 1 sent, 2 noise) followed by the bytes as they
// were on the wire, header and data still inverted. Frames with a bad
// checksum and noise runs are records like any other.
//
// Events of a session (a port connected or lost) were never on the wire and
// have no place in a capture: the writer leaves them out and counts them.

#include "codec/busrecord.h"

#include <QString>
#include <QVector>

#include <cstdio>
#include <functional>
#include <memory>

namespace capture {

constexpr int kLinkTypeUser0 = 147;
// The largest record a capture holds: the direction byte and the bytes.
// A longer noise run goes in several records of the same time.
constexpr int kSnapshotLength = 65535;

enum Direction : quint8 { DirectionReceived = 0, DirectionSent = 1, DirectionNoise = 2 };

// Whether `head`, the first bytes of a file, starts as a pcap capture does
// (either byte order, microseconds or nanoseconds) or as a pcapng file.
bool looksLikeCapture(const QByteArray &head);
// looksLikeCapture of the file's first bytes; false for a file that cannot be read.
bool fileLooksLikeCapture(const QString &path);

// Times a capture can hold: from 1970 to early 2106, the seconds being
// an unsigned 32-bit number.
bool timeFitsCapture(qint64 timeUs);

class CaptureWriter
{
public:
    CaptureWriter();
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter &) = delete;
    CaptureWriter &operator=(const CaptureWriter &) = delete;

    // Creates or replaces the file; false with errorText() when it cannot.
    bool open(const QString &path);
    bool isOpen() const;
    // Writes a frame or noise record; an event is counted and left out.
    // False with errorText() for a time a capture cannot hold, an empty
    // record, or a write error; the file stays open for the records after.
    bool write(const BusRecord &record);
    bool write(BusRecord::Kind kind, qint64 timeUs, const char *bytes, int size);
    // Hands what is written to the system; false on a write error.
    bool flush();
    // Flushes and closes; false when the last writes failed.
    bool close();

    QString errorText() const { return m_error; }
    quint64 recordsWritten() const { return m_written; }
    quint64 eventsLeftOut() const { return m_eventsLeftOut; }

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    QString m_path;
    QString m_error;
    QByteArray m_buffer;
    quint64 m_written = 0;
    quint64 m_eventsLeftOut = 0;
};

// One record as read from a capture.
struct CaptureRecord
{
    BusRecord::Kind kind = BusRecord::Received;
    qint64 timeUs = 0;
    const char *bytes = nullptr; // valid until the next record is read
    int size = 0;
};

// Reads a capture record by record. Refuses, with a text naming the file and
// the record, a file that is not a whole capture of our link type: another
// link type, a record cut short by a snapshot length, a direction byte that
// is not 0, 1 or 2, a frame record not of 11 to 31 bytes, a fraction of a
// second of a million µs or more, a file that ends
// inside a record or whose record lengths cannot be.
class CaptureReader
{
public:
    CaptureReader();
    ~CaptureReader();
    CaptureReader(const CaptureReader &) = delete;
    CaptureReader &operator=(const CaptureReader &) = delete;

    // Opens the file at `path`, or standard input for "-".
    bool open(const QString &path);
    // Reads `stream`, which it closes; `path` names it in messages.
    bool open(FILE *stream, const QString &path);
    // The next record; false at the end or on an error (errorText() not empty).
    bool next(CaptureRecord *record);
    QString errorText() const { return m_error; }

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    QString m_path;
    QString m_error;
    quint64 m_index = 0;
};

struct CaptureRead
{
    QVector<BusRecord> records; // the records read before any error
    QString error;              // empty when the whole file was read
};

// The records of a capture, as BusRecords of kind, time and bytes.
CaptureRead readCapture(const QString &path);

} // namespace capture

#endif
