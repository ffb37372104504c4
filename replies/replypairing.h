#ifndef KWN_REPLIES_REPLYPAIRING_H
#define KWN_REPLIES_REPLYPAIRING_H

// Requests and their replies, paired from the records of a bus in time
// order, live or from a log.
//
// A request is a frame with a good checksum whose message the catalogue
// knows and is no slave message, sent to a node, to all (FFFFFF) or to a
// group (000000). A reply is a frame with a good checksum of a slave
// message. A reply from node B to node A answers the oldest unanswered
// request from A to B made no more than the timeout before it; else it
// joins the newest request from A to all within the timeout (which
// gathers every reply); else the newest group request within the timeout
// (whose sender is not on the wire: its source field holds the group
// index); else it is unsolicited, as is a reply sent to all or to a group.
// A request to a node takes one reply. A request settles when its timeout
// has passed (a request to a node too when answered); one without a reply
// then is unanswered. A reply's delay is its time minus its request's.
//
// The dissector's Lua (dissector/luapairing.h) pairs by this same rule,
// step by step: a change here is a change there.
//
// Memory stays bounded: requests are held until they settle and leave in
// the order they came, at most maxHeld() of them; when a request comes to
// a full hold, the oldest leaves early, settled as it stands, or, still
// open without a reply, dropped and counted. The names and replies of a
// request are kept only for a settled handler; the statistics need none.

#include "codec/busrecord.h"
#include "replies/replystatistics.h"

#include <QString>
#include <QVector>

#include <array>
#include <functional>
#include <limits>
#include <unordered_map>
#include <vector>

// What a frame is to the pairing.
enum class FrameRole : quint8 { None, Request, Reply };
inline FrameRole frameRole(const BusRecord &record)
{
    // One branch for the tests together: this runs for every frame.
    const bool frame = (record.kind == BusRecord::Received) | (record.kind == BusRecord::Sent);
    if (!(frame & record.parsed & record.checksumOk & record.messageKnown))
        return FrameRole::None;
    return record.slaveMessage ? FrameRole::Reply : FrameRole::Request;
}

struct PairedReply
{
    quint64 sequence = 0; // the caller's number of the frame
    qint64 timeUs = 0;
    quint32 source = 0;
    QString message;
    qint64 delayUs = 0; // after its request
};

struct PairedRequest
{
    quint64 sequence = 0;
    qint64 timeUs = 0;
    quint32 source = 0;
    quint32 destination = 0;
    QString device;
    QString message;
    quint8 messageId = 0;
    bool chosen = true; // counted in the statistics (a filter's choice)
    QVector<PairedReply> replies; // in time order; none: unanswered

    bool answered() const { return !replies.isEmpty(); }
};

// What add() made of a frame, for a view that marks it as it comes.
struct PairingStep
{
    enum Kind { Ignored, Opened, Answered, Joined, Unsolicited };
    Kind kind = Ignored;
    quint64 request = 0; // Answered, Joined: the sequence of the request
    qint64 delayUs = -1; // Answered, Joined: after the request
};

class ReplyPairing
{
public:
    static constexpr qint64 kDefaultTimeoutUs = 1000000;
    static constexpr qint64 kMaxTimeoutUs = 60000000;
    static constexpr int kDefaultMaxHeld = 4096;
    using SettledHandler = std::function<void(const PairedRequest &)>;

    explicit ReplyPairing(qint64 timeoutUs = kDefaultTimeoutUs);

    // 1 µs to kMaxTimeoutUs; default 1 s. The requests held go by it too.
    void setTimeoutUs(qint64 us);
    qint64 timeoutUs() const { return m_timeoutUs; }
    // At least 1; default kDefaultMaxHeld. A lower hold than the requests
    // held lets one go at each request that comes.
    void setMaxHeld(int count) { m_maxHeld = qMax(1, count); }
    int maxHeld() const { return m_maxHeld; }
    int held() const { return m_count; }
    // Called with each request as it settles, in the order the requests
    // came, with its names and replies; set it before the first record
    // (requests held when it is set settle without them).
    void setSettledHandler(const SettledHandler &handler);

    // A record, in time order; `sequence` is the caller's number for it,
    // given back in what refers to it. Frames and noise move the time on
    // (a record timed more than the timeout before the latest time starts
    // time anew: the clock was set back, and every held request settles);
    // events and records without a time (below 0) are passed over.
    PairingStep add(const BusRecord &record, quint64 sequence, bool chosen = true)
    {
        // Inline, so that a caller who does not look at the step has it
        // made for nothing, and the step made in place: a copy of it made
        // whole from parts written a moment before stalls the processor.
        PairingStep step;
        if (record.kind == BusRecord::Event || record.timeUs < 0)
            return step;
        passTime(record.timeUs);
        const FrameRole role = frameRole(record);
        if (role == FrameRole::Request) {
            openRequest(record, sequence, chosen);
            step.kind = PairingStep::Opened;
        } else if (role == FrameRole::Reply) {
            pairReply(record, sequence, step);
            // Only an answer settles a request before its time.
            if (step.kind == PairingStep::Answered)
                drain();
        }
        return step;
    }
    // Live: the time is now `nowUs`, though nothing came; requests whose
    // timeout has passed settle.
    void advanceTo(qint64 nowUs);
    // The end of a log: every held request settles now.
    void finish();
    // Forgets the requests held and the statistics.
    void clear();

