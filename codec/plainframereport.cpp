#include "codec/framereport.h"

#include "catalogue/hexdigits.h"
#include "codec/jsonwriter.h"
#include "codec/readers.h"
#include "codec/utf8out.h"

#include <atomic>
#include <cstring>

// The plain-frame way of the command line: a line of nothing but the digits
// of a whole frame of a known device and message. The frame is unpacked by
// unpackFrame and each parameter read and turned into its value text by the
// pieces decodeParameter is made of (framedecoding.h); what this way adds is
// only how the texts are written: prepared once per device and message as
// UTF-8 and put straight into the output bytes, the same bytes as the
// writers of reportwriters.cpp give for the report of the line. Anything it
// does not cover (other text around the digits, a frame longer or shorter
// than announced, an unknown device or message, an incomplete frame) goes
// the general way.

namespace {

struct PreparedText
{
    QByteArray utf8;
    QByteArray json; // quoted and escaped
};

PreparedText prepared(const QString &text)
{
    QString quoted;
    JsonWriter(quoted).string(text);
    return {text.toUtf8(), quoted.toUtf8()};
}

// How a shown parameter is written.
enum class Way { Integer, Bits, General, LabelOnly };

struct PreparedParameter
{
    ParameterDefinition definition;
    quint64 offset = 0;
    Way way = Way::General;
    IntegerForm form = IntegerForm::Decimal;
    PreparedText name;
    QByteArray label;               // "name:"
    QVector<PreparedText> named;    // an integer's value names, a bitfield's bit labels
    QVector<QByteArray> bitNumbers; // a bitfield's bit numbers
};

} // namespace

struct DecodeCatalogue::PreparedMessage
{
    const MessageDefinition *definition = nullptr; // a known message; none: not usable
    PreparedText name;
    quint64 neededBytes = 0; // fewer data bytes make the frame incomplete
    QVector<PreparedParameter> shown;
    // The rule of the gate last used on this message, and which gate's.
    quint64 ruleGate = 0;
    PlainFrameGate::Rule rule = PlainFrameGate::Rule::AskEach;
};

struct DecodeCatalogue::PreparedDevice
{
    PreparedText product;
    std::array<std::unique_ptr<PreparedMessage>, 256> messages;
};

namespace {

PreparedParameter prepareParameter(const ParameterDefinition &p, quint64 offset)
{
    PreparedParameter shown;
    shown.definition = p;
    shown.offset = offset;
    shown.name = prepared(p.name);
    shown.label = (p.name + QLatin1Char(':')).toUtf8();
    if (!isDecodedType(p)) {
        shown.way = Way::LabelOnly;
    } else if (p.type == QLatin1String("bitfield")) {
        shown.way = Way::Bits;
        for (const ValueDefinition &entry : p.values) {
            shown.named.append(prepared(bitLabel(entry)));
            shown.bitNumbers.append(QByteArray::number(entry.unsignedValue));
        }
    } else if (p.type == QLatin1String("integer")) {
        shown.way = Way::Integer;
        shown.form = integerFormOf(p);
        for (const ValueDefinition &entry : p.values)
            shown.named.append(prepared(entry.description));
    }
    return shown;
}

DecodeCatalogue::PreparedMessage prepareMessage(const MessageDefinition *message)
{
    DecodeCatalogue::PreparedMessage m;
    if (!message)
        return m;
    m.definition = message;
    m.name = prepared(message->name);
    // The offsets as decodeMessageData walks them; it finds the frame
    // incomplete when a parameter that is read and not optional starts
    // beyond the data.
    quint64 offset = 0;
    for (const ParameterDefinition &p : message->parameters) {
        if (isDecodedType(p) && !p.optional)
            m.neededBytes = qMax(m.neededBytes, offset + 1);
        if (p.display)
            m.shown.append(prepareParameter(p, offset));
        offset = offsetAfter(p, offset);
    }
    return m;
}

// The number an integer or bitfield parameter holds, as decodeParameter reads it.
Q_ALWAYS_INLINE quint32 readPattern(const PreparedParameter &p, const QByteArray &data)
{
    return readParameterPattern(data, p.offset, p.definition.size, isSignedForm(p.form) && p.way == Way::Integer);
}

// An integer's value text, as decodeParameter makes it, in the style's form
// (JSON: quoted and escaped).
void addIntegerValue(const PreparedParameter &p, const IntegerText &text, bool json, Utf8Out &out)
{
    if (text.named >= 0) {
        const PreparedText &name = p.named.at(text.named);
        out.add(json ? name.json : name.utf8);
        return;
    }
    // Digits or "Invalid value (0x...)": nothing to escape.
    if (json)
        out.add('"');
    out.add(text.text, text.size);
    if (json)
        out.add('"');
}

// The value text of a Value row in a block or a line.
void addValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (p.way == Way::Integer)
        addIntegerValue(p, integerValueText(p.definition, p.form, readPattern(p, data)), false, out);
    else
        out.add(decodeParameter(p.definition, data, p.offset).value.toUtf8());
}

