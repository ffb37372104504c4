#include "replies/replypairing.h"

#include "codec/frame.h"

ReplyPairing::ReplyPairing(qint64 timeoutUs)
{
    setTimeoutUs(timeoutUs);
}

void ReplyPairing::setSettledHandler(const SettledHandler &handler)
{
    m_settled = handler;
    m_details.resize(handler ? m_ring.size() : 0);
}

void ReplyPairing::setTimeoutUs(qint64 us)
{
    m_timeoutUs = qBound<qint64>(1, us, kMaxTimeoutUs);
    frontChanged();
}

void ReplyPairing::advanceTo(qint64 nowUs)
{
    if (m_started && nowUs > m_nowUs) {
        m_nowUs = nowUs;
        drain();
    }
}

void ReplyPairing::finish()
{
    while (m_count > 0)
        leaveFront(false);
    m_started = false;
}

void ReplyPairing::clear()
{
    m_ring.clear();
    m_sequences.clear();
    m_details.clear();
    m_mask = 0;
    m_frontSlot = 0;
    m_count = 0;
    frontChanged();
    m_toNode.clear();
    m_foundChains.fill(FoundChain());
    m_hasGroup = false;
    m_started = false;
    m_statistics.clear();
}

void ReplyPairing::restartTime(qint64 timeUs)
{
    if (m_started) {
        // The clock was set back: what is held can no longer be answered,
        // and would keep the requests of the new time from leaving.
        finish();
    }
    m_nowUs = timeUs;
    m_started = true;
}

// An open request leaves its chain: the head, mostly.
Q_ALWAYS_INLINE void ReplyPairing::unchain(Held &held, quint64 id)
{
    Chain *found = chainOf(held.key(), false);
    if (!found)
        return;
    Chain &chain = *found;
    quint64 before = kNone;
    if (chain.head == id) {
        chain.head = nextOf(held, id);
    } else {
        before = chain.head;
        while (before != kNone && nextOf(*heldAt(before), before) != id)
            before = nextOf(*heldAt(before), before);
        if (before == kNone)
            return;
        setNext(*heldAt(before), before, nextOf(held, id));
    }
    if (chain.tail == id)
        chain.tail = before;
    held.nextDelta = 0;
}

// An open request leaves the lists of those that may take replies.
Q_ALWAYS_INLINE void ReplyPairing::unlink(Held &held, quint64 id)
{
    held.open = false;
    if (held.destination != kGroupAddress)
        unchain(held, id);
    else if (m_hasGroup && m_toGroup == id)
        m_hasGroup = false;
}

// The front request leaves: settled as it stands, or, when it leaves a
// full hold still open without a reply, dropped.
void ReplyPairing::leaveFront(bool full)
{
    Held &front = m_ring[m_frontSlot];
    const bool open = front.open;
    if (open)
        unlink(front, m_frontId);
    if (full && open && front.firstDelayUs < 0) {
        m_statistics.addDropped();
        if (m_settled)
            m_details[m_frontSlot] = Details();
    } else {
        if (front.chosen)
            m_statistics.addRequest(front.group, front.firstDelayUs);
        if (m_settled)
            settleFront(front);
    }
    m_frontSlot = (m_frontSlot + 1) & m_mask;
    --m_count;
    ++m_frontId;
    frontChanged();
}

void ReplyPairing::settleFront(Held &held)
{
    Details &details = m_details[m_frontSlot];
    PairedRequest request;
    request.sequence = m_sequences[m_frontSlot];
    request.timeUs = held.timeUs;
    request.source = held.source;
    request.destination = held.destination;
    request.device = std::move(details.device);
    request.message = std::move(details.message);
    request.messageId = details.messageId;
    request.chosen = held.chosen;
    request.replies = std::move(details.replies);
    details = Details();
    m_settled(request);
}

void ReplyPairing::growRing()
{
    const size_t size = qMax<size_t>(16, m_ring.size() * 2);
    std::vector<Held> ring(size);
    std::vector<quint64> sequences(size);
    std::vector<Details> details(m_settled ? size : 0);
    for (int i = 0; i < m_count; ++i) {
        const size_t from = (m_frontSlot + size_t(i)) & m_mask;
        ring[size_t(i)] = m_ring[from];
        sequences[size_t(i)] = m_sequences[from];
        if (m_settled)
            details[size_t(i)] = std::move(m_details[from]);
    }
    m_ring.swap(ring);
    m_sequences.swap(sequences);
    m_details.swap(details);
    m_mask = size - 1;
    m_frontSlot = 0;
}

