#include "codec/framereport.h"

#include "codec/jsonwriter.h"
#include "codec/readers.h"

#include <cstring>

// The plain-frame path of the command line: the same texts as the formatters
// of framereport.cpp, but prepared once per device and message as UTF-8 and written
// straight into the output bytes. Anything it does not cover (other text
// around the digits, a frame longer or shorter than announced, an unknown
// device or message, an incomplete frame) goes the general way.

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

struct PreparedBit
{
    quint32 shift = 0;
    QByteArray number;
    PreparedText label; // "Bit N: description"
};

struct PreparedValue
{
    quint32 unsignedValue = 0;
    qint32 signedValue = 0;
    PreparedText text;
};

// How a shown parameter's value text is made.
enum class ValueWay { Decimal, LowerHex, Named, Bits, General, None };

struct PreparedParameter
{
    ParameterDefinition definition; // for the general way
    quint64 offset = 0;
    DecodedRow::Kind kind = DecodedRow::Value;
    ValueWay way = ValueWay::General;
    bool isSigned = false;
    PreparedText name;
    QByteArray label; // "name:"
    QVector<PreparedValue> values;
    QVector<PreparedBit> bits;
};

} // namespace

struct DecodeCatalogue::PreparedMessage
{
    bool usable = false; // a known message whose parameters this path covers
    PreparedText name;
    quint64 neededBytes = 0; // fewer data bytes make the frame incomplete
    QVector<PreparedParameter> shown;
};

struct DecodeCatalogue::PreparedDevice
{
    PreparedText product;
    std::array<std::unique_ptr<PreparedMessage>, 256> messages;
};

namespace {

DecodeCatalogue::PreparedMessage prepareMessage(const MessageDefinition &message)
{
    DecodeCatalogue::PreparedMessage m;
    if (message.name.isEmpty())
        return m;
    m.usable = true;
    m.name = prepared(message.name);
    // The offsets as decodeMessageData walks them.
    quint64 offset = 0;
    for (const ParameterDefinition &p : message.parameters) {
        const bool integer = p.type == QLatin1String("integer");
        const bool known = integer || p.type == QLatin1String("string") || p.type == QLatin1String("bitfield");
        if (known && !p.optional)
            m.neededBytes = qMax(m.neededBytes, offset + 1);
        if (p.display) {
            PreparedParameter shown;
            shown.definition = p;
            shown.offset = offset;
            shown.isSigned = p.isSigned();
            shown.name = prepared(p.name);
            shown.label = (p.name + QLatin1Char(':')).toUtf8();
            if (!known) {
                shown.kind = DecodedRow::LabelOnly;
                shown.way = ValueWay::None;
            } else if (p.type == QLatin1String("bitfield")) {
                shown.kind = DecodedRow::Bits;
                shown.way = ValueWay::Bits;
                for (const ValueDefinition &entry : p.values) {
                    PreparedBit bit;
                    bit.shift = entry.unsignedValue % 32;
                    bit.number = QByteArray::number(entry.unsignedValue);
                    bit.label = prepared(QLatin1String("Bit ") + QString::number(entry.unsignedValue)
                                         + QLatin1String(": ") + entry.description);
                    shown.bits.append(bit);
                }
            } else if (integer && p.size >= 1 && p.size <= 4) {
                if (!p.values.isEmpty()) {
                    shown.way = ValueWay::Named;
                    for (const ValueDefinition &entry : p.values)
                        shown.values.append({entry.unsignedValue, entry.signedValue, prepared(entry.description)});
                } else if (!p.isHexa()) {
                    shown.way = ValueWay::Decimal;
                } else if (!shown.isSigned) {
                    shown.way = ValueWay::LowerHex;
                }
            }
            m.shown.append(shown);
        }
        if (known)
            offset += p.size;
    }
    return m;
}

const char kHexUpper[] = "0123456789ABCDEF";
const char kHexLower[] = "0123456789abcdef";

// 0..15 for a hexadecimal digit, 0xFF for any other byte.
struct HexTable
{
    quint8 value[256];
    constexpr HexTable() : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = 0xFF;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = quint8(i);
        for (int i = 0; i < 6; ++i) {
            value['a' + i] = quint8(10 + i);
            value['A' + i] = quint8(10 + i);
        }
    }
};
constexpr HexTable kHexValue;

