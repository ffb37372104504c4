// The Bus page's logs and captures: Save, Open and Record, and the file
// dialogs they ask.

#include "monitor/buslayout.h"

#include "codec/frame.h"
#include "serial/buslogloader.h"
#include "serial/busrecording.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTableView>

namespace {

const QString kLogFilter = QStringLiteral("Bus logs (*.log *.txt)");
const QString kCaptureFilter = QStringLiteral("Wireshark capture (*.pcap)");
const QString kAllFilter = QStringLiteral("All files (*)");

// Saving, a name typed without a suffix gets the suffix of the filter
// chosen (".log" unless it is the capture's), before the dialog asks
// whether to replace a file of that name.
class LogFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        if (acceptMode() == QFileDialog::AcceptSave)
            setDefaultSuffix(selectedNameFilter() == kCaptureFilter ? QStringLiteral("pcap") : QStringLiteral("log"));
        QFileDialog::accept();
    }
};

QString withSuffix(const QString &path, bool capture)
{
    if (!QFileInfo(path).suffix().isEmpty())
        return path;
    return path + (capture ? QStringLiteral(".pcap") : QStringLiteral(".log"));
}

} // namespace

// --- Logs -------------------------------------------------------------------------

QString BusLayout::chooseLogFile(const QString &title, bool forWriting)
{
    LogFileDialog dialog(tableViewFrames, title);
    if (forWriting)
        dialog.setNameFilters({kLogFilter, kCaptureFilter, kAllFilter});
    else
        dialog.setNameFilters({QStringLiteral("Bus logs and captures (*.log *.txt *.pcap)"), kLogFilter, kCaptureFilter,
                               kAllFilter});
    // Our own dialog everywhere: the same questions (replace?) on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (forWriting) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    const QString folder = lastFolder(QStringLiteral("busFiles"));
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    rememberFolderOf(QStringLiteral("busFiles"), path);
    return forWriting ? withSuffix(path, dialog.selectedNameFilter() == kCaptureFilter) : path;
}

// A name ending in ".pcap" is saved as a capture, whatever filter was chosen.
bool BusLayout::saveLog(const QString &path)
{
}

bool BusLayout::openLog(const QString &path)
{
    if (logLoader->isRunning()) {
        showMessage(QStringLiteral("A log is being opened: cancel it first"), true);
        return false;
    }
    showOpenedLog();
    // Lines without a time count as read now.
    if (!logLoader->start(path, QDateTime::currentMSecsSinceEpoch())) {
        showMessage(QStringLiteral("Cannot read %1: %2").arg(path, logLoader->errorText()), true);
        return false;
    }
    openingPath = path;
    insightOfLog = true;
    openedFrames = openedNoiseRuns = 0;
    progressBarOpen->setValue(0);
    progressBarOpen->setVisible(true);
    buttonCancelOpen->setVisible(true);
    buttonOpen->setEnabled(false);
    showMessage(QStringLiteral("Opening %1").arg(path), false);
    timerMessage->stop();
    return true;
}

bool BusLayout::isOpeningLog() const
{
    return logLoader->isRunning();
}

void BusLayout::on_logLoader_batchRead(const QVector<BusRecord> &records, qint64 done, qint64 total)
{
    if (logLoader->isCancelled()) {
        logLoader->batchTaken();
        return;
    }
    RecordCounts opened;
    opened.add(records);
    openedFrames += opened.frames;
    openedNoiseRuns += opened.noiseRuns;
    if (fileSession)
        fileSession->load(records);
    progressBarOpen->setValue(total > 0 ? int(done * 1000 / total) : 1000);
    logLoader->batchTaken();
}

void BusLayout::on_logLoader_finished(int refused, bool cancelled, const QString &error)
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
    if (fileStore && fileStore->droppedCount() > 0)
        opened += QStringLiteral("; the first %1 left out: the list holds %2")
                      .arg(countText(fileStore->droppedCount(), "record", "records"))
                      .arg(fileStore->capacity());
    showMessage(opened, refused > 0 || !error.isEmpty());
}

void BusLayout::on_buttonCancelOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    logLoader->cancel();
}

bool BusLayout::startRecording(const QString &path)
{
    if (!busSession->startRecording(path)) {
        showMessage(busSession->errorText(), true);
        setRecordButton(false);
        return false;
    }
    return true;
}

void BusLayout::stopRecording()
{
    busSession->stopRecording();
}

// While recording, a steady red line beside the buttons says where to and
// how many frames are written: a passing message would be forgotten.
void BusLayout::buildRecordingIndicator()
{
    labelRecording = named(new QLabel, QStringLiteral("labelRecording"));
    labelRecording->setStyleSheet(QStringLiteral("color: red"));
    labelRecording->setVisible(false);
    layoutLog->insertWidget(layoutLog->indexOf(buttonSave), labelRecording);
    timerRecording = named(new QTimer(this), QStringLiteral("timerRecording"));
    timerRecording->setInterval(500);
    connect(timerRecording, &QTimer::timeout, this, &BusLayout::showRecording);
}

void BusLayout::showRecording()
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

void BusLayout::on_busSession_recordingChanged(bool recording, const QString &reason)
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

void BusLayout::setRecordButton(bool recording)
{
    buttonRecord->setChecked(recording);
    buttonRecord->setText(recording ? QStringLiteral("Stop recording") : QStringLiteral("Record"));
}

void BusLayout::on_buttonSave_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseLogFile(QStringLiteral("Save log"), true);
    if (!path.isEmpty())
        saveLog(path);
}

void BusLayout::on_buttonOpen_clicked(bool checked)
{
    Q_UNUSED(checked)
    const QString path = chooseLogFile(QStringLiteral("Open log"), false);
    if (!path.isEmpty())
        openLog(path);
}

void BusLayout::on_buttonRecord_clicked(bool checked)
{
    Q_UNUSED(checked)
    if (busSession->isRecording()) {
        stopRecording();
        return;
    }
    setRecordButton(false);
    const QString path = chooseLogFile(QStringLiteral("Record to"), true);
    if (!path.isEmpty())
        startRecording(path);
}
