#include "extcap/controlchannel.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace extcap {

ControlChannel::ControlChannel(QObject *parent) : QObject(parent)
{
    m_retry = new QTimer(this);
    m_retry->setObjectName(QStringLiteral("retry"));
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &ControlChannel::openOut);
}

ControlChannel::~ControlChannel()
{
    closeIn();
    if (m_out >= 0)
        ::close(m_out);
}

bool ControlChannel::open(const QString &inPath, const QString &outPath)
{
    m_in = ::open(QFile::encodeName(inPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_in < 0) {
        m_error = QStringLiteral("cannot read the control pipe %1: %2")
                      .arg(inPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_inNotifier = new QSocketNotifier(m_in, QSocketNotifier::Read, this);
    connect(m_inNotifier, &QSocketNotifier::activated, this, &ControlChannel::readIn);
    m_outPath = outPath;
    if (!m_outPath.isEmpty()) {
        openOut();
        if (m_out < 0)
            m_retry->start();
    }
    return true;
}

void ControlChannel::send(const ControlPacket &packet)
{
    const QByteArray bytes = controlPacketBytes(packet);
    if (m_pending.size() + bytes.size() > kMaxPendingBytes)
        return;
    m_pending += bytes;
    writeOut();
}

void ControlChannel::readIn()
{
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(m_in, buffer, sizeof buffer)) > 0)
        m_reader.append(buffer, got);
    ControlPacket packet;
    while (m_reader.next(&packet))
        emit received(packet);
    // No writer any more (Wireshark stops), a broken pipe, or bytes out of
    // step: the toolbar is no more, the capture goes on till it is stopped.
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR) || !m_reader.errorText().isEmpty())
        closeIn();
}

void ControlChannel::openOut()
{
    // Without a reader yet this fails with ENXIO, and is tried again.
    m_out = ::open(QFile::encodeName(m_outPath).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_out < 0) {
        if (errno != ENXIO && errno != EINTR)
            m_retry->stop(); // no pipe to write to: what is sent is kept, and dropped
        return;
    }
    m_retry->stop();
    m_outNotifier = new QSocketNotifier(m_out, QSocketNotifier::Write, this);
    m_outNotifier->setEnabled(false);
    connect(m_outNotifier, &QSocketNotifier::activated, this, &ControlChannel::writeOut);
    writeOut();
}

void ControlChannel::writeOut()
{
    if (m_out < 0)
        return;
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_out, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break; // full: on when Wireshark has read
        } else {
            // Wireshark stopped reading: nobody sees the rest.
            m_pending.clear();
            break;
        }
    }
    m_outNotifier->setEnabled(!m_pending.isEmpty());
}

void ControlChannel::closeIn()
{
    if (m_in < 0)
        return;
    // Maybe from within its own signal: deleted once that is over.
    m_inNotifier->setEnabled(false);
    m_inNotifier->deleteLater();
    m_inNotifier = nullptr;
    ::close(m_in);
    m_in = -1;
}

} // namespace extcap
