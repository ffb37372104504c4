#include "monitor/detailpanel.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "monitor/framedetailpane.h"
#include "monitor/nodetablemodel.h"
#include "serial/bussession.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>

namespace {

// In the page's settings group.
const QString kDetailTabKey = QStringLiteral("bus/detailTab");
const QString kSilentAfterKey = QStringLiteral("bus/silentAfterS");

} // namespace

DetailPanel::DetailPanel(BusSession *session, NodeTableModel *nodes, QWidget *parent)
    : QTabWidget(parent), busSession(session), nodeModel(nodes)
{
    setObjectName(QStringLiteral("tabWidgetDetail"));
    setDocumentMode(true);
    frameDetailPane = new FrameDetailPane;
    frameDetailPane->setObjectName(QStringLiteral("frameDetailPane"));
    buildNodesTab();
    // "Silent after" in the tab bar's corner, shown with the Nodes tab.
    setCornerWidget(buildNodesCorner(), Qt::TopRightCorner);
    addTab(frameDetailPane, QStringLiteral("Frame"));
    addTab(tableViewNodes, QStringLiteral("Nodes"));

    const int tab = settingsStore().value(kDetailTabKey, 0).toInt();
    setCurrentIndex(tab >= 0 && tab < count() ? tab : 0);
    cornerWidget()->setVisible(currentWidget() == tableViewNodes);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        settingsStore().setValue(kDetailTabKey, index);
        cornerWidget()->setVisible(currentWidget() == tableViewNodes);
    });
    connect(spinBoxSilentAfter, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int seconds) {
        nodeModel->setSilenceThresholdUs(qint64(seconds) * 1000000);
        settingsStore().setValue(kSilentAfterKey, seconds);
    });
    // Enter gives activated; a double click gives both, and filtering twice
    // by the same node is harmless.
    connect(tableViewNodes, &QTableView::doubleClicked, this, &DetailPanel::filterByNodeRow);
    connect(tableViewNodes, &QTableView::activated, this, &DetailPanel::filterByNodeRow);
    connect(frameDetailPane, &FrameDetailPane::openRequested, this,
            [this](const QByteArray &frame) { emit frameOpened(frameToHexText(frame)); });
    connect(frameDetailPane, &FrameDetailPane::putInSendRequested, this, &DetailPanel::putInSendRequested);
    connect(frameDetailPane, &FrameDetailPane::parameterMenuRequested, this,
            [this](QMenu *menu, const QString &parameter) {
                if (detailShown)
                    emit parameterMenuRequested(menu, detailRecord, parameter);
            });
}

void DetailPanel::buildNodesTab()
{
    nodesSorted = named(new QSortFilterProxyModel(this), QStringLiteral("nodesSorted"));
    nodesSorted->setSourceModel(nodeModel);
    nodesSorted->setSortRole(NodeTableModel::SortRole);
    nodesSorted->setSortCaseSensitivity(Qt::CaseInsensitive);

    tableViewNodes = named(new QTableView, QStringLiteral("tableViewNodes"));
    tableViewNodes->setModel(nodesSorted);
    tableViewNodes->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewNodes->setSelectionMode(QAbstractItemView::SingleSelection);
    tableViewNodes->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableViewNodes->setWordWrap(false);
    tableViewNodes->verticalHeader()->hide();
    tableViewNodes->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableViewNodes->verticalHeader()->setDefaultSectionSize(20);
    tableViewNodes->horizontalHeader()->setStretchLastSection(true);
    tableViewNodes->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    // In order of first appearance until a header is clicked.
    tableViewNodes->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tableViewNodes->setSortingEnabled(true);
    setNodeColumnWidths();
    tableViewNodes->setToolTip(QStringLiteral("Every node heard, grey when silent; double-click one to filter "
                                              "the list by it"));
}

QWidget *DetailPanel::buildNodesCorner()
{
    auto *corner = new QWidget;
    corner->setObjectName(QStringLiteral("widgetNodesCorner"));
    auto *cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    labelSilentAfter = named(new QLabel(QStringLiteral("Silent after")), QStringLiteral("labelSilentAfter"));
    spinBoxSilentAfter = named(new QSpinBox, QStringLiteral("spinBoxSilentAfter"));
    spinBoxSilentAfter->setRange(1, 24 * 3600);
    spinBoxSilentAfter->setSuffix(QStringLiteral(" s"));
    spinBoxSilentAfter->setToolTip(QStringLiteral("A node not heard for longer than this shows grey"));
    spinBoxSilentAfter->setValue(settingsStore().value(kSilentAfterKey, 10).toInt());
    nodeModel->setSilenceThresholdUs(qint64(spinBoxSilentAfter->value()) * 1000000);
    cornerLayout->addWidget(labelSilentAfter);
    cornerLayout->addWidget(spinBoxSilentAfter);
    return corner;
}

// By sample texts in the view's font, with room for the sort indicator.
void DetailPanel::setNodeColumnWidths()
{
    const QFontMetrics metrics(tableViewNodes->font());
    auto fit = [&](const char *sample) { return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 24; };
    const int time = fit("00:00:00.000");
    const QVector<int> widths = {fit("000000"), fit("Node type"), fit("QX-Drive 40"), time, time,
                                 fit("Frames/s"), fit("Frames/s"), fit("100.0 %")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewNodes->setColumnWidth(column, widths.at(column));
}

void DetailPanel::filterByNodeRow(const QModelIndex &index)
{
    const qint64 node = nodeModel->nodeAt(nodesSorted->mapToSource(index).row());
    if (node >= 0)
        emit filterRequested(nodeIdText(quint32(node)));
}

void DetailPanel::showRecord(const BusRecord *record)
{
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
