#include "monitor/logpanel.h"

#include "codec/frame.h"
#include "monitor/busfiledialog.h"
#include "monitor/showntrace.h"
#include "serial/buslogloader.h"
#include "serial/busrecording.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kPreciseLogsKey = QStringLiteral("bus/preciseLogs");

} // namespace

// --- Logs ---

LogPanel::LogPanel(ShownTrace *shown, QWidget *parent)
    : QWidget(parent), shownTrace(shown), busSession(shown->liveSession())
{
    logLoader = named(new BusLogLoader(QStringLiteral("xml"), this), QStringLiteral("logLoader"));
    buildWidgets();
    connect(buttonSave, &QPushButton::clicked, this, &LogPanel::on_buttonSave_clicked);
    connect(buttonOpen, &QPushButton::clicked, this, &LogPanel::on_buttonOpen_clicked);
    connect(buttonRecord, &QPushButton::clicked, this, &LogPanel::on_buttonRecord_clicked);
    connect(buttonCancelOpen, &QPushButton::clicked, this, &LogPanel::on_buttonCancelOpen_clicked);
    connect(logLoader, &BusLogLoader::batchRead, this, &LogPanel::on_logLoader_batchRead);
    connect(logLoader, &BusLogLoader::finished, this, &LogPanel::on_logLoader_finished);
    connect(busSession, &BusSession::recordingChanged, this, &LogPanel::on_busSession_recordingChanged);
    checkBoxPreciseLogs->setChecked(settingsStore().value(kPreciseLogsKey, false).toBool());
    busSession->setPreciseLogs(checkBoxPreciseLogs->isChecked());
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
    busSession->setPreciseLogs(checked);
    settingsStore().setValue(kPreciseLogsKey, checked);
}

// A name ending in ".pcap" is saved as a capture, whatever filter was chosen.
bool LogPanel::saveLog(const QString &path)
{
    const TraceStore *held = shownTrace->store();
    const SavedRecords saved = saveRecords(
        path, {held->heldCount(), [held](int i) -> const BusRecord & { return held->heldRecord(i); }},
        checkBoxPreciseLogs->isChecked());
    showMessage(saved.message, !saved.ok);
    return saved.ok;
}

bool LogPanel::openLog(const QString &path)
{
    if (logLoader->isRunning()) {
        showMessage(QStringLiteral("A log is being opened: cancel it first"), true);
        return false;
    }
    logLoader->cancel();
    shownTrace->showOpenedLog();
    // Lines without a time count as read now.
    if (!logLoader->start(path, QDateTime::currentMSecsSinceEpoch())) {
        showMessage(QStringLiteral("Cannot read %1: %2").arg(path, logLoader->errorText()), true);
        return false;
    }
    openingPath = path;
    emit logOpening();
    openedFrames = openedNoiseRuns = 0;
    progressBarOpen->setValue(0);
    progressBarOpen->setVisible(true);
    buttonCancelOpen->setVisible(true);
    buttonOpen->setEnabled(false);
    emit message(QStringLiteral("Opening %1").arg(path), false, true);
    return true;
}

bool LogPanel::isOpeningLog() const
{
    return logLoader->isRunning();
}

void LogPanel::on_logLoader_batchRead(const QVector<BusRecord> &records, qint64 done, qint64 total)
{
    if (logLoader->isCancelled()) {
        logLoader->batchTaken();
        return;
    }
    RecordCounts opened;
    opened.add(records);
    openedFrames += opened.frames;
    openedNoiseRuns += opened.noiseRuns;
    if (BusSession *fileSession = shownTrace->fileSession())
        fileSession->load(records);
    progressBarOpen->setValue(total > 0 ? int(done * 1000 / total) : 1000);
    logLoader->batchTaken();
}

void LogPanel::on_logLoader_finished(int refused, bool cancelled, const QString &error)
{
    progressBarOpen->setVisible(false);
    buttonCancelOpen->setVisible(false);
    buttonOpen->setEnabled(true);
    QString opened = QStringLiteral("%1 %2: %3")
                         .arg(cancelled ? QStringLiteral("Stopped opening") : QStringLiteral("Opened"), openingPath,
                              countText(openedFrames, "frame", "frames"));
    if (openedNoiseRuns > 0)
        opened += QStringLiteral(", %1").arg(countText(openedNoiseRuns, "noise run", "noise runs"));
    if (refused > 0)
        opened += QStringLiteral("; ") + countText(quint64(refused), "line was not a frame", "lines were not frames");
    if (!error.isEmpty())
        opened += QStringLiteral("; reading stopped: %1").arg(error);
    const TraceStore *fileStore = shownTrace->fileStore();
    if (fileStore && fileStore->droppedCount() > 0)
        opened += QStringLiteral("; the first %1 left out: the list holds %2")
                      .arg(countText(fileStore->droppedCount(), "record", "records"))
                      .arg(fileStore->capacity());
    showMessage(opened, refused > 0 || !error.isEmpty());
}

void LogPanel::on_buttonCancelOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    cancelOpening();
}

void LogPanel::cancelOpening()
{
    logLoader->cancel();
}

bool LogPanel::startRecording(const QString &path)
{
    if (!busSession->startRecording(path)) {
        showMessage(busSession->errorText(), true);
        setRecordButton(false);
        return false;
    }
    return true;
}

void LogPanel::stopRecording()
{
    busSession->stopRecording();
}

void LogPanel::showRecording()
{
    const bool recording = busSession->isRecording();
    labelRecording->setVisible(recording);
    if (!recording) {
        timerRecording->stop();
        return;
    }
    if (!timerRecording->isActive())
        timerRecording->start();
    const QString path = busSession->recordingPath();
    labelRecording->setText(QStringLiteral("\u25cf Recording %1: %2")
                                .arg(QFileInfo(path).fileName(),
                                     countText(busSession->recordedFrames(), "frame", "frames")));
    labelRecording->setToolTip(QStringLiteral("Recording to %1").arg(path));
}

void LogPanel::on_busSession_recordingChanged(bool recording, const QString &reason)
{
    setRecordButton(recording);
    showRecording();
    if (recording)
        showMessage(QStringLiteral("Recording to %1").arg(busSession->recordingPath()), false);
    else if (!reason.isEmpty())
        showMessage(reason, true);
    else
        showMessage(QStringLiteral("Recording to %1 stopped").arg(busSession->recordingPath()), false);
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
        saveLog(path);
}

void LogPanel::on_buttonOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseBusFile(this, QStringLiteral("Open log"), false);
    if (!path.isEmpty())
        openLog(path);
}

void LogPanel::on_buttonRecord_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (busSession->isRecording()) {
        stopRecording();
        return;
    }
    setRecordButton(false);
    const QString path = chooseBusFile(this, QStringLiteral("Record to"), true);
    if (!path.isEmpty())
        startRecording(path);
}
