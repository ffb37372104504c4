#include "bustools/logtool.h"

#include "bustools/showntrace.h"
#include "serial/buslogloader.h"
#include "serial/busrecording.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

#include <QDateTime>
#include <QFileInfo>

LogTool::LogTool(ShownTrace *shown, QObject *parent)
    : QObject(parent), shownTrace(shown), busSession(shown->liveSession())
{
    logLoader = new BusLogLoader(QStringLiteral("xml"), this);
    logLoader->setObjectName(QStringLiteral("logLoader"));
    connect(logLoader, &BusLogLoader::batchRead, this, &LogTool::takeBatch);
    connect(logLoader, &BusLogLoader::finished, this, &LogTool::finishOpening);
    connect(busSession, &BusSession::recordingChanged, this, &LogTool::followRecording);
    connect(shownTrace, &ShownTrace::shownChanged, this, [this] {
        if (!shownTrace->isShowingOpenedLog())
            cancelOpening();
    });
}

bool LogTool::save(const QString &path)
{
    const TraceStore *held = shownTrace->store();
    const SavedRecords saved = saveRecords(
        path, {held->heldCount(), [held](int i) -> const BusRecord & { return held->heldRecord(i); }},
        busSession->preciseLogs());
    emit message(saved.message, !saved.ok);
    return saved.ok;
}

bool LogTool::open(const QString &path)
{
    if (logLoader->isRunning()) {
        emit message(QStringLiteral("A log is being opened: cancel it first"), true);
        return false;
    }
    logLoader->cancel();
    shownTrace->showOpenedLog();
    // Lines without a time count as read now.
    if (!logLoader->start(path, QDateTime::currentMSecsSinceEpoch())) {
        emit message(QStringLiteral("Cannot read %1: %2").arg(path, logLoader->errorText()), true);
        return false;
    }
    openingPath = path;
    opened = RecordCounts();
    emit openingChanged(true);
    emit message(QStringLiteral("Opening %1").arg(path), false, true);
    return true;
}

bool LogTool::isOpening() const
{
    return logLoader->isRunning();
}

void LogTool::cancelOpening()
{
    logLoader->cancel();
}

void LogTool::takeBatch(const QVector<BusRecord> &records, qint64 done, qint64 total)
{
    if (logLoader->isCancelled()) {
        logLoader->batchTaken();
        return;
    }
    opened.add(records);
    if (BusSession *fileSession = shownTrace->fileSession())
        fileSession->load(records);
    emit openProgress(total > 0 ? int(done * 1000 / total) : 1000);
    logLoader->batchTaken();
}

void LogTool::finishOpening(int refused, bool cancelled, const QString &error)
{
    emit openingChanged(false);
    QString text = QStringLiteral("%1 %2: %3")
                       .arg(cancelled ? QStringLiteral("Stopped opening") : QStringLiteral("Opened"), openingPath,
                            countText(opened.frames, "frame", "frames"));
    if (opened.noiseRuns > 0)
        text += QStringLiteral(", %1").arg(countText(opened.noiseRuns, "noise run", "noise runs"));
    if (refused > 0)
        text += QStringLiteral("; ") + countText(quint64(refused), "line was not a frame", "lines were not frames");
    if (!error.isEmpty())
        text += QStringLiteral("; reading stopped: %1").arg(error);
    const TraceStore *fileStore = shownTrace->fileStore();
    if (fileStore && fileStore->droppedCount() > 0)
        text += QStringLiteral("; the first %1 left out: the list holds %2")
                    .arg(countText(fileStore->droppedCount(), "record", "records"))
                    .arg(fileStore->capacity());
    emit message(text, refused > 0 || !error.isEmpty());
}

bool LogTool::startRecording(const QString &path)
{
    if (!busSession->startRecording(path)) {
        emit message(busSession->errorText(), true);
        emit recordingChanged(false);
        return false;
    }
    return true;
}

void LogTool::stopRecording()
{
    busSession->stopRecording();
}

bool LogTool::isRecording() const
{
    return busSession->isRecording();
}

void LogTool::setPreciseLogs(bool precise)
{
    busSession->setPreciseLogs(precise);
}

QString LogTool::recordingText() const
{
    return QStringLiteral("\u25cf Recording %1: %2")
        .arg(QFileInfo(busSession->recordingPath()).fileName(),
             countText(busSession->recordedFrames(), "frame", "frames"));
}

QString LogTool::recordingPath() const
{
    return busSession->recordingPath();
}

void LogTool::followRecording(bool recording, const QString &reason)
{
    emit recordingChanged(recording);
    if (recording)
        emit message(QStringLiteral("Recording to %1").arg(busSession->recordingPath()), false);
    else if (!reason.isEmpty())
        emit message(reason, true);
    else
        emit message(QStringLiteral("Recording to %1 stopped").arg(busSession->recordingPath()), false);
}
