#ifndef KWN_SERIAL_SERIALCONNECTION_H
#define KWN_SERIAL_SERIALCONNECTION_H

// A serial port as the bus: opened by name or full path, read and written on
// a thread of its own so that the caller's thread never waits on the device,
// the bytes read cut into frames and noise runs by a FrameSplitter.

#include "codec/framesplitter.h"
#include "serial/serialsettings.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QThread;
class SerialWorker;

// The wall clock, in µs since the epoch.
qint64 wallClockUs();

class SerialConnection : public QObject
{
    Q_OBJECT
public:
    explicit SerialConnection(QObject *parent = nullptr);
    ~SerialConnection() override;

    // False: errorText() says why, in words a user understands.
    bool open(const SerialSettings &settings);
    // Whatever part of a frame was still held comes out as noise.
    void close();
    bool isOpen() const;
    QString errorText() const;
    SerialSettings settings() const { return m_settings; }

    // Queues the bytes for writing; the `sent` signal carries them with the
    // time written (µs since the epoch). False when the port is not open.
    bool send(const QByteArray &frame);
    // Asks for `drained` once every frame sent so far has left the port
    // (each one's `sent` told first), or with an error when the port took
    // nothing for ten seconds or is closed.
    void drain();

    // Everything split since the last call, oldest first (thread-safe).
    // Once kMaxWaitingItems items or kMaxWaitingBytes bytes wait here, the
    // port is not read until this is called: the bytes wait in the system's
    // and the adapter's buffers (a few KB on most adapters, past which a
    // device that goes on sending loses bytes on the line). The read before
    // the stop may take the list past a limit by one read, at most
    // kReadBufferBytes bytes and the items they split into.
    QVector<BusRecord> takeReceived();
    // Items thrown away because the waiting list was full even past that
    // margin (the stop in reading keeps this from happening).
    quint64 droppedCount() const;
    static constexpr int kMaxWaitingItems = 200000;
    static constexpr qint64 kMaxWaitingBytes = 8 * 1024 * 1024;
    static constexpr qint64 kReadBufferBytes = 64 * 1024;

    static QStringList availablePorts(); // from QSerialPortInfo

signals:
    void received();                            // items wait in takeReceived() (coalesced)
    void sent(const QByteArray &frame, qint64 timeUs);
    void drained(const QString &error);         // empty: all written
    void errorOccurred(const QString &text);    // e.g. device removed: the connection is closed
    void openChanged(bool open);

private:
    friend class SerialWorker;
    // From the worker thread: whether it may read the port now (if not, the
    // next takeReceived() wakes it).
    bool roomToRead();
    void deliver(QVector<BusRecord> &items);
    void lost(const QString &text);

    QThread *m_thread = nullptr;
    SerialWorker *m_worker = nullptr;
    SerialSettings m_settings;
    bool m_open = false;
    QString m_error;

    mutable QMutex m_mutex; // guards the members below
    QVector<BusRecord> m_waiting;
    qint64 m_waitingBytes = 0;
    bool m_notified = false;
    bool m_stalled = false; // the worker stopped reading for want of room
    quint64 m_dropped = 0;
};

#endif
