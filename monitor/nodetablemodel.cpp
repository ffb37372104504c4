#include "monitor/nodetablemodel.h"

#include "codec/framedecoding.h"
#include "trace/tracestore.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

const char *const kHeaders[NodeTableModel::ColumnCount] = {
    "Node", "Node type", "Device", "First seen", "Last seen", "Frames", "Frames/s", "Share", "Last message"};

// "hh:mm:ss.mmm" of a time in µs; empty for none.
QString seenText(qint64 us)
{
    return us < 0 ? QString() : timeOfDayText(us).left(12);
}

// The date and time in full, for a time's tool tip.
QString seenToolTip(qint64 us)
{
    if (us < 0)
        return QString();
    return QDateTime::fromMSecsSinceEpoch(us / 1000).toString(QStringLiteral("yyyy-MM-dd ")) + timeOfDayText(us);
}

} // namespace

NodeTableModel::NodeTableModel(TraceStore *store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), m_rows(store->nodes().size())
{
    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setSingleShot(true);
    m_sliceTimer->setInterval(0);
    connect(m_sliceTimer, &QTimer::timeout, this, [this] { countSlice(0); });
    follow(store);
}

void NodeTableModel::follow(TraceStore *store)
{
    connect(store, &TraceStore::nodesAdded, this, &NodeTableModel::onNodesAdded);
    connect(store, &TraceStore::appended, this,
            [this](quint64 firstSeq, int count, int) { onAppended(firstSeq, count); });
    connect(store, &TraceStore::cleared, this, &NodeTableModel::onCleared);
}

void NodeTableModel::setStore(TraceStore *store)
{
    if (store == m_store)
        return;
    beginResetModel();
    disconnect(m_store, nullptr, this, nullptr);
    store->setSilenceThresholdUs(silenceThresholdUs());
    m_store = store;
    follow(store);
    adoptPending();
    countHeld();
    m_rows = table().size();
    endResetModel();
}

void NodeTableModel::setRowFilter(std::shared_ptr<const RecordFilter> filter, const std::deque<quint64> *chosen)
{
    m_pending.reset();
    m_sliceTimer->stop();
    if (!filter || filter->isEmpty() || !chosen) {
        beginResetModel();
        m_filter = filter && !filter->isEmpty() ? std::move(filter) : nullptr;
        countHeld();
        m_rows = table().size();
        endResetModel();
        return;
    }
    m_pending = std::make_unique<PendingCount>();
    m_pending->filter = std::move(filter);
    m_pending->table = newFilteredTable();
    m_pending->chosen = chosen;
    // A short list, the common case, is counted at once.
    countSlice(4096);
}

// The records the list chose since the last slice are counted too; those
// the ring let go are passed over.
void NodeTableModel::countSlice(int atLeast)
{
    QElapsedTimer clock;
    clock.start();
    PendingCount &p = *m_pending;
    const std::deque<quint64> &chosen = *p.chosen;
    int counted = 0;
    for (auto it = std::lower_bound(chosen.begin(), chosen.end(), p.nextSeq); it != chosen.end(); ++it) {
        if (const BusRecord *record = m_store->record(*it))
            p.table->add(*record);
        p.nextSeq = *it + 1;
        if (++counted % 256 == 0 && counted >= atLeast && clock.nsecsElapsed() >= m_sliceNs) {
            m_sliceTimer->start();
            return;
        }
    }
    const std::unique_ptr<PendingCount> done = std::move(m_pending);
    // The threshold may have been changed while the count went on.
    done->table->setSilenceThresholdUs(m_store->nodes().silenceThresholdUs());
    beginResetModel();
    m_filter = done->filter;
    m_filtered = std::move(done->table);
    m_rows = table().size();
    endResetModel();
}

void NodeTableModel::adoptPending()
{
    if (!m_pending)
        return;
    m_filter = m_pending->filter;
    m_pending.reset();
    m_sliceTimer->stop();
}

std::unique_ptr<NodeTable> NodeTableModel::newFilteredTable() const
{
    // The Frames/s column shows live rates: the table keeps them.
    auto filtered = std::make_unique<NodeTable>(NodeTable::Rates::Kept);
    filtered->setSilenceThresholdUs(m_store->nodes().silenceThresholdUs());
    return filtered;
}

void NodeTableModel::countHeld()
{
    if (!m_filter) {
        m_filtered.reset();
        return;
    }
    m_filtered = newFilteredTable();
    for (int i = 0; i < m_store->heldCount(); ++i) {
        const BusRecord &record = m_store->heldRecord(i);
        if (m_filter->matches(record))
            m_filtered->add(record);
    }
}