    const ReplyStatistics &statistics() const { return m_statistics; }
    ReplyStatistics &statistics() { return m_statistics; }

private:
    static constexpr quint64 kNone = ~quint64(0);
    // The open requests of one sender to one node (or to all), oldest
    // first, chained through Held::nextDelta.
    struct Chain
    {
        quint64 head = kNone;
        quint64 tail = kNone;
    };
    // A request held: small, for a second of a busy bus is a thousand of
    // them, each written once and read once a second later (32 bytes: a
    // ring of them stays in the nearest cache).
    struct Held
    {
        qint64 timeUs = 0;
        quint32 source = 0;
        quint32 destination = 0;
        quint32 nextDelta = 0;  // ids on to the next open request of its chain; 0: none
        qint32 firstDelayUs = -1; // within the timeout, a minute at most
        qint32 group = -1;      // its row of the statistics (ReplyStatistics::groupFor)
        bool open = true;       // may still take replies
        bool chosen = true;
        quint64 key() const { return quint64(source) << 24 | destination; }
    };
    // What a settled handler is given besides, in a ring of its own.
    struct Details
    {
        QString device;
        QString message;
        quint8 messageId = 0;
        QVector<PairedReply> replies;
    };
    // The chains last found, by key: a hash table is slow next to a frame.
    struct FoundChain
    {
        quint64 key = kNone;
        Chain *chain = nullptr;
    };

    // The time moves on to `timeUs`; the requests it settles leave.
    void passTime(qint64 timeUs)
    {
        if (m_started && timeUs >= m_nowUs - m_timeoutUs)
            m_nowUs = qMax(m_nowUs, timeUs);
        else
            restartTime(timeUs);
        drain();
    }
    void restartTime(qint64 timeUs);
    // The requests at the front that have settled leave, in order.
    void drain()
    {
        while (m_nowUs > m_frontDueUs)
            leaveFront(false);
    }
    // The front changed: when it is due to leave.
    void frontChanged()
    {
        if (m_count == 0)
            m_frontDueUs = std::numeric_limits<qint64>::max();
        else if (!m_ring[m_frontSlot].open)
            m_frontDueUs = std::numeric_limits<qint64>::min();
        else
            m_frontDueUs = m_ring[m_frontSlot].timeUs + m_timeoutUs;
    }
    void leaveFront(bool full);
    void settleFront(Held &held);
    void unlink(Held &held, quint64 id);
    void unchain(Held &held, quint64 id);
    void sweepChains();
    // The chain of a key, made when asked to; nullptr for none.
    Chain *chainOf(quint64 key, bool make)
    {
        FoundChain &found = m_foundChains[(key * 0x9E3779B97F4A7C15ull) >> 56];
        return found.key == key ? found.chain : findChain(found, key, make);
    }
    Chain *findChain(FoundChain &found, quint64 key, bool make);
    size_t slotOf(quint64 id) const { return (m_frontSlot + size_t(id - m_frontId)) & m_mask; }
    Held *heldAt(quint64 id) { return id - m_frontId < quint64(m_count) ? &m_ring[slotOf(id)] : nullptr; }
    static quint64 nextOf(const Held &held, quint64 id) { return held.nextDelta ? id + held.nextDelta : kNone; }
    static void setNext(Held &held, quint64 id, quint64 next)
    {
        held.nextDelta = next == kNone ? 0 : quint32(next - id);
    }
    // A slot at the back of the ring, which grows by doubling up to the hold.
    Held &pushHeld()
    {
        if (m_ring.empty() || size_t(m_count) > m_mask)
            growRing();
        Held &held = m_ring[(m_frontSlot + size_t(m_count)) & m_mask];
        ++m_count;
        // openRequest sets the rest.
        held.nextDelta = 0;
        held.firstDelayUs = -1;
        held.group = -1;
        held.open = true;
        return held;
    }
    void growRing();
    bool within(const Held &held, qint64 timeUs) const
    {
        return held.open && timeUs >= held.timeUs && timeUs - held.timeUs <= m_timeoutUs;
    }
    void openRequest(const BusRecord &record, quint64 sequence, bool chosen);
    void keepDetails(const BusRecord &record, quint64 id);
    void pairReply(const BusRecord &record, quint64 sequence, PairingStep &step);
    quint64 answeringRequest(const BusRecord &record);

    qint64 m_timeoutUs;
    int m_maxHeld = kDefaultMaxHeld;
    SettledHandler m_settled;
    ReplyStatistics m_statistics;
    // The requests held, in the order they came: a ring of a power of two
    // slots, the front at m_frontSlot with id m_frontId; the caller's
    // numbers of them in the same slots of m_sequences, and their details
    // in those of m_details, for a settled handler alone.
    std::vector<Held> m_ring;
    std::vector<quint64> m_sequences;
    std::vector<Details> m_details;
    size_t m_mask = 0; // the ring's size less 1
    size_t m_frontSlot = 0;
    int m_count = 0;
    // The front leaves once the time is past this (kept apart, so that the
    // time of a frame moves on without a look at the front).
    qint64 m_frontDueUs = std::numeric_limits<qint64>::max();
    quint64 m_frontId = 0;
    // The open requests to a node by sender << 24 | receiver, and those to
    // all of a sender under sender << 24 | FFFFFF (an empty chain is kept
    // until there are many); the newest open group request.
    std::unordered_map<quint64, Chain> m_toNode;
    std::array<FoundChain, 256> m_foundChains;
    quint64 m_toGroup = 0;
    bool m_hasGroup = false;
    bool m_started = false; // a time has been seen since the start or finish()
    qint64 m_nowUs = 0;     // the latest time seen
};

#endif
