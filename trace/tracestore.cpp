#include "trace/tracestore.h"

namespace {

bool isFrame(const BusRecord &record)
{
    return record.kind == BusRecord::Received || record.kind == BusRecord::Sent;
}

} // namespace

TraceStore::TraceStore(QObject *parent) : QObject(parent) {}

void TraceStore::append(const QVector<BusRecord> &batch)
{
    if (batch.isEmpty())
        return;
    const quint64 first = endSeq();
    int dropped = 0;
    const int count = appendToRing(batch, &dropped);
    emit appended(first, count, dropped);

    const LatestIndex::Change change = m_latest.add(batch);
    if (change.renumbered)
        emit latestRenumbered();
    else if (!change.updated.isEmpty() || change.firstNew < m_latest.size())
        emit latestChanged(change.updated, change.firstNew);

    const int nodesBefore = m_nodes.size();
    m_nodes.add(batch);
    if (m_nodes.size() > nodesBefore)
        emit nodesAdded(nodesBefore, m_nodes.size() - nodesBefore);
    m_load.add(batch);
}

// Returns how many of the batch are held; `dropped`: how many held before
// left the ring.
int TraceStore::appendToRing(const QVector<BusRecord> &batch, int *dropped)
{
    const size_t cap = size_t(m_capacity);
    size_t skip = 0;
    // A batch larger than the ring keeps only its newest records.
    if (size_t(batch.size()) > cap) {
        skip = size_t(batch.size()) - cap;
        m_dropped += skip;
    }
    const size_t incoming = size_t(batch.size()) - skip;
    *dropped = 0;
    if (m_held + incoming > cap) {
        const size_t k = m_held + incoming - cap;
        m_start = (m_start + k) % cap;
        m_held -= k;
        m_firstSeq += k;
        m_dropped += k;
        *dropped = int(k);
    }
    // Room for the whole ring at once: growing by doubling would leave it
    // with a third more than it ever fills.
    if (m_ring.capacity() < cap)
        m_ring.reserve(cap);
    for (size_t i = skip; i < size_t(batch.size()); ++i) {
        const BusRecord &record = batch.at(int(i));
        const size_t slot = (m_start + m_held) % cap;
        if (slot < m_ring.size())
            m_ring[slot] = record;
        else
            m_ring.push_back(record);
        ++m_held;
        if (!m_haveFirstFrame && isFrame(record)) {
            m_firstFrameUs = record.timeUs;
            m_haveFirstFrame = true;
        }
    }
    return int(incoming);
}

void TraceStore::clear()
{
    m_firstSeq += m_held;
    m_start = 0;
    m_held = 0;
    m_ring.clear();
    m_dropped = 0;
    m_haveFirstFrame = false;
    m_latest.clear();
    m_nodes.clear();
    m_load.clear();
    emit cleared();
}

void TraceStore::setCapacity(int capacity)
{
    m_capacity = qMax(1, capacity);
    m_ring.clear();
    m_ring.shrink_to_fit();
    m_latest.setCapacity(m_capacity);
    clear();
}

const BusRecord &TraceStore::heldRecord(int i) const
{
    return m_ring[(m_start + size_t(i)) % size_t(m_capacity)];
}

const BusRecord *TraceStore::record(quint64 seq) const
{
    if (seq < m_firstSeq || seq >= endSeq())
        return nullptr;
    return &heldRecord(int(seq - m_firstSeq));
}