// Output bytes written through a pointer; room is made for each piece.
class Utf8Out
{
public:
    explicit Utf8Out(QByteArray &out) : m_out(out), m_size(out.size()) {}
    ~Utf8Out() { m_out.resize(int(m_size)); }
    Utf8Out(const Utf8Out &) = delete;
    Utf8Out &operator=(const Utf8Out &) = delete;

    Q_ALWAYS_INLINE void add(const char *bytes, qsizetype n)
    {
        room(n);
        std::memcpy(m_out.data() + m_size, bytes, size_t(n));
        m_size += n;
    }
    template <int N>
    Q_ALWAYS_INLINE void add(const char (&literal)[N])
    {
        add(literal, N - 1);
    }
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    void addText(const char *text) { add(text, qsizetype(std::strlen(text))); }
    Q_ALWAYS_INLINE void add(char c)
    {
        room(1);
        m_out.data()[m_size++] = c;
    }
    void addDecimal(quint32 value)
    {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value);
        room(n);
        char *at = m_out.data() + m_size;
        while (n)
            *at++ = digits[--n];
        m_size = at - m_out.constData();
    }
    void addSigned(qint32 value)
    {
        if (value < 0) {
            add('-');
            addDecimal(quint32(0) - quint32(value));
        } else {
            addDecimal(quint32(value));
        }
    }
    void addLowerHex(quint32 value)
    {
        char digits[8];
        int n = 0;
        do {
            digits[n++] = kHexLower[value & 0xF];
            value >>= 4;
        } while (value);
        room(n);
        char *at = m_out.data() + m_size;
        while (n)
            *at++ = digits[--n];
        m_size = at - m_out.constData();
    }
    // JSON's ,"raw":N for a number read, a signed one with its sign, and when
    // asked ,"value":"N" after it (a decimal value is the same digits): the
    // digits made once, the whole put together apart and copied in one piece
    // of fixed size (the room after it is free).
    void addRaw(quint32 pattern, bool isSigned, bool decimalValue)
    {
        char digits[11];
        int n = 0;
        const bool negative = isSigned && qint32(pattern) < 0;
        quint32 magnitude = negative ? quint32(0) - pattern : pattern;
        do {
            digits[n++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (negative)
            digits[n++] = '-';
        char text[7 + 11 + 10 + 11 + 1];
        std::memcpy(text, ",\"raw\":", 7);
        int at = 7;
        for (int k = n; k;)
            text[at++] = digits[--k];
        if (decimalValue) {
            std::memcpy(text + at, ",\"value\":\"", 10);
            at += 10;
            for (int k = n; k;)
                text[at++] = digits[--k];
            text[at++] = '"';
        }
        room(sizeof text);
        std::memcpy(m_out.data() + m_size, text, sizeof text);
        m_size += at;
    }
    void addNodeId(quint32 address) // six digits: the address has three bytes
    {
        room(6);
        char *at = m_out.data() + m_size;
        for (int i = 5; i >= 0; --i, address >>= 4)
            at[i] = kHexUpper[address & 0xF];
        m_size += 6;
    }
    void addHexBytes(const quint8 *bytes, int n)
    {
        room(2 * n);
        char *at = m_out.data() + m_size;
        for (int i = 0; i < n; ++i) {
            *at++ = kHexUpper[bytes[i] >> 4];
            *at++ = kHexUpper[bytes[i] & 0xF];
        }
        m_size += 2 * n;
    }

private:
    Q_ALWAYS_INLINE void room(qsizetype n)
    {
        if (Q_UNLIKELY(m_size + n > m_out.size()))
            grow(n);
    }
    void grow(qsizetype n) { m_out.resize(int(qMax<qsizetype>(2 * m_out.size(), m_size + n + 4096))); }

    QByteArray &m_out;
    qsizetype m_size;
};

Q_ALWAYS_INLINE bool isIntegerWay(ValueWay way)
{
    return way == ValueWay::Decimal || way == ValueWay::LowerHex || way == ValueWay::Named;
}

// The number that a parameter of an integer way holds, as decodeParameter
// reads it: for a signed one, the two's complement of readSigned.
Q_ALWAYS_INLINE quint32 readPattern(const PreparedParameter &p, const QByteArray &data)
{
    return p.isSigned ? quint32(readSigned(data, p.offset, p.definition.size))
                      : readUnsigned(data, p.offset, p.definition.size);
}

// The value text of an integer way, in the style's form (JSON: quoted).
Q_ALWAYS_INLINE void addIntegerValue(const PreparedParameter &p, quint32 pattern, bool json, Utf8Out &out)
{
    if (p.way == ValueWay::Named) {
        for (const PreparedValue &entry : p.values) {
            if (p.isSigned ? entry.signedValue == qint32(pattern) : entry.unsignedValue == pattern) {
                out.add(json ? entry.text.json : entry.text.utf8);
                return;
            }
        }
        const PreparedText invalid = prepared(invalidValueText(pattern, p.definition.size));
        out.add(json ? invalid.json : invalid.utf8);
        return;
    }
    if (json)
        out.add('"');
    if (p.way == ValueWay::LowerHex) // never signed
        out.addLowerHex(pattern);
    else if (p.isSigned)
        out.addSigned(qint32(pattern));
    else
        out.addDecimal(pattern);
    if (json)
        out.add('"');
}

// As the general path has it: the row's shown value, or for JSON the value
// before escaping.
void addRowValue(const DecodedRow &row, bool json, Utf8Out &out)
{
    if (json) {
        QString quoted;
        JsonWriter(quoted).string(row.unescapedValue);
        out.add(quoted.toUtf8());
    } else {
        out.add(row.value.toUtf8());
    }
}

// The value text of a Value row in a block or a line.
void addValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (isIntegerWay(p.way))
        addIntegerValue(p, readPattern(p, data), false, out);
    else
        addRowValue(decodeParameter(p.definition, data, p.offset), false, out);
}

