#include "insight/nodetable.h"

#include "codec/frame.h"

#include <algorithm>

quint8 NodeTable::sourceNodeType(const QByteArray &frame)
{
    return frame.size() > 2 ? quint8(quint8(~quint8(frame.at(2))) >> 4) : 0;
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
    auto found = m_index.constFind(record.sourceAddress);
    int index = 0;
    if (found == m_index.constEnd()) {
        index = m_rows.size();
        m_index.insert(record.sourceAddress, index);
        m_rows.append(NodeRow());
        m_rows.last().node = record.sourceAddress;
        if (added)
            *added = true;
    } else {
        index = found.value();
    }
    NodeRow &row = m_rows[index];
    const quint64 bytes = quint64(record.bytes.size());
    row.nodeType = sourceNodeType(record.bytes);
    // A frame of the controller (node type 0) is decoded as the device it
    // talks to: that is no device of the controller's own.
    const QString &device = row.nodeType == 0 ? QString() : record.device;
    if (row.device != device)
        row.device = device;
    ++row.frames;
    row.bytes += bytes;
    ++m_frames;
    m_bytes += bytes;
    if (record.timeUs >= 0) {
        if (row.firstUs < 0)
            row.firstUs = record.timeUs;
        row.lastUs = qMax(row.lastUs, record.timeUs);
        row.recent.add(record.timeUs);
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
    m_index.clear();
    m_frames = 0;
    m_bytes = 0;
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
    const NodeRow &row = m_rows.at(index);
    return double(row.recent.sum(nowUs)) * 1e6 / double(row.recent.windowUs());
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
