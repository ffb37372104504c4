#include "monitor/frametablemodel.h"

#include <QBrush>
#include <QColor>

namespace {

const char *const kHeaders[BusColumnCount] = {
    "Time", "\u0394 ms", "Dir", "Device", "Message", "Source \u2192 Destination",
    "Values", "Bytes", "Checksum"};

} // namespace

FrameTableModel::FrameTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int FrameTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int FrameTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : BusColumnCount;
}

QVariant FrameTableModel::data(const QModelIndex &index, int role) const
{
    const BusRecord *record = index.isValid() ? recordAt(index.row()) : nullptr;
    if (!record)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return columnText(*record, index.column());
    case Qt::ForegroundRole:
        if (record->kind == BusRecord::Noise
            || (index.column() == ColumnChecksum && record->parsed && !record->checksumOk))
            return QBrush(QColor(Qt::red));
        return QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == ColumnDelta)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant FrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal && section >= 0 && section < BusColumnCount)
        return QString::fromUtf8(kHeaders[section]);
    return QVariant();
}

void FrameTableModel::setCapacity(int capacity)
{
    clear();
    ringCapacity = qMax(1, capacity);
    ring.clear();
    ring.shrink_to_fit();
}

void FrameTableModel::append(const QVector<BusRecord> &batch)
{
    if (batch.isEmpty())
        return;
    const size_t cap = size_t(ringCapacity);
    size_t skip = 0;
    // A batch larger than the ring keeps only its newest records.
    if (size_t(batch.size()) > cap) {
        skip = size_t(batch.size()) - cap;
        dropped += skip;
    }
    const size_t incoming = size_t(batch.size()) - skip;

    // Eviction: the oldest records go; the rows showing them are the top ones.
    if (held + incoming > cap) {
        const size_t k = held + incoming - cap;
        const quint64 newFirst = firstSeq + k;
        size_t m = 0;
        while (m < rows.size() && rows[m] < newFirst)
            ++m;
        if (m > 0) {
            beginRemoveRows(QModelIndex(), 0, int(m) - 1);
            rows.erase(rows.begin(), rows.begin() + std::ptrdiff_t(m));
            endRemoveRows();
        }
        start = (start + k) % cap;
        held -= k;
        firstSeq = newFirst;
        dropped += k;
    }

    std::vector<quint64> shown;
    for (size_t i = skip; i < size_t(batch.size()); ++i) {
        const BusRecord &record = batch.at(int(i));
        const quint64 seq = firstSeq + held;
        const size_t slot = (start + held) % cap;
        const bool show = passes(record);
        if (slot < ring.size())
            ring[slot] = record;
        else
            ring.push_back(record);
        ++held;
        if (show)
            shown.push_back(seq);
    }
    if (!shown.empty()) {
        const int first = int(rows.size());
        beginInsertRows(QModelIndex(), first, first + int(shown.size()) - 1);
        rows.insert(rows.end(), shown.begin(), shown.end());
        endInsertRows();
    }
}

void FrameTableModel::clear()
{
    if (!rows.empty()) {
        beginRemoveRows(QModelIndex(), 0, int(rows.size()) - 1);
        rows.clear();
        endRemoveRows();
    }
    firstSeq += held;
    start = 0;
    held = 0;
    ring.clear();
    dropped = 0;
}

void FrameTableModel::setFilterText(const QString &text)
{
    if (text == filter)
        return;
    // The set of rows changes as a whole: this is the one place for a reset.
    beginResetModel();
    filter = text;
    needle = searchNeedle(text);
    rows.clear();
    for (size_t i = 0; i < held; ++i) {
        const quint64 seq = firstSeq + i;
        if (passes(recordOfSeq(seq)))
            rows.push_back(seq);
    }
    endResetModel();
}

const BusRecord &FrameTableModel::heldRecord(int i) const
{
    return recordOfSeq(firstSeq + quint64(i));
}

const BusRecord *FrameTableModel::recordAt(int row) const
{
    if (row < 0 || size_t(row) >= rows.size())
        return nullptr;
    return &recordOfSeq(rows[size_t(row)]);
}

const BusRecord &FrameTableModel::recordOfSeq(quint64 seq) const
{
    return ring[(start + size_t(seq - firstSeq)) % size_t(ringCapacity)];
}

bool FrameTableModel::passes(const BusRecord &record) const
{
    return needle.isEmpty() || record.search.contains(needle);
}