// The "raw" (when the row has one) and "value" members of a Value row in
// JSON, each after its comma.
void addJsonRawAndValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (p.way == Way::Integer) {
        const quint32 pattern = readPattern(p, data);
        const IntegerText text = integerValueText(p.definition, p.form, pattern);
        if (p.form == IntegerForm::Decimal || p.form == IntegerForm::SignedDecimal) {
            out.addRawAndValue(text.text, text.size);
            return;
        }
        out.addRaw(pattern, isSignedForm(p.form));
        out.add(",\"value\":");
        addIntegerValue(p, text, true, out);
        return;
    }
    const DecodedRow row = decodeParameter(p.definition, data, p.offset);
    if (row.hasRaw)
        out.addRaw(row.raw, row.rawIsSigned);
    out.add(",\"value\":");
    QString quoted;
    JsonWriter(quoted).string(row.unescapedValue);
    out.add(quoted.toUtf8());
}

const char *const kModeNames[] = {"Point to point", "Group", "Broadcast"};

// What the three styles print of a plain frame.
struct PlainFrame
{
    const char *line;
    qsizetype size;
    const QByteArray &bytes;
    const FrameFields &fields;
    bool checksumOk;
    AddressingMode mode;
    const PreparedText &product;
    const DecodeCatalogue::PreparedMessage &message;
    const QByteArray &time;
    const QByteArray &direction;

    // Whether a shown parameter is in the data: one beyond it (optional, or
    // of no decoded type) has no row.
    bool present(const PreparedParameter &p) const { return p.offset < quint64(fields.data.size()); }
};

// The header of appendBlock, up to the message line.
void writeBlockHeader(const PlainFrame &f, Utf8Out &o)
{
    if (!f.time.isEmpty() || !f.direction.isEmpty()) {
        o.add("Time:         ");
        o.add(f.time);
        o.add("\nDirection:    ");
        o.add(f.direction);
        o.add('\n');
    }
    o.add("Input:        ");
    o.add(f.line, f.size);
    o.add("\nBytes:        ");
    o.addHexBytes(f.bytes);
    o.addText(f.checksumOk ? " (checksum ok)\n" : " (checksum wrong)\n");
    o.add("Device:       ");
    o.add(f.product.utf8);
    o.add("\nAddressing:   ");
    o.addText(kModeNames[int(f.mode)]);
    o.add("\nSource:       ");
    o.addNodeId(f.fields.sourceAddress);
    o.add("\nDestination:  ");
    o.addNodeId(f.fields.destinationAddress);
    o.addText(f.fields.ackRequested ? "\nAcknowledge:  yes" : "\nAcknowledge:  no");
    o.add("\nNode type:    ");
    o.addDecimal(f.fields.sourceNodeType);
    o.add("\nMessage:      ");
    o.add(f.message.name.utf8);
    o.add('\n');
}

// The block of appendBlock.
void writeBlock(const PlainFrame &f, Utf8Out &o)
{
    writeBlockHeader(f, o);
    const QByteArray &data = f.fields.data;
    for (const PreparedParameter &p : f.message.shown) {
        if (!f.present(p))
            continue;
        o.add("  ");
        o.add(p.label);
        if (p.way == Way::Integer || p.way == Way::General) {
            o.add(' ');
            addValue(p, data, o);
        }
        o.add('\n');
        if (p.way == Way::Bits) {
            const quint32 bits = readPattern(p, data);
            for (int i = 0; i < p.named.size(); ++i) {
                o.addText(namedBitSet(bits, p.definition.values.at(i)) ? "    [x] " : "    [ ] ");
                o.add(p.named.at(i).utf8);
                o.add('\n');
            }
        }
    }
    o.add("Status:       Frame decoded successfully.\n\n");
}

