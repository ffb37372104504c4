#ifndef KWN_TESTS_SUPPORT_SHOWNBUS_H
#define KWN_TESTS_SUPPORT_SHOWNBUS_H

// What the Bus page's tools work on: a live session on the bundled
// catalogue, its trace store, and what the page shows of them.

#include "bustools/showntrace.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

#include <optional>

struct ShownBus
{
    BusSession live{QStringLiteral(KWN_SOURCE_DIR "/xml")};
    TraceStore store;
    ShownTrace shown{&live, &store};
};

#endif
