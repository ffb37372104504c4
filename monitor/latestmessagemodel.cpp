#include "monitor/latestmessagemodel.h"

namespace {

const char *const kHeaders[LatestMessageModel::ColumnCount] = {
    "Time", "Device", "Message", "Source \u2192 Destination", "Values", "Count", "Rate /s"};

quint64 keyOf(const BusRecord &record)
{
    return (quint64(record.sourceAddress) << 8) | record.messageId;
}

} // namespace

LatestMessageModel::LatestMessageModel(QObject *parent) : QAbstractTableModel(parent) {}

int LatestMessageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int LatestMessageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LatestMessageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return QVariant();
    const Entry &entry = entries.at(rows.at(index.row()));
    if (role == Qt::DisplayRole)
        return entryText(entry, index.column());
    if (role == Qt::TextAlignmentRole && (index.column() == Count || index.column() == Rate))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant();
}

QVariant LatestMessageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0
        && section < ColumnCount)
        return QString::fromUtf8(kHeaders[section]);
    return QVariant();
}

QString LatestMessageModel::entryText(const Entry &entry, int column) const
{
    switch (column) {
    case Time:
        return columnText(entry.last, ColumnTime);
    case Device:
        return entry.last.device;
    case Message:
        return entry.last.message;
    case Route:
        return columnText(entry.last, ColumnRoute);
    case Values:
        return entry.last.values;
    case Count:
        return QString::number(entry.count);
    case Rate:
        if (entry.count < 2)
            return QString();
        return entry.intervalMs > 0 ? QString::number(1000.0 / entry.intervalMs, 'f', 1)
                                    : QStringLiteral("-");
    default:
        return QString();
    }
}

void LatestMessageModel::append(const QVector<BusRecord> &batch)
{
    int firstChanged = -1;
    int lastChanged = -1;
    QVector<int> added;
    for (const BusRecord &record : batch) {
        if (record.kind == BusRecord::Noise || !record.parsed)
            continue;
        const quint64 key = keyOf(record);
        auto found = entryOfKey.constFind(key);
        if (found == entryOfKey.constEnd()) {
            Entry entry;
            entry.last = record;
            entry.count = 1;
            entryOfKey.insert(key, entries.size());
            entries.append(entry);
            if (needle.isEmpty() || record.search.contains(needle))
                added.append(entries.size() - 1);
            continue;
        }
        Entry &entry = entries[found.value()];
        // Smoothed over about the last ten frames, so the rate follows changes.
        const double interval = double(qMax<qint64>(0, record.timeMs - entry.last.timeMs));
        entry.intervalMs = entry.count < 2 ? interval : 0.9 * entry.intervalMs + 0.1 * interval;
        ++entry.count;
        entry.last = record;
        const int row = rowOfEntry.value(found.value(), -1);
        if (row >= 0) {
            firstChanged = firstChanged < 0 ? row : qMin(firstChanged, row);
            lastChanged = qMax(lastChanged, row);
        }
    }
    if (firstChanged >= 0)
        emit dataChanged(index(firstChanged, 0), index(lastChanged, ColumnCount - 1));
    if (!added.isEmpty()) {
        beginInsertRows(QModelIndex(), rows.size(), rows.size() + added.size() - 1);
        for (int entry : qAsConst(added)) {
            rowOfEntry.insert(entry, rows.size());
            rows.append(entry);
        }
        endInsertRows();
    }
}

void LatestMessageModel::clear()
{
    beginResetModel();
    entries.clear();
    entryOfKey.clear();
    rows.clear();
    rowOfEntry.clear();
    endResetModel();
}

void LatestMessageModel::setFilterText(const QString &text)
{
    beginResetModel();
    needle = searchNeedle(text);
    rows.clear();
    rowOfEntry.clear();
    for (int i = 0; i < entries.size(); ++i) {
        if (needle.isEmpty() || entries.at(i).last.search.contains(needle)) {
            rowOfEntry.insert(i, rows.size());
            rows.append(i);
        }
    }
    endResetModel();
}

const BusRecord *LatestMessageModel::recordAt(int row) const
{
    if (row < 0 || row >= rows.size())
        return nullptr;
    return &entries.at(rows.at(row)).last;
}
