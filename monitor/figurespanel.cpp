#include "monitor/figurespanel.h"

#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "monitor/nodetablemodel.h"
#include "monitor/showntrace.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"

#include <QDateTime>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const int kInsightIntervalMs = 250;

// The load line's figures: "N frames/s · load X.X % · B bad checksums · M noise bytes".
QString loadText(const LoadFigures &figures, const QString &frameRate)
{
    return QStringLiteral("%1 frames/s \u00b7 load %2 % \u00b7 %3 bad checksums \u00b7 %4 noise bytes")
        .arg(frameRate, QString::number(figures.busLoad, 'f', 1))
        .arg(figures.badChecksums)
        .arg(figures.noiseBytes);
}

} // namespace

FiguresPanel::FiguresPanel(ShownTrace *shown, const FrameTableModel *frames, const LatestMessageModel *latest,
                           NodeTableModel *nodes, QWidget *parent)
    : QWidget(parent), shownTrace(shown), frameModel(frames), latestModel(latest), nodeModel(nodes)
{
    labelLoad = named(new ElidedLabel, QStringLiteral("labelLoad"));
    labelLoad->setToolTip(QStringLiteral("Live: the last second; for an opened log: the whole log. The load is "
                                         "the bits on the wire over what the baud rate carries"));
    timerInsight = named(new QTimer(this), QStringLiteral("timerInsight"));
    timerInsight->setInterval(kInsightIntervalMs);
    labelCounters = named(new ElidedLabel, QStringLiteral("labelCounters"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(labelLoad);
    layout->addWidget(labelCounters);
    connect(timerInsight, &QTimer::timeout, this, &FiguresPanel::showInsight);
    connect(shownTrace, &ShownTrace::countersChanged, this, &FiguresPanel::showCounters);
    timerInsight->start();
}

void FiguresPanel::clearInsight()
{
    insightOfLog = false;
    showInsight();
}

void FiguresPanel::showInsight()
{
    const BusLoadMeter &loadMeter = shownTrace->store()->load();
    const qint64 nowUs = insightOfLog ? loadMeter.overall().lastUs : QDateTime::currentMSecsSinceEpoch() * 1000;
    nodeModel->refresh(nowUs);
    if (insightOfLog) {
        const LoadFigures figures = loadMeter.overall();
        labelLoad->setFullText(QStringLiteral("over the log: ")
                               + loadText(figures, QString::number(figures.framesPerSecond, 'f', 1)));
    } else {
        const LoadFigures figures = loadMeter.live(nowUs);
        labelLoad->setFullText(loadText(figures, QString::number(figures.frames)));
    }
}

void FiguresPanel::followWireFormat(const SerialSettings &settings)
{
    shownTrace->setWireFormat(wireFormatOf(settings));
    showInsight();
}

void FiguresPanel::showOfLog(bool ofLog)
{
    insightOfLog = ofLog;
}

void FiguresPanel::showCounters()
{
    const BusCounters counters = shownTrace->session()->counters();
    QString text = QStringLiteral("%1 received, %2 sent, %3, %4 of noise")
                       .arg(counters.received)
                       .arg(counters.sent)
                       .arg(countText(counters.badChecksums, "bad checksum", "bad checksums"),
                            countText(counters.noiseBytes, "byte", "bytes"));
    const quint64 dropped = frameModel->droppedCount() + counters.droppedWhilePaused + counters.droppedUnread;
    if (dropped > 0)
        text += QStringLiteral(", %1 older dropped").arg(dropped);
    if (latestModel->droppedCount() > 0)
        text += QStringLiteral(", %1 dropped from Latest").arg(latestModel->droppedCount());
    const BusSession *live = shownTrace->liveSession();
    if (live->isPaused())
        text += QStringLiteral(" (paused, %1 waiting)").arg(live->heldCount());
    labelCounters->setFullText(text);
}
