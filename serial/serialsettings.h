#ifndef KWN_SERIAL_SERIALSETTINGS_H
#define KWN_SERIAL_SERIALSETTINGS_H

// The settings of a serial line: the port, its baud rate and framing, and
// the gap that ends a frame; what they may be, and what a byte takes.

#include "insight/wireformat.h"

#include <QList>
#include <QString>
#include <QStringList>

struct SerialSettings
{
    QString port;              // name ("ttyUSB0") or full path ("/dev/pts/5")
    qint32 baudRate = 9600;
    int dataBits = 8;          // 5..8
    QString parity = QStringLiteral("none");  // none|even|odd|mark|space
    QString stopBits = QStringLiteral("1");   // 1|1.5|2
    int gapMs = 100;

    // Empty when every field holds an allowed value, else what is wrong with
    // the first that does not, for example "parity must be none, even, odd,
    // mark or space".
    QString problem() const;
    // The same for every field but the port: the line settings alone.
    QString lineProblem() const;

    // The values the line settings may take, offered as choices by the Bus
    // page and by the capture options in Wireshark; problem() holds to them.
    static QList<int> dataBitsChoices();    // 5 to 8
    static QStringList parityChoices();     // none, even, odd, mark, space
    static QStringList stopBitsChoices();   // 1, 1.5, 2
    // Any positive rate is taken; these are the usual ones.
    static QList<int> commonBaudRates();

    // How long one byte takes on the line, in µs: a start bit, the data
    // bits, a parity bit when there is one, and the stop bits.
    double byteTimeUs() const;
};

// How a byte of these settings travels on the line, what the bus load is
// reckoned in.
WireFormat wireFormatOf(const SerialSettings &settings);

#endif
