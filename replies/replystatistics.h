#ifndef KWN_REPLIES_REPLYSTATISTICS_H
#define KWN_REPLIES_REPLYSTATISTICS_H

// What the requests of a bus came to: how many, answered or not, and how
// long their replies took (a request's delay is its first reply's), over
// all of them and per node asked and request message. Memory stays bounded
// whatever the bus: delays are counted in steps of three significant
// digits, and the table keeps a bounded number of rows.

#include <QHash>
#include <QString>
#include <QVector>

#include <utility>
#include <vector>

// Delays counted, for their median, 95th percentile and maximum. Each is
// kept to three significant digits (exact to the µs below 1 ms, to 10 µs
// below 10 ms, to 0.1 ms below 100 ms, ...), rounded down; the maximum is
// kept exact. A delay to the millisecond under a second is kept exact.
class DelaySummary
{
public:
    void add(qint64 us);
    // Adds the delays of another.
    void merge(const DelaySummary &other);
    quint64 count() const { return m_count; }
    // The delay that `percent` of them do not pass, by nearest rank (the
    // one at place ceil(percent / 100 × count) in order); -1 when none.
    qint64 percentileUs(int percent) const;
    qint64 maxUs() const { return m_maxUs; }

    // A delay rounded down to three significant digits.
    static qint64 stepOf(qint64 us);

private:
    QVector<std::pair<qint64, quint64>> m_steps; // by delay: the step and how many fell in it
    int m_last = 0; // the step added to last
    quint64 m_count = 0;
    qint64 m_maxUs = -1;
};

// The requests to one node (or to all, or to a group) of one message.
struct ReplyGroup
{
    quint32 destination = 0; // a node ID, kGroupAddress or kBroadcastAddress
    QString device;
    QString message;
    quint8 messageId = 0;
    quint64 requests = 0;
    quint64 answered = 0;
    DelaySummary delays;

    quint64 unanswered() const { return requests - answered; }
};

class ReplyStatistics
{
public:
    static constexpr int kDefaultMaxGroups = 4096;

    // The row of requests to `destination` of a message of a device, made
    // when first asked; -1 once the table is full.
    int groupFor(quint32 destination, quint8 messageId, const QString &device, const QString &message)
    {
        const quint32 key = destination << 8 | messageId;
        const QChar *text = device.constData();
        for (size_t slot = foundSlot(key, text);; slot = (slot + 1) & m_foundMask) {
            const Found &found = m_found[slot];
            if (found.key == key && found.device == text)
                return found.group;
            if (!found.device)
                return findGroup(destination, messageId, device, message);
        }
    }
    // A request whose time for replies has passed, of row `group` (-1:
    // none), with the delay of its first reply (-1: unanswered).
    void addRequest(int group, qint64 firstDelayUs)
    {
        ++m_requests;
        if (firstDelayUs >= 0)
            ++m_answered;
        if (group < 0) {
            addLeftOut(firstDelayUs);
            return;
        }
        ReplyGroup &row = m_groups[group];
        ++row.requests;
        if (firstDelayUs >= 0) {
            ++row.answered;
            row.delays.add(firstDelayUs);
        }
    }
    void addUnsolicited() { ++m_unsolicited; }
    void addDropped() { ++m_dropped; }
    void clear();

    // All requests: their delays gathered from the rows when asked.
    ReplyGroup overall() const;
    // Replies that answered no request.
    quint64 unsolicited() const { return m_unsolicited; }
    // Requests let go unsettled because too many were waiting for replies:
    // neither answered nor unanswered.
    quint64 dropped() const { return m_dropped; }

    int groupCount() const { return m_groups.size(); }
    const ReplyGroup &group(int index) const { return m_groups.at(index); }
    // Group indices by node, then device and message name.
    QVector<int> byNode() const;

    // Rows at most, at least 1 (default kDefaultMaxGroups); the requests
    // of a node and message heard once it is full count overall alone.
    void setMaxGroups(int count) { m_maxGroups = qMax(1, count); }
    quint64 requestsLeftOut() const { return m_requestsLeftOut; }

private:
    // The rows found for a node and message ID (key) and a device, by the
    // data of the row's device text, which the frames of the device share:
    // an open table (linear probing, at most half full, never evicting while
    // there is room), so that every row in use is found at once.
    struct Found
    {
        quint32 key = 0;
        int group = -1;
        const QChar *device = nullptr; // none: the slot is free
    };

    size_t foundSlot(quint32 key, const QChar *device) const
    {
        return size_t((quint64(key) << 32 ^ quint64(quintptr(device))) * 0x9E3779B97F4A7C15ull >> 40) & m_foundMask;
    }
    int findGroup(quint32 destination, quint8 messageId, const QString &device, const QString &message);
    void remember(quint32 key, int group, const QChar *device);
    void addLeftOut(qint64 firstDelayUs);

    quint64 m_requests = 0;
    quint64 m_answered = 0;
    DelaySummary m_leftOutDelays; // of the requests past the table's rows
    std::vector<Found> m_found = std::vector<Found>(256);
    size_t m_foundMask = 255;
    int m_foundCount = 0;
    QVector<ReplyGroup> m_groups;
    // Node and message ID (node << 8 | ID): the groups of that pair, one a device.
    QHash<quint32, QVector<int>> m_index;
    quint64 m_unsolicited = 0;
    quint64 m_dropped = 0;
    quint64 m_requestsLeftOut = 0;
    int m_maxGroups = kDefaultMaxGroups;
};

#endif
