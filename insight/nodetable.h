#ifndef KWN_INSIGHT_NODETABLE_H
#define KWN_INSIGHT_NODETABLE_H

// The nodes heard on the bus: one row per source node ID, filled from
// records as they come (live) or as a log is read, with what each sent,
// how much and how recently. Only frames whose header was read and whose
// checksum holds are counted: a bad frame's source may be anyone's; nor
// group frames, whose source field holds the group index.
// Rows keep the order in which their nodes were first heard, so that a
// view appends a row when `add` makes one.
// A node takes about 250 bytes (its row, its index entry and a message or
// two); its live rate, a window of 100 slots (1.6 KB), is kept beside the
// rows only for a view that shows it. The table holds at most maxNodes() rows: the nodes heard
// after it is full are counted as left out, with their frames.

#include "codec/busrecord.h"
#include "insight/ratewindow.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

struct NodeMessageCount
{
    quint8 messageId = 0;
    QString name;       // the message's name as last decoded; "" for a device not known
    quint64 count = 0;
};

struct NodeRow
{
    quint32 node = 0;         // source node ID
    quint8 nodeType = 0;      // source node type of its last frame
    QString device;           // product of its last frame ("" when unknown, and for the controller)
    qint64 firstUs = -1;      // earliest and latest time of its frames; -1: none
    qint64 lastUs = -1;
    quint64 frames = 0;
    quint64 bytes = 0;
    quint8 lastMessageId = 0;
    QString lastMessage;
    QVector<NodeMessageCount> messages; // by message ID
};

class NodeTable
{
public:
    static constexpr qint64 kDefaultSilenceUs = 10 * 1000000;
    static constexpr qint64 kRateWindowUs = 10 * 1000000;
    static constexpr int kDefaultMaxNodes = 100000;
    // Whether each node's frames of the last 10 s are kept for its live rate.
    enum class Rates { None, Kept };

    explicit NodeTable(Rates rates = Rates::None) : m_keepsRates(rates == Rates::Kept) {}

    // Counts a frame; returns the row it went to, or -1 for a record that
    // is no good frame (noise, an event, a bad checksum) or whose node is
    // left out. `added` says whether that row is new.
    int add(const BusRecord &record, bool *added = nullptr);
    void add(const QVector<BusRecord> &records);
    void clear();

    int size() const { return m_rows.size(); }
    const NodeRow &row(int index) const { return m_rows.at(index); }
    int indexOf(quint32 node) const { return m_index.value(node, -1); }
    // Row indices in order of node ID.
    QVector<int> byNode() const;

    // Good frames and their bytes, those of the nodes left out included.
    quint64 totalFrames() const { return m_frames; }
    quint64 totalBytes() const { return m_bytes; }

    // Rows at most; at least 1. Default kDefaultMaxNodes. Rows already
    // made stay.
    void setMaxNodes(int count) { m_maxNodes = qMax(1, count); }
    int maxNodes() const { return m_maxNodes; }
    // The distinct nodes heard once the table was full, and their frames.
    quint64 nodesLeftOut() const { return m_nodesLeftOut; }
    quint64 framesLeftOut() const { return m_framesLeftOut; }

    // Its frames a second over the 10 s up to `nowUs`, to the 100 ms; 0
    // for a table that keeps no rates.
    double framesPerSecond(int index, qint64 nowUs) const;
    // Its part of the bytes of all frames counted, 0 to 1.
    double share(int index) const;

    // A node not heard for longer than this is silent. Default 10 s.
    void setSilenceThresholdUs(qint64 us) { m_silenceUs = us; }
    qint64 silenceThresholdUs() const { return m_silenceUs; }
    bool isSilent(int index, qint64 nowUs) const;

    // A message's name for a count: its name, "message 0xNN" when the device
    // is not known, and the name followed by its ID where two IDs of the
    // node carry the same name (two unknown messages).
    static QString messageKey(const NodeRow &row, int message);

    // The source node type of a frame's bytes (header byte 2, inverted).
    static quint8 sourceNodeType(const QByteArray &frame);

private:
    int rowOf(quint32 node, bool *added);
    void leaveOut(quint32 node);

    bool m_keepsRates;
    QVector<NodeRow> m_rows;
    std::vector<RateWindow> m_recent; // a row's frames of the last 10 s, when rates are kept
    QHash<quint32, int> m_index;
    // One bit a 24-bit node ID, made when the first node is left out: which
    // were, so that each counts once.
    std::vector<bool> m_leftOut;
    quint64 m_frames = 0;
    quint64 m_bytes = 0;
    quint64 m_nodesLeftOut = 0;
    quint64 m_framesLeftOut = 0;
    int m_maxNodes = kDefaultMaxNodes;
    qint64 m_silenceUs = kDefaultSilenceUs;
};

#endif