// A bitfield's checked bits as the line shows them: "[label; label]".
void writeCheckedBits(const PreparedParameter &p, quint32 bits, Utf8Out &o)
{
    o.add('[');
    bool first = true;
    for (int i = 0; i < p.named.size(); ++i) {
        if (!namedBitSet(bits, p.definition.values.at(i)))
            continue;
        if (!first)
            o.add("; ");
        first = false;
        o.add(p.named.at(i).utf8);
    }
    o.add(']');
}

// The line of appendLine.
void writeLine(const PlainFrame &f, Utf8Out &o)
{
    for (const QByteArray *text : {&f.time, &f.direction}) {
        if (!text->isEmpty()) {
            o.add(*text);
            o.add(' ');
        }
    }
    o.add(f.line, f.size);
    if (!f.checksumOk)
        o.add(" (checksum wrong)");
    o.add(" | Frame decoded successfully. | ");
    o.add(f.product.utf8);
    o.add(" | ");
    o.addText(kModeNames[int(f.mode)]);
    o.add(" | ");
    o.addNodeId(f.fields.sourceAddress);
    o.add(" -> ");
    o.addNodeId(f.fields.destinationAddress);
    o.addText(f.fields.ackRequested ? " | ack | node type " : " | no ack | node type ");
    o.addDecimal(f.fields.sourceNodeType);
    o.add(" | ");
    o.add(f.message.name.utf8);
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (!f.present(p) || p.way == Way::LabelOnly)
            continue;
        o.addText(first ? " | " : ", ");
        first = false;
        o.add(p.name.utf8);
        o.add('=');
        if (p.way == Way::Bits)
            writeCheckedBits(p, readPattern(p, f.fields.data), o);
        else
            addValue(p, f.fields.data, o);
    }
    o.add('\n');
}

// One member of "parameters" in appendJson, without its comma.
void writeJsonParameter(const PreparedParameter &p, const QByteArray &data, Utf8Out &o)
{
    o.add('{');
    quint32 bits = 0;
    if (p.way == Way::Bits) {
        bits = readPattern(p, data);
        o.add("\"bits\":[");
        for (int i = 0; i < p.named.size(); ++i) {
            o.addText(i == 0 ? "{\"bit\":" : ",{\"bit\":");
            o.add(p.bitNumbers.at(i));
            o.addText(namedBitSet(bits, p.definition.values.at(i)) ? ",\"checked\":true,\"label\":"
                                                                   : ",\"checked\":false,\"label\":");
            o.add(p.named.at(i).json);
            o.add('}');
        }
        o.add("],");
    }
    o.add("\"name\":");
    o.add(p.name.json);
    if (p.way == Way::Bits)
        o.addRaw(bits, false);
    else if (p.way != Way::LabelOnly)
        addJsonRawAndValue(p, data, o);
    o.add('}');
}

// The object of appendJson.
void writeJson(const PlainFrame &f, Utf8Out &o)
{
    static const char *const modes[] = {"\"P2P\"", "\"Group\"", "\"Broadcast\""};
    o.addText(f.fields.ackRequested ? "{\"ack\":true,\"bytes\":\"" : "{\"ack\":false,\"bytes\":\"");
    o.addHexBytes(f.bytes);
    o.addText(f.checksumOk ? "\",\"checksumOk\":true,\"destination\":\"" : "\",\"checksumOk\":false,\"destination\":\"");
    o.addNodeId(f.fields.destinationAddress);
    o.add("\",\"device\":");
    o.add(f.product.json);
    if (!f.direction.isEmpty()) {
        o.add(",\"direction\":\"");
        o.add(f.direction);
        o.add('"');
    }
    o.add(",\"error\":false,\"input\":\"");
    o.add(f.line, f.size);
    o.add("\",\"message\":");
    o.add(f.message.name.json);
    o.add(",\"mode\":");
    o.addText(modes[int(f.mode)]);
    o.add(",\"nodeType\":");
    o.addDecimal(f.fields.sourceNodeType);
    o.add(",\"parameters\":[");
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (!f.present(p))
            continue;
        if (!first)
            o.add(',');
        first = false;
        writeJsonParameter(p, f.fields.data, o);
    }
    o.add("],\"source\":\"");
    o.addNodeId(f.fields.sourceAddress);
    o.add("\",\"status\":\"Frame decoded successfully.\"");
    if (!f.time.isEmpty()) {
        o.add(",\"time\":\"");
        o.add(f.time);
        o.add('"');
    }
    o.add("}\n");
}

