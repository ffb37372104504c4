#ifndef KWN_MONITOR_NODETABLEMODEL_H
#define KWN_MONITOR_NODETABLEMODEL_H

// The Nodes view of the Bus page: one row per source node ID heard, over the
// node table of a TraceStore. A batch that brings new nodes appends their
// rows at once (one insertion); everything else a row shows
// (counts, rates, share, greying) changes with the clock too, so it is
// announced by refresh(), one dataChanged a tick, never per frame.
// Rows stay in order of first appearance; a sorting proxy sorts them by
// SortRole, which gives numbers for the numeric columns.
// Under a filter, as the list: only the nodes of frames it selects, their
// counts those of those frames, from the records the store holds and those
// that come after (a node table of its own); without one, the store's.

#include "codec/busrecord.h"
#include "filter/recordfilter.h"
#include "insight/nodetable.h"

#include <QAbstractTableModel>

#include <deque>
#include <memory>

class QTimer;
class TraceStore;

class NodeTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Node, NodeType, Device, FirstSeen, LastSeen, Frames, Rate, Share, LastMessage, ColumnCount };
    // The node ID, node type, times in µs, frames, frames a second and
    // share as numbers; the device and message as text.
    static constexpr int SortRole = Qt::UserRole;

    explicit NodeTableModel(TraceStore *store, QObject *parent = nullptr);
    // Shows another store's nodes, with this one's silence threshold (a reset).
    void setStore(TraceStore *store);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The moment rates and silence are reckoned at (µs since the epoch);
    // every row is announced changed.
    void refresh(qint64 nowUs);
    qint64 nowUs() const { return m_nowUs; }

    // A node not heard for longer than this shows grey (the store's
    // threshold); every row is announced changed.
    void setSilenceThresholdUs(qint64 us);
    qint64 silenceThresholdUs() const { return table().silenceThresholdUs(); }

    // The nodes of the frames the filter selects (none or an empty one: all).
    // `chosen`, when given, are the sequence numbers of the records held that
    // it selects, ascending, as the list has them and keeps them as records
    // come and go: counted without judging every record again, in slices
    // of a few ms from the event loop past the first 4096, the rows of the
    // last filter shown meanwhile. A newer filter replaces a count going on.
    void setRowFilter(std::shared_ptr<const RecordFilter> filter, const std::deque<quint64> *chosen = nullptr);
    bool isCountPending() const { return m_pending != nullptr; }
    // How long a slice of counting may take (default 5 ms).
    void setCountSliceNs(qint64 ns) { m_sliceNs = ns; }

    // The store's node table, or under a filter the model's own.
    const NodeTable &table() const;
    // The node ID of a row; -1 for a row that does not exist.
    qint64 nodeAt(int row) const;

private:
    QString cellText(int row, int column) const;
    QVariant sortKey(int row, int column) const;
    QString lastMessageText(const NodeRow &row) const;
    void announceAll();
    void onNodesAdded(int first, int count);
    void onAppended(quint64 firstSeq, int count);
    void onCleared();
    void follow(TraceStore *store);
    // The filtered table made anew from the records held; none without a filter.
    void countHeld();
    std::unique_ptr<NodeTable> newFilteredTable() const;
    // A count going on: its filter is taken at once when the store changes.
    void adoptPending();
    void countSlice(int atLeast);

    // The nodes of a filter's records, counted from the list's choice.
    struct PendingCount
    {
        std::shared_ptr<const RecordFilter> filter;
        std::unique_ptr<NodeTable> table;
        const std::deque<quint64> *chosen = nullptr;
        quint64 nextSeq = 0; // the first record not counted yet
    };

    TraceStore *m_store;
    std::shared_ptr<const RecordFilter> m_filter;
    std::unique_ptr<NodeTable> m_filtered;
    std::unique_ptr<PendingCount> m_pending;
    QTimer *m_sliceTimer = nullptr; // the next slice, from the event loop
    qint64 m_sliceNs = 5000000;
    int m_rows = 0; // rows announced
    qint64 m_nowUs = 0;
};

#endif
