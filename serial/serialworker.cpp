#include "serial/serialworker.h"

#include "serial/portcheck.h"
#include "serial/serialconnection.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

QSerialPort::Parity parityOf(const QString &name)
{
    if (name == QLatin1String("even"))
        return QSerialPort::EvenParity;
    if (name == QLatin1String("odd"))
        return QSerialPort::OddParity;
    if (name == QLatin1String("mark"))
        return QSerialPort::MarkParity;
    if (name == QLatin1String("space"))
        return QSerialPort::SpaceParity;
    return QSerialPort::NoParity;
}

QSerialPort::StopBits stopBitsOf(const QString &name)
{
    if (name == QLatin1String("1.5"))
        return QSerialPort::OneAndHalfStop;
    if (name == QLatin1String("2"))
        return QSerialPort::TwoStop;
    return QSerialPort::OneStop;
}

// The device file of a port name, as QSerialPort forms it: a name without a
// path is looked for in /dev. (QSerialPortInfo knows only the ports it lists,
// which leaves out pseudo-terminals.)
QString deviceFile(const QString &port)
{
#ifdef Q_OS_UNIX
    if (port.startsWith(QLatin1Char('/')) || port.startsWith(QLatin1String("./"))
        || port.startsWith(QLatin1String("../")))
        return port;
    return QStringLiteral("/dev/") + port;
#else
    return port;
#endif
}

QString missingText(const QString &name)
{
    return QStringLiteral("No such port: %1.").arg(name);
}

QString inUseText(const QString &name)
{
    return QStringLiteral("Port %1 is in use by another program.").arg(name);
}

QString permissionText(const QString &name)
{
    return QStringLiteral("Permission denied on %1: the user must be in the group that owns the device "
                          "(dialout on Debian), then log in again.")
        .arg(name);
}

// Empty when the check found nothing against opening the port.
QString refusalText(const PortCheck &check, const QString &name)
{
    switch (check.verdict()) {
    case PortCheck::Openable:
        break;
    case PortCheck::Missing:
        return missingText(name);
    case PortCheck::NotSerial:
        return QStringLiteral("%1 is not a serial port.").arg(name);
    case PortCheck::InUse:
        return inUseText(name);
    case PortCheck::Locked:
        return QStringLiteral("Port %1 is locked by process %2.").arg(name).arg(check.lockingProcess());
    case PortCheck::NoAccess:
        return permissionText(name);
    }
    return QString();
}

QString openErrorText(const QSerialPort &port, const QString &name)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return missingText(name);
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // Qt reports a port that another program holds locked the same way.
        const QByteArray file = QFile::encodeName(deviceFile(name));
        if (::access(file.constData(), R_OK | W_OK) == 0)
            return inUseText(name);
#endif
        return permissionText(name);
    }
    default:
        return QStringLiteral("Cannot open %1: %2.").arg(name, port.errorString());
    }
}

} // namespace

QString SerialWorker::openPort(const SerialSettings &settings)
{
    // Kept until the port is open or failed (see PortCheck).
    const PortCheck check(deviceFile(settings.port));
    const QString refusal = refusalText(check, settings.port);
    if (!refusal.isEmpty())
        return refusal;
    m_port.reset(new QSerialPort);
    QSerialPort &port = *m_port;
    port.setPortName(settings.port);
    if (!port.open(QIODevice::ReadWrite)) {
        const QString text = openErrorText(port, settings.port);
        m_port.reset();
        return text;
    }
    const bool set = port.setBaudRate(settings.baudRate)
                     && port.setDataBits(QSerialPort::DataBits(settings.dataBits))
                     && port.setParity(parityOf(settings.parity))
                     && port.setStopBits(stopBitsOf(settings.stopBits))
                     && port.setFlowControl(QSerialPort::NoFlowControl);
    if (!set) {
        const QString text = QStringLiteral("Port %1 does not accept these settings (%2 baud, %3 data bits, "
                                            "parity %4, %5 stop bits): %6.")
                                 .arg(settings.port)
                                 .arg(settings.baudRate)
                                 .arg(settings.dataBits)
                                 .arg(settings.parity, settings.stopBits, port.errorString());
        port.close();
        m_port.reset();
        return text;
    }
    m_name = settings.port;
    m_held = PortCheck::holdPort(deviceFile(settings.port));
    m_splitter = FrameSplitter(settings.gapMs);
    m_byteUs = settings.byteTimeUs();
    m_reads.clear();
    m_streamEnd = 0;
    m_lastReadUs = 0;
    m_lastStampUs = 0;
    m_pendingWrites.clear();
    // Bounded, so that bytes left unread stay in the system.
    port.setReadBufferSize(SerialConnection::kReadBufferBytes);
    connect(&port, &QSerialPort::readyRead, this, &SerialWorker::readAvailable);
    connect(&port, &QSerialPort::bytesWritten, this, &SerialWorker::written);
    connect(&port, &QSerialPort::errorOccurred, this, &SerialWorker::portError);
    m_watchMs = qBound(2, settings.gapMs / 10, 10);
    m_heldUpMs = 2 * m_watchMs + 5;
    m_gapTimer.reset(new QTimer);
    m_gapTimer->setTimerType(Qt::PreciseTimer);
    m_gapTimer->setInterval(m_watchMs);
    connect(m_gapTimer.get(), &QTimer::timeout, this, &SerialWorker::watchLine);
    m_clock.start();
    m_lastFedMs = QDateTime::currentMSecsSinceEpoch();
    return QString();
}

