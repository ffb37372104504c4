#ifndef KWN_TESTS_PTYSESSION_H
#define KWN_TESTS_PTYSESSION_H

// A live session on the bundled catalogue, for a pseudo-terminal of the
// test's: the test plays the device on the master side.

#include "serial/bussession.h"
#include "ptypair.h"

struct PtySession
{
    PtyPair device;
    BusSession session{QStringLiteral(KWN_SOURCE_DIR "/xml")};

    bool open()
    {
        SerialSettings settings;
        settings.port = device.path;
        return device.ok() && session.open(settings);
    }
};

#endif
