#ifndef KWN_TRACE_LATESTINDEX_H
#define KWN_TRACE_LATESTINDEX_H

// The latest frame per message: one entry per (source address, message
// identifier) with its last frame, how many were seen, at what rate and the
// time between the last two. Only frames whose header was read and whose
// checksum holds count: a bad frame may carry anyone's source and message,
// as for the node table. Entries stay in order of first appearance. At most
// `capacity` are kept: past it, the entries seen longest ago go, a tenth
// below the limit at once (counted), so that a bus of ever new sources cannot
// take all memory and a view rebuilds its rows now and then, not per batch.

#include "codec/busrecord.h"

#include <QHash>
#include <QVector>

class LatestIndex
{
public:
    static constexpr int kDefaultCapacity = 100000;

    struct Entry
    {
        BusRecord last;
        quint64 count = 0;
        double intervalUs = 0; // smoothed time between two frames
        qint64 deltaUs = -1;   // between the last two frames
        quint64 lastSeen = 0;  // batch number of the last frame
    };

    // What one batch did: the entries it updated (each once, ascending
    // order not promised) and where its new entries start; or, when the
    // limit was passed, that the entries were numbered anew.
    struct Change
    {
        QVector<int> updated;
        int firstNew = 0;
        bool renumbered = false;
    };

    Change add(const QVector<BusRecord> &batch);
    // Empties it, the dropped count too; the memory goes back.
    void clear();
    // Empties it and sets how many entries it keeps at most (at least 1).
    void setCapacity(int capacity);
    int capacity() const { return m_capacity; }

    int size() const { return m_entries.size(); }
    const Entry &entry(int index) const { return m_entries.at(index); }
    // Entries dropped because there were more than `capacity`, since the
    // last clear.
    quint64 droppedCount() const { return m_dropped; }

private:
    void dropOldest();

    QVector<Entry> m_entries; // in order of first appearance
    QHash<quint64, int> m_entryOfKey;
    int m_capacity = kDefaultCapacity;
    quint64 m_dropped = 0;
    quint64 m_batchNumber = 0;
};

#endif
