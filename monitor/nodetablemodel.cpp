#include "monitor/nodetablemodel.h"

#include "codec/framedecoding.h"
#include "trace/tracestore.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

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
    follow(store);
}

void NodeTableModel::follow(TraceStore *store)
{
    connect(store, &TraceStore::nodesAdded, this, &NodeTableModel::onNodesAdded);
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
    m_rows = table().size();
    endResetModel();
}

// The Frames/s column shows live rates: the store keeps them.
const NodeTable &NodeTableModel::table() const
{
    return m_store->nodes();
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
    beginInsertRows(QModelIndex(), first, first + count - 1);
    m_rows = first + count;
    endInsertRows();
}

void NodeTableModel::onCleared()
{
    beginResetModel();
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
