#include "replies/replypairing.h"

#include "codec/frame.h"

FrameRole frameRole(const BusRecord &record)
{
    if ((record.kind != BusRecord::Received && record.kind != BusRecord::Sent) || !record.parsed
        || !record.checksumOk || !record.messageKnown)
        return FrameRole::None;
    return record.slaveMessage ? FrameRole::Reply : FrameRole::Request;
}

ReplyPairing::ReplyPairing(qint64 timeoutUs)
{
    setTimeoutUs(timeoutUs);
}

void ReplyPairing::setTimeoutUs(qint64 us)
{
    m_timeoutUs = qBound<qint64>(1, us, kMaxTimeoutUs);
}

PairingStep ReplyPairing::add(const BusRecord &record, quint64 sequence, bool chosen)
{
    if (record.kind == BusRecord::Event || record.timeUs < 0)
        return PairingStep();
    passTime(record.timeUs);
    PairingStep step;
    switch (frameRole(record)) {
    case FrameRole::Request:
        step = openRequest(record, sequence, chosen);
        break;
    case FrameRole::Reply:
        step = pairReply(record, sequence);
        break;
    case FrameRole::None:
        break;
    }
    drain();
    return step;
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
    while (!m_held.empty())
        leaveFront(false);
    m_started = false;
}

void ReplyPairing::clear()
{
    m_held.clear();
    m_toNode.clear();
    m_toAll.clear();
    m_hasGroup = false;
    m_started = false;
    m_statistics.clear();
}

void ReplyPairing::passTime(qint64 timeUs)
{
    if (m_started && timeUs < m_nowUs - m_timeoutUs) {
        // The clock was set back: what is held can no longer be answered,
        // and would keep the requests of the new time from leaving.
        finish();
    }
    if (!m_started || timeUs > m_nowUs)
        m_nowUs = timeUs;
    m_started = true;
    drain();
}

// The requests at the front that have settled leave, in order.
void ReplyPairing::drain()
{
    while (!m_held.empty()) {
        const Held &front = m_held.front();
        if (front.open && m_nowUs - front.request.timeUs <= m_timeoutUs)
            break;
        leaveFront(false);
    }
}

// The front request leaves: settled as it stands, or, when it leaves a
// full hold still open without a reply, dropped.
void ReplyPairing::leaveFront(bool full)
{
    Held &front = m_held.front();
    const bool open = front.open;
    if (open)
        unlink(front, m_frontId);
    if (full && open && !front.request.answered()) {
        m_statistics.addDropped();
    } else {
        if (front.request.chosen)
            m_statistics.add(front.request);
        if (m_settled)
            m_settled(front.request);
    }
    m_held.pop_front();
    ++m_frontId;
}

// An open request leaves the lists of those that may take replies.
void ReplyPairing::unlink(Held &held, quint64 id)
{
    held.open = false;
    const quint32 destination = held.request.destination;
    if (destination == kBroadcastAddress) {
        const auto it = m_toAll.find(held.request.source);
        if (it != m_toAll.end() && it.value() == id)
            m_toAll.erase(it);
    } else if (destination == kGroupAddress) {
        if (m_hasGroup && m_toGroup == id)
            m_hasGroup = false;
    } else {
        const auto it = m_toNode.find(held.key);
        if (it == m_toNode.end())
            return;
        std::deque<quint64> &ids = it.value();
        for (auto i = ids.begin(); i != ids.end(); ++i) {
            if (*i == id) {
                ids.erase(i);
                break;
            }
        }
        if (ids.empty())
            m_toNode.erase(it);
    }
}

ReplyPairing::Held *ReplyPairing::heldAt(quint64 id)
{
    return id >= m_frontId && id - m_frontId < m_held.size() ? &m_held[size_t(id - m_frontId)] : nullptr;
}

// Whether a reply at `timeUs` comes within the request's timeout, the limit included.
bool ReplyPairing::within(const Held &held, qint64 timeUs) const
{
    return held.open && timeUs >= held.request.timeUs && timeUs - held.request.timeUs <= m_timeoutUs;
}

PairingStep ReplyPairing::openRequest(const BusRecord &record, quint64 sequence, bool chosen)
{
    if (int(m_held.size()) >= m_maxHeld)
        leaveFront(true);
    Held held;
    PairedRequest &request = held.request;
    request.sequence = sequence;
    request.timeUs = record.timeUs;
    request.source = record.sourceAddress;
    request.destination = record.destinationAddress;
    request.device = record.device;
    request.message = record.message;
    request.messageId = record.messageId;
    request.chosen = chosen;
    held.key = quint64(record.sourceAddress) << 24 | record.destinationAddress;
    const quint64 id = m_frontId + m_held.size();
    if (record.destinationAddress == kBroadcastAddress) {
        m_toAll.insert(record.sourceAddress, id);
    } else if (record.destinationAddress == kGroupAddress) {
        m_toGroup = id;
        m_hasGroup = true;
    } else {
        m_toNode[held.key].push_back(id);
    }
    m_held.push_back(std::move(held));
    PairingStep step;
    step.kind = PairingStep::Opened;
    return step;
}

// The id of the request a reply goes to, or one past the newest held.
quint64 ReplyPairing::answeringRequest(const BusRecord &record)
{
    const quint64 none = m_frontId + m_held.size();
    const quint32 asker = record.destinationAddress;
    // A slave message to all or to a group is news for everyone, asked by no one.
    if (asker == kBroadcastAddress || asker == kGroupAddress)
        return none;
    const auto toNode = m_toNode.find(quint64(asker) << 24 | record.sourceAddress);
    if (toNode != m_toNode.end()) {
        for (const quint64 id : toNode.value()) {
            if (within(*heldAt(id), record.timeUs))
                return id;
        }
    }
    const auto toAll = m_toAll.constFind(asker);
    if (toAll != m_toAll.constEnd() && within(*heldAt(toAll.value()), record.timeUs))
        return toAll.value();
    if (m_hasGroup && within(*heldAt(m_toGroup), record.timeUs))
        return m_toGroup;
    return none;
}

PairingStep ReplyPairing::pairReply(const BusRecord &record, quint64 sequence)
{
    PairingStep step;
    const quint64 id = answeringRequest(record);
    Held *held = heldAt(id);
    if (!held) {
        m_statistics.addUnsolicited();
        step.kind = PairingStep::Unsolicited;
        return step;
    }
    PairedReply reply;
    reply.sequence = sequence;
    reply.timeUs = record.timeUs;
    reply.source = record.sourceAddress;
    reply.message = record.message;
    reply.delayUs = record.timeUs - held->request.timeUs;
    held->request.replies.append(reply);
    const bool toNode = held->request.destination != kBroadcastAddress && held->request.destination != kGroupAddress;
    if (toNode)
        unlink(*held, id); // answered: it takes no other reply
    step.kind = toNode ? PairingStep::Answered : PairingStep::Joined;
    step.request = held->request.sequence;
    step.delayUs = reply.delayUs;
    return step;
}
