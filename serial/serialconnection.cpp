#include "serial/serialconnection.h"

#include "codec/frame.h"
#include "serial/serialworker.h"

#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QThread>

#include <chrono>

qint64 wallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

SerialConnection::SerialConnection(QObject *parent) : QObject(parent)
{
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("serial"));
    m_worker = new SerialWorker(this);
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

SerialConnection::~SerialConnection()
{
    close();
    m_thread->quit();
    m_thread->wait();
}

bool SerialConnection::open(const SerialSettings &settings)
{
    close();
    m_settings = settings;
    m_error = settings.problem();
    if (!m_error.isEmpty())
        return false;
    QString text;
    QMetaObject::invokeMethod(
        m_worker, [this, &text, settings] { text = m_worker->openPort(settings); }, Qt::BlockingQueuedConnection);
    m_error = text;
    if (!m_error.isEmpty())
        return false;
    m_open = true;
    emit openChanged(true);
    return true;
}

void SerialConnection::close()
{
    if (!m_open)
        return;
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->closePort(); }, Qt::BlockingQueuedConnection);
    m_open = false;
    emit openChanged(false);
}

bool SerialConnection::isOpen() const
{
    return m_open;
}

QString SerialConnection::errorText() const
{
    return m_error;
}

bool SerialConnection::send(const QByteArray &frame)
{
    if (!m_open)
        return false;
    QMetaObject::invokeMethod(m_worker, [this, frame] { m_worker->write(frame); }, Qt::QueuedConnection);
    return true;
}

void SerialConnection::drain()
{
    if (!m_open) {
        QMetaObject::invokeMethod(
            this, [this] { emit drained(QStringLiteral("The port is closed.")); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->drain(); }, Qt::QueuedConnection);
}

QVector<BusRecord> SerialConnection::takeReceived()
{
    QVector<BusRecord> items;
    bool resume = false;
    {
        QMutexLocker lock(&m_mutex);
        items.swap(m_waiting);
        m_waitingBytes = 0;
        m_notified = false;
        resume = m_stalled;
        m_stalled = false;
    }
    if (resume)
        QMetaObject::invokeMethod(m_worker, [worker = m_worker] { worker->readAvailable(); }, Qt::QueuedConnection);
    return items;
}

quint64 SerialConnection::droppedCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_dropped;
}

QStringList SerialConnection::availablePorts()
{
    QStringList names;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

bool SerialConnection::roomToRead()
{
    QMutexLocker lock(&m_mutex);
    m_stalled = m_waiting.size() >= kMaxWaitingItems || m_waitingBytes >= kMaxWaitingBytes;
    return !m_stalled;
}

void SerialConnection::deliver(QVector<BusRecord> &items)
{
    if (items.isEmpty())
        return;
    // One read past the limits, and the held bytes given out at a gap or
    // at the end: at most two items per smallest frame.
    const int itemLimit = kMaxWaitingItems + int(2 * (kReadBufferBytes + 4 * kMaxFrameBytes) / kFrameOverheadBytes);
    const qint64 byteLimit = kMaxWaitingBytes + kReadBufferBytes + 4 * kMaxFrameBytes;
    bool notify = false;
    {
        QMutexLocker lock(&m_mutex);
        for (BusRecord &item : items) {
            if (m_waiting.size() >= itemLimit || m_waitingBytes + item.bytes.size() > byteLimit) {
                ++m_dropped;
                continue;
            }
            m_waitingBytes += item.bytes.size();
            m_waiting.append(std::move(item));
        }
        notify = !m_notified;
        m_notified = true;
    }
    items.clear();
    if (notify)
        QMetaObject::invokeMethod(this, [this] { emit received(); }, Qt::QueuedConnection);
}

void SerialConnection::lost(const QString &text)
{
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (!m_open)
                return;
            m_open = false;
            m_error = text;
            emit errorOccurred(text);
            emit openChanged(false);
        },
        Qt::QueuedConnection);
}
