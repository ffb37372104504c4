#ifndef KWN_CLI_SERIALOPTIONS_H
#define KWN_CLI_SERIALOPTIONS_H

// The serial port options that kwn-frame monitor and send share.

#include "serial/serialconnection.h"

#include <QCommandLineParser>
#include <QString>

// Their lines in a command's help.
#define KWN_SERIAL_OPTIONS_HELP \
    "  --port DEV        serial port, by name (ttyUSB0) or path (/dev/pts/5)\n" \
    "  --baud N          baud rate (default 9600)\n" \
    "  --data-bits N     5, 6, 7 or 8 (default 8)\n" \
    "  --parity P        none, even, odd, mark or space (default none)\n" \
    "  --stop-bits S     1, 1.5 or 2 (default 1)\n"

namespace cli {

// --port, --baud, --data-bits, --parity, --stop-bits and --gap.
void addSerialOptions(QCommandLineParser &parser);

// Whether a command needs --port (monitor --input reads a capture instead).
enum class PortUse { Required, Unused };

// The settings the options give; empty problem when they are all allowed.
SerialSettings serialSettings(const QCommandLineParser &parser, QString *problem,
                              PortUse portUse = PortUse::Required);

} // namespace cli

#endif