// Printable ASCII without '"' or '\\': written as it is, in JSON too.
bool isPlainAscii(const QByteArray &text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\')
            return false;
    }
    return true;
}

} // namespace

PlainFrameGate::PlainFrameGate()
    : m_gateId([] {
          static std::atomic<quint64> made{0};
          return ++made;
      }())
{
}

DecodeCatalogue::PreparedDevice &DecodeCatalogue::preparedDevice(const DeviceCatalogue::Device &device, int pair)
{
    if (m_preparedGeneration != m_catalogue.generation()) {
        for (std::shared_ptr<PreparedDevice> &texts : m_prepared)
            texts.reset();
        m_preparedGeneration = m_catalogue.generation();
    }
    std::shared_ptr<PreparedDevice> &texts = m_prepared[pair];
    if (!texts) {
        texts = std::make_shared<PreparedDevice>();
        texts->product = prepared(device.product);
    }
    return *texts;
}

bool DecodeCatalogue::appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                             const QByteArray &time, const QByteArray &direction)
{
    return appendPlainFrame(style, line, size, nullptr, out, time, direction) == PlainReport::Written;
}

PlainReport DecodeCatalogue::appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size,
                                                    PlainFrameGate &gate, QByteArray &out, const QByteArray &time,
                                                    const QByteArray &direction)
{
    return appendPlainFrame(style, line, size, &gate, out, time, direction);
}

PlainReport DecodeCatalogue::appendPlainFrame(ReportStyle style, const char *line, qsizetype size,
                                              PlainFrameGate *gate, QByteArray &out, const QByteArray &time,
                                              const QByteArray &direction)
{
    if (!isPlainAscii(time) || !isPlainAscii(direction) || !plainFrameBytes(line, size, m_frame))
        return PlainReport::NotPlain;
    const QByteArray &bytes = m_frame;
    FrameFields &fields = m_fields;
    unpackFrame(bytes, fields);
    // Not longer than announced, nor shorter.
    if (fields.length != bytes.size())
        return PlainReport::NotPlain;
    m_catalogue.refresh();
    const DeviceCatalogue::Device *device = deviceOf(fields.sourceNodeType, fields.destinationNodeType);
    if (!device)
        return PlainReport::NotPlain;
    PreparedDevice &texts = preparedDevice(*device, fields.sourceNodeType << 4 | fields.destinationNodeType);
    std::unique_ptr<PreparedMessage> &slot = texts.messages[fields.messageId];
    if (!slot)
        slot.reset(new PreparedMessage(prepareMessage(messageOf(*device, fields.messageId))));
    PreparedMessage &message = *slot;
    if (!message.definition || quint64(fields.data.size()) < message.neededBytes)
        return PlainReport::NotPlain;
    const bool checksumOk = checksumMatches(bytes);
    // The facts made only for a gate that asks for them.
    if (gate && (message.ruleGate != gate->gateId() || message.rule != PlainFrameGate::Rule::AdmitAll)) {
        const PlainFrameFacts facts{bytes, fields, device->product, *message.definition, checksumOk};
        if (message.ruleGate != gate->gateId()) {
            message.rule = gate->ruleFor(facts);
            message.ruleGate = gate->gateId();
        }
        if (message.rule == PlainFrameGate::Rule::AdmitNone
            || (message.rule == PlainFrameGate::Rule::AskEach && !gate->admits(facts)))
            return PlainReport::LeftOut;
    }

    const PlainFrame frame{line,
                           size,
                           bytes,
                           fields,
                           checksumOk,
                           addressingModeOf(fields.destinationAddress),
                           texts.product,
                           message,
                           time,
                           direction};
    Utf8Out o(out);
    switch (style) {
    case ReportStyle::Blocks:
        writeBlock(frame, o);
        break;
    case ReportStyle::SingleLine:
        writeLine(frame, o);
        break;
    case ReportStyle::Json:
        writeJson(frame, o);
        break;
    }
    return PlainReport::Written;
}
