#ifndef KWN_INSIGHT_BUSLOAD_H
#define KWN_INSIGHT_BUSLOAD_H

// How busy the bus is, from its records: frames, bad checksums and noise
// bytes counted, and the bus load, the bits on the wire (every byte of
// frames and noise with its start, parity and stop bits) over the bits the
// baud rate carries in the same time. Live, over the last second; for a
// log, over its whole time span. Sent frames count as received ones do:
// both were on the wire. Events are passed over.

#include "codec/busrecord.h"
#include "insight/ratewindow.h"
#include "insight/wireformat.h"

#include <QVector>

struct LoadFigures
{
    quint64 frames = 0;        // bad ones included
    quint64 badChecksums = 0;
    quint64 noiseBytes = 0;
    quint64 bytes = 0;         // of frames and noise
    qint64 firstUs = -1;       // the earliest and latest time of a record; -1: none
    qint64 lastUs = -1;
    quint64 clockStepsBack = 0; // records timed well before the record before them
    qint64 largestStepBackUs = 0;
    double seconds = 0;        // the span the figures are over
    double framesPerSecond = 0;
    double busLoad = 0;        // in percent; above 100 when the times crowd the bytes
};

class BusLoadMeter
{
public:
    // A record timed more than this before the one before it is a step back
    // of the clock; less is a sent frame told of after a later arrival.
    static constexpr qint64 kClockStepBackUs = 1000000;

    explicit BusLoadMeter(const WireFormat &format = WireFormat());

    void setWireFormat(const WireFormat &format) { m_format = format; }
    WireFormat wireFormat() const { return m_format; }

    // A record whose time is below 0 counts, but leaves the times alone
    // (a plain frame line of a log has none).
    void add(const BusRecord &record);
    void add(const QVector<BusRecord> &records);
    void clear();
    // The records that follow come from another log: its first is no step
    // back of the clock, whatever the last log's times.
    void startLog() { m_previousUs = -1; }

    // Everything added, over the span from the first bit of the earliest
    // record (its wire time before its time, which is that of its last byte)
    // to the latest record's time, whatever order they came in.
    LoadFigures overall() const;
    // The records whose time lies within the second up to `nowUs`, to the
    // 10 ms; seconds is 1, firstUs and lastUs the window's ends.
    LoadFigures lastSecond(qint64 nowUs) const;
    // Live figures at `nowUs`: the last second up to the newest record, or
    // up to kLiveLagUs before now when nothing came since. Records reach the
    // meter a batch after they were on the wire, so a second up to now
    // would miss the newest of them and read low on a steady bus.
    static constexpr qint64 kLiveLagUs = 300000;
    LoadFigures live(qint64 nowUs) const;

private:
    WireFormat m_format;
    LoadFigures m_total;
    quint64 m_firstBytes = 0; // of the earliest record
    qint64 m_previousUs = -1; // the time of the last record with one since startLog()
    RateWindow m_recentFrames{1000000, 100};
    RateWindow m_recentBytes{1000000, 100};
    RateWindow m_recentBad{1000000, 100};
    RateWindow m_recentNoise{1000000, 100};
};

#endif
