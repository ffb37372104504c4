#include "extcap/livecapture.h"

#include "capture/recordwriter.h"
#include "codec/framedecoding.h"
#include "extcap/controlchannel.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace extcap {

LiveCapture::LiveCapture(QObject *parent) : QObject(parent), m_session(QString())
{
    m_session.setObjectName(QStringLiteral("session"));
    m_session.setPreparingTexts(false); // Wireshark's dissector decodes
    connect(&m_session, &BusSession::recordsReady, this, &LiveCapture::write);
    connect(&m_session, &BusSession::connectionLost, this, &LiveCapture::fail);
    // Said once the port took it, as the capture then shows it.
    connect(&m_session, &BusSession::frameSent, this,
            [this](const QByteArray &frame) { log(QStringLiteral("Sent %1").arg(frameToHexText(frame))); });
}

LiveCapture::~LiveCapture()
{
    if (m_readerProbe >= 0)
        ::close(m_readerProbe);
}

bool LiveCapture::start(const Request &request)
{
    using capture::RecordWriter;
    // As monitor --pcap opens its file: a FIFO waited on until Wireshark reads
    // it. Before the port, so that Wireshark hears of a port that cannot be
    // opened from this program's words alone.
    m_writer = RecordWriter::open(request.fifo, RecordWriter::Kind::Capture, RecordWriter::Opening::AsNamed, &m_error);
    // The header at once, so that Wireshark knows the link type before any frame.
    if (!m_writer || !m_writer->flush()) {
        if (m_writer)
            m_error = m_writer->errorText();
        m_writer.reset();
        return false;
    }
    watchReader(request.fifo);
    if (!request.controlIn.isEmpty()) {
        m_control = new ControlChannel(this);
        m_control->setObjectName(QStringLiteral("control"));
        connect(m_control, &ControlChannel::received, this, &LiveCapture::control);
        if (!m_control->open(request.controlIn, request.controlOut)) {
            m_error = m_control->errorText();
            return false;
        }
    }
    if (!m_session.open(request.settings)) {
        m_error = m_session.errorText();
        return false;
    }
    const SerialSettings &s = request.settings;
    log(QStringLiteral("Capturing on %1: %2 baud, data bits %3, parity %4, stop bits %5")
            .arg(s.port)
            .arg(s.baudRate)
            .arg(s.dataBits)
            .arg(s.parity, s.stopBits));
    return true;
}

int LiveCapture::finish()
{
    m_session.close(); // hands over what it read last
    if (m_writer && !m_writer->close() && !readerGone())
        m_error = m_writer->errorText();
    m_writer.reset();
    return m_error.isEmpty() ? 0 : 1;
}

void LiveCapture::write(const QVector<BusRecord> &records)
{
    if (!m_writer || m_writer->write(records, true))
        return;
    // Wireshark stopping closes the FIFO first: the end of the capture, no failure.
    fail(readerGone() ? QString() : QStringLiteral("the capture stops: %1").arg(m_writer->errorText()));
}

void LiveCapture::fail(const QString &error)
{
    if (m_error.isEmpty())
        m_error = error;
    if (m_writer)
        m_writer->close();
    m_writer.reset();
    emit ended();
}

bool LiveCapture::readerGone() const
{
    if (m_readerProbe < 0)
        return false;
    pollfd probe = {m_readerProbe, POLLOUT, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & POLLERR);
}

void LiveCapture::watchReader(const QString &fifo)
{
    struct stat info = {};
    const QByteArray path = QFile::encodeName(fifo);
    if (::stat(path.constData(), &info) != 0 || !S_ISFIFO(info.st_mode))
        return;
    m_readerProbe = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_readerProbe < 0)
        return;
    // Asked for reading, a FIFO's writing end reports only an error: no reader.
    m_readerNotifier = new QSocketNotifier(m_readerProbe, QSocketNotifier::Read, this);
    connect(m_readerNotifier, &QSocketNotifier::activated, this, [this] {
        m_readerNotifier->setEnabled(false);
        fail(QString());
    });
}

void LiveCapture::control(const ControlPacket &packet)
{
    if (packet.command != ControlCommand::Set)
        return;
    if (packet.control == ControlFrame)
        m_frameText = QString::fromUtf8(packet.payload);
    else if (packet.control == ControlSend)
        sendFrame();
}

// The checks of kwn-frame send: digits that make bytes, then a whole frame
// (the session's own check), and the reason when not.
void LiveCapture::sendFrame()
{
    QByteArray bytes;
    QString problem = frameTextBytes(m_frameText, &bytes);
    if (!problem.isEmpty())
        problem = QStringLiteral("Not sent: ") + problem;
    else
        problem = m_session.send(bytes);
    if (problem.isEmpty())
        return;
    log(problem);
    if (m_control)
        m_control->send({ControlLog, ControlCommand::StatusMessage, problem.toUtf8()});
}

void LiveCapture::log(const QString &line)
{
    if (m_control)
        m_control->send({ControlLog, ControlCommand::Add, line.toUtf8() + '\n'});
}

} // namespace extcap
