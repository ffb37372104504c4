// The writers of the reports: each style from a FrameReport, and the UTF-8
// writer that splices a long input text in straight from its bytes.

#include "codec/framereport.h"

#include "catalogue/hexdigits.h"
#include "codec/jsonwriter.h"

#include <cstring>

namespace {

const QLatin1String kBar(" | ");

// The frame's bytes as hexadecimal text, written straight into `out`
// rather than built apart and copied: a frame may be a long line's worth.
void appendBytesText(const FrameReport &r, QString &out)
{
    if (r.bytesText.isEmpty())
        appendHexText(r.frame.bytes, out);
    else
        out += r.bytesText;
}

QString checkedBits(const DecodedRow &row)
{
    QStringList on;
    for (const DecodedBit &b : row.bits)
        if (b.checked)
            on << b.label;
    return on.join(QStringLiteral("; "));
}

// The formatters append piece by piece rather than with QString::arg: a piped
// log of a million frames spends most of its time here.
// Where the input text and the frame's bytes as hexadecimal text go in the
// output, when they are written apart from it.
struct Splice
{
    int inputAt = -1;
    int bytesAt = -1; // the formatter leaves the bytes text out
};

// Each formatter fills in `*splice`, when given.
void appendBlock(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    if (!r.time.isEmpty() || !r.direction.isEmpty()) {
        out += QLatin1String("Time:         ") + r.time + QLatin1Char('\n');
        out += QLatin1String("Direction:    ") + r.direction + QLatin1Char('\n');
    }
    out += QLatin1String("Input:        ");
    if (splice)
        splice->inputAt = out.size();
    out += r.input + QLatin1Char('\n');
    if (r.parsed) {
        out += QLatin1String("Bytes:        ");
        if (splice)
            splice->bytesAt = out.size();
        else
            appendBytesText(r, out);
        out += r.checksumOk ? QLatin1String(" (checksum ok)\n") : QLatin1String(" (checksum wrong)\n");
    }
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        out += QLatin1String("Device:       ") + r.device;
        out += QLatin1String("\nAddressing:   ") + addressingModeName(f.destinationAddress);
        out += QLatin1String("\nSource:       ") + nodeIdText(f.sourceAddress);
        out += QLatin1String("\nDestination:  ") + nodeIdText(f.destinationAddress);
        out += QLatin1String("\nAcknowledge:  ") + (f.ackRequested ? QLatin1String("yes") : QLatin1String("no"));
        out += QLatin1String("\nNode type:    ") + QString::number(f.sourceNodeType);
        out += QLatin1String("\nMessage:      ") + r.message.messageName + QLatin1Char('\n');
        for (const DecodedRow &row : r.message.rows) {
            out += QLatin1String("  ") + row.label;
            if (row.kind == DecodedRow::Value)
                out += QLatin1Char(' ') + row.value;
            out += QLatin1Char('\n');
            if (row.kind == DecodedRow::Bits) {
                for (const DecodedBit &b : row.bits)
                    out += (b.checked ? QLatin1String("    [x] ") : QLatin1String("    [ ] ")) + b.label
                           + QLatin1Char('\n');
            }
        }
    }
    out += QLatin1String("Status:       ") + (r.error ? QLatin1String("error: ") : QLatin1String("")) + r.status
           + QLatin1String("\n\n");
}

// The parameters of the single line, after `lead` when there is any: each
// row but a bare label as "Name=value", a bitfield's checked bits in
// brackets, joined by ", ".
void appendParameters(const FrameReport &r, QLatin1String lead, QString &out)
{
    if (!r.productFound)
        return;
    bool first = true;
    for (const DecodedRow &row : r.message.rows) {
        if (row.kind == DecodedRow::LabelOnly)
            continue;
        out += first ? lead : QLatin1String(", ");
        first = false;
        out += row.parameterName + QLatin1Char('=') + parameterValueText(row);
    }
}

// The single line after the input text and its bar.
// A line names a bad checksum after the frame's text, as a block does
// after its bytes.
void appendChecksumWarning(const FrameReport &r, QString &out)
{
    if (r.parsed && !r.checksumOk)
        out += QLatin1String(" (checksum wrong)");
}

void appendLineBody(const FrameReport &r, QString &out)
{
    out += (r.error ? QLatin1String("error: ") : QLatin1String("")) + r.status;
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        out += kBar + r.device + kBar + addressingModeName(f.destinationAddress) + kBar
               + nodeIdText(f.sourceAddress) + QLatin1String(" -> ") + nodeIdText(f.destinationAddress) + kBar
               + (f.ackRequested ? QLatin1String("ack") : QLatin1String("no ack")) + kBar
               + QLatin1String("node type ") + QString::number(f.sourceNodeType) + kBar + r.message.messageName;
        appendParameters(r, kBar, out);
    }
}