// The "raw" (when the row has one) and "value" members of a Value row in
// JSON, each after its comma: the number is read once for both.
void addJsonRawAndValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (isIntegerWay(p.way)) {
        const quint32 pattern = readPattern(p, data);
        const bool decimal = p.way == ValueWay::Decimal;
        out.addRaw(pattern, p.isSigned, decimal);
        if (!decimal) {
            out.add(",\"value\":");
            addIntegerValue(p, pattern, true, out);
        }
        return;
    }
    const DecodedRow row = decodeParameter(p.definition, data, p.offset);
    if (row.hasRaw)
        out.addRaw(row.raw, row.rawIsSigned, false);
    out.add(",\"value\":");
    addRowValue(row, true, out);
}

const char *const kModeNames[] = {"Point to point", "Group", "Broadcast"};

bool bitChecked(const PreparedBit &bit, quint32 bits)
{
    return (bits >> bit.shift) & 1u;
}

} // namespace

namespace {

// What the three styles print of a plain frame.
struct PlainFrame
{
    const char *line;
    qsizetype size;
    const quint8 *bytes;
    int n;
    bool checksumOk;
    bool ack;
    quint32 sourceNodeType;
    quint32 source;
    quint32 destination;
    AddressingMode mode;
    const PreparedText &product;
    const DecodeCatalogue::PreparedMessage &message;
    const QByteArray &data;
    const QByteArray &time;
    const QByteArray &direction;
};

// The block of appendBlock.
void writeBlock(const PlainFrame &f, Utf8Out &o)
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
    o.addHexBytes(f.bytes, f.n);
    o.addText(f.checksumOk ? " (checksum ok)\n" : " (checksum wrong)\n");
    o.add("Device:       ");
    o.add(f.product.utf8);
    o.add("\nAddressing:   ");
    o.addText(kModeNames[int(f.mode)]);
    o.add("\nSource:       ");
    o.addNodeId(f.source);
    o.add("\nDestination:  ");
    o.addNodeId(f.destination);
    o.addText(f.ack ? "\nAcknowledge:  yes" : "\nAcknowledge:  no");
    o.add("\nNode type:    ");
    o.addDecimal(f.sourceNodeType);
    o.add("\nMessage:      ");
    o.add(f.message.name.utf8);
    o.add('\n');
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()))
            continue;
        o.add("  ");
        o.add(p.label);
        if (p.kind == DecodedRow::Value) {
            o.add(' ');
            addValue(p, f.data, o);
        }
        o.add('\n');
        if (p.kind == DecodedRow::Bits) {
            const quint32 bits = readUnsigned(f.data, p.offset, p.definition.size);
            for (const PreparedBit &b : p.bits) {
                o.addText(bitChecked(b, bits) ? "    [x] " : "    [ ] ");
                o.add(b.label.utf8);
                o.add('\n');
            }
        }
    }
    o.add("Status:       Frame decoded successfully.\n\n");
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
    o.add(" | Frame decoded successfully. | ");
    o.add(f.product.utf8);
    o.add(" | ");
    o.addText(kModeNames[int(f.mode)]);
    o.add(" | ");
    o.addNodeId(f.source);
    o.add(" -> ");
    o.addNodeId(f.destination);
    o.addText(f.ack ? " | ack | node type " : " | no ack | node type ");
    o.addDecimal(f.sourceNodeType);
    o.add(" | ");
    o.add(f.message.name.utf8);
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()) || p.kind == DecodedRow::LabelOnly)
            continue;
        o.addText(first ? " | " : ", ");
        first = false;
        o.add(p.name.utf8);
        o.add('=');
        if (p.kind == DecodedRow::Bits) {
            const quint32 bits = readUnsigned(f.data, p.offset, p.definition.size);
            o.add('[');
            bool firstBit = true;
            for (const PreparedBit &b : p.bits) {
                if (!bitChecked(b, bits))
                    continue;
                if (!firstBit)
                    o.add("; ");
                firstBit = false;
                o.add(b.label.utf8);
            }
            o.add(']');
        } else {
            addValue(p, f.data, o);
        }
    }
    o.add('\n');
}

