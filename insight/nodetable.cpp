#include "insight/nodetable.h"

#include "codec/frame.h"

#include <algorithm>

quint8 NodeTable::sourceNodeType(const QByteArray &frame)
{
    return frame.size() > 2 ? quint8(quint8(~quint8(frame.at(2))) >> 4) : 0;
}

// The row of a node, made if the table has room; -1 when it has none.
int NodeTable::rowOf(quint32 node, bool *added)
{
    const auto found = m_index.constFind(node);
    if (found != m_index.constEnd())
        return found.value();
    if (m_rows.size() >= m_maxNodes)
        return -1;
    const int index = m_rows.size();
    m_index.insert(node, index);
    m_rows.append(NodeRow());
    m_rows.last().node = node;
    if (m_keepsRates)
        m_recent.emplace_back(kRateWindowUs, 100);
    if (added)
        *added = true;
    return index;
}

// Counts a frame of a node the table has no room for, and the node the
// first time it is heard.
void NodeTable::leaveOut(quint32 node)
{
    constexpr quint32 kNodeIds = 1u << 24;
    if (m_leftOut.empty())
        m_leftOut.resize(kNodeIds);
    const quint32 bit = node % kNodeIds;
    ++m_framesLeftOut;
    if (!m_leftOut[bit]) {
        m_leftOut[bit] = true;
        ++m_nodesLeftOut;
    }
}

int NodeTable::add(const BusRecord &record, bool *added)
{
    if (added)
        *added = false;
    if ((record.kind != BusRecord::Received && record.kind != BusRecord::Sent) || !record.parsed
        || !record.checksumOk)
        return -1;
    // Group addressing (destination 000000) puts the group index where the
    // source node ID would be: no node to count it for.
    if (record.destinationAddress == kGroupAddress)
        return -1;
    const quint64 bytes = quint64(record.bytes.size());
    ++m_frames;
    m_bytes += bytes;
    const int index = rowOf(record.sourceAddress, added);
    if (index < 0) {
        leaveOut(record.sourceAddress);
        return -1;
    }
    NodeRow &row = m_rows[index];
    row.nodeType = sourceNodeType(record.bytes);
    // A frame of the controller (node type 0) is decoded as the device it
    // talks to: that is no device of the controller's own.
    const QString &device = row.nodeType == 0 ? QString() : record.device;
    if (row.device != device)
        row.device = device;
    ++row.frames;
    row.bytes += bytes;
    if (record.timeUs >= 0) {
        // Logs given out of order, or a clock set back: the earliest time
        // is the first, whatever came first.
        if (row.firstUs < 0 || record.timeUs < row.firstUs)
            row.firstUs = record.timeUs;
        row.lastUs = qMax(row.lastUs, record.timeUs);
        if (m_keepsRates)
            m_recent[size_t(index)].add(record.timeUs);
    }
    row.lastMessageId = record.messageId;
    if (row.lastMessage != record.message)
        row.lastMessage = record.message;

    // Few messages a node: a sorted vector beats a hash.
    auto message = std::lower_bound(row.messages.begin(), row.messages.end(), record.messageId,
                                    [](const NodeMessageCount &m, quint8 id) { return m.messageId < id; });
    if (message == row.messages.end() || message->messageId != record.messageId) {
        NodeMessageCount count;
        count.messageId = record.messageId;
        message = row.messages.insert(message, count);
    }
    ++message->count;
    if (message->name != record.message)
        message->name = record.message;
    return index;
}

void NodeTable::add(const QVector<BusRecord> &records)
{
    for (const BusRecord &record : records)
        add(record);
}

void NodeTable::clear()
{
    m_rows.clear();
    m_recent.clear();
    m_index.clear();
    m_leftOut = std::vector<bool>();
    m_frames = 0;
    m_bytes = 0;
    m_nodesLeftOut = 0;
    m_framesLeftOut = 0;
}

QVector<int> NodeTable::byNode() const
{
    QVector<int> order(m_rows.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this](int a, int b) { return m_rows.at(a).node < m_rows.at(b).node; });
    return order;
}

double NodeTable::framesPerSecond(int index, qint64 nowUs) const
{
    if (!m_keepsRates)
        return 0;
    const RateWindow &recent = m_recent.at(size_t(index));
    return double(recent.sum(nowUs)) * 1e6 / double(recent.windowUs());
}

double NodeTable::share(int index) const
{
    return m_bytes == 0 ? 0 : double(m_rows.at(index).bytes) / double(m_bytes);
}

bool NodeTable::isSilent(int index, qint64 nowUs) const
{
    const NodeRow &row = m_rows.at(index);
    return row.lastUs < 0 || nowUs - row.lastUs > m_silenceUs;
}

QString NodeTable::messageKey(const NodeRow &row, int message)
{
    const NodeMessageCount &m = row.messages.at(message);
    const QString id = QStringLiteral("0x%1").arg(m.messageId, 2, 16, QLatin1Char('0')).toUpper().replace(
        QLatin1String("0X"), QLatin1String("0x"));
    if (m.name.isEmpty())
        return QLatin1String("message ") + id;
    for (int i = 0; i < row.messages.size(); ++i) {
        if (i != message && row.messages.at(i).name == m.name)
            return m.name + QLatin1Char(' ') + id;
    }
    return m.name;
}
