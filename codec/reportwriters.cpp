// The writers of the reports: each style from a FrameReport (the UTF-8
// writer that splices a long input text in from its bytes: reportutf8.cpp).

#include "codec/framereport.h"

#include "catalogue/hexdigits.h"
#include "codec/jsonwriter.h"
#include "codec/reportsplice.h"

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
using Splice = ReportSplice;

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

void appendReportSpliced(ReportStyle style, const FrameReport &report, QString &out, ReportSplice *splice)
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

void appendReport(ReportStyle style, const FrameReport &report, QString &out)
{
    appendReportSpliced(style, report, out, nullptr);
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
