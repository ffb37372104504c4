#ifndef KWN_CATALOGUE_HEXDIGITS_H
#define KWN_CATALOGUE_HEXDIGITS_H

// Hexadecimal digits, written and read, for every layer: the digits to write,
// the one table of digit values and the one reader of digit pairs. In the
// lowest layer, so that the definition reader, the codec, the capture files
// and the command line all share them.

#include <QtGlobal>

// The digits to write: upper case for frames, node IDs and value texts, lower
// case where a format asks for it (JSON escapes, log files).
inline constexpr char kHexDigitsUpper[] = "0123456789ABCDEF";
inline constexpr char kHexDigitsLower[] = "0123456789abcdef";

// The value of each byte read as a hexadecimal digit of either case, 0xFF for
// a byte that is no digit.
struct HexDigitTable
{
    quint8 value[256];
    constexpr HexDigitTable() : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = 0xFF;
        for (int i = 0; i < 16; ++i) {
            value[quint8(kHexDigitsUpper[i])] = quint8(i);
            value[quint8(kHexDigitsLower[i])] = quint8(i);
        }
    }
};
inline constexpr HexDigitTable kHexDigitValues;

// The value of a hexadecimal digit of either case; -1 for any other
// character (of any width: a QChar's unicode() may be given).
constexpr int hexDigitValue(uint c)
{
    return c < 256 && kHexDigitValues.value[c] != 0xFF ? kHexDigitValues.value[c] : -1;
}

// The same two tests without a table and without a branch, for loops that the
// compiler should vectorise: whether a byte is a digit, and the value of a
// byte known to be one.
constexpr bool isHexDigitByte(uchar c)
{
    return (uchar(c - '0') < 10) | (uchar((c | 0x20) - 'a') < 6);
}
constexpr uint knownHexDigitValue(uchar c)
{
    return (c & 0x0Fu) + 9u * (c >> 6);
}

// Reads `count` bytes from the 2 * count digits at `text`, the first of each
// pair the high half, into `out`. False at the first pair holding anything
// but a digit (the bytes before it are written).
inline bool hexPairsToBytes(const char *text, qsizetype count, char *out)
{
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 high = kHexDigitValues.value[quint8(text[2 * i])];
        const quint8 low = kHexDigitValues.value[quint8(text[2 * i + 1])];
        if ((high | low) & 0xF0)
            return false;
        out[i] = char(high << 4 | low);
    }
    return true;
}

#endif
