#ifndef KWN_CODEC_BUSRECORD_H
#define KWN_CODEC_BUSRECORD_H

// One row of the Bus page: a frame received or sent, a run of noise, or an
// event of the session (the port opened, closed or lost), with the texts
// decoded once as it arrived. The views render from these fields and never
// decode again.

#include <QByteArray>
#include <QString>
#include <QMetaType>
#include <QtGlobal>
#include <QVector>

struct BusRecord
{
    enum Kind : quint8 { Received, Sent, Noise, Event };

    // When its last byte came (a sent frame: when it was written), in µs
    // since the epoch. The splitter gives the time its first byte was fed
    // with; the serial connection, which knows the line's byte time, sets
    // the time of the last byte.
    qint64 timeUs = 0;
    qint64 deltaUs = -1;   // since the previous frame; -1: none (noise, events)
    quint64 offset = 0;    // stream offset of its first byte, as the splitter counts
    Kind kind = Received;
    bool parsed = false;   // the header could be read (a frame of 11..31 bytes)
    bool checksumOk = false;
    quint8 messageId = 0;
    // The catalogue knows its message, and it is a slave message (a node's
    // reply): what the pairing of requests and replies reads.
    bool messageKnown = false;
    bool slaveMessage = false;
    quint32 sourceAddress = 0;
    quint32 destinationAddress = 0;
    QByteArray bytes;      // as on the bus
    QString device;        // shared between records of one product
    QString message;
    QString values;        // the single-line decoding; an event's text
    // The Values column: the parameters ("Position=75, Speed=Normal"), after
    // the status and a bar when the decoding was not a success; an event's text.
    QString shownValues;
    bool statusShown = false; // shownValues holds that status: the cell is red
};

// A frame's Values column from its decoding: sets record.shownValues and
// record.statusShown. `parameters` as parametersText gives them; the status
// goes first when the decoding was not a success, and "bad checksum" before
// all when record.parsed holds and record.checksumOk does not.
void setShownValues(BusRecord &record, const QString &status, bool success, const QString &parameters);
// An event row at `timeUs`: "Connected to /dev/ttyUSB0", "Disconnected".
BusRecord eventRecord(qint64 timeUs, const QString &text);

// Frames, noise runs and events among records, counted one way for every
// writer and reader that says how many it wrote or read.
struct RecordCounts
{
    quint64 frames = 0; // received and sent, bad checksums included
    quint64 noiseRuns = 0;
    quint64 events = 0;

    void add(const BusRecord &record);
    void add(const QVector<BusRecord> &records);
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

// "hh:mm:ss.uuuuuu" in local time, for a time in µs since the epoch.
QString timeOfDayText(qint64 timeUs);
// A time between two records in ms to the µs: "12.500"; empty for -1.
QString deltaText(qint64 deltaUs);
// Seconds to the µs: "3.012500", "-0.000250".
QString secondsText(qint64 us);
// "RX" or "TX" (noise is received).
QString directionText(BusRecord::Kind kind);
// "F0 EF DF": the bytes in hex, spaced, as the Bytes column shows them.
QString spacedHexText(const QByteArray &bytes);
// "000001 → 000002", "000001 → Group", "000001 → Broadcast".
QString routeText(quint32 source, quint32 destination);
// "1 byte", "3 bytes": a count in words.
QString countText(quint64 count, const char *singular, const char *plural);
// The text of one column of the frame list.
QString columnText(const BusRecord &record, int column);
// The whole text of a cell, for its tool tip: the single line for Values.
QString columnToolTip(const BusRecord &record, int column);
// What the filter reads in a record: the column texts, a line break between
// them, then the bytes in hex unspaced as logs and the Decode page write
// them; lower case, UTF-8. Made only when a filter word holds a line break:
// the filter reads the record's own fields otherwise.
QByteArray searchText(const BusRecord &record);

// The quick filter: words that must all be in a record's searchText,
// "-word" for one that must not, a "double-quoted phrase" as one word.
// Case is ignored.
class BusFilter
{
public:
    BusFilter() = default;
    explicit BusFilter(const QString &text);

    bool isEmpty() const { return m_required.isEmpty() && m_excluded.isEmpty(); }
    // Against a text as searchText makes it.
    bool matches(const QByteArray &search) const;
    // The same as matches(searchText(record)), read from the fields: a word
    // is looked for only in the columns whose characters can hold it.
    bool matches(const BusRecord &record) const;

private:
    struct Word
    {
        QByteArray text; // lower case, UTF-8
        quint32 places = 0; // the WordPlace values where it can be
    };
    static Word word(const QString &text);
    static bool holds(const BusRecord &record, const Word &word);

    QVector<Word> m_required;
    QVector<Word> m_excluded;
};

#endif
