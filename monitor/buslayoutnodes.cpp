// The Bus page's Nodes tab and load line: who is on the bus and how busy it
// is, from the same batches as the list, drawn a few times a second. Live,
// rates, silence and the load are reckoned up to now; for an opened log, up
// to its last time, and the load over the whole log.

#include "monitor/buslayout.h"

#include "codec/framedecoding.h"
#include "monitor/framedetailpane.h"
#include "monitor/nodetablemodel.h"
#include "trace/tracestore.h"
#include "serial/serialconnection.h"
#include "widgets/elidedlabel.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QComboBox>
#include <QDateTime>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

namespace {

const QString kDetailTabKey = QStringLiteral("bus/detailTab");
const QString kSilentAfterKey = QStringLiteral("bus/silentAfterS");
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

QWidget *BusLayout::buildNodesTab()
{
    nodeModel = named(new NodeTableModel(traceStore, this), QStringLiteral("nodeModel"));
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

    tabWidgetDetail = named(new QTabWidget, QStringLiteral("tabWidgetDetail"));
    tabWidgetDetail->setDocumentMode(true);

    // "Silent after" in the tab bar's corner, shown with the Nodes tab.
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
    tabWidgetDetail->setCornerWidget(corner, Qt::TopRightCorner);
    tabWidgetDetail->addTab(frameDetailPane, QStringLiteral("Frame"));
    tabWidgetDetail->addTab(tableViewNodes, QStringLiteral("Nodes"));
    return tabWidgetDetail;
}

// By sample texts in the view's font, with room for the sort indicator.
void BusLayout::setNodeColumnWidths()
{
    const QFontMetrics metrics(tableViewNodes->font());
    auto fit = [&](const char *sample) { return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 24; };
    const int time = fit("00:00:00.000");
    const QVector<int> widths = {fit("000000"), fit("Node type"), fit("QX-Drive 40"), time, time,
                                 fit("Frames/s"), fit("Frames/s"), fit("100.0 %")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewNodes->setColumnWidth(column, widths.at(column));
}

void BusLayout::buildLoadLine()
{
    labelLoad = named(new ElidedLabel, QStringLiteral("labelLoad"));
    labelLoad->setToolTip(QStringLiteral("Live: the last second; for an opened log: the whole log. The load is "
                                         "the bits on the wire over what the baud rate carries"));
    timerInsight = named(new QTimer(this), QStringLiteral("timerInsight"));
    timerInsight->setInterval(kInsightIntervalMs);
}

void BusLayout::connectInsight()
{
    const int tab = settingsStore().value(kDetailTabKey, 0).toInt();
    tabWidgetDetail->setCurrentIndex(tab >= 0 && tab < tabWidgetDetail->count() ? tab : 0);
    tabWidgetDetail->cornerWidget()->setVisible(tabWidgetDetail->currentWidget() == tableViewNodes);
    connect(tabWidgetDetail, &QTabWidget::currentChanged, this, [this](int index) {
        settingsStore().setValue(kDetailTabKey, index);
        tabWidgetDetail->cornerWidget()->setVisible(tabWidgetDetail->currentWidget() == tableViewNodes);
    });
    connect(spinBoxSilentAfter, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int seconds) {
        nodeModel->setSilenceThresholdUs(qint64(seconds) * 1000000);
        settingsStore().setValue(kSilentAfterKey, seconds);
    });
    // Enter gives activated; a double click gives both, and filtering twice
    // by the same node is harmless.
    connect(tableViewNodes, &QTableView::doubleClicked, this, &BusLayout::filterByNodeRow);
    connect(tableViewNodes, &QTableView::activated, this, &BusLayout::filterByNodeRow);
    for (QComboBox *box : {comboBoxBaud, comboBoxDataBits, comboBoxParity, comboBoxStopBits})
        connect(box, &QComboBox::currentTextChanged, this, &BusLayout::followWireFormat);
    connect(comboBoxBaud, &QComboBox::editTextChanged, this, &BusLayout::followWireFormat);
    connect(timerInsight, &QTimer::timeout, this, &BusLayout::showInsight);
    followWireFormat();
    timerInsight->start();
}

// The store has emptied the node table and the load meter.
void BusLayout::clearInsight()
{
    insightOfLog = false;
    showInsight();
}

void BusLayout::showInsight()
{
    const BusLoadMeter &loadMeter = shownStore()->load();
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

void BusLayout::followWireFormat()
{
    const WireFormat format = wireFormatOf(serialSettings());
    traceStore->setWireFormat(format);
    if (fileStore)
        fileStore->setWireFormat(format);
    showInsight();
}

void BusLayout::filterByNodeRow(const QModelIndex &index)
{
    const qint64 node = nodeModel->nodeAt(nodesSorted->mapToSource(index).row());
    if (node >= 0)
        filterBy(nodeIdText(quint32(node)));
}
