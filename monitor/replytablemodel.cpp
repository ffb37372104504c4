#include "monitor/replytablemodel.h"

#include "bustools/replytool.h"

#include <QBrush>
#include <QColor>

namespace {

const char *const kHeaders[ReplyTool::ColumnCount] = {"Node",       "Device",     "Message",
                                                      "Requests",   "Answered",   "Unanswered",
                                                      "Median ms",  "95 % ms",    "Max ms"};

} // namespace

ReplyTableModel::ReplyTableModel(ReplyTool *replies, QObject *parent) : QAbstractTableModel(parent), m_replies(replies)
{
    m_rows = replies->tableRows();
    connect(replies, &ReplyTool::tableChanged, this, &ReplyTableModel::follow);
}

// New rows go below; fewer rows than shown means the table was made anew.
void ReplyTableModel::follow()
{
    const int rows = m_replies->tableRows();
    if (rows < m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, ReplyTool::ColumnCount - 1));
}

int ReplyTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ReplyTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ReplyTool::ColumnCount;
}

QVariant ReplyTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return QVariant();
    const int row = index.row();
    const int column = index.column();
    const bool name = column == ReplyTool::Device || column == ReplyTool::Message;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return m_replies->cellText(row, column);
    case SortRole:
        return name ? QVariant(m_replies->cellText(row, column)) : QVariant(m_replies->cellNumber(row, column));
    case Qt::ForegroundRole:
        return m_replies->cellAlarm(row, column) ? QVariant(QBrush(QColor(Qt::red))) : QVariant();
    case Qt::TextAlignmentRole:
        return column >= ReplyTool::Requests ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    default:
        return QVariant();
    }
}

QVariant ReplyTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= ReplyTool::ColumnCount)
        return QVariant();
    return QString::fromUtf8(kHeaders[section]);
}
