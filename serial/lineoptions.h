#ifndef KWN_SERIAL_LINEOPTIONS_H
#define KWN_SERIAL_LINEOPTIONS_H

#include "serial/serialconnection.h"

#include <QCommandLineParser>

// The line options a command shares (--baud, --data-bits, --gap, --parity,
// --stop-bits) over the defaults; the first option that is no number is
// said in `problem` when it is still empty. The port is the caller's.
SerialSettings lineOptions(const QCommandLineParser &parser, QString *problem);

#endif
