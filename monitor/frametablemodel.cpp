#include "monitor/frametablemodel.h"

#include "bustools/replytool.h"
#include "trace/tracestore.h"

#include <QBrush>
#include <QColor>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

const char *const kHeaders[FrameTableModel::ColumnCount] = {
    "Time", "\u0394 ms", "Dir", "Device", "Message", "Source \u2192 Destination",
    "Values", "Bytes", "Checksum", "Reply ms"};

// Under a filter, how far up a frame's Δ looks past shown noise and events
// for the frame above it.
const int kDeltaLookBackRows = 256;

// The clock of a slice of filtering is read every so many records.
const quint64 kSliceCheck = 256;
// Records the first slice goes through whatever the clock says.
const quint64 kFirstSliceRecords = 4096;

bool isFrame(const BusRecord &record)
{
    return record.kind == BusRecord::Received || record.kind == BusRecord::Sent;
}

} // namespace

FrameTableModel::FrameTableModel(TraceStore *store, QObject *parent)
    : QAbstractTableModel(parent), m_store(store), rowFilter(std::make_shared<RecordFilter>())
{
    sliceTimer = new QTimer(this);
    sliceTimer->setSingleShot(true);
    sliceTimer->setInterval(0);
    connect(sliceTimer, &QTimer::timeout, this, [this] { filterSlice(0); });
    follow(store);
    showHeld();
}

void FrameTableModel::follow(TraceStore *store)
{
    connect(store, &TraceStore::appended, this,
            [this](quint64 firstSeq, int count, int) { onAppended(firstSeq, count); });
    connect(store, &TraceStore::cleared, this, &FrameTableModel::onCleared);
}

void FrameTableModel::setStore(TraceStore *store)
{
    if (store == m_store)
        return;
    // A filter still going through the old store's records takes the new
    // one's whole.
    std::shared_ptr<const RecordFilter> applied;
    if (pending) {
        applied = pending->filter;
        rowFilter = applied;
        pending.reset();
        sliceTimer->stop();
    }
    beginResetModel();
    disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    follow(store);
    showHeld();
    endResetModel();
    emit countsChanged();
    if (applied)
        emit rowFilterApplied(applied);
}

void FrameTableModel::showHeld()
{
    rows.clear();
    for (quint64 seq = m_store->firstSeq(); seq < m_store->endSeq(); ++seq) {
        if (passes(*m_store->record(seq)))
            rows.push_back(seq);
    }
}

int FrameTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int FrameTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void FrameTableModel::setReplies(ReplyTool *replies)
{
    m_replies = replies;
    // The column is redrawn as a whole: the view asks only for the rows it shows.
    connect(replies, &ReplyTool::rowsChanged, this, [this] {
        if (!rows.empty())
            emit dataChanged(index(0, ColumnReply), index(int(rows.size()) - 1, ColumnReply),
                             {Qt::DisplayRole, Qt::ForegroundRole});
    });
}

