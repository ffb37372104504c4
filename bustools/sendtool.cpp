#include "bustools/sendtool.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "serial/bussession.h"

SendTool::SendTool(BusSession *session, QObject *parent) : QObject(parent), busSession(session)
{
    connect(busSession, &BusSession::repeatingChanged, this, [this](bool repeating) {
        if (repeating)
            emit message(QStringLiteral("Sending %1 every %2 ms")
                             .arg(frameToHexText(busSession->repeatedFrame()))
                             .arg(intervalMs),
                         false);
        else
            untick();
    });
    // Closed or lost, the port stops the repeating.
    connect(busSession, &BusSession::openChanged, this, [this](bool open) {
        if (!open)
            untick();
    });
}

void SendTool::sendFrame(const QByteArray &frame)
{
    const QString problem = busSession->send(frame);
    if (!problem.isEmpty()) {
        emit message(problem, true);
        emit sendResult(problem, true);
        return;
    }
    emit sendResult(QStringLiteral("Sent %1").arg(frameToHexText(frame)), false);
}

void SendTool::send(const QString &text)
{
    if (busSession->isRepeating()) {
        untick();
        return;
    }
    const QByteArray frame = frameOf(text);
    if (frame.isEmpty())
        return;
    if (repeatTicked)
        startRepeat(frame);
    else
        sendFrame(frame);
}

void SendTool::setRepeat(bool repeat, const QString &text)
{
    repeatTicked = repeat;
    if (!repeat) {
        busSession->stopRepeat();
        return;
    }
    if (!busSession->isOpen() || text.trimmed().isEmpty())
        return;
    const QByteArray frame = frameOf(text);
    if (!frame.isEmpty())
        startRepeat(frame);
}

QByteArray SendTool::frameOf(const QString &text)
{
    const ParsedFrame parsed = parseFrameText(text);
    emit textChecked(parsed.ok());
    if (!parsed.ok()) {
        emit message(parsed.statusText, true);
        return QByteArray();
    }
    return parsed.bytes;
}

void SendTool::startRepeat(const QByteArray &frame)
{
    const QString problem = busSession->startRepeat(frame, intervalMs);
    if (!problem.isEmpty())
        emit message(problem, true);
}

void SendTool::untick()
{
    busSession->stopRepeat();
    if (!repeatTicked)
        return;
    repeatTicked = false;
    emit repeatChanged(false);
}
