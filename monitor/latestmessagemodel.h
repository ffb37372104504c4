#ifndef KWN_MONITOR_LATESTMESSAGEMODEL_H
#define KWN_MONITOR_LATESTMESSAGEMODEL_H

// The "latest per message" view of the Bus page, over the latest entries of
// a TraceStore: one row per (source address, message identifier) with the
// last frame's texts, how many were seen, at what rate and the time between
// the last two. It keeps only which entries it shows. A batch updates rows
// in place (one dataChanged) and appends the new ones (one insertion); when
// the store drops the entries seen longest ago, the rows are made anew (a
// reset, now and then). Under a filter a row is shown while its entry's last
// frame passes it, judged again whenever a batch brings the entry a frame:
// a row comes and goes in place (an insertion or removal of its own), as its
// latest frame says.
// Rows stay in order of first appearance; a sorting proxy sorts them by
// SortRole, which gives numbers for the time, count, rate and Δ.

#include "codec/busrecord.h"
#include "filter/recordfilter.h"
#include "trace/latestindex.h"

#include <QAbstractTableModel>
#include <QVector>

#include <memory>

class QTimer;
class TraceStore;

class LatestMessageModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Device, Message, Route, Values, Count, Rate, Delta, ColumnCount };
    // What a column sorts by: the time in µs, the count, the rate per second
    // and the Δ in µs as numbers (none: -1), the text for the others.
    static constexpr int SortRole = Qt::UserRole;

    explicit LatestMessageModel(TraceStore *store, QObject *parent = nullptr);
    // Shows another store's entries, the filter kept (a reset).
    void setStore(TraceStore *store);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The rows whose entry's last frame the filter selects (words or an
    // expression): judged at once for the first 4096 entries, past them in
    // slices of a few ms from the event loop, the rows of the last filter
    // shown meanwhile. A newer filter replaces one going through.
    void setRowFilter(std::shared_ptr<const RecordFilter> filter);
    bool isFilterPending() const { return m_pending != nullptr; }
    // How long a slice of judging may take (default 5 ms).
    void setFilterSliceNs(qint64 ns) { m_sliceNs = ns; }
    void setFilterText(const QString &text);
    // Entries dropped by the store because there were too many, and those it
    // holds (whatever the filter).
    quint64 droppedCount() const;
    int entryCount() const;

    // The last record of a row; nullptr for a row that does not exist.
    const BusRecord *recordAt(int row) const;

private:
    using Entry = LatestIndex::Entry;

    QString entryText(const Entry &entry, int column) const;
    QVariant sortKey(const Entry &entry, int column) const;
    QVariant foreground(const Entry &entry, int column) const;
    void onChanged(const QVector<int> &updated, int firstNew);
    // Under a filter: the updated entries' rows shown or taken away as their
    // last frames pass it or not.
    void judgeUpdated(const QVector<int> &updated);
    void announceUpdated(const QVector<int> &updated);
    // The rows of the entries (ascending) shown, each run of them side by
    // side in one insertion.
    void showEntries(const QVector<int> &entries);
    void onRenumbered();
    void follow(TraceStore *store);
    void rebuildRows();
    void filterSlice(int atLeast);
    void applyPending();
    // A filter going through is taken whole at once (the store changed).
    void adoptPending();
    const LatestIndex &latest() const;

    // A filter going through the entries.
    struct PendingRows
    {
        std::shared_ptr<const RecordFilter> filter;
        QVector<int> rows;    // the entries below `next` it selects
        int next = 0;         // the first entry not judged yet
        QVector<int> touched; // entries below `next` a batch updated since: judged again
    };

    TraceStore *m_store;
    QVector<int> rows; // entries shown, ascending
    std::shared_ptr<const RecordFilter> filter;
    std::unique_ptr<PendingRows> m_pending;
    QTimer *m_sliceTimer = nullptr; // the next slice, from the event loop
    qint64 m_sliceNs = 5000000;
};

#endif
