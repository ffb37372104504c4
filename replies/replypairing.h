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
// open without a reply, dropped and counted.

#include "codec/busrecord.h"
#include "replies/replystatistics.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <deque>
#include <functional>

// What a frame is to the pairing.
enum class FrameRole : quint8 { None, Request, Reply };
FrameRole frameRole(const BusRecord &record);

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

    // 1 µs to kMaxTimeoutUs; default 1 s. For the requests to come.
    void setTimeoutUs(qint64 us);
    qint64 timeoutUs() const { return m_timeoutUs; }
    // At least 1; default kDefaultMaxHeld.
    void setMaxHeld(int count) { m_maxHeld = qMax(1, count); }
    int maxHeld() const { return m_maxHeld; }
    int held() const { return int(m_held.size()); }
    // Called with each request as it settles, in the order the requests came.
    void setSettledHandler(const SettledHandler &handler) { m_settled = handler; }

    // A record, in time order; `sequence` is the caller's number for it,
    // given back in what refers to it. Frames and noise move the time on
    // (a record timed more than the timeout before the latest time starts
    // time anew: the clock was set back, and every held request settles);
    // events and records without a time (below 0) are passed over.
    PairingStep add(const BusRecord &record, quint64 sequence, bool chosen = true);
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
    struct Held
    {
        PairedRequest request;
        bool open = true; // may still take replies
        quint64 key = 0;  // source << 24 | destination
    };

    void passTime(qint64 timeUs);
    void drain();
    void leaveFront(bool full);
    void unlink(Held &held, quint64 id);
    Held *heldAt(quint64 id);
    bool within(const Held &held, qint64 timeUs) const;
    PairingStep openRequest(const BusRecord &record, quint64 sequence, bool chosen);
    PairingStep pairReply(const BusRecord &record, quint64 sequence);
    quint64 answeringRequest(const BusRecord &record);

    qint64 m_timeoutUs;
    int m_maxHeld = kDefaultMaxHeld;
    SettledHandler m_settled;
    ReplyStatistics m_statistics;
    std::deque<Held> m_held; // in the order they came; the front's id is m_frontId
    quint64 m_frontId = 0;
    // Open requests to a node by sender and receiver, oldest first; the
    // newest open request to all by sender; the newest open group request.
    QHash<quint64, std::deque<quint64>> m_toNode;
    QHash<quint32, quint64> m_toAll;
    quint64 m_toGroup = 0;
    bool m_hasGroup = false;
    bool m_started = false; // a time has been seen since the start or finish()
    qint64 m_nowUs = 0;     // the latest time seen
};

#endif
