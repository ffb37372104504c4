// The UTF-8 writer of the reports: the report of a line written as UTF-8
// bytes, its long input text spliced in straight from the bytes it came as.

#include "codec/framereport.h"
#include "codec/reportsplice.h"

#include "codec/jsonwriter.h"

#include <cstring>
#include <functional>
namespace {

// The two upper-case hexadecimal digits of each byte value.
struct HexPairs
{
    char text[256][2];
    constexpr HexPairs() : text()
    {
        for (int i = 0; i < 256; ++i) {
            text[i][0] = kHexDigitsUpper[i >> 4];
            text[i][1] = kHexDigitsUpper[i & 0x0F];
        }
    }
};
constexpr HexPairs kHexPairs;

bool isPlainAscii(uchar c)
{
    return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
}

} // namespace

bool isPlainAsciiText(const char *text, qsizetype size)
{
    // Block by block, without a branch per byte: a line may be hundreds of
    // megabytes long.
    constexpr int kBlock = 4096;
    const uchar *bytes = reinterpret_cast<const uchar *>(text);
    qsizetype i = 0;
    for (; size - i >= kBlock; i += kBlock) {
        uchar other = 0;
        for (int k = 0; k < kBlock; ++k)
            other |= uchar(!isPlainAscii(bytes[i + k]));
        if (other)
            return false;
    }
    for (; i < size; ++i) {
        if (!isPlainAscii(bytes[i]))
            return false;
    }
    return true;
}

namespace {

// The bytes of the white space, as QString::trimmed sees it, that UTF-8 text
// starts with (or, `atEnd`, ends with): a character at a time, from the edge.
qsizetype edgeSpaceBytes(const char *text, qsizetype size, bool atEnd)
{
    qsizetype taken = 0;
    while (taken < size) {
        qsizetype n = 1;
        if (atEnd) {
            // Back over the continuation bytes to the start of the character.
            while (n < qMin<qsizetype>(4, size - taken) && (uchar(text[size - taken - n]) & 0xC0) == 0x80)
                ++n;
        } else if (uchar(text[taken]) >= 0x80) {
            const uchar lead = uchar(text[taken]);
            n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        }
        const char *c = atEnd ? text + size - taken - n : text + taken;
        const bool space = n == 1 ? QChar(ushort(uchar(*c))).isSpace()
                                  : QString::fromUtf8(c, int(n)).front().isSpace();
        if (!space)
            break;
        taken += n;
    }
    return taken;
}

// Each byte as it goes in a JSON string of UTF-8 text, with the escapes of
// JsonWriter::string: itself, or its escape.
struct JsonEscapes
{
    char text[256][8];
    int size[256];
    constexpr JsonEscapes() : text(), size()
    {
        for (int c = 0; c < 256; ++c) {
            const char *named = c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '\b' ? "\\b" : c == '\f' ? "\\f"
                : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
            if (named) {
                text[c][0] = named[0];
                text[c][1] = named[1];
                size[c] = 2;
            } else if (c < 0x20) {
                const char u[] = {'\\', 'u', '0', '0', kHexDigitsLower[c >> 4], kHexDigitsLower[c & 0xF]};
                for (int k = 0; k < 6; ++k)
                    text[c][k] = u[k];
                size[c] = 6;
            } else {
                text[c][0] = char(c);
                size[c] = 1;
            }
        }
    }
};
constexpr JsonEscapes kJsonEscapes;

// Text that is to be a JSON string, escaped, handed to `write` a piece at a
// time. Blocks that need no escape are checked without a branch per byte and
// go as they are; a block that needs one is escaped without either.
void writeJsonEscaped(const char *text, qsizetype size, const std::function<void(const char *, qsizetype)> &write)
{
    constexpr int kBlock = 64;
    char chunk[1 << 16];
    int used = 0;
    const auto flush = [&]() {
        write(chunk, used);
        used = 0;
    };
    qsizetype runStart = 0; // of the blocks that need no escape, not yet written
    for (qsizetype at = 0; at < size;) {
        const qsizetype end = qMin(size, at + kBlock);
        uchar escape = 0;
        for (qsizetype k = at; k < end; ++k) {
            const uchar c = uchar(text[k]);
            escape |= uchar((c < 0x20) | (c == '"') | (c == '\\'));
        }
        if (!escape) {
            at = end;
            continue;
        }
        if (at > runStart) {
            flush();
            write(text + runStart, at - runStart);
        }
        if (used > int(sizeof chunk) - 8 * kBlock)
            flush();
        for (; at < end; ++at) {
            const uchar c = uchar(text[at]);
            std::memcpy(chunk + used, kJsonEscapes.text[c], 8);
            used += kJsonEscapes.size[c];
        }
        runStart = end;
    }
    flush();
    if (size > runStart)
        write(text + runStart, size - runStart);
}

} // namespace

