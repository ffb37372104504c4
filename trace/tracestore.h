#ifndef KWN_TRACE_TRACESTORE_H
#define KWN_TRACE_TRACESTORE_H

// The records of the bus as one store, whatever shows them: a ring of at
// most `capacity` records (the oldest dropped and counted when it is full),
// the latest frame per message, the nodes heard and the bus load, all fed
// once per batch by append(). Every record gets a sequence number that
// never changes, so a view keeps the numbers of the rows it shows and
// nothing else; a dropped record takes only rows off the top.
// After each batch the store tells what changed, so that a view announces
// it in one insertion and at most one removal: appended() for the ring,
// latestChanged() or latestRenumbered() for the latest entries, nodesAdded()
// for the node table. cleared() follows clear() and a capacity change.
// The signals come after the change: a record dropped is no longer held
// when appended() tells of it, so record() gives nullptr for it.

#include "codec/busrecord.h"
#include "insight/busload.h"
#include "insight/nodetable.h"
#include "trace/latestindex.h"

#include <QObject>
#include <QVector>

#include <vector>

class TraceStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultCapacity = 100000;
    // The ring of an opened file: 2,000,000 records fit in 1 GB, the
    // records of one frame sharing their texts as the log reader makes them
    // (bench/guibusopenedmemorybench.cpp).
    static constexpr int kOpenedFileCapacity = 2000000;

    explicit TraceStore(QObject *parent = nullptr);

    // Appends the records, in order, as the session prepared them.
    void append(const QVector<BusRecord> &batch);
    // Empties the ring, the latest entries, the node table and the load
    // meter; sequence numbers go on from where they were.
    void clear();

    // --- The ring -----------------------------------------------------------
    // Empties the store and sets how many records the ring holds at most,
    // and how many latest entries are kept (at least 1).
    void setCapacity(int capacity);
    int capacity() const { return m_capacity; }
    int heldCount() const { return int(m_held); }
    // The held record number i, oldest first (0 <= i < heldCount()).
    const BusRecord &heldRecord(int i) const;
    // The record of a sequence number; nullptr for one not held.
    const BusRecord *record(quint64 seq) const;
    // The sequence number of the oldest record held, and the next one to come.
    quint64 firstSeq() const { return m_firstSeq; }
    quint64 endSeq() const { return m_firstSeq + m_held; }
    // Records dropped from the ring (or never in it: a batch larger than the
    // ring keeps its newest) since the last clear.
    quint64 droppedCount() const { return m_dropped; }
    // The time of the first frame since the last clear, kept when the frame
    // is dropped, so that times since it do not move; false: none yet.
    bool hasFirstFrame() const { return m_haveFirstFrame; }
    qint64 firstFrameUs() const { return m_firstFrameUs; }

    // --- What is made of the records --------------------------------------
    const LatestIndex &latest() const { return m_latest; }
    // With rates kept: a view shows every node's live rate.
    const NodeTable &nodes() const { return m_nodes; }
    // A node not heard for longer than this is silent.
    void setSilenceThresholdUs(qint64 us) { m_nodes.setSilenceThresholdUs(us); }
    const BusLoadMeter &load() const { return m_load; }
    void setWireFormat(const WireFormat &format) { m_load.setWireFormat(format); }

signals:
    // The records numbered firstSeq..firstSeq+count-1 came; `dropped` older
    // ones left the ring with them (those below firstSeq()).
    void appended(quint64 firstSeq, int count, int dropped);
    // The store is empty; the capacity may have changed.
    void cleared();
    // The latest entries updated by a batch, each once, and the first one it
    // made (entries from there to the end are new).
    void latestChanged(const QVector<int> &updated, int firstNew);
    // The limit of latest entries was passed: the oldest went and the rest
    // are numbered anew.
    void latestRenumbered();
    // Rows first..first+count-1 of the node table are new.
    void nodesAdded(int first, int count);

private:
    int appendToRing(const QVector<BusRecord> &batch, int *dropped);

    std::vector<BusRecord> m_ring;
    int m_capacity = kDefaultCapacity;
    size_t m_start = 0;    // ring index of the oldest record
    size_t m_held = 0;
    quint64 m_firstSeq = 0;
    quint64 m_dropped = 0;
    qint64 m_firstFrameUs = 0;
    bool m_haveFirstFrame = false;
    LatestIndex m_latest;
    NodeTable m_nodes{NodeTable::Rates::Kept};
    BusLoadMeter m_load;
};

#endif
