#ifndef KWN_BUSTOOLS_BUSFIGURES_H
#define KWN_BUSTOOLS_BUSFIGURES_H

// The Bus page's figures in words, of what it shows (bustools/showntrace.h):
// the load line (frames a second, the bus load, bad checksums, noise) and
// the counters line. Live, rates, silence and the load are reckoned up to
// now; for an opened log, up to its last time, and the load over the whole
// log.

#include "insight/busload.h"
#include "serial/bussession.h"

#include <QString>

class ShownTrace;

// What the counters line tells.
struct CounterFigures
{
    BusCounters counters;         // of the session shown
    quint64 droppedFromList = 0;  // by the store's ring
    quint64 droppedFromLatest = 0;
    bool paused = false;          // the live session
    int waiting = 0;              // records it holds back meanwhile
};

CounterFigures counterFigures(const ShownTrace &shown);
// "N received, N sent, B bad checksums, M bytes of noise", then what was
// dropped (older ones: by the ring, while paused, or unread by the port;
// from Latest) and whether the live bus is paused.
QString countersText(const CounterFigures &figures);

// The time rates and silence are reckoned at: `nowUs` live, an opened log's
// last time.
qint64 insightTimeUs(const ShownTrace &shown, qint64 nowUs);
// "N frames/s · load X.X % · B bad checksums · M noise bytes": live, the
// frames of the last second; over a log, its rate to a tenth.
QString loadText(const LoadFigures &figures, bool overLog);
// The load line of what is shown, at insightTimeUs.
QString loadText(const ShownTrace &shown, qint64 atUs);

#endif
