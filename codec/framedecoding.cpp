#include "codec/framedecoding.h"

#include "catalogue/catalogue.h"
#include "catalogue/devicecatalogue.h"
#include "catalogue/hexdigits.h"
#include "codec/readers.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

AddressingMode addressingModeOf(quint32 destinationAddress)
{
    if (destinationAddress == kGroupAddress)
        return AddressingMode::Group;
    if (destinationAddress == kBroadcastAddress)
        return AddressingMode::Broadcast;
    return AddressingMode::PointToPoint;
}

QString addressingModeName(quint32 destinationAddress)
{
    switch (addressingModeOf(destinationAddress)) {
    case AddressingMode::Group:
        return QStringLiteral("Group");
    case AddressingMode::Broadcast:
        return QStringLiteral("Broadcast");
    case AddressingMode::PointToPoint:
        break;
    }
    return QStringLiteral("Point to point");
}

QString nodeIdText(quint32 address)
{
    // Built digit by digit: the command line writes two per frame.
    const char *digits = kHexDigitsUpper;
    if (address > kMaxNodeAddress)
        return QString::number(address, 16).toUpper();
    QString text(6, Qt::Uninitialized);
    for (int i = 5; i >= 0; --i, address >>= 4)
        text[i] = QLatin1Char(digits[address & 0xF]);
    return text;
}

bool checksumMatches(const QByteArray &frameBytes)
{
    const int n = frameBytes.size();
    if (n < 2)
        return false;
    return frameChecksum(frameBytes.constData(), n - 2)
        == checksumAt(reinterpret_cast<const uchar *>(frameBytes.constData()) + n - 2);
}

int writeHexField(char *out, quint32 pattern, quint32 size, char pad)
{
    const char *digits = kHexDigitsUpper;
    const int width = int(2 * std::min(size, kMaxPaddedFieldBytes));
    char own[8];
    int n = 0;
    do {
        own[n++] = digits[pattern & 0xF];
        pattern >>= 4;
    } while (pattern);
    int at = 0;
    for (; at < width - n; ++at)
        out[at] = pad;
    for (int k = std::min(n, width); k > 0;)
        out[at++] = own[--k];
    return at;
}

