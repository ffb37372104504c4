#ifndef KWN_INSIGHT_CSVWRITER_H
#define KWN_INSIGHT_CSVWRITER_H

// Decoded frames as CSV for spreadsheets: one row per parameter,
//   time,direction,source,destination,device,message,parameter,value,raw
// with the value as `kwn-frame decode --single-line` shows it after
// "Name=" and raw the number read from the frame in decimal (empty for a
// string). A frame without parameters gives one row with the parameter
// empty; a frame refused as none gives one row with the message empty and
// its status as the value, and so does a frame whose decoding ended in a
// red status before any parameter. Fields are quoted as RFC 4180 asks
// (a comma, a quote or a line break inside), and rows end with CR LF.
// Noise and events give no rows.

#include "codec/busrecord.h"
#include "codec/framereport.h"

#include <QByteArray>
#include <QHash>
#include <QVector>

class CsvWriter
{
public:
    // Distinct frames whose rows are kept; beyond it the cache starts anew.
    static constexpr int kCacheFrames = 4096;

    explicit CsvWriter(DecodeCatalogue &catalogue) : m_catalogue(catalogue) {}

    // The header row, with its line end.
    static QByteArray header();
    // A field as it goes into a row: quoted, its quotes doubled, when it
    // holds a comma, a quote, a CR or a LF; as it is otherwise.
    static void appendField(const QString &text, QByteArray &out);
    static void appendField(const char *utf8, qsizetype size, QByteArray &out);

    // The rows of a report, with its time and direction.
    static void appendReport(const FrameReport &report, QByteArray &out);

    // The rows of a frame given by its bytes, after `time` and `direction`
    // (UTF-8, quoted here as needed): the same as appendReport of its
    // report, each distinct frame decoded once. Returns whether the bytes
    // were accepted as a frame (FrameReport::parsed).
    bool appendFrame(const QByteArray &bytes, const QByteArray &time, const QByteArray &direction,
                     QByteArray &out);
    // The rows of a frame record, its time as a log writes it (to the µs
    // when `precise`); nothing for noise and events.
    void appendRecord(const BusRecord &record, bool precise, QByteArray &out);

private:
    struct Rows
    {
        bool parsed = false;
        QVector<QByteArray> tails; // each row from the source on, with its line end
    };
    static QVector<QByteArray> rowTails(const FrameReport &report);

    DecodeCatalogue &m_catalogue;
    QHash<QByteArray, Rows> m_rows;
};

#endif
