#ifndef KWN_INSIGHT_WIREFORMAT_H
#define KWN_INSIGHT_WIREFORMAT_H

// How a byte travels on the serial line: what the bus load is reckoned in.

#include <QtGlobal>

struct WireFormat
{
    qint32 baudRate = 9600;
    int dataBits = 8;
    bool parity = false; // a parity bit, whichever kind
    double stopBits = 1; // 1, 1.5 or 2

    // A start bit, the data bits, the parity bit if any and the stop bits.
    double bitsPerByte() const { return 1 + dataBits + (parity ? 1 : 0) + stopBits; }
    // The time `bytes` take on the line, in µs; 0 without a baud rate.
    double wireTimeUs(quint64 bytes) const
    {
        return baudRate > 0 ? double(bytes) * bitsPerByte() * 1e6 / double(baudRate) : 0;
    }
};

#endif
