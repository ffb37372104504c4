#ifndef KWN_TESTS_SUPPORT_BUSRECORDS_H
#define KWN_TESTS_SUPPORT_BUSRECORDS_H

// Records written short, as tables in tests/data give them, separated by
// spaces: KIND@TIME:HEX (the bytes in hex) or KIND@TIME*N (N bytes of 55),
// KIND one of rx, tx, bad (received, its checksum failed) and noise; and
// event@TIME. TIME in µs, -1 for none. Frames are marked read, their
// checksum holding but for bad ones; nothing is decoded. busRecordsText
// writes records so again (every frame received as rx), to compare them.

#include "codec/busrecord.h"

#include <QRegularExpression>
#include <QtTest>

inline BusRecord busRecord(BusRecord::Kind kind, qint64 timeUs, const QByteArray &bytes)
{
    BusRecord record;
    record.kind = kind;
    record.timeUs = timeUs;
    record.bytes = bytes;
    return record;
}

inline QVector<BusRecord> busRecords(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(rx|tx|bad|noise|event)@(-?\\d+)(?::(\\w*)|\\*(\\d+))?$"));
    QVector<BusRecord> records;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = form.match(word);
        const QString kind = m.captured(1);
        const qint64 timeUs = m.captured(2).toLongLong();
        if (!m.hasMatch() || kind == QLatin1String("event")) {
            records << eventRecord(timeUs, m.hasMatch() ? QStringLiteral("Disconnected") : QStringLiteral("NO RECORD ") + word);
            continue;
        }
        const QByteArray bytes = m.captured(4).isEmpty() ? QByteArray::fromHex(m.captured(3).toLatin1())
                                                         : QByteArray(m.captured(4).toInt(), '\x55');
        records << busRecord(kind == QLatin1String("tx") ? BusRecord::Sent
                                 : kind == QLatin1String("noise") ? BusRecord::Noise : BusRecord::Received,
                             timeUs, bytes);
        records.last().parsed = kind != QLatin1String("noise");
        records.last().checksumOk = kind == QLatin1String("rx") || kind == QLatin1String("tx");
    }
    return records;
}

inline QString busRecordsText(const QVector<BusRecord> &records)
{
    QStringList words;
    for (const BusRecord &r : records) {
        static const char *const kinds[] = {"rx", "tx", "noise", "event"};
        words << QStringLiteral("%1@%2").arg(QLatin1String(kinds[r.kind])).arg(r.timeUs)
                + (r.kind == BusRecord::Event ? QString() : QLatin1Char(':') + QString::fromLatin1(r.bytes.toHex().toUpper()));
    }
    return words.join(QLatin1Char(' '));
}

#endif
