// The Bus page's detail pane: the list's current row in full, under the
// list in a splitter whose place is remembered.

#include "monitor/buslayout.h"

#include "codec/frame.h"
#include "monitor/framedetailpane.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/bussession.h"
#include "widgets/settingsstore.h"

#include <QCheckBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSplitter>
#include <QTableView>

namespace {

// In the page's settings group.
const QString kSplitterKey = QStringLiteral("bus/detailSplitter");

} // namespace

QWidget *BusLayout::buildDetailPane()
{
    splitterFrames = new QSplitter(Qt::Vertical);
    splitterFrames->setObjectName(QStringLiteral("splitterFrames"));
    frameDetailPane = new FrameDetailPane;
    frameDetailPane->setObjectName(QStringLiteral("frameDetailPane"));
    splitterFrames->addWidget(tableViewFrames);
    // Under the list, a tab beside the pane: the Nodes table.
    splitterFrames->addWidget(buildNodesTab());
    splitterFrames->setCollapsible(0, false);
    // The list first: the pane is for a closer look at one row.
    splitterFrames->setStretchFactor(0, 3);
    splitterFrames->setStretchFactor(1, 1);
    splitterFrames->setSizes({360, 120});
    splitterFrames->restoreState(settingsStore().value(kSplitterKey).toByteArray());
    return splitterFrames;
}

void BusLayout::connectDetailPane()
{
    // Connected after the page's own handler, so that the view shows the
    // other model by the time the pane looks at it.
    connect(checkBoxLatest, &QCheckBox::toggled, this, &BusLayout::watchCurrentRow);
    connect(splitterFrames, &QSplitter::splitterMoved, this,
            [this] { settingsStore().setValue(kSplitterKey, splitterFrames->saveState()); });
    connect(frameDetailPane, &FrameDetailPane::openRequested, this,
            [this](const QByteArray &frame) { emit frameOpened(frameToHexText(frame)); });
    connect(frameDetailPane, &FrameDetailPane::putInSendRequested, this, &BusLayout::putInSendField);
    connect(frameDetailPane, &FrameDetailPane::parameterMenuRequested, this, &BusLayout::addDetailPlotEntries);
    watchCurrentRow();
}

void BusLayout::watchCurrentRow()
{
    for (const QMetaObject::Connection &watch : qAsConst(detailWatches))
        disconnect(watch);
    detailWatches.clear();
    QAbstractItemModel *model = tableViewFrames->model();
    detailWatches << connect(tableViewFrames->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                             &BusLayout::showDetail);
    // A reset (Clear, a new filter) leaves no current row, without a word.
    detailWatches << connect(model, &QAbstractItemModel::modelReset, this, &BusLayout::showDetail);
    // A Latest row takes each new frame of its message in place.
    detailWatches << connect(model, &QAbstractItemModel::dataChanged, this,
                             [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                                 const int row = tableViewFrames->currentIndex().row();
                                 if (row >= topLeft.row() && row <= bottomRight.row())
                                     showDetail();
                             });
    showDetail();
}

void BusLayout::showDetail()
{
    const QModelIndex current = tableViewFrames->currentIndex();
    const BusRecord *record = current.isValid() ? recordOfIndex(current) : nullptr;
    if (!record || record->kind == BusRecord::Event) {
        detailShown = false;
        frameDetailPane->clear();
        return;
    }
    const bool sameFrame = detailShown && record->kind == detailRecord.kind && record->bytes == detailRecord.bytes;
    if (sameFrame && record->timeUs == detailRecord.timeUs)
        return;
    detailRecord = *record;
    detailShown = true;
    const QString time = timeOfDayText(record->timeUs);
    if (sameFrame) {
        frameDetailPane->showTime(time);
    } else if (record->kind == BusRecord::Noise) {
        frameDetailPane->showNoise(record->bytes, time);
    } else {
        FrameReport report = busSession->decode(record->bytes);
        report.time = time;
        report.direction = directionText(record->kind);
        frameDetailPane->showReport(report);
    }
}

void BusLayout::putInSendField(const QByteArray &frame)
{
    LineEditSendFrame->setText(spacedHexText(frame));
    LineEditSendFrame->setFocus();
}