// The Frames/s column shows live rates: the store keeps them.
const NodeTable &NodeTableModel::table() const
{
    return m_filtered ? *m_filtered : m_store->nodes();
}

int NodeTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int NodeTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant NodeTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows || index.row() >= table().size())
        return QVariant();
    const int row = index.row();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, column);
    case Qt::ToolTipRole:
        if (column == FirstSeen)
            return seenToolTip(table().row(row).firstUs);
        if (column == LastSeen)
            return seenToolTip(table().row(row).lastUs);
        return cellText(row, column);
    case SortRole:
        return sortKey(row, column);
    case Qt::ForegroundRole:
        if (table().isSilent(row, m_nowUs))
            return QBrush(QColor(Qt::gray));
        return QVariant();
    case Qt::TextAlignmentRole:
        if (column == NodeType || column == Frames || column == Rate || column == Share)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant NodeTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kHeaders[section]);
    if (role == Qt::ToolTipRole && section == Rate)
        return QStringLiteral("Its frames a second over the last 10 s");
    if (role == Qt::ToolTipRole && section == Share)
        return QStringLiteral("Its part of the bytes of all good frames");
    return QVariant();
}

QString NodeTableModel::lastMessageText(const NodeRow &row) const
{
    for (int i = 0; i < row.messages.size(); ++i) {
        if (row.messages.at(i).messageId == row.lastMessageId)
            return NodeTable::messageKey(row, i);
    }
    return row.lastMessage;
}

QString NodeTableModel::cellText(int row, int column) const
{
    const NodeRow &node = table().row(row);
    switch (column) {
    case Node:
        return nodeIdText(node.node);
    case NodeType:
        return QString::number(node.nodeType);
    case Device:
        return node.device;
    case FirstSeen:
        return seenText(node.firstUs);
    case LastSeen:
        return seenText(node.lastUs);
    case Frames:
        return QString::number(node.frames);
    case Rate:
        return QString::number(table().framesPerSecond(row, m_nowUs), 'f', 1);
    case Share:
        return QString::number(100.0 * table().share(row), 'f', 1) + QStringLiteral(" %");
    case LastMessage:
        return lastMessageText(node);
    default:
        return QString();
    }
}

QVariant NodeTableModel::sortKey(int row, int column) const
{
    const NodeRow &node = table().row(row);
    switch (column) {
    case Node:
        return node.node;
    case NodeType:
        return node.nodeType;
    case FirstSeen:
        return node.firstUs;
    case LastSeen:
        return node.lastUs;
    case Frames:
        return node.frames;
    case Rate:
        return table().framesPerSecond(row, m_nowUs);
    case Share:
        return table().share(row);
    default:
        return cellText(row, column);
    }
}

void NodeTableModel::onNodesAdded(int first, int count)
{
    if (m_filtered)
        return;
    beginInsertRows(QModelIndex(), first, first + count - 1);
    m_rows = first + count;
    endInsertRows();
}

// Under a filter, the new records it selects; a record the ring has let go
// already is not counted.
void NodeTableModel::onAppended(quint64 firstSeq, int count)
{
    // For the table shown; a count going on reaches them through the list.
    if (!m_filtered)
        return;
    for (quint64 seq = firstSeq; seq < firstSeq + quint64(count); ++seq) {
        const BusRecord *record = m_store->record(seq);
        if (record && m_filter->matches(*record))
            m_filtered->add(*record);
    }
    if (m_filtered->size() > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, m_filtered->size() - 1);
        m_rows = m_filtered->size();
        endInsertRows();
    }
}

void NodeTableModel::onCleared()
{
    beginResetModel();
    adoptPending();
    countHeld();
    m_rows = 0;
    endResetModel();
}

void NodeTableModel::refresh(qint64 nowUs)
{
    m_nowUs = nowUs;
    announceAll();
}

void NodeTableModel::setSilenceThresholdUs(qint64 us)
{
    m_store->setSilenceThresholdUs(us);
    if (m_filtered)
        m_filtered->setSilenceThresholdUs(us);
    announceAll();
}

void NodeTableModel::announceAll()
{
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ColumnCount - 1));
}

qint64 NodeTableModel::nodeAt(int row) const
{
    return row >= 0 && row < m_rows && row < table().size() ? qint64(table().row(row).node) : -1;
}
