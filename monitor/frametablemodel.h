#ifndef KWN_MONITOR_FRAMETABLEMODEL_H
#define KWN_MONITOR_FRAMETABLEMODEL_H

// The frame list of the Bus page, over a TraceStore: the rows shown are the
// sequence numbers of the store's records that pass the quick filter, and
// nothing else is kept here; a record the ring drops only takes rows off
// the top. Each batch is one row insertion and at most one removal, never a
// reset, so that the view keeps its selection and scroll position.
// Rows: received frames as they are, sent ones in dark blue, noise in red,
// events (the port opened, closed, lost) in grey; a bad checksum and a
// decoding that did not succeed in red in their cells. Every cell's tool tip
// holds its whole text, the Values cell the whole single line.
// The Time column shows the clock time, the seconds since the first frame,
// or the time since the row shown above (see TimeMode); its tool tip always
// holds the clock time. The Δ column is in ms to the µs.
// The last column, Reply, is what the reply tool made of a row: a request's
// delay (its first reply's), "no reply" in red once its timeout passed, a
// reply's delay after its request in grey; nothing for other rows.

#include "codec/busrecord.h"
#include "filter/recordfilter.h"

#include <QAbstractTableModel>

#include <deque>
#include <memory>

class QTimer;
class ReplyTool;
class TraceStore;

class FrameTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The store's ring, unless set otherwise.
    static constexpr int kDefaultCapacity = 100000;
    // After the columns every list of records has (BusColumn).
    static constexpr int ColumnReply = BusColumnCount;
    static constexpr int ColumnCount = BusColumnCount + 1;

    enum TimeMode {
        ClockTime,  // "hh:mm:ss.uuuuuu", local
        SinceFirst, // seconds since the first frame since the list was emptied, "12.345678"
        DeltaAbove, // ms since the row shown above, "12.500"; none for the top row
        TimeModeCount
    };

    // Shows the store's records from those it holds now on.
    explicit FrameTableModel(TraceStore *store, QObject *parent = nullptr);
    TraceStore *store() const { return m_store; }
    // Shows another store's records, the filter and time mode kept (a reset).
    void setStore(TraceStore *store);
    // The Reply column's source, which follows the store shown; none: empty.
    void setReplies(ReplyTool *replies);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Keeps the rows that the filter selects: words (BusFilter: every word
    // somewhere in the row, none of the "-words", case ignored) or an
    // expression (filter/recordfilter.h); later records are filtered as they
    // arrive. Under a filter a frame's Δ is to the frame shown above it.
    // The held records go through the filter in slices of a few ms each,
    // the first one now (a short list whole), the rest from the event loop,
    // so that a window is
    // never blocked by a long list; the rows of the last filter stay shown
    // until the new one has been through them all, and then change at once
    // (rowFilterApplied). A newer filter replaces one still going through.
    void setRowFilter(std::shared_ptr<const RecordFilter> filter);
    // The filter of these words.
    void setFilterText(const QString &text);
    QString filterText() const;
    bool isFiltering() const { return !rowFilter->isEmpty(); }
    // A filter set is still going through the records.
    bool isFilterPending() const { return pending != nullptr; }
    // How long a slice of filtering may take (default 5 ms; it ends at the
    // first look at the clock past it).
    void setFilterSliceNs(qint64 ns) { sliceNs = ns; }

    // Rows shown; the store's records held whatever the filter, and those
    // dropped from its ring.
    int shownCount() const { return int(rows.size()); }
    int heldCount() const;
    quint64 droppedCount() const;
    // The store's held record number i, oldest first (0 <= i < heldCount()).
    const BusRecord &heldRecord(int i) const;
    // The sequence numbers of the records shown, ascending.
    const std::deque<quint64> &shownSequence() const { return rows; }
    // The record shown in a row; nullptr for a row that does not exist.
    const BusRecord *recordAt(int row) const;
    // The Δ a row shows, in µs; -1 for none.
    qint64 shownDeltaUs(int row) const;

    // How the Time column shows times; the rows are redrawn.
    void setTimeMode(TimeMode mode);
    TimeMode timeMode() const { return mode; }
    // The Time column's text of a row in the current mode.
    QString timeText(int row) const;

signals:
    // Rows shown or records held changed: after each append, clear, filter
    // and capacity change.
    void countsChanged();
    // The rows shown are those of this filter now (after the reset).
    void rowFilterApplied(const std::shared_ptr<const RecordFilter> &filter);

private:
    // A filter going through the held records, from `nextSeq` on.
    struct PendingFilter
    {
        std::shared_ptr<const RecordFilter> filter;
        quint64 nextSeq = 0;
        std::deque<quint64> rows;
    };
    // One slice of the pending filter's work, of `atLeast` records or more;
    // at the end the rows change.
    void filterSlice(quint64 atLeast);
    void applyPending();
    void follow(TraceStore *store);
    void showHeld();
    void onAppended(quint64 firstSeq, int count);
    void onCleared();
    bool passes(const BusRecord &record) const;
    QVariant foreground(const BusRecord &record, int column) const;
    QVariant replyData(int row, int role) const;

    TraceStore *m_store;
    ReplyTool *m_replies = nullptr;
    std::deque<quint64> rows; // sequence numbers shown, ascending
    std::shared_ptr<const RecordFilter> rowFilter;
    std::unique_ptr<PendingFilter> pending;
    QTimer *sliceTimer = nullptr; // the next slice, from the event loop
    qint64 sliceNs = 5000000;
    TimeMode mode = ClockTime;
};

#endif