// The object of appendJson.
void writeJson(const PlainFrame &f, Utf8Out &o)
{
    static const char *const modes[] = {"\"P2P\"", "\"Group\"", "\"Broadcast\""};
    o.addText(f.ack ? "{\"ack\":true,\"bytes\":\"" : "{\"ack\":false,\"bytes\":\"");
    o.addHexBytes(f.bytes, f.n);
    o.addText(f.checksumOk ? "\",\"checksumOk\":true,\"destination\":\"" : "\",\"checksumOk\":false,\"destination\":\"");
    o.addNodeId(f.destination);
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
    o.addDecimal(f.sourceNodeType);
    o.add(",\"parameters\":[");
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()))
            continue;
        o.addText(first ? "{" : ",{");
        first = false;
        quint32 bits = 0;
        if (p.kind == DecodedRow::Bits) {
            bits = readUnsigned(f.data, p.offset, p.definition.size);
            o.add("\"bits\":[");
            bool firstBit = true;
            for (const PreparedBit &b : p.bits) {
                o.addText(firstBit ? "{\"bit\":" : ",{\"bit\":");
                firstBit = false;
                o.add(b.number);
                o.addText(bitChecked(b, bits) ? ",\"checked\":true,\"label\":" : ",\"checked\":false,\"label\":");
                o.add(b.label.json);
                o.add('}');
            }
            o.add("],");
        }
        o.add("\"name\":");
        o.add(p.name.json);
        if (p.kind == DecodedRow::Bits)
            o.addRaw(bits, false, false);
        else if (p.kind == DecodedRow::Value)
            addJsonRawAndValue(p, f.data, o);
        o.add('}');
    }
    o.add("],\"source\":\"");
    o.addNodeId(f.source);
    o.add("\",\"status\":\"Frame decoded successfully.\"");
    if (!f.time.isEmpty()) {
        o.add(",\"time\":\"");
        o.add(f.time);
        o.add('"');
    }
    o.add("}\n");
}

} // namespace