void SerialWorker::closePort()
{
    if (!m_port)
        return;
    readAvailable();
    // This may run inside one of the port's own signals: delete it later.
    QSerialPort *port = m_port.release();
    port->disconnect(this);
    port->close();
    PortCheck::releasePort(m_held);
    m_held = 0;
    port->deleteLater();
    m_gapTimer.reset();
    m_drainTimer.reset();
    QVector<BusRecord> items;
    m_splitter.finish(items);
    stampEnds(items);
    m_owner->deliver(items);
}

void SerialWorker::write(const QByteArray &frame)
{
    if (!m_port || frame.isEmpty())
        return;
    m_pendingWrites.push_back({frame, frame.size()});
    m_port->write(frame);
}

void SerialWorker::drain()
{
    if (!m_drainTimer) {
        m_drainTimer.reset(new QTimer);
        m_drainTimer->setInterval(kDrainPollMs);
        connect(m_drainTimer.get(), &QTimer::timeout, this, &SerialWorker::checkDrain);
    }
    m_drainLeft = -1;
    m_drainTimer->start();
    checkDrain();
}

void SerialWorker::readAvailable()
{
    if (!m_port || m_port->bytesAvailable() <= 0 || !m_owner->roomToRead())
        return;
    // All the port holds, at most its read buffer (reading to the end
    // lets the port watch the device again once its buffer was full).
    const QByteArray bytes = m_port->readAll();
    if (bytes.isEmpty())
        return;
    const qint64 now = m_clock.elapsed();
    const qint64 time = arrivalTime(now);
    noteRead(bytes.size(), time);
    QVector<BusRecord> items;
    m_splitter.feed(bytes.constData(), bytes.size(), time, items);
    stampEnds(items);
    m_lastFedMs = time;
    m_lastReadMs = now;
    m_quietMs = now;
    m_busyMs = -1;
    if (m_splitter.heldBytes() > 0 && !m_gapTimer->isActive())
        m_gapTimer->start();
    m_owner->deliver(items);
}

void SerialWorker::watchLine()
{
    if (!m_port || m_splitter.heldBytes() == 0) {
        m_gapTimer->stop();
        return;
    }
    const qint64 now = m_clock.elapsed();
    if (inputWaiting()) {
        if (m_busyMs < 0)
            m_busyMs = now;
        return;
    }
    m_quietMs = now;
    m_busyMs = -1;
    const qint64 silent = now - m_lastReadMs;
    if (silent < m_splitter.gapMs())
        return;
    QVector<BusRecord> items;
    m_splitter.expire(m_lastFedMs + silent, items);
    stampEnds(items);
    if (m_splitter.heldBytes() == 0)
        m_gapTimer->stop();
    m_owner->deliver(items);
}

void SerialWorker::noteRead(qint64 size, qint64 timeMs)
{
    qint64 us = qBound(timeMs * 1000, wallClockUs(), timeMs * 1000 + 999);
    us = qMax(us, m_lastReadUs); // reads come in order
    m_lastReadUs = us;
    m_streamEnd += quint64(size);
    m_reads.push_back({m_streamEnd, us});
    while (m_reads.size() > 64)
        m_reads.pop_front();
}

