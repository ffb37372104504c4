#ifndef KWN_INSIGHT_NODETABLE_H
#define KWN_INSIGHT_NODETABLE_H

// The nodes heard on the bus: one row per source node ID, filled from
// records as they come (live) or as a log is read, with what each sent,
// how much and how recently. Only frames whose header was read and whose
// checksum holds are counted: a bad frame's source may be anyone's; nor
// group frames, whose source field holds the group index.
// Rows keep the order in which their nodes were first heard, so that a
// view appends a row when `add` makes one.

#include "codec/busrecord.h"
#include "insight/ratewindow.h"

#include <QHash>
#include <QString>
#include <QVector>

struct NodeMessageCount
{
    quint8 messageId = 0;
    QString name;       // the message's name as last decoded; "" for a device not known
    quint64 count = 0;
};

struct NodeRow
{
    static constexpr qint64 kRateWindowUs = 10 * 1000000;

    quint32 node = 0;         // source node ID
    quint8 nodeType = 0;      // source node type of its last frame
    QString device;           // product of its last frame ("" when unknown, and for the controller)
    qint64 firstUs = -1;      // first and last frame with a time; -1: none
    qint64 lastUs = -1;
    quint64 frames = 0;
    quint64 bytes = 0;
    quint8 lastMessageId = 0;
    QString lastMessage;
    QVector<NodeMessageCount> messages; // by message ID
    RateWindow recent{kRateWindowUs, 100}; // its frames of the last 10 s
};

class NodeTable
{
public:
    static constexpr qint64 kDefaultSilenceUs = 10 * 1000000;

    // Counts a frame; returns the row it went to, or -1 for a record that
    // is no good frame (noise, an event, a bad checksum). `added` says
    // whether that row is new.
    int add(const BusRecord &record, bool *added = nullptr);
    void add(const QVector<BusRecord> &records);
    void clear();

    int size() const { return m_rows.size(); }
    const NodeRow &row(int index) const { return m_rows.at(index); }
    int indexOf(quint32 node) const { return m_index.value(node, -1); }
    // Row indices in order of node ID.
    QVector<int> byNode() const;

    quint64 totalFrames() const { return m_frames; }
    quint64 totalBytes() const { return m_bytes; }

    // Its frames a second over the 10 s up to `nowUs`, to the 100 ms.
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
    QVector<NodeRow> m_rows;
    QHash<quint32, int> m_index;
    quint64 m_frames = 0;
    quint64 m_bytes = 0;
    qint64 m_silenceUs = kDefaultSilenceUs;
};

#endif
