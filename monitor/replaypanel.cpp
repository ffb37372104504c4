#include "monitor/replaypanel.h"

#include "bustools/replaytool.h"
#include "monitor/busfiledialog.h"
#include "serial/replayer.h"
#include "widgets/pagestyle.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

ReplayPanel::ReplayPanel(ReplayTool *tool, QWidget *parent) : QWidget(parent), replayTool(tool)
{
    setObjectName(QStringLiteral("widgetReplay"));
    buildRow();
    connectTool();
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
        replayTool->start(path);
}

void ReplayPanel::connectTool()
{
    replayTool->setSpeed(doubleSpinBoxReplaySpeed->value());
    replayTool->setLoop(checkBoxReplayLoop->isChecked());
    connect(doubleSpinBoxReplaySpeed, QOverload<double>::of(&QDoubleSpinBox::valueChanged), replayTool,
            &ReplayTool::setSpeed);
    connect(checkBoxReplayLoop, &QCheckBox::toggled, replayTool, &ReplayTool::setLoop);
    connect(buttonReplayPause, &QPushButton::clicked, this, [this] {
        replayTool->togglePause();
        buttonReplayPause->setText(replayTool->isPaused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    });
    connect(buttonReplayStop, &QPushButton::clicked, replayTool, &ReplayTool::stop);
    connect(replayTool, &ReplayTool::progress, progressBarReplay, &QProgressBar::setValue);
    connect(replayTool, &ReplayTool::started, this, &ReplayPanel::showStarted);
    connect(replayTool, &ReplayTool::ended, this, &QWidget::hide);
}

void ReplayPanel::showStarted()
{
    progressBarReplay->setRange(0, replayTool->frameCount());
    progressBarReplay->setValue(0);
    buttonReplayPause->setText(QStringLiteral("Pause"));
    labelReplay->setText(QStringLiteral("Replaying %1").arg(QFileInfo(replayTool->path()).fileName()));
    labelReplay->setToolTip(replayTool->path());
    setVisible(true);
}
