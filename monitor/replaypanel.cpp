#include "monitor/replaypanel.h"

#include "monitor/busfiledialog.h"
#include "serial/bussession.h"
#include "serial/replayer.h"
#include "serial/replayfile.h"
#include "widgets/pagestyle.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

ReplayPanel::ReplayPanel(BusSession *session, QWidget *parent) : QWidget(parent), busSession(session)
{
    setObjectName(QStringLiteral("widgetReplay"));
    buildRow();
    connectReplayer();
}

void ReplayPanel::buildRow()
{
    auto *layoutReplay = named(new QHBoxLayout(this), QStringLiteral("layoutReplay"));
    layoutReplay->setContentsMargins(0, 0, 0, 0);
    labelReplay = named(new QLabel(QStringLiteral("Replaying")), QStringLiteral("labelReplay"));
    doubleSpinBoxReplaySpeed = named(new QDoubleSpinBox, QStringLiteral("doubleSpinBoxReplaySpeed"));
    doubleSpinBoxReplaySpeed->setRange(Replayer::kMinSpeed, Replayer::kMaxSpeed);
    doubleSpinBoxReplaySpeed->setDecimals(1);
    doubleSpinBoxReplaySpeed->setSingleStep(0.5);
    doubleSpinBoxReplaySpeed->setValue(1);
    doubleSpinBoxReplaySpeed->setSuffix(QStringLiteral(" \u00d7"));
    doubleSpinBoxReplaySpeed->setToolTip(QStringLiteral("Speed: 1 \u00d7 keeps the logged spacing"));
    checkBoxReplayLoop = named(new QCheckBox(QStringLiteral("Loop")), QStringLiteral("checkBoxReplayLoop"));
    checkBoxReplayLoop->setToolTip(QStringLiteral("Start again after the last frame"));
    progressBarReplay = named(new QProgressBar, QStringLiteral("progressBarReplay"));
    progressBarReplay->setTextVisible(false);
    buttonReplayPause = named(new QPushButton(QStringLiteral("Pause")), QStringLiteral("buttonReplayPause"));
    buttonReplayStop = named(new QPushButton(QStringLiteral("Stop")), QStringLiteral("buttonReplayStop"));
    layoutReplay->addWidget(labelReplay);
    layoutReplay->addWidget(doubleSpinBoxReplaySpeed);
    layoutReplay->addWidget(checkBoxReplayLoop);
    layoutReplay->addWidget(progressBarReplay, 1);
    layoutReplay->addWidget(buttonReplayPause);
    layoutReplay->addWidget(buttonReplayStop);
    setVisible(false);
}

void ReplayPanel::chooseAndStart()
{
    const QString path = chooseBusFile(this, QStringLiteral("Replay log"), false);
    if (!path.isEmpty())
        startReplay(path);
}

void ReplayPanel::connectReplayer()
{
    replayer = named(new Replayer(busSession, this), QStringLiteral("replayer"));
    connect(doubleSpinBoxReplaySpeed, QOverload<double>::of(&QDoubleSpinBox::valueChanged), replayer,
            &Replayer::setSpeed);
    connect(checkBoxReplayLoop, &QCheckBox::toggled, replayer, &Replayer::setLoop);
    connect(buttonReplayPause, &QPushButton::clicked, this, [this] {
        if (replayer->isPaused())
            replayer->resume();
        else
            replayer->pause();
        buttonReplayPause->setText(replayer->isPaused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    });
    connect(buttonReplayStop, &QPushButton::clicked, this,
            [this] { endReplay(QStringLiteral("Replay of %1 stopped").arg(replayPath), false); });
    connect(replayer, &Replayer::progress, progressBarReplay, &QProgressBar::setValue);
    connect(replayer, &Replayer::finished, this, [this] {
        endReplay(QStringLiteral("Replayed %1 frames of %2").arg(replayer->frameCount()).arg(replayPath), false);
    });
    connect(replayer, &Replayer::failed, this,
            [this](const QString &text) { endReplay(QStringLiteral("Replay stopped: %1").arg(text), true); });
    // The port lost says why first; a disconnect comes after it, or alone.
    connect(busSession, &BusSession::connectionLost, this, [this](const QString &text) {
        if (replayer->isRunning())
            endReplay(QStringLiteral("Replay stopped: %1").arg(text), true);
    });
    connect(busSession, &BusSession::openChanged, this, [this](bool open) {
        if (!open && replayer->isRunning())
            endReplay(QStringLiteral("Replay stopped: disconnected"), true);
    });
}

bool ReplayPanel::startReplay(const QString &path)
{
    if (!busSession->isOpen()) {
        emit message(QStringLiteral("Not connected: connect to a port to replay"), true);
        return false;
    }
    // Nothing is written unless the whole file reads (see serial/replayfile.h).
    const ReplayFile file = readReplayFile(path);
    if (!file.ok()) {
        QString text = file.error;
        text[0] = text.at(0).toUpper();
        emit message(text, true);
        return false;
    }
    replayer->setRecords(file.frames);
    replayPath = path;
    replayer->setSpeed(doubleSpinBoxReplaySpeed->value());
    replayer->setLoop(checkBoxReplayLoop->isChecked());
    progressBarReplay->setRange(0, replayer->frameCount());
    progressBarReplay->setValue(0);
    buttonReplayPause->setText(QStringLiteral("Pause"));
    labelReplay->setText(QStringLiteral("Replaying %1").arg(QFileInfo(path).fileName()));
    labelReplay->setToolTip(path);
    setVisible(true);
    QString text = QStringLiteral("Replaying %1 frames of %2").arg(replayer->frameCount()).arg(path);
    if (replayer->gapsShortened() > 0)
        text += QStringLiteral(" (%1 pauses of more than a day played as a day)").arg(replayer->gapsShortened());
    emit message(text, false);
    replayer->start();
    return true;
}

void ReplayPanel::endReplay(const QString &text, bool error)
{
    replayer->stop();
    setVisible(false);
    emit message(text, error);
}

void ReplayPanel::stop()
{
    replayer->stop();
}
