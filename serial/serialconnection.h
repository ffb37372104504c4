#ifndef KWN_SERIAL_SERIALCONNECTION_H
#define KWN_SERIAL_SERIALCONNECTION_H

// A serial port as the bus: opened by name or full path, read and written on
// a thread of its own so that the caller's thread never waits on the device,
// the bytes read cut into frames and noise runs by a FrameSplitter.

#include "codec/framesplitter.h"
#include "insight/wireformat.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class QThread;
class SerialWorker;

struct SerialSettings
{
    QString port;              // name ("ttyUSB0") or full path ("/dev/pts/5")
    qint32 baudRate = 9600;
    int dataBits = 8;          // 5..8
    QString parity = QStringLiteral("none");  // none|even|odd|mark|space
    QString stopBits = QStringLiteral("1");   // 1|1.5|2
    int gapMs = 100;

    // Empty when every field holds an allowed value, else what is wrong with
    // the first that does not, for example "parity must be none, even, odd,
    // mark or space".
    QString problem() const;
    // The same for every field but the port: the line settings alone.
    QString lineProblem() const;

    // The values the line settings may take, offered as choices by the Bus
    // page and by the capture options in Wireshark; problem() holds to them.
    static QList<int> dataBitsChoices();    // 5 to 8
    static QStringList parityChoices();     // none, even, odd, mark, space
    static QStringList stopBitsChoices();   // 1, 1.5, 2
    // Any positive rate is taken; these are the usual ones.
    static QList<int> commonBaudRates();

    // How long one byte takes on the line, in µs: a start bit, the data
    // bits, a parity bit when there is one, and the stop bits.
    double byteTimeUs() const;
};

// How a byte of these settings travels on the line, what the bus load is
// reckoned in.
WireFormat wireFormatOf(const SerialSettings &settings);

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
