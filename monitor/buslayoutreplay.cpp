// The Bus page's Replay: the frames of a log or capture written onto the
// connected port with their logged spacing, faster or slower, once or in a
// loop, read as `kwn-frame replay` reads them. The
// session shows them as TX as it does every frame it writes; a row under the
// send row, shown while replaying, holds the speed, loop, progress, Pause
// and Stop.

#include "monitor/buslayout.h"

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

void BusLayout::buildReplayRow()
{
    buttonReplay = named(new QPushButton(QStringLiteral("Replay\u2026")), QStringLiteral("buttonReplay"));
    buttonReplay->setToolTip(QStringLiteral("Write the frames of a log onto the port with their original spacing"));
    buttonReplay->setEnabled(false);
    layoutSend->addWidget(buttonReplay);

    widgetReplay = named(new QWidget, QStringLiteral("widgetReplay"));
    auto *layoutReplay = named(new QHBoxLayout(widgetReplay), QStringLiteral("layoutReplay"));
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
    widgetReplay->setVisible(false);
}

void BusLayout::connectReplay()
{
    replayer = named(new Replayer(busSession, this), QStringLiteral("replayer"));
    connect(buttonReplay, &QPushButton::clicked, this, [this] {
        const QString path = chooseLogFile(QStringLiteral("Replay log"), false);
        if (!path.isEmpty())
            startReplay(path);
    });
    connect(this, &BusLayout::connectedChanged, buttonReplay, &QWidget::setEnabled);
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

bool BusLayout::startReplay(const QString &path)
{
    if (!busSession->isOpen()) {
        showMessage(QStringLiteral("Not connected: connect to a port to replay"), true);
        return false;
    }
    // Nothing is written unless the whole file reads (see serial/replayfile.h).
    const ReplayFile file = readReplayFile(path);
    if (!file.ok()) {
        QString text = file.error;
        text[0] = text.at(0).toUpper();
        showMessage(text, true);
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
    widgetReplay->setVisible(true);
    QString text = QStringLiteral("Replaying %1 frames of %2").arg(replayer->frameCount()).arg(path);
    if (replayer->gapsShortened() > 0)
        text += QStringLiteral(" (%1 pauses of more than a day played as a day)").arg(replayer->gapsShortened());
    showMessage(text, false);
    replayer->start();
    return true;
}

void BusLayout::endReplay(const QString &text, bool error)
{
    replayer->stop();
    widgetReplay->setVisible(false);
    showMessage(text, error);
}
