#ifndef KWN_SERIAL_SERIALCONNECTION_H
#define KWN_SERIAL_SERIALCONNECTION_H

// A serial port as the bus: opened by name or full path, read and written on
// a thread of its own so that the caller's thread never waits on the device,
// the bytes read cut into frames and noise runs by a FrameSplitter.

#include "codec/framesplitter.h"

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
};

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
    // time written. False when the port is not open.
    bool send(const QByteArray &frame);

    // Everything split since the last call, oldest first (thread-safe).
    QVector<SplitItem> takeReceived();
    // Items thrown away because nobody took them (the waiting list holds at
    // most kMaxWaitingItems).
    quint64 droppedCount() const;
    static constexpr int kMaxWaitingItems = 200000;

    static QStringList availablePorts(); // from QSerialPortInfo

signals:
    void received();                            // items wait in takeReceived() (coalesced)
    void sent(const QByteArray &frame, qint64 timeMs);
    void errorOccurred(const QString &text);    // e.g. device removed: the connection is closed
    void openChanged(bool open);

private:
    friend class SerialWorker;
    void deliver(QVector<SplitItem> &items); // from the worker thread
    void lost(const QString &text);          // from the worker thread

    QThread *m_thread = nullptr;
    SerialWorker *m_worker = nullptr;
    SerialSettings m_settings;
    bool m_open = false;
    QString m_error;

    mutable QMutex m_mutex; // guards the members below
    QVector<SplitItem> m_waiting;
    bool m_notified = false;
    quint64 m_dropped = 0;
};

#endif
