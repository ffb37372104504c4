#ifndef KWN_CODEC_FRAME_H
#define KWN_CODEC_FRAME_H

// The KWN frame on the bus: a 9-byte header, 0..20 data bytes and a 16-bit
// checksum. Header and data bytes travel inverted; node addresses are least
// significant byte first; the checksum is high byte first and not inverted.

#include <QByteArray>
#include <QString>

// Smallest frame: header and checksum, no data.
constexpr int kFrameOverheadBytes = 11;
// The 5-bit length field counts the whole frame, so at most 20 data bytes fit.
constexpr int kMaxFrameBytes = 31;
constexpr int kMaxDataBytes = kMaxFrameBytes - kFrameOverheadBytes;

// Node addresses are three bytes. Two destinations are no node: 000000
// addresses a group (whose index the source address then carries), FFFFFF
// every node.
constexpr quint32 kMaxNodeAddress = 0xFFFFFF;
constexpr quint32 kGroupAddress = 0x000000;
constexpr quint32 kBroadcastAddress = 0xFFFFFF;

// An unpacked frame. Header fields are held as the sender meant them (inverted
// back); the checksum as received.
struct FrameFields
{
    quint8 messageId = 0;
    bool ackRequested = false;
    quint8 controlBits = 0;
    quint8 length = 0;
    quint8 sourceNodeType = 0;
    quint8 destinationNodeType = 0;
    quint32 sourceAddress = 0;
    quint32 destinationAddress = 0;
    QByteArray data;
    quint16 checksum = 0;
};

// Builds the frame as it goes on the bus. Every argument is masked to its
// field; data is packed in full even beyond 20 bytes.
QByteArray packFrame(quint8 messageId, bool ackRequested, quint8 length,
                     quint8 sourceNodeType, quint8 destinationNodeType,
                     quint32 sourceAddress, quint32 destinationAddress,
                     const QByteArray &data);

// Splits a bus frame of at least 11 bytes into its fields. Checks nothing;
// a shorter input gives the empty record.
FrameFields unpackFrame(const QByteArray &frame);
// The same into `fields`, whose data buffer is reused: for a reader of many
// frames. A frame shorter than 11 bytes leaves `fields` as it was.
void unpackFrame(const QByteArray &frame, FrameFields &fields);

// The checksum of a frame: the sum of its bytes before the checksum (as they
// travel, inverted), low 16 bits, sent high byte first. The one sum that
// every reader and writer of frames uses.
quint16 frameChecksum(const char *bytes, qsizetype size);
inline quint16 frameChecksum(const QByteArray &bytes)
{
    return frameChecksum(bytes.constData(), bytes.size());
}
// The checksum a frame carries in its last two bytes, at `at`.
inline quint16 checksumAt(const uchar *at)
{
    return quint16(at[0] << 8 | at[1]);
}
// Whether the running sum of a frame's bytes before its checksum (any width:
// only its low 16 bits count) matches the checksum at `at`. For readers that
// keep running sums instead of summing each frame again.
inline bool checksumHolds(quint32 sum, const uchar *at)
{
    return quint16(sum) == checksumAt(at);
}

// Empty when `bytes` are one whole frame: 11 to 31 bytes, as many as the
// length byte says, the checksum right, and not all zero (31 zero bytes pass
// the other tests, but are a cleared buffer or a line held low, never a
// frame). Otherwise the first reason in plain words, lower case, without a
// full stop, to follow "Not sent: ". The control bits are not checked.
QString frameProblem(const QByteArray &bytes);

// The bytes of a text of nothing but the hexadecimal digits of a whole frame
// (22 to 62 digits, either case), into `bytes`, whose buffer is reused;
// false for any other text. The quick way of readers of many plain lines.
bool plainFrameBytes(const char *text, qsizetype size, QByteArray &bytes);

// Two upper-case hexadecimal digits per byte, no separators.
QString frameToHexText(const QByteArray &bytes);
// The same text appended to `out`, without a copy made apart.
void appendHexText(const QByteArray &bytes, QString &out);

// One byte per pair of hexadecimal digits. The text is expected to be clean
// (digits only, even length); a trailing odd digit is ignored and a pair that
// is not hexadecimal gives 0.
QByteArray hexTextToBytes(const QString &text);

#endif
