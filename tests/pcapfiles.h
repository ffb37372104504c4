#ifndef KWN_TESTS_PCAPFILES_H
#define KWN_TESTS_PCAPFILES_H

// A pcap file made by hand, little-endian, independent of libpcap.

#include <QByteArray>
#include <QtEndian>

inline QByteArray pcapHeader(quint32 linkType = 147, quint32 magic = 0xA1B2C3D4)
{
    QByteArray h(24, '\0');
    qToLittleEndian<quint32>(magic, h.data());
    qToLittleEndian<quint16>(2, h.data() + 4);
    qToLittleEndian<quint16>(4, h.data() + 6);
    qToLittleEndian<quint32>(65535, h.data() + 16);
    qToLittleEndian<quint32>(linkType, h.data() + 20);
    return h;
}

inline QByteArray pcapRecord(const QByteArray &payload, quint32 seconds = 1796598109, quint32 us = 407000,
                             qint64 caplen = -1, qint64 len = -1)
{
    QByteArray r(16, '\0');
    qToLittleEndian<quint32>(seconds, r.data());
    qToLittleEndian<quint32>(us, r.data() + 4);
    qToLittleEndian<quint32>(quint32(caplen < 0 ? payload.size() : caplen), r.data() + 8);
    qToLittleEndian<quint32>(quint32(len < 0 ? payload.size() : len), r.data() + 12);
    return r + payload;
}

#endif