// Apart from openRequest, which runs for every request, and is quicker
// without the texts' code in it.
Q_NEVER_INLINE void ReplyPairing::keepDetails(const BusRecord &record, quint64 id)
{
    Details &details = m_details[slotOf(id)];
    details.device = record.device;
    details.message = record.message;
    details.messageId = record.messageId;
}

void ReplyPairing::openRequest(const BusRecord &record, quint64 sequence, bool chosen)
{
    if (m_count >= m_maxHeld)
        leaveFront(true);
    const quint64 id = m_frontId + quint64(m_count);
    Held &held = pushHeld();
    held.timeUs = record.timeUs;
    m_sequences[slotOf(id)] = sequence;
    held.source = record.sourceAddress;
    held.destination = record.destinationAddress;
    held.chosen = chosen;
    if (m_settled)
        keepDetails(record, id);
    if (chosen)
        held.group = m_statistics.groupFor(record.destinationAddress, record.messageId, record.device, record.message);
    if (record.destinationAddress == kGroupAddress) {
        m_toGroup = id;
        m_hasGroup = true;
    } else {
        if (m_toNode.size() > 2 * size_t(m_maxHeld))
            sweepChains();
        Chain &chain = *chainOf(quint64(record.sourceAddress) << 24 | record.destinationAddress, true);
        if (chain.tail == kNone)
            chain.head = id;
        else
            setNext(*heldAt(chain.tail), chain.tail, id);
        chain.tail = id;
    }
    if (m_count == 1)
        frontChanged();
}

// Empty chains go once there are many, so that a flood of requests to ever
// other nodes leaves nothing behind.
void ReplyPairing::sweepChains()
{
    for (auto it = m_toNode.begin(); it != m_toNode.end();)
        it = it->second.head == kNone ? m_toNode.erase(it) : std::next(it);
    m_foundChains.fill(FoundChain());
}

ReplyPairing::Chain *ReplyPairing::findChain(FoundChain &found, quint64 key, bool make)
{
    Chain *chain = nullptr;
    if (make) {
        chain = &m_toNode[key];
    } else {
        const auto it = m_toNode.find(key);
        if (it == m_toNode.end())
            return nullptr;
        chain = &it->second;
    }
    found = {key, chain};
    return chain;
}

// The id of the request a reply goes to, or kNone.
quint64 ReplyPairing::answeringRequest(const BusRecord &record)
{
    const quint32 asker = record.destinationAddress;
    // A slave message to all or to a group is news for everyone, asked by no one.
    if (asker == kBroadcastAddress || asker == kGroupAddress)
        return kNone;
    if (const Chain *chain = chainOf(quint64(asker) << 24 | record.sourceAddress, false)) {
        for (quint64 id = chain->head; id != kNone; id = nextOf(*heldAt(id), id)) {
            if (within(*heldAt(id), record.timeUs))
                return id;
        }
    }
    // The newest request to all: the tail of their chain.
    const Chain *toAll = chainOf(quint64(asker) << 24 | kBroadcastAddress, false);
    if (toAll && toAll->tail != kNone && within(*heldAt(toAll->tail), record.timeUs))
        return toAll->tail;
    if (m_hasGroup && within(*heldAt(m_toGroup), record.timeUs))
        return m_toGroup;
    return kNone;
}

void ReplyPairing::pairReply(const BusRecord &record, quint64 sequence, PairingStep &step)
{
    const quint64 id = answeringRequest(record);
    Held *held = id == kNone ? nullptr : heldAt(id);
    if (!held) {
        m_statistics.addUnsolicited();
        step.kind = PairingStep::Unsolicited;
        return;
    }
    const qint64 delayUs = record.timeUs - held->timeUs;
    if (held->firstDelayUs < 0)
        held->firstDelayUs = qint32(delayUs);
    if (m_settled) {
        PairedReply reply;
        reply.sequence = sequence;
        reply.timeUs = record.timeUs;
        reply.source = record.sourceAddress;
        reply.message = record.message;
        reply.delayUs = delayUs;
        m_details[slotOf(id)].replies.append(reply);
    }
    const bool toNode = held->destination != kBroadcastAddress && held->destination != kGroupAddress;
    if (toNode) {
        unlink(*held, id); // answered: it takes no other reply
        if (id == m_frontId)
            frontChanged();
    }
    step.kind = toNode ? PairingStep::Answered : PairingStep::Joined;
    step.request = m_sequences[slotOf(id)];
    step.delayUs = delayUs;
}
