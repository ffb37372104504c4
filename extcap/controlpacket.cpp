#include "extcap/controlpacket.h"

namespace extcap {

namespace {

constexpr char kSync = 'T';
constexpr int kHeaderBytes = 6; // sync, length, control, command
constexpr int kLengthExtra = 2; // control and command count in the length

} // namespace

QByteArray controlPacketBytes(const ControlPacket &packet)
{
    const QByteArray payload = packet.payload.left(kMaxControlPayload);
    const int length = int(payload.size()) + kLengthExtra;
    QByteArray bytes;
    bytes.reserve(kHeaderBytes + payload.size());
    bytes += kSync;
    bytes += char(length >> 16);
    bytes += char(length >> 8);
    bytes += char(length);
    bytes += char(packet.control);
    bytes += char(packet.command);
    bytes += payload;
    return bytes;
}

void ControlPacketReader::append(const char *data, qsizetype size)
{
    if (!m_error.isEmpty())
        return;
    // What was taken goes once it is most of the buffer.
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.remove(0, int(m_start));
        m_start = 0;
    }
    m_buffer.append(data, int(size));
}

bool ControlPacketReader::next(ControlPacket *packet)
{
    const qsizetype waiting = m_buffer.size() - m_start;
    if (!m_error.isEmpty() || waiting < 4)
        return false;
    const auto byte = [this](qsizetype i) { return uchar(m_buffer.at(int(m_start + i))); };
    const int length = (byte(1) << 16) | (byte(2) << 8) | byte(3);
    if (byte(0) != uchar(kSync) || length < kLengthExtra || length > kMaxControlPayload + kLengthExtra) {
        m_error = byte(0) != uchar(kSync)
            ? QStringLiteral("a control packet starts with 0x%1, not 'T'").arg(byte(0), 2, 16, QLatin1Char('0'))
            : QStringLiteral("a control packet of length %1").arg(length);
        return false;
    }
    if (waiting < 4 + length)
        return false;
    packet->control = byte(4);
    packet->command = ControlCommand(byte(5));
    packet->payload = m_buffer.mid(int(m_start + kHeaderBytes), length - kLengthExtra);
    m_start += 4 + length;
    return true;
}

} // namespace extcap
