#include "monitor/figurespanel.h"

#include "bustools/busfigures.h"
#include "bustools/showntrace.h"
#include "monitor/nodetablemodel.h"
#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"

#include <QDateTime>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const int kInsightIntervalMs = 250;

} // namespace

FiguresPanel::FiguresPanel(ShownTrace *shown, NodeTableModel *nodes, QWidget *parent)
    : QWidget(parent), shownTrace(shown), nodeModel(nodes)
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
    connect(shownTrace, &ShownTrace::cleared, this, [this] {
        showInsight();
        showCounters();
    });
    // Back on the live bus, its figures at once; an opened log's come as it is read.
    connect(shownTrace, &ShownTrace::shownChanged, this, [this] {
        if (!shownTrace->isShowingOpenedLog())
            showInsight();
        showCounters();
    });
    timerInsight->start();
    showCounters();
}

void FiguresPanel::showInsight()
{
    const qint64 atUs = insightTimeUs(*shownTrace, QDateTime::currentMSecsSinceEpoch() * 1000);
    nodeModel->refresh(atUs);
    labelLoad->setFullText(loadText(*shownTrace, atUs));
}

void FiguresPanel::followWireFormat(const SerialSettings &settings)
{
    shownTrace->setWireFormat(wireFormatOf(settings));
    showInsight();
}

void FiguresPanel::showCounters()
{
    labelCounters->setFullText(countersText(counterFigures(*shownTrace)));
}
