#include "monitor/frametablemodel.h"

#include <QBrush>
#include <QColor>

namespace {

const char *const kHeaders[BusColumnCount] = {
    "Time", "\u0394 ms", "Dir", "Device", "Message", "Source \u2192 Destination",
    "Values", "Bytes", "Checksum"};

// Under a filter, how far up a frame's Δ looks past shown noise and events
// for the frame above it.
const int kDeltaLookBackRows = 256;

bool isFrame(const BusRecord &record)
{
    return record.kind == BusRecord::Received || record.kind == BusRecord::Sent;
}

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
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (column == ColumnDelta)
            return deltaText(shownDeltaUs(index.row()));
        if (column == ColumnTime && role == Qt::DisplayRole)
            return timeText(index.row());
        return role == Qt::DisplayRole ? columnText(*record, column) : columnToolTip(*record, column);
    case Qt::ForegroundRole:
        return foreground(*record, column);
    case Qt::TextAlignmentRole:
        if (column == ColumnDelta || (column == ColumnTime && mode != ClockTime))
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant FrameTableModel::foreground(const BusRecord &record, int column) const
{
    switch (record.kind) {
    case BusRecord::Noise:
        return QBrush(QColor(Qt::red));
    case BusRecord::Event:
        return QBrush(QColor(Qt::gray));
    case BusRecord::Received:
    case BusRecord::Sent:
        break;
    }
    if ((column == ColumnChecksum && record.parsed && !record.checksumOk)
        || (column == ColumnValues && record.statusShown))
        return QBrush(QColor(Qt::red));
    if (record.kind == BusRecord::Sent)
        return QBrush(QColor(Qt::darkBlue));
    return QVariant();
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

    // Room for the whole ring at once: growing by doubling would leave it
    // with a third more than it ever fills.
    if (ring.capacity() < cap)
        ring.reserve(cap);
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
        if (!haveFirstFrame && isFrame(record)) {
            firstFrameUs = record.timeUs;
            haveFirstFrame = true;
        }
        if (show)
            shown.push_back(seq);
    }
    if (!shown.empty()) {
        const int first = int(rows.size());
        beginInsertRows(QModelIndex(), first, first + int(shown.size()) - 1);
        rows.insert(rows.end(), shown.begin(), shown.end());
        endInsertRows();
    }
    emit countsChanged();
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
    haveFirstFrame = false;
    emit countsChanged();
}

void FrameTableModel::setFilterText(const QString &text)
{
    if (text == filter)
        return;
    // The set of rows changes as a whole: this is the one place for a reset.
    beginResetModel();
    filter = text;
    rowFilter = BusFilter(text);
    rows.clear();
    for (size_t i = 0; i < held; ++i) {
        const quint64 seq = firstSeq + i;
        if (passes(recordOfSeq(seq)))
            rows.push_back(seq);
    }
    endResetModel();
    emit countsChanged();
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
    return rowFilter.matches(record);
}

// Without a filter every frame is shown, and the session's Δ to the previous
// frame holds. Under one, the Δ is to the nearest frame shown above, read
// from the rows themselves: nothing to keep per row when the filter changes.
qint64 FrameTableModel::shownDeltaUs(int row) const
{
    const BusRecord *record = recordAt(row);
    if (!record || !isFrame(*record))
        return -1;
    if (rowFilter.isEmpty())
        return record->deltaUs;
    const int last = qMax(0, row - kDeltaLookBackRows);
    for (int above = row - 1; above >= last; --above) {
        const BusRecord &previous = recordOfSeq(rows[size_t(above)]);
        if (isFrame(previous))
            return qMax(qint64(0), record->timeUs - previous.timeUs);
    }
    return -1;
}

void FrameTableModel::setTimeMode(TimeMode timeMode)
{
    if (timeMode == mode || timeMode < ClockTime || timeMode >= TimeModeCount)
        return;
    mode = timeMode;
    if (!rows.empty())
        emit dataChanged(index(0, ColumnTime), index(int(rows.size()) - 1, ColumnTime),
                         {Qt::DisplayRole, Qt::TextAlignmentRole});
}

// From the row and the one above it alone, so that a new filter needs
// nothing worked out again.
QString FrameTableModel::timeText(int row) const
{
    const BusRecord *record = recordAt(row);
    if (!record)
        return QString();
    switch (mode) {
    case SinceFirst:
        return haveFirstFrame ? secondsText(record->timeUs - firstFrameUs) : QString();
    case DeltaAbove: {
        const BusRecord *above = recordAt(row - 1);
        if (!above)
            return QString();
        const qint64 delta = record->timeUs - above->timeUs;
        return delta < 0 ? QLatin1Char('-') + deltaText(-delta) : deltaText(delta);
    }
    default:
        return timeOfDayText(record->timeUs);
    }
}
