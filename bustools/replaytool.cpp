#include "bustools/replaytool.h"

#include "serial/bussession.h"
#include "serial/replayer.h"
#include "serial/replayfile.h"

ReplayTool::ReplayTool(BusSession *session, QObject *parent) : QObject(parent), busSession(session)
{
    replayer = new Replayer(busSession, this);
    replayer->setObjectName(QStringLiteral("replayer"));
    connect(replayer, &Replayer::progress, this, &ReplayTool::progress);
    connect(replayer, &Replayer::finished, this, [this] {
        end(QStringLiteral("Replayed %1 frames of %2").arg(replayer->frameCount()).arg(replayPath), false);
    });
    connect(replayer, &Replayer::failed, this,
            [this](const QString &text) { end(QStringLiteral("Replay stopped: %1").arg(text), true); });
    // The port lost says why first; a disconnect comes after it, or alone.
    connect(busSession, &BusSession::connectionLost, this, [this](const QString &text) {
        if (replayer->isRunning())
            end(QStringLiteral("Replay stopped: %1").arg(text), true);
    });
    connect(busSession, &BusSession::openChanged, this, [this](bool open) {
        if (!open && replayer->isRunning())
            end(QStringLiteral("Replay stopped: disconnected"), true);
    });
}

bool ReplayTool::start(const QString &path)
{
    if (!busSession->isOpen()) {
        emit message(QStringLiteral("Not connected: connect to a port to replay"), true);
        return false;
    }
    // Nothing is written unless the whole file reads.
    const ReplayFile file = readReplayFile(path);
    if (!file.ok()) {
        QString text = file.error;
        text[0] = text.at(0).toUpper();
        emit message(text, true);
        return false;
    }
    replayer->setRecords(file.frames);
    replayPath = path;
    emit started();
    QString text = QStringLiteral("Replaying %1 frames of %2").arg(replayer->frameCount()).arg(path);
    if (replayer->gapsShortened() > 0)
        text += QStringLiteral(" (%1 pauses of more than a day played as a day)").arg(replayer->gapsShortened());
    emit message(text, false);
    replayer->start();
    return true;
}

void ReplayTool::stop()
{
    end(QStringLiteral("Replay of %1 stopped").arg(replayPath), false);
}

void ReplayTool::end(const QString &text, bool error)
{
    replayer->stop();
    emit ended();
    emit message(text, error);
}

void ReplayTool::togglePause()
{
    if (replayer->isPaused())
        replayer->resume();
    else
        replayer->pause();
}

bool ReplayTool::isPaused() const
{
    return replayer->isPaused();
}

void ReplayTool::setSpeed(double speed)
{
    replayer->setSpeed(speed);
}

void ReplayTool::setLoop(bool loop)
{
    replayer->setLoop(loop);
}

int ReplayTool::frameCount() const
{
    return replayer->frameCount();
}
