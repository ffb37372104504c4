#ifndef KWN_INSIGHT_CSVWRITER_H
#define KWN_INSIGHT_CSVWRITER_H

// Decoded frames as CSV for spreadsheets: one row per parameter,
//   time,direction,source,destination,device,message,parameter,value,raw,status,checksum_ok
// with the value as `kwn-frame decode --single-line` shows it after
// "Name=" and raw the number read from the frame in decimal (empty for a
// string). status is the frame's status line and checksum_ok "true" or
// "false" (false too for a text refused as no frame), both on every row of
// the frame. A frame without parameters gives one row with the parameter
// empty; a frame refused as none gives one row with the message empty and
// its status as the value too, and so does a frame whose decoding ended in a
// red status before any parameter. Fields are quoted as RFC 4180 asks
// (a comma, a quote or a line break inside), and rows end with CR LF.
// Noise and events give no rows.
//
// Every cell is either a number (raw, a value that is raw's decimal text,
// a plotted point) written as it is, or a text that no spreadsheet reads as
// a formula or a number: node IDs are written "0x" and their six digits,
// and a text that starts with = + - @ a tab, a CR or a ' or that reads as
// a number (1E0005, 0042, 12e4) gets a leading ' (drop one to get the text
// back). This is the only writer of CSV: the plot window's export too.

#include "codec/busrecord.h"
#include "codec/framereport.h"

#include <QByteArray>
#include <QHash>
#include <QVector>

class ValueSeries;

class CsvWriter
{
public:
    // Distinct frames whose rows are kept; beyond it the cache starts anew.
    static constexpr int kCacheFrames = 4096;

    explicit CsvWriter(DecodeCatalogue &catalogue) : m_catalogue(catalogue) {}

    // The header row, with its line end.
    static QByteArray header();
    // A text cell as it goes into a row: after a ' when it would start a
    // formula or read as a number; then quoted, its quotes doubled, when it
    // holds a comma, a quote, a CR or a LF; as it is otherwise.
    static void appendField(const QString &text, QByteArray &out);
    static void appendField(const char *utf8, qsizetype size, QByteArray &out);
    // Whether a spreadsheet reads the text as a number: spaces, a sign,
    // digits (with thousands commas), a decimal point, an exponent.
    static bool readsAsNumber(const char *text, qsizetype size);

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

    // The points of plotted series: a header "time,series,value,name", then
    // one row per point, all series merged in time order (a tie in series
    // order), the time as logs write it to the µs, the series by its title,
    // the value as the number read, and for a named value its name.
    static QByteArray seriesCsv(const QVector<const ValueSeries *> &series);

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
