// The Bus page's logs: Save, Open and Record, and the file dialogs they ask.

#include "monitor/buslayout.h"

#include "catalogue/fileaccess.h"
#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "monitor/frametablemodel.h"
#include "serial/bussession.h"
#include "widgets/elidedlabel.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QTableView>

namespace {

// A log name chosen without a suffix gets ".log".
QString withLogSuffix(const QString &path)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".log") : path;
}

} // namespace

// --- Logs -------------------------------------------------------------------------

QString BusLayout::chooseLogFile(const QString &title, bool forWriting)
{
    QFileDialog dialog(tableViewFrames, title);
    dialog.setNameFilters({QStringLiteral("Bus logs (*.log *.txt)"), QStringLiteral("All files (*)")});
    // Our own dialog everywhere: the same questions (replace?) on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (forWriting) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("log"));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString path = dialog.selectedFiles().constFirst();
    return forWriting ? withLogSuffix(path) : path;
}

bool BusLayout::saveLog(const QString &path)
{
    QFile file;
    QString problem;
    if (!openForWriting(file, path, &problem)) {
        showMessage(QStringLiteral("Cannot write %1: %2").arg(path, problem), true);
        return false;
    }
    QByteArray text;
    quint64 frames = 0;
    quint64 noiseRuns = 0;
    for (int i = 0; i < frameModel->heldCount(); ++i) {
        const BusRecord &record = frameModel->heldRecord(i);
        (record.kind == BusRecord::Noise ? noiseRuns : frames) += 1;
        text += busLogLineOf(record);
        if (text.size() > (1 << 20)) {
            file.write(text);
            text.clear();
        }
    }
    file.write(text);
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        showMessage(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    QString saved = QStringLiteral("Saved %1").arg(countText(frames, "frame", "frames"));
    if (noiseRuns > 0)
        saved += QStringLiteral(" and %1").arg(countText(noiseRuns, "noise run", "noise runs"));
    showMessage(saved + QStringLiteral(" to %1").arg(path), false);
    return true;
}

bool BusLayout::openLog(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMessage(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    const BusLogRead read = readBusLog(file);
    on_buttonClear_clicked(false);
    // A plain frame line has no time: it counts as read now.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QVector<BusRecord> records;
    records.reserve(read.entries.size());
    quint64 frames = 0;
    for (const BusLogEntry &entry : read.entries) {
        const qint64 timeMs = entry.timeMs >= 0 ? entry.timeMs : now;
        if (entry.kind == BusRecord::Noise) {
            BusRecord noise;
            noise.kind = BusRecord::Noise;
            noise.bytes = entry.bytes;
            noise.timeMs = timeMs;
            records.append(std::move(noise));
            continue;
        }
        ++frames;
        records.append(busSession->prepare(entry.bytes, timeMs, entry.kind));
    }
    busSession->load(records);
    QString opened = QStringLiteral("Opened %1: %2").arg(path, countText(frames, "frame", "frames"));
    if (quint64(records.size()) > frames)
        opened += QStringLiteral(", %1").arg(countText(quint64(records.size()) - frames, "noise run", "noise runs"));
    if (read.refused > 0)
        opened += QStringLiteral("; ") + countText(quint64(read.refused), "line was not a frame", "lines were not frames");
    showMessage(opened, read.refused > 0);
    return true;
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

void BusLayout::on_busSession_recordingChanged(bool recording, const QString &reason)
{
    setRecordButton(recording);
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