QVariant FrameTableModel::replyData(int row, int role) const
{
    if (!m_replies)
        return QVariant();
    const ReplyTool::RowReply reply = m_replies->rowReply(rows[size_t(row)]);
    using Kind = ReplyTool::RowKind;
    switch (role) {
    case Qt::DisplayRole:
        if (reply.kind == Kind::NoReply)
            return QStringLiteral("no reply");
        if (reply.kind == Kind::Unsolicited)
            return QStringLiteral("unsolicited");
        return reply.kind == Kind::Answered || reply.kind == Kind::Reply ? deltaText(reply.delayUs) : QString();
    case Qt::ToolTipRole:
        switch (reply.kind) {
        case Kind::Answered:
            return QStringLiteral("First reply after %1 ms").arg(deltaText(reply.delayUs));
        case Kind::NoReply:
            return QStringLiteral("No reply within %1 ms").arg(m_replies->timeoutMs());
        case Kind::Waiting:
            return QStringLiteral("Waiting for a reply");
        case Kind::Reply:
            return QStringLiteral("A reply %1 ms after its request").arg(deltaText(reply.delayUs));
        case Kind::Unsolicited:
            return QStringLiteral("A reply to no request");
        case Kind::None:
            break;
        }
        return QVariant();
    case Qt::ForegroundRole:
        if (reply.kind == Kind::NoReply)
            return QBrush(QColor(Qt::red));
        if (reply.kind == Kind::Reply || reply.kind == Kind::Unsolicited)
            return QBrush(QColor(Qt::gray));
        return QVariant();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant FrameTableModel::data(const QModelIndex &index, int role) const
{
    const BusRecord *record = index.isValid() ? recordAt(index.row()) : nullptr;
    if (!record)
        return QVariant();
    const int column = index.column();
    if (column == ColumnReply)
        return replyData(index.row(), role);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (column == ColumnDelta)
            return deltaText(shownDeltaUs(index.row()));
        if (column == ColumnTime && role == Qt::DisplayRole)
            return timeText(index.row());
        if (role == Qt::ToolTipRole && column == ColumnValues)
            return m_store->singleLine(*record);
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
    if (orientation == Qt::Horizontal && section >= 0 && section < ColumnCount)
        return QString::fromUtf8(kHeaders[section]);
    return QVariant();
}

// Rows of records the ring dropped go off the top; the new ones that pass
// the filter go below.
void FrameTableModel::onAppended(quint64 firstSeq, int count)
{
    const size_t gone = size_t(std::lower_bound(rows.begin(), rows.end(), m_store->firstSeq()) - rows.begin());
    if (gone > 0) {
        beginRemoveRows(QModelIndex(), 0, int(gone) - 1);
        rows.erase(rows.begin(), rows.begin() + std::ptrdiff_t(gone));
        endRemoveRows();
    }
    std::vector<quint64> shown;
    for (quint64 seq = firstSeq; seq < firstSeq + quint64(count); ++seq) {
        if (passes(*m_store->record(seq)))
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

void FrameTableModel::onCleared()
{
    if (!rows.empty()) {
        beginRemoveRows(QModelIndex(), 0, int(rows.size()) - 1);
        rows.clear();
        endRemoveRows();
    }
    emit countsChanged();
}

void FrameTableModel::setRowFilter(std::shared_ptr<const RecordFilter> filter)
{
    pending = std::make_unique<PendingFilter>();
    pending->filter = std::move(filter);
    pending->nextSeq = m_store->firstSeq();
    sliceTimer->stop();
    // A short list, the common case, is done with at once, whatever the
    // clock says on a busy machine.
    filterSlice(kFirstSliceRecords);
}

// Records that came meanwhile are shown by the old filter and go through
// the new one too; those the ring dropped are passed over.
void FrameTableModel::filterSlice(quint64 atLeast)
{
    QElapsedTimer clock;
    clock.start();
    PendingFilter &p = *pending;
    p.nextSeq = qMax(p.nextSeq, m_store->firstSeq());
    const quint64 first = p.nextSeq;
    while (p.nextSeq < m_store->endSeq()) {
        const quint64 end = qMin(m_store->endSeq(), p.nextSeq + kSliceCheck);
        for (; p.nextSeq < end; ++p.nextSeq) {
            if (p.filter->matches(*m_store->record(p.nextSeq)))
                p.rows.push_back(p.nextSeq);
        }
        if (p.nextSeq < m_store->endSeq() && p.nextSeq - first >= atLeast && clock.nsecsElapsed() >= sliceNs) {
            sliceTimer->start();
            return;
        }
    }
    applyPending();
}

void FrameTableModel::applyPending()
{
    const std::unique_ptr<PendingFilter> done = std::move(pending);
    const auto gone = std::lower_bound(done->rows.begin(), done->rows.end(), m_store->firstSeq());
    done->rows.erase(done->rows.begin(), gone);
    // The set of rows changes as a whole: this is the one place for a reset.
    beginResetModel();
    rowFilter = done->filter;
    rows.swap(done->rows);
    endResetModel();
    emit countsChanged();
    emit rowFilterApplied(rowFilter);
}

void FrameTableModel::setFilterText(const QString &text)
{
    if (text != filterText() || rowFilter->kind() != RecordFilter::Words)
        setRowFilter(std::make_shared<RecordFilter>(text));
}

QString FrameTableModel::filterText() const
{
    return rowFilter->text();
}

int FrameTableModel::heldCount() const
{
    return m_store->heldCount();
}

quint64 FrameTableModel::droppedCount() const
{
    return m_store->droppedCount();
}

const BusRecord &FrameTableModel::heldRecord(int i) const
{
    return m_store->heldRecord(i);
}

const BusRecord *FrameTableModel::recordAt(int row) const
{
    if (row < 0 || size_t(row) >= rows.size())
        return nullptr;
    return m_store->record(rows[size_t(row)]);
}

bool FrameTableModel::passes(const BusRecord &record) const
{
    return rowFilter->matches(record);
}

// Without a filter every frame is shown, and the session's Δ to the previous
// frame holds. Under one, the Δ is to the nearest frame shown above, read
// from the rows themselves: nothing to keep per row when the filter changes.
qint64 FrameTableModel::shownDeltaUs(int row) const
{
    const BusRecord *record = recordAt(row);
    if (!record || !isFrame(*record))
        return -1;
    if (rowFilter->isEmpty())
        return record->deltaUs;
    const int last = qMax(0, row - kDeltaLookBackRows);
    for (int above = row - 1; above >= last; --above) {
        const BusRecord *previous = recordAt(above);
        if (previous && isFrame(*previous))
            return qMax(qint64(0), record->timeUs - previous->timeUs);
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
        return m_store->hasFirstFrame() ? secondsText(record->timeUs - m_store->firstFrameUs()) : QString();
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
