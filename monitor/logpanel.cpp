#include "monitor/logpanel.h"

#include "bustools/logtool.h"
#include "monitor/busfiledialog.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kPreciseLogsKey = QStringLiteral("bus/preciseLogs");

} // namespace

LogPanel::LogPanel(LogTool *tool, QWidget *parent) : QWidget(parent), logTool(tool)
{
    buildWidgets();
    connect(buttonSave, &QPushButton::clicked, this, &LogPanel::on_buttonSave_clicked);
    connect(buttonOpen, &QPushButton::clicked, this, &LogPanel::on_buttonOpen_clicked);
    connect(buttonRecord, &QPushButton::clicked, this, &LogPanel::on_buttonRecord_clicked);
    connect(buttonCancelOpen, &QPushButton::clicked, logTool, &LogTool::cancelOpening);
    connect(logTool, &LogTool::openingChanged, this, &LogPanel::showOpening);
    connect(logTool, &LogTool::openProgress, progressBarOpen, &QProgressBar::setValue);
    connect(logTool, &LogTool::recordingChanged, this, [this](bool recording) {
        setRecordButton(recording);
        showRecording();
    });
    checkBoxPreciseLogs->setChecked(settingsStore().value(kPreciseLogsKey, false).toBool());
    logTool->setPreciseLogs(checkBoxPreciseLogs->isChecked());
    connect(checkBoxPreciseLogs, &QCheckBox::toggled, this, &LogPanel::on_checkBoxPreciseLogs_toggled);
}

void LogPanel::buildWidgets()
{
    buttonSave = named(new QPushButton(QStringLiteral("Save")), QStringLiteral("buttonSave"));
    buttonSave->setToolTip(QStringLiteral("Write every frame of the list to a log file"));
    buttonOpen = named(new QPushButton(QStringLiteral("Open")), QStringLiteral("buttonOpen"));
    buttonOpen->setToolTip(QStringLiteral("Read a log file or frame lines into the list"));
    buttonRecord = named(new QPushButton(QStringLiteral("Record")), QStringLiteral("buttonRecord"));
    buttonRecord->setCheckable(true);
    buttonRecord->setToolTip(QStringLiteral("Write every frame to a log file as it arrives; press again to stop"));
    progressBarOpen = named(new QProgressBar, QStringLiteral("progressBarOpen"));
    progressBarOpen->setRange(0, 1000);
    progressBarOpen->setTextVisible(false);
    progressBarOpen->setMaximumWidth(120);
    progressBarOpen->setVisible(false);
    buttonCancelOpen = named(new QPushButton(QStringLiteral("Cancel")), QStringLiteral("buttonCancelOpen"));
    buttonCancelOpen->setToolTip(QStringLiteral("Stop reading the log; what was read stays in the list"));
    buttonCancelOpen->setVisible(false);
    // While recording, a steady red label beside the buttons says where to
    // and how many frames are written: a passing message would be forgotten.
    labelRecording = named(new QLabel, QStringLiteral("labelRecording"));
    labelRecording->setStyleSheet(QStringLiteral("color: red"));
    labelRecording->setVisible(false);
    timerRecording = named(new QTimer(this), QStringLiteral("timerRecording"));
    timerRecording->setInterval(500);
    connect(timerRecording, &QTimer::timeout, this, &LogPanel::showRecording);
    checkBoxPreciseLogs = named(new QCheckBox(QStringLiteral("\u00b5s in logs")), QStringLiteral("checkBoxPreciseLogs"));
    checkBoxPreciseLogs->setToolTip(QStringLiteral("Save, Record and Copy write times to the microsecond "
                                                   "rather than the millisecond"));

    auto *layoutLogButtons = named(new QHBoxLayout(this), QStringLiteral("layoutLogButtons"));
    layoutLogButtons->setContentsMargins(0, 0, 0, 0);
    layoutLogButtons->addWidget(progressBarOpen);
    layoutLogButtons->addWidget(buttonCancelOpen);
    layoutLogButtons->addWidget(labelRecording);
    layoutLogButtons->addWidget(buttonSave);
    layoutLogButtons->addWidget(buttonOpen);
    layoutLogButtons->addWidget(buttonRecord);
    layoutLogButtons->addWidget(checkBoxPreciseLogs);
}

void LogPanel::on_checkBoxPreciseLogs_toggled(bool checked)
{
    logTool->setPreciseLogs(checked);
    settingsStore().setValue(kPreciseLogsKey, checked);
}

void LogPanel::showOpening(bool opening)
{
    if (opening)
        progressBarOpen->setValue(0);
    progressBarOpen->setVisible(opening);
    buttonCancelOpen->setVisible(opening);
    buttonOpen->setEnabled(!opening);
}

void LogPanel::showRecording()
{
    const bool recording = logTool->isRecording();
    labelRecording->setVisible(recording);
    if (!recording) {
        timerRecording->stop();
        return;
    }
    if (!timerRecording->isActive())
        timerRecording->start();
    labelRecording->setText(logTool->recordingText());
    labelRecording->setToolTip(QStringLiteral("Recording to %1").arg(logTool->recordingPath()));
}

void LogPanel::setRecordButton(bool recording)
{
    buttonRecord->setChecked(recording);
    buttonRecord->setText(recording ? QStringLiteral("Stop recording") : QStringLiteral("Record"));
}

void LogPanel::on_buttonSave_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseBusFile(this, QStringLiteral("Save log"), true);
    if (!path.isEmpty())
        logTool->save(path);
}

void LogPanel::on_buttonOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseBusFile(this, QStringLiteral("Open log"), false);
    if (!path.isEmpty())
        logTool->open(path);
}

void LogPanel::on_buttonRecord_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (logTool->isRecording()) {
        logTool->stopRecording();
        return;
    }
    setRecordButton(false);
    const QString path = chooseBusFile(this, QStringLiteral("Record to"), true);
    if (!path.isEmpty())
        logTool->startRecording(path);
}
