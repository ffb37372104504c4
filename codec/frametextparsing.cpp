// Frame text into bytes: the hexadecimal digits of a pasted, typed or
// piped line, packed straight into a frame without a cleaned copy.

#include "codec/framedecoding.h"

#include "catalogue/hexdigits.h"

#include <QtEndian>

#include <cstring>

namespace {

// Calls `digit` with each hexadecimal digit of the text, lower-cased, every
// "0x"/"0X" prefix and every other character skipped. Lower-casing never
// turns any other character into an ASCII hex digit, a '0' or an 'x', so a
// per-code-unit test gives the same result as lower-casing, dropping "0x"
// and filtering, without three passes.
template <typename Digit>
void forEachHexDigit(const QString &text, Digit digit)
{
    const int n = text.size();
    const QChar *in = text.constData();
    for (int i = 0; i < n; ++i) {
        const ushort u = in[i].unicode();
        if (u >= 0x80 || !isHexDigitByte(uchar(u)))
            continue;
        if (u == '0' && i + 1 < n && (in[i + 1].unicode() | 0x20) == 'x') {
            ++i; // the 'x' is no digit either
            continue;
        }
        digit(ushort(u | 0x20)); // a digit stays, a letter goes lower case
    }
}

// Digits packed two to a byte, the first the high half.
struct DigitPacker
{
    char *out;
    qsizetype digits = 0;
    int high = 0;

    void add(int value)
    {
        if (digits++ % 2 == 0)
            high = value;
        else
            *out++ = char(high << 4 | value);
    }
};

// Eight digits, the first in the lowest byte, as four bytes, the first in
// the lowest, in one go.
quint32 packEightDigits(quint64 digits)
{
    constexpr quint64 kLow = 0x0F0F0F0F0F0F0F0FULL;
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    constexpr quint64 kEven = 0x00FF00FF00FF00FFULL;
    // Each byte's value as knownHexDigitValue makes it: bit 6 is set for a letter.
    const quint64 values = (digits & kLow) + 9 * ((digits >> 6) & kOnes);
    quint64 pairs = (values & kEven) << 4 | ((values >> 8) & kEven);
    pairs = (pairs | pairs >> 8) & 0x0000FFFF0000FFFFULL;
    return quint32(pairs | pairs >> 16);
}

// The digits of UTF-8 text by the rule of forEachHexDigit. A byte of a
// multi-byte sequence, or of an invalid one, is never an ASCII digit, '0' or
// 'x', nor does it hide one, so the bytes give the digits of their text.
// Runs of nothing but digits, the bulk of a long frame text, are checked and
// packed a block at a time, and blocks without a digit passed over; any
// other block goes byte by byte.
void packDigits(const uchar *in, qsizetype n, DigitPacker &p)
{
    constexpr int kRun = 64;
    for (qsizetype i = 0; i < n;) {
        if (n - i > kRun) {
            uchar other = 0;
            uchar digit = 0;
            for (int k = 0; k < kRun; ++k) {
                const uchar is = uchar(isHexDigitByte(in[i + k]));
                other |= uchar(!is);
                digit |= is;
            }
            if (!digit) { // such as a run of white space
                i += kRun;
                continue;
            }
            // Inside the run no 'x' follows a '0'; after it one might.
            if (!other && !(in[i + kRun - 1] == '0' && (in[i + kRun] | 0x20) == 'x')) {
                const uchar *run = in + i;
                char *out = p.out;
                if (p.digits % 2 == 0) {
                    for (int k = 0; k < kRun / 8; ++k)
                        qToLittleEndian(packEightDigits(qFromLittleEndian<quint64>(run + 8 * k)), out + 4 * k);
                } else {
                    out[0] = char(p.high << 4 | int(knownHexDigitValue(run[0])));
                    for (int k = 0; k < kRun / 2 - 1; ++k)
                        out[1 + k] =
                            char(knownHexDigitValue(run[2 * k + 1]) << 4 | knownHexDigitValue(run[2 * k + 2]));
                    p.high = int(knownHexDigitValue(run[kRun - 1]));
                }
                p.out += kRun / 2;
                p.digits += kRun;
                i += kRun;
                continue;
            }
        }
        // Any other block without a branch on its bytes, which may mix digits
        // and others at random: the digits gathered, then packed. A '0'
        // before an 'x' is no digit, nor is the 'x'.
        uchar values[kRun];
        int count = 0;
        for (const qsizetype stop = qMin(n, i + kRun); i < stop; ++i) {
            const uchar u = in[i];
            const uchar next = i + 1 < n ? in[i + 1] : 0;
            values[count] = uchar(knownHexDigitValue(u));
            count += int(isHexDigitByte(u)) & int(u != '0' || (next | 0x20) != 'x');
        }
        for (int k = 0; k < count; ++k)
            p.add(values[k]);
    }
}

// The packed digits as a frame; an invalid frame for none or an odd count.
ParsedFrame parseDigits(QByteArray &bytes, const DigitPacker &packed)
{
    if (packed.digits == 0 || packed.digits % 2 != 0) {
        ParsedFrame parsed;
        parsed.outcome = ParsedFrame::InvalidText;
        parsed.statusText = QStringLiteral("Invalid frame.");
        parsed.statusIsError = true;
        return parsed;
    }
    bytes.truncate(int(packed.digits / 2));
    if (bytes.capacity() > 2 * bytes.size() + 64)
        bytes.squeeze(); // a long text of few digits
    return parseFrameBytes(bytes);
}

} // namespace

QString cleanFrameText(const QString &text)
{
    QString clean(text.size(), Qt::Uninitialized);
    QChar *out = clean.data();
    int kept = 0;
    forEachHexDigit(text, [&](ushort u) { out[kept++] = QChar(u); });
    clean.truncate(kept);
    return clean;
}

// The digits go straight into bytes, without a cleaned copy of the text: a
// pasted or piped line may be hundreds of megabytes long.
ParsedFrame parseFrameText(const QString &text)
{
    QByteArray bytes(text.size() / 2, Qt::Uninitialized);
    DigitPacker packer{bytes.data()};
    forEachHexDigit(text, [&packer](ushort u) { packer.add(int(knownHexDigitValue(uchar(u)))); });
    return parseDigits(bytes, packer);
}

ParsedFrame parseFrameText(const char *utf8, qsizetype size)
{
    QByteArray bytes(int(size / 2), Qt::Uninitialized);
    DigitPacker packer{bytes.data()};
    packDigits(reinterpret_cast<const uchar *>(utf8), size, packer);
    return parseDigits(bytes, packer);
}

ParsedFrame parseFrameBytes(const QByteArray &bytes)
{
    ParsedFrame parsed;
    if (bytes.isEmpty()) {
        parsed.outcome = ParsedFrame::InvalidText;
        parsed.statusText = QStringLiteral("Invalid frame.");
        parsed.statusIsError = true;
        return parsed;
    }
    parsed.bytes = bytes;
    if (parsed.bytes.size() < kFrameOverheadBytes) {
        parsed.outcome = ParsedFrame::InvalidLength;
        parsed.statusText = QStringLiteral("Invalid frame length.");
        parsed.statusIsError = true;
        return parsed;
    }
    parsed.outcome = ParsedFrame::Ok;
    parsed.fields = unpackFrame(parsed.bytes);
    if (parsed.bytes.size() > int(parsed.fields.length)) {
        parsed.frameLonger = true;
        parsed.additionalBytes = parsed.bytes.size() - int(parsed.fields.length);
        parsed.statusText = QStringLiteral("Frame is longer than expected (%1 additional bytes).")
                                .arg(parsed.additionalBytes);
    }
    return parsed;
}
