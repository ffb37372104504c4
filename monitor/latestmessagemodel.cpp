#include "monitor/latestmessagemodel.h"

#include "trace/tracestore.h"

#include <QBrush>
#include <QColor>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

const char *const kHeaders[LatestMessageModel::ColumnCount] = {
    "Time", "Device", "Message", "Source \u2192 Destination", "Values", "Count", "Rate /s", "\u0394 ms"};

} // namespace

LatestMessageModel::LatestMessageModel(TraceStore *store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), filter(std::make_shared<RecordFilter>())
{
    m_sliceTimer = new QTimer(this);
    m_sliceTimer->setSingleShot(true);
    m_sliceTimer->setInterval(0);
    connect(m_sliceTimer, &QTimer::timeout, this, [this] { filterSlice(0); });
    rebuildRows();
    follow(store);
}

void LatestMessageModel::follow(TraceStore *store)
{
    connect(store, &TraceStore::latestChanged, this, &LatestMessageModel::onChanged);
    connect(store, &TraceStore::latestRenumbered, this, &LatestMessageModel::onRenumbered);
    connect(store, &TraceStore::cleared, this, &LatestMessageModel::onRenumbered);
}

void LatestMessageModel::setStore(TraceStore *store)
{
    if (store == m_store)
        return;
    beginResetModel();
    disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    follow(store);
    adoptPending();
    rebuildRows();
    endResetModel();
}

const LatestIndex &LatestMessageModel::latest() const
{
    return m_store->latest();
}

quint64 LatestMessageModel::droppedCount() const
{
    return latest().droppedCount();
}

int LatestMessageModel::entryCount() const
{
    return latest().size();
}

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
    if (!index.isValid() || index.row() >= rows.size() || rows.at(index.row()) >= latest().size())
        return QVariant();
    const Entry &entry = latest().entry(rows.at(index.row()));
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return entryText(entry, column);
    case Qt::ToolTipRole:
        return column == Values ? m_store->singleLine(entry.last) : entryText(entry, column);
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

// Rows stay in the order of their entries, so a row is found by halving.
void LatestMessageModel::onChanged(const QVector<int> &updated, int firstNew)
{
    if (m_pending) {
        for (int entry : updated) {
            if (entry < m_pending->next)
                m_pending->touched.append(entry);
        }
    }
    if (!filter->isEmpty())
        judgeUpdated(updated);
    announceUpdated(updated);
    QVector<int> added;
    for (int entry = firstNew; entry < latest().size(); ++entry) {
        if (filter->matches(latest().entry(entry).last))
            added.append(entry);
    }
    showEntries(added);
}

void LatestMessageModel::announceUpdated(const QVector<int> &updated)
{
    int firstChanged = -1;
    int lastChanged = -1;
    for (int entry : updated) {
        const auto found = std::lower_bound(rows.cbegin(), rows.cend(), entry);
        if (found == rows.cend() || *found != entry)
            continue;
        const int row = int(found - rows.cbegin());
        firstChanged = firstChanged < 0 ? row : qMin(firstChanged, row);
        lastChanged = qMax(lastChanged, row);
    }
    if (firstChanged >= 0)
        emit dataChanged(index(firstChanged, 0), index(lastChanged, ColumnCount - 1));
}

void LatestMessageModel::judgeUpdated(const QVector<int> &updated)
{
    QVector<int> leaving; // rows
    QVector<int> coming;  // entries
    for (int entry : updated) {
        const auto found = std::lower_bound(rows.cbegin(), rows.cend(), entry);
        const bool shown = found != rows.cend() && *found == entry;
        if (shown == filter->matches(latest().entry(entry).last))
            continue;
        if (shown)
            leaving.append(int(found - rows.cbegin()));
        else
            coming.append(entry);
    }
    // From the bottom up, so that the rows above keep their numbers.
    std::sort(leaving.begin(), leaving.end());
    for (int end = leaving.size(); end > 0;) {
        int start = end - 1;
        while (start > 0 && leaving.at(start - 1) == leaving.at(start) - 1)
            --start;
        beginRemoveRows(QModelIndex(), leaving.at(start), leaving.at(end - 1));
        rows.erase(rows.begin() + leaving.at(start), rows.begin() + leaving.at(end - 1) + 1);
        endRemoveRows();
        end = start;
    }
    std::sort(coming.begin(), coming.end());
    showEntries(coming);
}

