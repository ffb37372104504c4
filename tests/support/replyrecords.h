#ifndef KWN_TESTS_SUPPORT_REPLYRECORDS_H
#define KWN_TESTS_SUPPORT_REPLYRECORDS_H

// Frames of request and reply scenarios, written "TIME KIND SOURCE>DESTINATION"
// as their tables give them: "12 A2>1" is at 12 ms a reply from node 2 to
// node 1. KIND: Q a request, A a reply (a slave message), B a reply with a
// bad checksum, U a frame whose message the catalogue does not know. Nodes
// are numbers; * is all (FFFFFF), G a group (000000).

#include "codec/busrecord.h"
#include "codec/frame.h"

#include <QStringList>

inline BusRecord replyRecord(const QString &text, qint64 originUs = 0)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QChar kind = parts.value(1).at(0);
    const QStringList route = parts.value(1).mid(1).split(QLatin1Char('>'));
    const auto node = [](const QString &id) {
        return id == QLatin1String("*") ? kBroadcastAddress : id == QLatin1String("G") ? kGroupAddress : id.toUInt();
    };
    BusRecord record;
    record.timeUs = originUs + parts.value(0).toLongLong() * 1000;
    record.parsed = true;
    record.checksumOk = kind != QLatin1Char('B');
    record.messageKnown = kind != QLatin1Char('U');
    record.slaveMessage = kind == QLatin1Char('A') || kind == QLatin1Char('B');
    record.device = QStringLiteral("QX-Drive 40");
    record.message = record.slaveMessage ? QStringLiteral("Post Motor Status") : QStringLiteral("Get Motor Status");
    record.sourceAddress = node(route.value(0));
    record.destinationAddress = node(route.value(1));
    return record;
}

#endif
