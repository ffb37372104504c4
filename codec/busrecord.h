#ifndef KWN_CODEC_BUSRECORD_H
#define KWN_CODEC_BUSRECORD_H

// One row of the Bus page: a frame received or sent, or a run of noise, with
// the texts decoded once as it arrived. The views render from these fields
// and never decode again.

#include <QByteArray>
#include <QString>
#include <QMetaType>
#include <QtGlobal>

struct BusRecord
{
    enum Kind : quint8 { Received, Sent, Noise };

    qint64 timeMs = 0;     // arrival (or write) time, ms since the epoch
    qint32 deltaMs = -1;   // since the previous frame of the list; -1: none
    Kind kind = Received;
    bool parsed = false;   // the header could be read (a frame of 11..31 bytes)
    bool checksumOk = false;
    quint8 messageId = 0;
    quint32 sourceAddress = 0;
    quint32 destinationAddress = 0;
    QByteArray bytes;      // as on the bus
    QString device;        // shared between records of one product
    QString message;
    QString values;        // the single-line decoding
    QByteArray search;     // every column, lower case, UTF-8: what the filter reads
};

// Batches of records go between threads (a log read in the background).
Q_DECLARE_METATYPE(BusRecord)

// The columns of the frame list.
enum BusColumn {
    ColumnTime,
    ColumnDelta,
    ColumnDirection,
    ColumnDevice,
    ColumnMessage,
    ColumnRoute,
    ColumnValues,
    ColumnBytes,
    ColumnChecksum,
    BusColumnCount
};

// "hh:mm:ss.mmm" in local time.
QString timeOfDayText(qint64 timeMs);
// "RX" or "TX" (noise is received).
QString directionText(BusRecord::Kind kind);
// "000001 → 000002", "000001 → Group", "000001 → Broadcast".
QString routeText(quint32 source, quint32 destination);
// "1 byte", "3 bytes": a count in words.
QString countText(quint64 count, const char *singular, const char *plural);
// The text of one column of the frame list.
QString columnText(const BusRecord &record, int column);
// Fills record.search from the column texts.
void prepareSearch(BusRecord &record);
// The filter text as record.search is written.
QByteArray searchNeedle(const QString &filterText);

#endif