void LatestMessageModel::showEntries(const QVector<int> &entries)
{
    for (int i = 0; i < entries.size();) {
        const int at = int(std::lower_bound(rows.cbegin(), rows.cend(), entries.at(i)) - rows.cbegin());
        // The entries that go in together: none of the rows falls between them.
        int end = i + 1;
        while (end < entries.size() && (at == rows.size() || entries.at(end) < rows.at(at)))
            ++end;
        beginInsertRows(QModelIndex(), at, at + end - i - 1);
        rows.insert(at, end - i, 0);
        std::copy(entries.cbegin() + i, entries.cbegin() + end, rows.begin() + at);
        endInsertRows();
        i = end;
    }
}

void LatestMessageModel::onRenumbered()
{
    if (m_pending) {
        m_pending->rows.clear();
        m_pending->next = 0;
        m_pending->touched.clear();
    }
    beginResetModel();
    rebuildRows();
    endResetModel();
}

void LatestMessageModel::rebuildRows()
{
    QVector<int> shown;
    for (int i = 0; i < latest().size(); ++i) {
        if (filter->matches(latest().entry(i).last))
            shown.append(i);
    }
    // Swapped, so that an emptied view gives its memory back too.
    rows.swap(shown);
}

void LatestMessageModel::setRowFilter(std::shared_ptr<const RecordFilter> rowFilter)
{
    m_pending = std::make_unique<PendingRows>();
    m_pending->filter = std::move(rowFilter);
    m_sliceTimer->stop();
    filterSlice(4096);
}

void LatestMessageModel::filterSlice(int atLeast)
{
    QElapsedTimer clock;
    clock.start();
    PendingRows &p = *m_pending;
    int judged = 0;
    for (; p.next < latest().size(); ++p.next) {
        if (p.filter->matches(latest().entry(p.next).last))
            p.rows.append(p.next);
        if (++judged % 64 == 0 && judged >= atLeast && clock.nsecsElapsed() >= m_sliceNs) {
            ++p.next;
            m_sliceTimer->start();
            return;
        }
    }
    applyPending();
}

// The entries a batch updated while the filter went through are judged by
// their last frames now.
void LatestMessageModel::applyPending()
{
    const std::unique_ptr<PendingRows> done = std::move(m_pending);
    std::sort(done->touched.begin(), done->touched.end());
    done->touched.erase(std::unique(done->touched.begin(), done->touched.end()), done->touched.end());
    for (int entry : done->touched) {
        const auto at = std::lower_bound(done->rows.begin(), done->rows.end(), entry);
        const bool shown = at != done->rows.end() && *at == entry;
        if (shown != done->filter->matches(latest().entry(entry).last)) {
            if (shown)
                done->rows.erase(at);
            else
                done->rows.insert(at, entry);
        }
    }
    beginResetModel();
    filter = done->filter;
    rows.swap(done->rows);
    endResetModel();
}

void LatestMessageModel::adoptPending()
{
    if (!m_pending)
        return;
    filter = m_pending->filter;
    m_pending.reset();
    m_sliceTimer->stop();
}

void LatestMessageModel::setFilterText(const QString &text)
{
    setRowFilter(std::make_shared<RecordFilter>(text));
}

const BusRecord *LatestMessageModel::recordAt(int row) const
{
    if (row < 0 || row >= rows.size() || rows.at(row) >= latest().size())
        return nullptr;
    return &latest().entry(rows.at(row)).last;
}
