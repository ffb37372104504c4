#ifndef KWN_SERIAL_SERIALWORKER_H
#define KWN_SERIAL_SERIALWORKER_H

// The side of a SerialConnection that lives on its thread: it owns the port
// and the splitter, reads, writes and watches the line for the gap.

#include "codec/framesplitter.h"
#include "serial/serialsettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <deque>
#include <memory>

class SerialConnection;

class SerialWorker : public QObject
{
    Q_OBJECT
public:
    explicit SerialWorker(SerialConnection *owner) : m_owner(owner) {}

    // Called on the worker thread; the caller waits for it.
    QString openPort(const SerialSettings &settings);

    void closePort();

    void write(const QByteArray &frame);

    // Reports `drained` once every frame written so far has left the port:
    // each `sent` told, and the system's output queue empty. After the
    // `sent` of every frame, as it is told on the same queue after them.
    void drain();

    // Reads what the port holds, unless the waiting list is full: then the
    // bytes stay with the port and the system until the list is taken.
    void readAvailable();

private:
    // Whether the line was silent for the gap is judged here alone, while
    // part of a frame is held: only when nothing waits unread (neither in
    // the port nor in the system) is the time since the last read silence.
    // Bytes waiting are not, however long this thread took to come round.
    void watchLine();

    // A read of `size` bytes whose last byte came at `timeMs` (as given to
    // the splitter), to the µs: the wall clock, within that millisecond (a
    // reader that was held up was given an earlier one).
    void noteRead(qint64 size, qint64 timeMs);

    // Each item's time, that of its last byte: the time of the read that brought its last byte,
    // less the bytes that followed it in that read at the line's byte time,
    // so frames read in one go keep their real spacing.
    // They never go back: bytes read faster than the line carries them (a
    // pseudo-terminal, a backlog) would otherwise come before earlier ones.
    void stampEnds(QVector<BusRecord> &items);

    // The time given to the splitter for bytes read at `now` (on m_clock):
    // when they came, as near as this thread can tell, and never so late
    // after the bytes held that the splitter would see a gap in it.
    qint64 arrivalTime(qint64 now) const;

    // Bytes not yet on the line: in the port's buffer and the system's.
    qint64 bytesUnsent() const;

    // Whether the frames written have left; a port that takes nothing more
    // for kDrainStallMs is given up on.
    void checkDrain();

    // Bytes the system holds but this thread has not read yet are not
    // silence on the line: when the thread was held up, the timer can come
    // round before the port's own notice, and would cut the frame in two.
    bool inputWaiting() const;

    void written(qint64 count);

    void portError(QSerialPort::SerialPortError error);

    struct ReadMark
    {
        quint64 streamEnd; // stream offset just past the read's last byte
        qint64 timeUs;     // when that byte came
    };

    struct PendingWrite
    {
        QByteArray frame;
        qint64 remaining;
    };

    SerialConnection *m_owner;
    std::unique_ptr<QSerialPort> m_port;
    std::unique_ptr<QTimer> m_gapTimer; // runs while part of a frame is held
    std::unique_ptr<QTimer> m_drainTimer; // runs while a drain is asked for
    static constexpr int kDrainPollMs = 5;
    static constexpr qint64 kDrainStallMs = 10000;
    qint64 m_drainLeft = -1;   // the fewest bytes seen left since the drain was asked for
    qint64 m_drainSinceMs = 0; // when that was seen
    FrameSplitter m_splitter;
    // Looking at the line: on m_clock, but m_lastFedMs (the time last given
    // to the splitter) in ms since the epoch.
    QElapsedTimer m_clock;
    quint64 m_held = 0; // the port, as PortCheck knows it held here
    std::deque<ReadMark> m_reads; // the last reads, for the items' end times
    quint64 m_streamEnd = 0;
    qint64 m_lastReadUs = 0;
    qint64 m_lastStampUs = 0; // the last item's time
    double m_byteUs = 0;
    int m_watchMs = 10;     // how often the line is looked at
    int m_heldUpMs = 25;    // no look for this long: the thread was held up
    qint64 m_lastReadMs = 0;
    qint64 m_quietMs = 0;   // last found with nothing waiting (or read)
    qint64 m_busyMs = -1;   // first found with bytes waiting since, or -1
    qint64 m_lastFedMs = 0;
    QString m_name;
    std::deque<PendingWrite> m_pendingWrites;
};

#endif
