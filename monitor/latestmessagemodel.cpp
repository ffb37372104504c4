#include "monitor/latestmessagemodel.h"

#include <QBrush>
#include <QColor>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

const char *const kHeaders[LatestMessageModel::ColumnCount] = {
    "Time", "Device", "Message", "Source \u2192 Destination", "Values", "Count", "Rate /s", "\u0394 ms"};

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
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return entryText(entry, column);
    case Qt::ToolTipRole:
        return column == Values ? columnToolTip(entry.last, ColumnValues) : entryText(entry, column);
    case SortRole:
        return sortKey(entry, column);
    case Qt::ForegroundRole:
        return foreground(entry, column);
    case Qt::TextAlignmentRole:
        if (column == Count || column == Rate || column == Delta)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant LatestMessageModel::sortKey(const Entry &entry, int column) const
{
    switch (column) {
    case Time:
        return entry.last.timeUs;
    case Count:
        return entry.count;
    case Rate:
        // As shown: none below two frames, "-" (no time between) above all.
        if (entry.count < 2)
            return -1.0;
        return entry.intervalUs > 0 ? 1e6 / entry.intervalUs : std::numeric_limits<double>::max();
    case Delta:
        return entry.deltaUs;
    default:
        return entryText(entry, column);
    }
}

QVariant LatestMessageModel::foreground(const Entry &entry, int column) const
{
    if (column == Values && entry.last.statusShown)
        return QBrush(QColor(Qt::red));
    if (entry.last.kind == BusRecord::Sent)
        return QBrush(QColor(Qt::darkBlue));
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
        return entry.last.shownValues;
    case Count:
        return QString::number(entry.count);
    case Rate:
        if (entry.count < 2)
            return QString();
        return entry.intervalUs > 0 ? QString::number(1e6 / entry.intervalUs, 'f', 1)
                                    : QStringLiteral("-");
    case Delta:
        return deltaText(entry.deltaUs);
    default:
        return QString();
    }
}

void LatestMessageModel::append(const QVector<BusRecord> &batch)
{
    ++batchNumber;
    int firstChanged = -1;
    int lastChanged = -1;
    QVector<int> added;
    for (const BusRecord &record : batch) {
        // As Nodes counts: a frame whose checksum fails may carry anyone's
        // source and message, so it counts for no row (the list shows it).
        if ((record.kind != BusRecord::Received && record.kind != BusRecord::Sent) || !record.parsed
            || !record.checksumOk)
            continue;
        const quint64 key = keyOf(record);
        auto found = entryOfKey.constFind(key);
        if (found == entryOfKey.constEnd()) {
            Entry entry;
            entry.last = record;
            entry.count = 1;
            entry.lastSeen = batchNumber;
            entryOfKey.insert(key, entries.size());
            entries.append(entry);
            if (filter.matches(record))
                added.append(entries.size() - 1);
            continue;
        }
        Entry &entry = entries[found.value()];
        const int row = rowOfEntry.value(found.value(), -1);
        if (row >= 0) {
            firstChanged = firstChanged < 0 ? row : qMin(firstChanged, row);
            lastChanged = qMax(lastChanged, row);
        }
        entry.lastSeen = batchNumber;
        // A frame older than the one shown (a sent frame whose write was
        // told of after a later arrival) is counted; the row stays the latest.
        if (record.timeUs < entry.last.timeUs) {
            ++entry.count;
            continue;
        }
        // Smoothed over about the last ten frames, so the rate follows changes.
        const qint64 sinceLast = qMax(qint64(0), record.timeUs - entry.last.timeUs);
        const double interval = double(sinceLast);
        entry.deltaUs = sinceLast;
        entry.intervalUs = entry.count < 2 ? interval : 0.9 * entry.intervalUs + 0.1 * interval;
        ++entry.count;
        entry.last = record;
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
    if (entries.size() > maxEntries)
        dropOldest();
}

// A tenth below the limit at once, so that a stream of new sources costs one
// reset now and then rather than one per batch.
void LatestMessageModel::dropOldest()
{
    const int keep = maxEntries - maxEntries / 10;
    std::vector<quint64> seen;
    seen.reserve(size_t(entries.size()));
    for (const Entry &entry : qAsConst(entries))
        seen.push_back(entry.lastSeen);
    const size_t cut = size_t(entries.size() - keep);
    std::nth_element(seen.begin(), seen.begin() + std::ptrdiff_t(cut), seen.end());
    const quint64 threshold = seen[cut];
    // Everything seen before the threshold's batch goes, then as many of
    // that batch's rows as are still over, oldest rows first.
    int sameBatchToDrop = int(cut) - int(std::count_if(entries.cbegin(), entries.cend(), [&](const Entry &entry) {
                                           return entry.lastSeen < threshold;
                                       }));
    beginResetModel();
    QVector<Entry> kept;
    kept.reserve(keep);
    for (const Entry &entry : qAsConst(entries)) {
        bool goes = entry.lastSeen < threshold;
        if (!goes && entry.lastSeen == threshold && sameBatchToDrop > 0) {
            --sameBatchToDrop;
            goes = true;
        }
        if (goes)
            ++dropped;
        else
            kept.append(entry);
    }
    entries.swap(kept);
    rebuildRows();
    endResetModel();
}

void LatestMessageModel::rebuildRows()
{
    entryOfKey.clear();
    rows.clear();
    rowOfEntry.clear();
    for (int i = 0; i < entries.size(); ++i) {
        entryOfKey.insert(keyOf(entries.at(i).last), i);
        if (filter.matches(entries.at(i).last)) {
            rowOfEntry.insert(i, rows.size());
            rows.append(i);
        }
    }
}

void LatestMessageModel::clear()
{
    beginResetModel();
    // Swapped with empty ones, so that the memory goes back too.
    QVector<Entry>().swap(entries);
    QHash<quint64, int>().swap(entryOfKey);
    QVector<int>().swap(rows);
    QHash<int, int>().swap(rowOfEntry);
    dropped = 0;
    endResetModel();
}

void LatestMessageModel::setCapacity(int capacity)
{
    clear();
    maxEntries = qMax(1, capacity);
}

void LatestMessageModel::setFilterText(const QString &text)
{
    beginResetModel();
    filter = BusFilter(text);
    rebuildRows();
    endResetModel();
}

const BusRecord *LatestMessageModel::recordAt(int row) const
{
    if (row < 0 || row >= rows.size())
        return nullptr;
    return &entries.at(rows.at(row)).last;
}