bool isEchoedUtf8Text(const char *text, qsizetype size)
{
    const uchar *s = reinterpret_cast<const uchar *>(text);
    // QString::fromUtf8 drops a byte order mark at the start.
    if (size >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF)
        return false;
    constexpr int kBlock = 64;
    for (qsizetype i = 0; i < size;) {
        // ASCII a block at a time, without a branch per byte.
        if (size - i >= kBlock) {
            uchar high = 0;
            for (int k = 0; k < kBlock; ++k)
                high |= s[i + k];
            if (high < 0x80) {
                i += kBlock;
                continue;
            }
        }
        for (const qsizetype stop = qMin(size, i + kBlock); i < stop;) {
            const uchar lead = s[i];
            if (lead < 0x80) {
                ++i;
                continue;
            }
            // A sequence that QString::fromUtf8 would replace: overlong, a
            // surrogate, beyond U+10FFFF, cut short, a stray byte or a byte
            // that leads no sequence (F8 to FF).
            const int n = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
            if (n == 0 || size - i < n)
                return false;
            uint code = lead & (0x7Fu >> n);
            for (int k = 1; k < n; ++k) {
                if ((s[i + k] & 0xC0) != 0x80)
                    return false;
                code = code << 6 | (s[i + k] & 0x3Fu);
            }
            static const uint least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return false;
            i += n;
        }
    }
    return true;
}

void writeReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                     const std::function<void(const char *, qsizetype)> &write)
{
    Q_ASSERT(report.input.isEmpty() && isEchoedUtf8Text(input, size));
    if (style == ReportStyle::SingleLine) {
        const qsizetype front = edgeSpaceBytes(input, size, false);
        input += front;
        size -= front;
        size -= edgeSpaceBytes(input, size, true);
    }
    QString text;
    ReportSplice splice;
    appendReportSpliced(style, report, text, &splice);
    const auto writeText = [&write, &text](int from, int to) {
        const QByteArray utf8 = QStringView(text).mid(from, to - from).toUtf8();
        write(utf8.constData(), utf8.size());
    };
    // The pieces in the order they go: the bytes text comes first in JSON.
    const bool bytesFirst = splice.bytesAt >= 0 && splice.bytesAt <= splice.inputAt;
    const int firstAt = bytesFirst ? splice.bytesAt : splice.inputAt;
    const int secondAt = bytesFirst ? splice.inputAt : splice.bytesAt;
    const auto writeBytesText = [&write, &report]() {
        const QByteArray &bytes = report.frame.bytes;
        const uchar *in = reinterpret_cast<const uchar *>(bytes.constData());
        char chunk[1 << 16];
        for (int i = 0; i < bytes.size();) {
            const int n = qMin(bytes.size() - i, int(sizeof chunk / 2));
            for (int k = 0; k < n; ++k, ++i)
                std::memcpy(chunk + 2 * k, kHexPairs.text[in[i]], 2);
            write(chunk, 2 * qsizetype(n));
        }
    };
    const auto writeSpliced = [&](bool bytes) {
        if (bytes)
            writeBytesText();
        else if (style == ReportStyle::Json)
            writeJsonEscaped(input, size, write);
        else
            write(input, size);
    };
    writeText(0, firstAt);
    writeSpliced(bytesFirst);
    if (secondAt >= 0) {
        writeText(firstAt, secondAt);
        writeSpliced(!bytesFirst);
        writeText(secondAt, text.size());
    } else {
        writeText(firstAt, text.size());
    }
}

void appendReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                      QByteArray &out)
{
    writeReportUtf8(style, report, input, size,
                    [&out](const char *bytes, qsizetype n) { out.append(bytes, int(n)); });
}
