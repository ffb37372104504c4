#ifndef KWN_TESTS_BUSFRAMES_H
#define KWN_TESTS_BUSFRAMES_H

// Frames of the messages of the bundled catalogue, as the test's devices send them.

#include "catalogue/catalogue.h"
#include "codec/frame.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QVector>

// `size` random bytes.
inline QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// A frame with random addresses, length and data.
inline QByteArray randomFrame(QRandomGenerator &random, quint8 msgId, quint8 nodeType)
{
    const QByteArray data = randomBytes(random, int(random.bounded(kMaxDataBytes + 1)));
    return packFrame(msgId, random.bounded(2) == 1, quint8(kFrameOverheadBytes + data.size()), nodeType,
                     quint8(random.bounded(16)), random.bounded(1, 0xFFFFFE), random.bounded(1, 0xFFFFFE), data);
}

// A frame with the given message identifier and number of data bytes (0..20),
// random otherwise.
inline QByteArray randomFrameWithData(QRandomGenerator &random, quint8 msgId, int dataBytes)
{
    const QByteArray data = randomBytes(random, dataBytes);
    return packFrame(msgId, random.bounded(2) == 1, quint8(kFrameOverheadBytes + dataBytes),
                     quint8(random.bounded(16)), quint8(random.bounded(16)), random.bounded(1, 0xFFFFFE),
                     random.bounded(1, 0xFFFFFE), data);
}

// The frame with one byte changed, never the control byte: it keeps its
// length and fails its checksum only (a sum differs by less than 256).
inline QByteArray withOneByteFlipped(QRandomGenerator &random, const QByteArray &frame)
{
    QByteArray bad = frame;
    int at = int(random.bounded(frame.size() - 1));
    if (at >= 1)
        ++at;
    bad[at] = char(quint8(bad.at(at)) ^ quint8(random.bounded(1, 256)));
    return bad;
}

// `count` frames of the bundled messages, each in turn (catalogue order),
// with random addresses, length and data.
inline QVector<QByteArray> bundledFrames(int count, quint32 seed)
{
    QVector<QPair<quint8, quint8>> kinds; // message identifier, node type
    for (const ProfileDefinition &profile : loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"))) {
        for (const MessageDefinition &message : messagesOfProfile(profile, false))
            kinds.append({quint8(message.msgId), quint8(profile.nodeType)});
    }
    QRandomGenerator random(seed);
    QVector<QByteArray> frames;
    for (int i = 0; i < count && !kinds.isEmpty(); ++i)
        frames.append(randomFrame(random, kinds.at(i % kinds.size()).first, kinds.at(i % kinds.size()).second));
    return frames;
}

// A status frame (message 0x21 of node type 3) from `source` with one data byte.
inline QByteArray statusFrame(quint32 source, quint8 value)
{
    return packFrame(0x21, false, 12, 3, 0, source, 0x000002, QByteArray(1, char(value)));
}

inline QByteArray withBadChecksum(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    return frame;
}

inline QByteArray concat(const QVector<QByteArray> &parts)
{
    QByteArray all;
    for (const QByteArray &part : parts)
        all += part;
    return all;
}

#endif
