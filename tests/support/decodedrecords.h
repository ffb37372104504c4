#ifndef KWN_TESTS_SUPPORT_DECODEDRECORDS_H
#define KWN_TESTS_SUPPORT_DECODEDRECORDS_H

// Good frame records as the session hands them to the store, their texts
// already decoded: frame n carries n in its bytes and "Count=n" as values.

#include "codec/busrecord.h"

#include <QVector>

inline BusRecord decodedFrame(int n, qint64 timeMs, quint32 source = 0x000001,
                              const QString &message = QStringLiteral("Status"))
{
    BusRecord r;
    r.timeUs = timeMs * 1000;
    r.parsed = true;
    r.checksumOk = true;
    r.messageId = quint8(message.size());
    r.sourceAddress = source;
    r.destinationAddress = 0x000002;
    r.bytes = QByteArray(11, char(n & 0xFF));
    r.device = QStringLiteral("Drive");
    r.message = message;
    r.values = QStringLiteral("Frame decoded successfully. | Drive | Count=%1").arg(n);
    r.shownValues = QStringLiteral("Count=%1").arg(n);
    return r;
}

// Frames first to first + count - 1, a millisecond apart from `timeMs` on.
inline QVector<BusRecord> decodedFrames(int first, int count, qint64 timeMs = 1000)
{
    QVector<BusRecord> batch;
    for (int i = first; i < first + count; ++i)
        batch.append(decodedFrame(i, timeMs + i));
    return batch;
}

#endif