void SerialWorker::stampEnds(QVector<BusRecord> &items)
{
    for (BusRecord &item : items) {
        const quint64 end = item.offset + quint64(item.bytes.size());
        auto read = std::lower_bound(m_reads.begin(), m_reads.end(), end,
                                     [](const ReadMark &mark, quint64 at) { return mark.streamEnd < at; });
        qint64 us = m_lastReadUs;
        if (read != m_reads.end()) {
            const qint64 after = qint64(read->streamEnd - end);
            us = read->timeUs - qint64(double(after) * m_byteUs + 0.5);
        }
        item.timeUs = qMax(us, m_lastStampUs);
        m_lastStampUs = item.timeUs;
    }
}

qint64 SerialWorker::arrivalTime(qint64 now) const
{
    const qint64 wallNow = QDateTime::currentMSecsSinceEpoch();
    if (m_splitter.heldBytes() == 0)
        return qMax(wallNow, m_lastFedMs);
    // They came after the line was last found quiet, and before the
    // first look that found them waiting (or now). A thread that ran all
    // along looked within a tick; one held up by the system cannot tell
    // when they came in that time, and takes the earliest.
    const qint64 by = m_busyMs >= 0 ? m_busyMs : now;
    const qint64 came = by - m_quietMs <= m_heldUpMs ? by : m_quietMs + 1;
    const qint64 wall = wallNow - (now - came);
    return qBound(m_lastFedMs, wall, m_lastFedMs + m_splitter.gapMs() - 1);
}

qint64 SerialWorker::bytesUnsent() const
{
    qint64 unsent = m_port->bytesToWrite();
#ifdef Q_OS_UNIX
    int queued = 0;
    if (::ioctl(int(m_port->handle()), TIOCOUTQ, &queued) == 0)
        unsent += queued;
#endif
    return unsent;
}

void SerialWorker::checkDrain()
{
    if (!m_drainTimer || !m_drainTimer->isActive())
        return;
    QString error = QStringLiteral("The port is closed.");
    if (m_port) {
        error.clear();
        const qint64 left = bytesUnsent() + (m_pendingWrites.empty() ? 0 : 1);
        const qint64 now = m_clock.elapsed();
        if (left > 0 && (m_drainLeft < 0 || left < m_drainLeft)) {
            m_drainLeft = left;
            m_drainSinceMs = now;
            return;
        }
        if (left > 0 && now - m_drainSinceMs < kDrainStallMs)
            return;
        if (left > 0)
            error = QStringLiteral("Timed out writing to %1: the port took nothing for %2 s.")
                        .arg(m_name)
                        .arg(kDrainStallMs / 1000);
    }
    m_drainTimer->stop();
    QMetaObject::invokeMethod(
        m_owner, [owner = m_owner, error] { emit owner->drained(error); }, Qt::QueuedConnection);
}

bool SerialWorker::inputWaiting() const
{
    if (m_port->bytesAvailable() > 0)
        return true;
#ifdef Q_OS_UNIX
    int waiting = 0;
    return ::ioctl(int(m_port->handle()), FIONREAD, &waiting) == 0 && waiting > 0;
#else
    return false;
#endif
}

void SerialWorker::written(qint64 count)
{
    const qint64 now = wallClockUs();
    if (m_drainTimer && m_drainTimer->isActive())
        QMetaObject::invokeMethod(this, &SerialWorker::checkDrain, Qt::QueuedConnection);
    while (count > 0 && !m_pendingWrites.empty()) {
        PendingWrite &w = m_pendingWrites.front();
        const qint64 take = qMin(count, w.remaining);
        w.remaining -= take;
        count -= take;
        if (w.remaining == 0) {
            const QByteArray frame = w.frame;
            m_pendingWrites.pop_front();
            QMetaObject::invokeMethod(
                m_owner, [owner = m_owner, frame, now] { emit owner->sent(frame, now); },
                Qt::QueuedConnection);
        }
    }
}

void SerialWorker::portError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || !m_port)
        return;
    QString text;
    // A device unplugged (or a pseudo-terminal whose other end closed)
    // shows as a resource or read error, depending on the driver.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
        text = QStringLiteral("The device %1 was removed or closed; the connection is closed.").arg(m_name);
    else if (error == QSerialPort::WriteError)
        text = QStringLiteral("Cannot write to %1: %2; the connection is closed.").arg(m_name, m_port->errorString());
    else
        return; // time-outs and unsupported operations leave the port usable
    closePort();
    m_owner->lost(text);
}
