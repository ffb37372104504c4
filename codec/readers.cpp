#include "codec/readers.h"

#include <algorithm>

// Number of bytes of the field that lie inside the data.
static quint64 bytesPresent(const QByteArray &data, quint64 offset, quint32 size)
{
    const quint64 available = quint64(data.size());
    if (offset >= available)
        return 0;
    return std::min<quint64>(size, available - offset);
}

quint32 readUnsigned(const QByteArray &data, quint64 offset, quint32 size)
{
    const quint64 present = bytesPresent(data, offset, size);
    quint32 value = 0;
    for (quint64 k = 0; k < present; ++k)
        value |= quint32(quint8(data.at(int(offset + k)))) << (8 * (k % 4));
    return value;
}

qint32 readSigned(const QByteArray &data, quint64 offset, quint32 size)
{
    quint32 value = readUnsigned(data, offset, size);
    if (size >= 1 && size <= 3) {
        const quint64 last = offset + size - 1;
        if (last < quint64(data.size()) && (quint8(data.at(int(last))) & 0x80))
            value |= ~quint32(0) << (8 * size);
    }
    return qint32(value);
}

QString readString(const QByteArray &data, quint64 offset, quint32 size)
{
    const quint64 present = bytesPresent(data, offset, size);
    const quint64 length = std::max<quint64>(present, std::min<quint64>(size, kMaxStringPadding));
    QString text(int(length), QChar(0));
    QChar *out = text.data();
    for (quint64 k = 0; k < present; ++k)
        out[k] = QChar(ushort(quint8(data.at(int(offset + k)))));
    return text;
}
