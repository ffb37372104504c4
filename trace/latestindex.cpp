#include "trace/latestindex.h"

#include <algorithm>
#include <vector>

namespace {

quint64 keyOf(const BusRecord &record)
{
    return (quint64(record.sourceAddress) << 8) | record.messageId;
}

} // namespace

LatestIndex::Change LatestIndex::add(const QVector<BusRecord> &batch)
{
    ++m_batchNumber;
    Change change;
    change.firstNew = m_entries.size();
    for (const BusRecord &record : batch) {
        // As Nodes counts: a frame whose checksum fails may carry anyone's
        // source and message, so it counts for no entry (the list shows it).
        if ((record.kind != BusRecord::Received && record.kind != BusRecord::Sent) || !record.parsed
            || !record.checksumOk)
            continue;
        const quint64 key = keyOf(record);
        auto found = m_entryOfKey.constFind(key);
        if (found == m_entryOfKey.constEnd()) {
            Entry entry;
            entry.last = record;
            entry.count = 1;
            entry.lastSeen = m_batchNumber;
            m_entryOfKey.insert(key, m_entries.size());
            m_entries.append(entry);
            continue;
        }
        Entry &entry = m_entries[found.value()];
        if (found.value() < change.firstNew && entry.lastSeen != m_batchNumber)
            change.updated.append(found.value());
        entry.lastSeen = m_batchNumber;
        // A frame older than the one kept (a sent frame whose write was
        // told of after a later arrival) is counted; the entry stays the latest.
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
    if (m_entries.size() > m_capacity) {
        dropOldest();
        change.renumbered = true;
    }
    return change;
}

void LatestIndex::dropOldest()
{
    const int keep = m_capacity - m_capacity / 10;
    std::vector<quint64> seen;
    seen.reserve(size_t(m_entries.size()));
    for (const Entry &entry : qAsConst(m_entries))
        seen.push_back(entry.lastSeen);
    const size_t cut = size_t(m_entries.size() - keep);
    std::nth_element(seen.begin(), seen.begin() + std::ptrdiff_t(cut), seen.end());
    const quint64 threshold = seen[cut];
    // Everything seen before the threshold's batch goes, then as many of
    // that batch's entries as are still over, oldest entries first.
    int sameBatchToDrop = int(cut) - int(std::count_if(m_entries.cbegin(), m_entries.cend(), [&](const Entry &entry) {
                                           return entry.lastSeen < threshold;
                                       }));
    QVector<Entry> kept;
    kept.reserve(keep);
    for (const Entry &entry : qAsConst(m_entries)) {
        bool goes = entry.lastSeen < threshold;
        if (!goes && entry.lastSeen == threshold && sameBatchToDrop > 0) {
            --sameBatchToDrop;
            goes = true;
        }
        if (goes)
            ++m_dropped;
        else
            kept.append(entry);
    }
    m_entries.swap(kept);
    m_entryOfKey.clear();
    for (int i = 0; i < m_entries.size(); ++i)
        m_entryOfKey.insert(keyOf(m_entries.at(i).last), i);
}

void LatestIndex::clear()
{
    // Swapped with empty ones, so that the memory goes back too.
    QVector<Entry>().swap(m_entries);
    QHash<quint64, int>().swap(m_entryOfKey);
    m_dropped = 0;
}

void LatestIndex::setCapacity(int capacity)
{
    clear();
    m_capacity = qMax(1, capacity);
}
