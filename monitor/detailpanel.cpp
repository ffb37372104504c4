#include "monitor/detailpanel.h"

#include "bustools/replytool.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "monitor/framedetailpane.h"
#include "monitor/nodetablemodel.h"
#include "monitor/replytablemodel.h"
#include "serial/bussession.h"
#include "widgets/pagestyle.h"
#include "widgets/settingsstore.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTableView>

namespace {

// In the page's settings group.
const QString kDetailTabKey = QStringLiteral("bus/detailTab");
const QString kSilentAfterKey = QStringLiteral("bus/silentAfterS");
const QString kReplyTimeoutKey = QStringLiteral("bus/replyTimeoutMs");

QTableView *newTableView(const QString &name)
{
    auto *view = named(new QTableView, name);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(20);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setTextElideMode(Qt::ElideRight);
    // In order of first appearance until a header is clicked.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);
    return view;
}

} // namespace

DetailPanel::DetailPanel(BusSession *session, NodeTableModel *nodes, ReplyTableModel *replies, QWidget *parent)
    : QTabWidget(parent), busSession(session), nodeModel(nodes), replyModel(replies)
{
    setObjectName(QStringLiteral("tabWidgetDetail"));
    setDocumentMode(true);
    frameDetailPane = new FrameDetailPane;
    frameDetailPane->setObjectName(QStringLiteral("frameDetailPane"));
    buildNodesTab();
    buildRepliesTab();
    // In the tab bar's corner, "Silent after" with the Nodes tab, the reply
    // timeout with Replies.
    auto *corner = named(new QWidget, QStringLiteral("widgetDetailCorner"));
    auto *cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    cornerLayout->addWidget(buildNodesCorner());
    cornerLayout->addWidget(buildRepliesCorner());
    setCornerWidget(corner, Qt::TopRightCorner);
    addTab(frameDetailPane, QStringLiteral("Frame"));
    addTab(tableViewNodes, QStringLiteral("Nodes"));
    addTab(tableViewReplies, QStringLiteral("Replies"));

    const int tab = settingsStore().value(kDetailTabKey, 0).toInt();
    setCurrentIndex(tab >= 0 && tab < count() ? tab : 0);
    showCorner();
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        settingsStore().setValue(kDetailTabKey, index);
        showCorner();
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
    connect(frameDetailPane, &FrameDetailPane::rowLinkActivated, this, &DetailPanel::rowRequested);
    // A request shown may be answered, or settle, while it is shown.
    connect(replyModel->replies(), &ReplyTool::rowsChanged, this, [this] {
        if (linksSequence >= 0)
            showReplyLinks(linksSequence);
    });
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

    tableViewNodes = newTableView(QStringLiteral("tableViewNodes"));
    tableViewNodes->setModel(nodesSorted);
    setNodeColumnWidths();
    tableViewNodes->setToolTip(QStringLiteral("Every node heard, grey when silent; double-click one to filter "
                                              "the list by it"));
}

void DetailPanel::buildRepliesTab()
{
    repliesSorted = named(new QSortFilterProxyModel(this), QStringLiteral("repliesSorted"));
    repliesSorted->setSourceModel(replyModel);
    repliesSorted->setSortRole(ReplyTableModel::SortRole);
    repliesSorted->setSortCaseSensitivity(Qt::CaseInsensitive);

    tableViewReplies = newTableView(QStringLiteral("tableViewReplies"));
    tableViewReplies->setModel(repliesSorted);
    tableViewReplies->setContextMenuPolicy(Qt::CustomContextMenu);
    const QFontMetrics metrics(tableViewReplies->font());
    auto fit = [&](const char *sample) { return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 24; };
    const QVector<int> widths = {fit("Broadcast"), fit("QX-Drive 40"), fit("Get Motor Status"), fit("Requests"),
                                 fit("Answered"), fit("Unanswered"), fit("Median ms"), fit("95 % ms")};
    for (int column = 0; column < widths.size(); ++column)
        tableViewReplies->setColumnWidth(column, widths.at(column));
    tableViewReplies->setToolTip(QStringLiteral("The requests to each node and message and how soon they were "
                                                "answered; double-click one to filter the list by it"));
    auto filterByRow = [this](const QModelIndex &index) {
        if (index.isValid())
            emit filterExpressionRequested(replyModel->replies()->filterText(repliesSorted->mapToSource(index).row()));
    };
    connect(tableViewReplies, &QTableView::doubleClicked, this, filterByRow);
    connect(tableViewReplies, &QTableView::activated, this, filterByRow);
    connect(tableViewReplies, &QWidget::customContextMenuRequested, this, &DetailPanel::showRepliesMenu);
}

void DetailPanel::showRepliesMenu(const QPoint &pos)
{
    const QModelIndex index = tableViewReplies->indexAt(pos);
    if (!index.isValid())
        return;
    const int group = repliesSorted->mapToSource(index).row();
    QMenu menu(tableViewReplies);
    menu.setObjectName(QStringLiteral("menuReplies"));
    QAction *plot = menu.addAction(QStringLiteral("Plot reply time"));
    plot->setObjectName(QStringLiteral("actionPlotReplyTime"));
    connect(plot, &QAction::triggered, this, [this, group] { emit replyPlotRequested(group); });
    menu.exec(tableViewReplies->viewport()->mapToGlobal(pos));
}

QWidget *DetailPanel::buildRepliesCorner()
{
    widgetRepliesCorner = named(new QWidget, QStringLiteral("widgetRepliesCorner"));
    auto *cornerLayout = new QHBoxLayout(widgetRepliesCorner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    labelReplyTimeout = named(new QLabel(QStringLiteral("Reply within")), QStringLiteral("labelReplyTimeout"));
    spinBoxReplyTimeout = named(new QSpinBox, QStringLiteral("spinBoxReplyTimeout"));
    spinBoxReplyTimeout->setRange(1, ReplyTool::kMaxTimeoutMs);
    spinBoxReplyTimeout->setSuffix(QStringLiteral(" ms"));
    spinBoxReplyTimeout->setToolTip(QStringLiteral("How long a node has to answer a request; a request without a "
                                                   "reply by then shows \"no reply\""));
    spinBoxReplyTimeout->setValue(settingsStore().value(kReplyTimeoutKey, ReplyTool::kDefaultTimeoutMs).toInt());
    replyModel->replies()->setTimeoutMs(spinBoxReplyTimeout->value());
    connect(spinBoxReplyTimeout, QOverload<int>::of(&QSpinBox::valueChanged), this, [this](int ms) {
        replyModel->replies()->setTimeoutMs(ms);
        settingsStore().setValue(kReplyTimeoutKey, ms);
    });
    cornerLayout->addWidget(labelReplyTimeout);
    cornerLayout->addWidget(spinBoxReplyTimeout);
    return widgetRepliesCorner;
}

void DetailPanel::showCorner()
{
    widgetNodesCorner->setVisible(currentWidget() == tableViewNodes);
    widgetRepliesCorner->setVisible(currentWidget() == tableViewReplies);
    cornerWidget()->setVisible(currentWidget() != frameDetailPane);
}

void DetailPanel::showReplyLinks(qint64 sequence)
{
    linksSequence = sequence;
    frameDetailPane->showReplyLinks(sequence >= 0 ? replyModel->replies()->linksOf(quint64(sequence))
                                                  : QVector<ReplyTool::Link>());
}

QWidget *DetailPanel::buildNodesCorner()
{
    widgetNodesCorner = named(new QWidget, QStringLiteral("widgetNodesCorner"));
    QWidget *corner = widgetNodesCorner;
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
