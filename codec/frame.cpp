#include "codec/frame.h"

#include "catalogue/hexdigits.h"

QByteArray packFrame(quint8 messageId, bool ackRequested, quint8 length,
                     quint8 sourceNodeType, quint8 destinationNodeType,
                     quint32 sourceAddress, quint32 destinationAddress,
                     const QByteArray &data)
{
    QByteArray frame;
    frame.reserve(kFrameOverheadBytes + data.size());
    frame.append(char(messageId));
    frame.append(char((ackRequested ? 0x80 : 0x00) | (length & 0x1F)));
    frame.append(char(quint8(sourceNodeType << 4) | (destinationNodeType & 0x0F)));
    for (int shift = 0; shift < 24; shift += 8)
        frame.append(char((sourceAddress >> shift) & 0xFF));
    for (int shift = 0; shift < 24; shift += 8)
        frame.append(char((destinationAddress >> shift) & 0xFF));
    frame.append(data);

    for (char &byte : frame)
        byte = char(~quint8(byte));

    const quint16 sum = frameChecksum(frame);
    frame.append(char(sum >> 8));
    frame.append(char(sum & 0xFF));
    return frame;
}

FrameFields unpackFrame(const QByteArray &frame)
{
    FrameFields fields;
    unpackFrame(frame, fields);
    return fields;
}

void unpackFrame(const QByteArray &frame, FrameFields &fields)
{
    const int n = frame.size();
    if (n < kFrameOverheadBytes)
        return;

    auto plain = [&frame](int i) { return quint8(~quint8(frame.at(i))); };

    fields.messageId = plain(0);
    const quint8 control = plain(1);
    fields.ackRequested = (control & 0x80) != 0;
    fields.controlBits = (control >> 5) & 0x03;
    fields.length = control & 0x1F;
    const quint8 nodeTypes = plain(2);
    fields.sourceNodeType = nodeTypes >> 4;
    fields.destinationNodeType = nodeTypes & 0x0F;
    fields.sourceAddress = quint32(plain(3)) | quint32(plain(4)) << 8 | quint32(plain(5)) << 16;
    fields.destinationAddress = quint32(plain(6)) | quint32(plain(7)) << 8 | quint32(plain(8)) << 16;

    const int dataBytes = n - kFrameOverheadBytes;
    if (fields.data.size() != dataBytes) // a reused buffer mostly has the size already
        fields.data.resize(dataBytes);
    const char *in = frame.constData() + 9;
    char *out = fields.data.data();
    int i = 0;
    for (constexpr int kBlock = 4096; dataBytes - i >= kBlock; i += kBlock) {
        for (int k = 0; k < kBlock; ++k) // a block at a time, so that it is vectorised
            out[i + k] = char(~in[i + k]);
    }
    for (; i < dataBytes; ++i)
        out[i] = char(~in[i]);

    fields.checksum = checksumAt(reinterpret_cast<const uchar *>(frame.constData()) + n - 2);
}

quint16 frameChecksum(const char *bytes, qsizetype size)
{
    // Summed in place, a block at a time so that it is vectorised: the bytes
    // may be a long line's worth.
    const uchar *in = reinterpret_cast<const uchar *>(bytes);
    quint32 sum = 0;
    qsizetype i = 0;
    for (constexpr int kBlock = 4096; size - i >= kBlock; i += kBlock) {
        for (int k = 0; k < kBlock; ++k)
            sum += in[i + k];
    }
    for (; i < size; ++i)
        sum += in[i];
    return quint16(sum);
}

static QString byteCount(int n)
{
    return n == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(n);
}

static QString checksumText(quint16 checksum)
{
    return QStringLiteral("%1").arg(checksum, 4, 16, QLatin1Char('0')).toUpper();
}

QString frameProblem(const QByteArray &bytes)
{
    const int n = bytes.size();
    if (n < kFrameOverheadBytes || n > kMaxFrameBytes)
        return QStringLiteral("a frame is %1 to %2 bytes; this is %3")
            .arg(kFrameOverheadBytes)
            .arg(kMaxFrameBytes)
            .arg(byteCount(n));
    if (bytes.count('\0') == n)
        return QStringLiteral("all bytes are zero");
    const int announced = quint8(~quint8(bytes.at(1))) & 0x1F;
    if (announced != n)
        return QStringLiteral("the length byte says %1 but there are %2").arg(byteCount(announced)).arg(n);
    const quint16 expected = frameChecksum(bytes.constData(), n - 2);
    const quint16 given = checksumAt(reinterpret_cast<const uchar *>(bytes.constData()) + n - 2);
    if (given != expected)
        return QStringLiteral("the checksum is wrong: the frame ends in %1, expected %2")
            .arg(checksumText(given), checksumText(expected));
    return QString();
}

QString frameToHexText(const QByteArray &bytes)
{
    QString text;
    appendHexText(bytes, text);
    return text;
}

void appendHexText(const QByteArray &bytes, QString &out)
{
    const char *digits = kHexDigitsUpper;
    const int at = out.size();
    out.resize(at + bytes.size() * 2);
    QChar *o = out.data() + at;
    for (char byte : bytes) {
        const quint8 b = quint8(byte);
        *o++ = QLatin1Char(digits[b >> 4]);
        *o++ = QLatin1Char(digits[b & 0x0F]);
    }
}

bool plainFrameBytes(const char *text, qsizetype size, QByteArray &bytes)
{
    if (size < 2 * kFrameOverheadBytes || size > 2 * kMaxFrameBytes || size % 2 != 0)
        return false;
    const int n = int(size / 2);
    if (bytes.size() != n)
        bytes.resize(n);
    return hexPairsToBytes(text, n, bytes.data());
}

QByteArray hexTextToBytes(const QString &text)
{
    const int count = text.size() / 2;
    QByteArray bytes(count, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        const int high = hexDigitValue(text.at(2 * i).unicode());
        const int low = hexDigitValue(text.at(2 * i + 1).unicode());
        bytes[i] = (high < 0 || low < 0) ? char(0) : char(high << 4 | low);
    }
    return bytes;
}
