#include "bustools/busfigures.h"

#include "bustools/showntrace.h"
#include "trace/tracestore.h"

CounterFigures counterFigures(const ShownTrace &shown)
{
    CounterFigures figures;
    figures.counters = shown.session()->counters();
    figures.droppedFromList = shown.store()->droppedCount();
    figures.droppedFromLatest = shown.store()->latest().droppedCount();
    figures.paused = shown.liveSession()->isPaused();
    figures.waiting = shown.liveSession()->heldCount();
    return figures;
}

QString countersText(const CounterFigures &figures)
{
    const BusCounters &counters = figures.counters;
    QString text = QStringLiteral("%1 received, %2 sent, %3, %4 of noise")
                       .arg(counters.received)
                       .arg(counters.sent)
                       .arg(countText(counters.badChecksums, "bad checksum", "bad checksums"),
                            countText(counters.noiseBytes, "byte", "bytes"));
    const quint64 dropped = figures.droppedFromList + counters.droppedWhilePaused + counters.droppedUnread;
    if (dropped > 0)
        text += QStringLiteral(", %1 older dropped").arg(dropped);
    if (figures.droppedFromLatest > 0)
        text += QStringLiteral(", %1 dropped from Latest").arg(figures.droppedFromLatest);
    if (figures.paused)
        text += QStringLiteral(" (paused, %1 waiting)").arg(figures.waiting);
    return text;
}

qint64 insightTimeUs(const ShownTrace &shown, qint64 nowUs)
{
    return shown.isShowingOpenedLog() ? shown.store()->load().overall().lastUs : nowUs;
}

QString loadText(const LoadFigures &figures, bool overLog)
{
    const QString rate = overLog ? QString::number(figures.framesPerSecond, 'f', 1) : QString::number(figures.frames);
    return (overLog ? QStringLiteral("over the log: ") : QString())
        + QStringLiteral("%1 frames/s \u00b7 load %2 % \u00b7 %3 bad checksums \u00b7 %4 noise bytes")
              .arg(rate, QString::number(figures.busLoad, 'f', 1))
              .arg(figures.badChecksums)
              .arg(figures.noiseBytes);
}

QString loadText(const ShownTrace &shown, qint64 atUs)
{
    const BusLoadMeter &meter = shown.store()->load();
    return shown.isShowingOpenedLog() ? loadText(meter.overall(), true) : loadText(meter.live(atUs), false);
}
