#ifndef KWN_TESTS_BUSLOGS_H
#define KWN_TESTS_BUSLOGS_H

// Bus logs the tests write: records of their own, one line each, times to
// the µs, as Save and Record write them.

#include "codec/buslogfile.h"
#include "codec/busrecord.h"
#include "cataloguefiles.h"

#include <QVector>

inline BusRecord logged(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind = BusRecord::Received)
{
    BusRecord record;
    record.kind = kind;
    record.timeUs = timeUs;
    record.bytes = bytes;
    return record;
}

inline BusRecord noise(const QByteArray &bytes, qint64 timeUs)
{
    return logged(bytes, timeUs, BusRecord::Noise);
}

inline bool writeLog(const QString &path, const QVector<BusRecord> &records)
{
    QByteArray text;
    for (const BusRecord &record : records)
        text += busLogLineOf(record, true);
    return writeFile(path, text);
}

#endif