const DecodeCatalogue::PreparedMessage &DecodeCatalogue::preparedMessage(const Device &device, quint8 id)
{
    // The device is const to its users; its prepared texts are a cache.
    PreparedDevice &texts = *device.prepared;
    std::unique_ptr<PreparedMessage> &slot = texts.messages[id];
    if (!slot)
        slot.reset(new PreparedMessage(prepareMessage(messageOf(device, id))));
    return *slot;
}

bool DecodeCatalogue::appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                             const QByteArray &time, const QByteArray &direction)
{
    // Written as they are, in JSON too.
    for (const QByteArray *text : {&time, &direction}) {
        for (const char c : *text) {
            if (c < 0x20 || c > 0x7E || c == '"' || c == '\\')
                return false;
        }
    }
    if (size < 2 * kFrameOverheadBytes || size > 2 * kMaxFrameBytes || size % 2 != 0)
        return false;
    quint8 bytes[kMaxFrameBytes];
    const int n = int(size / 2);
    for (int i = 0; i < n; ++i) {
        const quint8 high = kHexValue.value[quint8(line[2 * i])];
        const quint8 low = kHexValue.value[quint8(line[2 * i + 1])];
        if ((high | low) & 0xF0)
            return false;
        bytes[i] = quint8(high << 4 | low);
    }
    const auto plain = [&bytes](int i) { return quint8(~bytes[i]); };
    const quint8 control = plain(1);
    if ((control & 0x1F) != n)
        return false;
    ensureLoaded();
    const quint8 nodeTypes = plain(2);
    const Device *device = deviceForPair(nodeTypes >> 4, nodeTypes & 0x0F);
    if (!device)
        return false;
    if (!device->prepared) {
        // Made here rather than with the device, which the general path uses too.
        auto texts = std::make_shared<PreparedDevice>();
        texts->product = prepared(device->product);
        const_cast<Device *>(device)->prepared = texts;
    }
    const PreparedMessage &message = preparedMessage(*device, plain(0));
    const int dataBytes = n - kFrameOverheadBytes;
    if (!message.usable || quint64(dataBytes) < message.neededBytes)
        return false;
    m_data.resize(dataBytes);
    for (int i = 0; i < dataBytes; ++i)
        m_data.data()[i] = char(plain(9 + i));

    quint32 sum = 0;
    for (int i = 0; i < n - 2; ++i)
        sum += bytes[i];
    const quint32 destination = quint32(plain(6)) | quint32(plain(7)) << 8 | quint32(plain(8)) << 16;

    const PlainFrame frame{line,
                           size,
                           bytes,
                           n,
                           quint16(sum) == quint16(bytes[n - 2] << 8 | bytes[n - 1]),
                           (control & 0x80) != 0,
                           quint32(nodeTypes >> 4),
                           quint32(plain(3)) | quint32(plain(4)) << 8 | quint32(plain(5)) << 16,
                           destination,
                           addressingModeOf(destination),
                           device->prepared->product,
                           message,
                           m_data,
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
    return true;
}