int writeHexDigits(char *out, quint32 value, const char *digits)
{
    char own[8];
    int n = 0;
    do {
        own[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value);
    for (int k = 0; k < n; ++k)
        out[k] = own[n - 1 - k];
    return n;
}

int writeInvalidValue(char *out, quint32 value, quint32 size)
{
    static const char lead[] = "Invalid value (0x";
    std::memcpy(out, lead, sizeof lead - 1);
    int at = int(sizeof lead - 1);
    at += writeHexField(out + at, value, size, '0');
    out[at++] = ')';
    return at;
}

QString invalidValueText(quint32 value, quint32 size)
{
    char text[sizeof(IntegerText::text)];
    return QString::fromLatin1(text, writeInvalidValue(text, value, size));
}

namespace {

// The code points up to U+00FF written as an escape: C0 controls, DEL, C1
// controls, the soft hyphen (a format character) and the backslash that
// starts every escape.
struct Latin1Escapes
{
    bool escaped[256];
    constexpr Latin1Escapes() : escaped()
    {
        for (int c = 0; c < 256; ++c)
            escaped[c] = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0xAD || c == '\\';
    }
};
constexpr Latin1Escapes kLatin1Escapes;

bool shownEscaped(uint code)
{
    if (code < 0x100)
        return kLatin1Escapes.escaped[code];
    switch (QChar::category(code)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return QChar::isNonCharacter(code);
    }
}

// The code point at `i`, a surrogate pair read as one, and its code units.
inline uint codePointAt(const QChar *chars, int n, int i, int &units)
{
    const uint u = chars[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < n && chars[i + 1].isLowSurrogate()) {
        units = 2;
        return QChar::surrogateToUcs4(ushort(u), chars[i + 1].unicode());
    }
    units = 1;
    return u;
}

void appendEscape(uint code, QString &out)
{
    const char *digits = kHexDigitsUpper;
    if (code == '\\') {
        out += QLatin1String("\\\\");
        return;
    }
    char text[12];
    int n = 0;
    text[n++] = '\\';
    if (code < 0x100) {
        text[n++] = 'x';
        text[n++] = digits[code >> 4];
        text[n++] = digits[code & 0xF];
    } else {
        text[n++] = 'u';
        text[n++] = '{';
        for (int shift = code > 0xFFFFF ? 20 : code > 0xFFFF ? 16 : 12; shift >= 0; shift -= 4)
            text[n++] = digits[(code >> shift) & 0xF];
        text[n++] = '}';
    }
    out += QLatin1String(text, n);
}

} // namespace

QString withoutStringPadding(const QString &characters)
{
    int end = characters.size();
    while (end > 0 && characters.at(end - 1).unicode() == 0)
        --end;
    return end == characters.size() ? characters : characters.left(end);
}

QString visibleText(const QString &text)
{
    const QChar *chars = text.constData();
    const int n = text.size();
    // Most texts need no escape: they are found so without a copy.
    int i = 0;
    int units = 1;
    while (i < n && !shownEscaped(codePointAt(chars, n, i, units)))
        i += units;
    if (i == n)
        return text;
    QString out;
    out.reserve(n + 16);
    out.append(chars, i);
    while (i < n) {
        const uint code = codePointAt(chars, n, i, units);
        if (shownEscaped(code))
            appendEscape(code, out);
        else
            out.append(chars + i, units);
        i += units;
    }
    return out;
}

static const QLatin1String kInteger("integer");
static const QLatin1String kString("string");
static const QLatin1String kBitfield("bitfield");

bool isDecodedType(const ParameterDefinition &parameter)
{
    return parameter.type == kInteger || parameter.type == kString || parameter.type == kBitfield;
}

IntegerForm integerFormOf(const ParameterDefinition &parameter)
{
    const bool isSigned = parameter.isSigned();
    if (!parameter.values.isEmpty())
        return isSigned ? IntegerForm::NamedSigned : IntegerForm::Named;
    if (parameter.isHexa())
        return isSigned ? IntegerForm::SignedHex : IntegerForm::LowerHex;
    return isSigned ? IntegerForm::SignedDecimal : IntegerForm::Decimal;
}

QString bitLabel(const ValueDefinition &entry)
{
    return QLatin1String("Bit ") + QString::number(entry.unsignedValue) + QLatin1String(": ") + entry.description;
}

namespace {

QString integerToolTip(const ParameterDefinition &parameter, IntegerForm form)
{
    if (form != IntegerForm::LowerHex && form != IntegerForm::SignedHex)
        return parameter.description;
    return parameter.description.isEmpty() ? QStringLiteral("Value in hexa")
                                           : parameter.description + QLatin1String("\nValue in hexa");
}

} // namespace

DecodedRow decodeParameter(const ParameterDefinition &parameter, const QByteArray &data,
                           quint64 offset)
{
    DecodedRow row;
    row.parameterName = parameter.name;
    row.label = parameter.name + QLatin1Char(':');

    const quint32 size = parameter.size;
    if (isDecodedType(parameter))
        row.size = size;
    if (parameter.type == kInteger) {
        row.kind = DecodedRow::Value;
        const IntegerForm form = integerFormOf(parameter);
        row.rawIsSigned = isSignedForm(form);
        row.raw = readParameterPattern(data, offset, size, row.rawIsSigned);
        row.hasRaw = true;
        row.toolTip = integerToolTip(parameter, form);
        const IntegerText text = integerValueText(parameter, form, row.raw);
        row.namedForm = form == IntegerForm::Named || form == IntegerForm::NamedSigned;
        row.valueNamed = text.named >= 0;
        row.value = text.named >= 0 ? parameter.values.at(text.named).description
                                    : QString::fromLatin1(text.text, text.size);
        row.unescapedValue = row.value; // digits or a catalogue text, shown as they are
    } else if (parameter.type == kString) {
        row.kind = DecodedRow::Value;
        row.toolTip = parameter.description;
        row.unescapedValue = withoutStringPadding(readString(data, offset, size));
        row.value = visibleText(row.unescapedValue);
    } else if (parameter.type == kBitfield) {
        row.kind = DecodedRow::Bits;
        row.raw = readUnsigned(data, offset, size);
        row.hasRaw = true;
        for (const ValueDefinition &entry : parameter.values) {
            DecodedBit bit;
            bit.bit = entry.unsignedValue;
            bit.label = bitLabel(entry);
            bit.checked = namedBitSet(row.raw, entry);
            row.bits.append(bit);
        }
    } else {
        row.kind = DecodedRow::LabelOnly;
    }
    return row;
}

bool isKnownMessage(const MessageDefinition &message)
{
    return !message.name.isEmpty();
}

MessageDecoding decodeMessageData(const MessageDefinition &message, const QByteArray &data,
                                  bool frameLonger, const QString &longerStatus)
{
    MessageDecoding decoding;
    if (!isKnownMessage(message)) {
        decoding.messageName = QStringLiteral("Unknown message");
        decoding.statusText = QStringLiteral("Frame not decoded because message is unknown.");
        decoding.statusIsError = true;
        return decoding;
    }
    decoding.known = true;
    decoding.slave = message.nodeMode == NodeMode::Slave;
    decoding.messageName = message.name;
    decoding.messageToolTip = message.description;

    // 64-bit, so that huge sizes from a bad definition cannot wrap it.
    quint64 offset = 0;
    const quint64 available = quint64(data.size());
    for (const ParameterDefinition &parameter : message.parameters) {
        const bool known = isDecodedType(parameter);
        if (offset >= available) {
            // Optional parameters may be left off the end; a parameter of no
            // known type has no bytes, so the data cannot end before it.
            if (parameter.optional || !known)
                continue;
            decoding.statusText = QStringLiteral("Frame is uncomplete.");
            decoding.statusIsError = true;
            return decoding;
        }
        // A parameter of no decoded type is written by the encoder as no
        // byte at all: it never moves the offset.
        if (parameter.display)
            decoding.rows.append(decodeParameter(parameter, data, offset));
        offset = offsetAfter(parameter, offset);
    }

    decoding.complete = true;
    if (frameLonger) {
        decoding.statusText = longerStatus;
        decoding.statusIsError = false;
    } else {
        decoding.statusText = decodedStatusText();
    }
    return decoding;
}

const QString &decodedStatusText()
{
    static const QString text = QStringLiteral("Frame decoded successfully.");
    return text;
}

QString productForFrame(const ProfileMap &profiles, const FrameFields &fields)
{
    return productForNodeTypes(profiles, fields.sourceNodeType, fields.destinationNodeType);
}


QString frameTextBytes(const QString &text, QByteArray *bytes)
{
    const ParsedFrame parsed = parseFrameText(text);
    if (parsed.outcome != ParsedFrame::InvalidText) {
        *bytes = parsed.bytes;
        return QString();
    }
    bytes->clear();
    const int digits = cleanFrameText(text).size();
    if (digits == 0)
        return QStringLiteral("the text holds no hexadecimal digits");
    return QStringLiteral("the text holds an odd number of hexadecimal digits (%1)").arg(digits);
}