void appendTimePrefix(const QString &time, const QString &direction, QString &out)
{
    if (!time.isEmpty())
        out += time + QLatin1Char(' ');
    if (!direction.isEmpty())
        out += direction + QLatin1Char(' ');
}

void appendLine(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    appendTimePrefix(r.time, r.direction, out);
    if (splice)
        splice->inputAt = out.size();
    out += r.input.trimmed();
    appendChecksumWarning(r, out);
    out += kBar;
    appendLineBody(r, out);
    out += QLatin1Char('\n');
}


void appendJson(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    static const char *const modes[] = {"P2P", "Group", "Broadcast"};
    const FrameFields &f = r.frame.fields;
    JsonWriter w(out);
    // Keys in sorted order.
    w.begin(QLatin1Char('{'));
    if (r.productFound)
        w.flag("ack", f.ackRequested);
    if (r.parsed) {
        w.unescaped("bytes", [&r, splice](QString &text) {
            if (splice)
                splice->bytesAt = text.size();
            else
                appendBytesText(r, text);
        });
        w.flag("checksumOk", r.checksumOk);
    }
    if (r.productFound) {
        w.text("destination", nodeIdText(f.destinationAddress));
        w.text("device", r.device);
    }
    if (!r.direction.isEmpty())
        w.text("direction", r.direction);
    w.flag("error", r.error);
    w.key("input");
    if (splice)
        splice->inputAt = out.size() + 1; // after the quote
    w.string(r.input);
    if (r.productFound) {
        w.text("message", r.message.messageName);
        w.text("mode", QLatin1String(modes[int(addressingModeOf(f.destinationAddress))]));
        w.number("nodeType", f.sourceNodeType);
        w.key("parameters");
        w.begin(QLatin1Char('['));
        for (const DecodedRow &row : r.message.rows) {
            w.element();
            w.begin(QLatin1Char('{'));
            if (row.kind == DecodedRow::Bits) {
                w.key("bits");
                w.begin(QLatin1Char('['));
                for (const DecodedBit &b : row.bits) {
                    w.element();
                    w.begin(QLatin1Char('{'));
                    w.number("bit", b.bit);
                    w.flag("checked", b.checked);
                    w.text("label", b.label);
                    w.end(QLatin1Char('}'));
                }
                w.end(QLatin1Char(']'));
            }
            w.text("name", row.parameterName);
            if (row.hasRaw)
                w.number("raw", row.rawNumber());
            // JSON's own escapes keep every character of a string visible.
            if (row.kind == DecodedRow::Value)
                w.text("value", row.unescapedValue);
            w.end(QLatin1Char('}'));
        }
        w.end(QLatin1Char(']'));
        w.text("source", nodeIdText(f.sourceAddress));
    }
    w.text("status", r.status);
    if (!r.time.isEmpty())
        w.text("time", r.time);
    w.end(QLatin1Char('}'));
    out += QLatin1Char('\n');
}

} // namespace

namespace {

void appendReport(ReportStyle style, const FrameReport &report, QString &out, Splice *splice)
{
    switch (style) {
    case ReportStyle::SingleLine:
        appendLine(report, out, splice);
        break;
    case ReportStyle::Json:
        appendJson(report, out, splice);
        break;
    case ReportStyle::Blocks:
        appendBlock(report, out, splice);
        break;
    }
}

} // namespace

void appendReport(ReportStyle style, const FrameReport &report, QString &out)
{
    appendReport(style, report, out, nullptr);
}

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
    Splice splice;
    appendReport(style, report, text, &splice);
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

QString singleLineText(const FrameReport &report, bool withInput)
{
    QString line;
    if (withInput) {
        line += report.input.trimmed();
        appendChecksumWarning(report, line);
        line += kBar;
    }
    appendLineBody(report, line);
    return line;
}

QString parameterValueText(const DecodedRow &row)
{
    return row.kind == DecodedRow::Bits ? QLatin1Char('[') + checkedBits(row) + QLatin1Char(']') : row.value;
}

QString parametersText(const FrameReport &report)
{
    QString text;
    appendParameters(report, QLatin1String(), text);
    return text;
}

void appendNoise(ReportStyle style, const QByteArray &bytes, const QString &time, QString &out)
{
    if (style == ReportStyle::Json) {
        JsonWriter w(out);
        w.begin(QLatin1Char('{'));
        w.text("noise", frameToHexText(bytes));
        if (!time.isEmpty()) {
            w.text("time", time);
        }
        w.end(QLatin1Char('}'));
        out += QLatin1Char('\n');
        return;
    }
    appendTimePrefix(time, QString(), out);
    out += QLatin1String("noise: ") + frameToHexText(bytes) + QLatin1Char('\n');
    if (style == ReportStyle::Blocks)
        out += QLatin1Char('\n');
}
