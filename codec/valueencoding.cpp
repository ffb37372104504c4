#include "codec/valueencoding.h"

#include "catalogue/hexdigits.h"
#include "codec/frame.h"

#include <algorithm>

namespace {

const QLatin1String kInteger("integer");
const QLatin1String kString("string");
const QLatin1String kBitfield("bitfield");

// Reads an integer field as the 32-bit value that reaches the bus. Hexadecimal
// digits are a bit pattern, so they are read unsigned whatever the sign (a
// signed read would turn 16 F digits into 0 instead of -1).
quint32 integerFieldValue(const ParameterDefinition &parameter, const QString &text)
{
    bool ok = false;
    if (parameter.isHexa()) {
        const quint64 v = text.toULongLong(&ok, 16);
        return ok ? quint32(v) : 0;
    }
    if (parameter.isSigned()) {
        const qint64 v = text.toLongLong(&ok, 10);
        return ok ? quint32(quint64(v)) : 0;
    }
    const quint64 v = text.toULongLong(&ok, 10);
    return ok ? quint32(v) : 0;
}

// `size` bytes of v, least significant first; beyond 4 bytes the low four repeat.
void appendInteger(QByteArray &bytes, quint32 v, int size)
{
    for (int j = 0; j < size; ++j)
        bytes.append(char((v >> (8 * (j % 4))) & 0xFF));
}

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isHexDigit(QChar c)
{
    return hexDigitValue(c.unicode()) >= 0;
}

} // namespace

int effectiveSize(const ParameterDefinition &parameter)
{
    return int(std::min(parameter.size, kMaxParameterBytes));
}

qint64 lowerLimit(const ParameterDefinition &parameter)
{
    return parameter.isSigned() ? qint64(parameter.minSigned) : qint64(parameter.minUnsigned);
}

qint64 upperLimit(const ParameterDefinition &parameter)
{
    return parameter.isSigned() ? qint64(parameter.maxSigned) : qint64(parameter.maxUnsigned);
}

qint64 defaultValue(const ParameterDefinition &parameter)
{
    return parameter.isSigned() ? qint64(parameter.defaultSigned)
                                : qint64(parameter.defaultUnsigned);
}

QByteArray encodeParameter(const ParameterDefinition &parameter, const ParameterInput &input)
{
    QByteArray bytes;
    if (!input.present)
        return bytes;

    if (parameter.type == kInteger) {
        quint32 v = 0;
        if (parameter.values.isEmpty()) {
            v = integerFieldValue(parameter, input.text);
        } else if (input.valueIndex >= 0 && input.valueIndex < parameter.values.size()) {
            const ValueDefinition &value = parameter.values.at(input.valueIndex);
            v = parameter.isSigned() ? quint32(value.signedValue) : value.unsignedValue;
        }
        appendInteger(bytes, v, effectiveSize(parameter));
    } else if (parameter.type == kString) {
        // Not padded to `size`: a short text gives a short field.
        bytes = input.text.toUtf8().left(int(kMaxParameterBytes));
    } else if (parameter.type == kBitfield) {
        // Always one byte, even for an empty list of bits or a declared size
        // other than 1; bits 8 to 31 have no place in it.
        quint8 byte = 0;
        for (int k = 0; k < parameter.values.size() && k < input.bitsChecked.size(); ++k) {
            const quint32 bit = parameter.values.at(k).unsignedValue % 32;
            if (input.bitsChecked.at(k) && bit < 8)
                byte |= quint8(1u << bit);
        }
        bytes.append(char(byte));
    }
    return bytes;
}

QByteArray encodeParameters(const MessageDefinition &message, const QList<ParameterInput> &inputs)
{
    QByteArray data;
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &parameter = message.parameters.at(i);
        data.append(encodeParameter(parameter, i < inputs.size() ? inputs.at(i)
                                                                 : defaultInput(parameter)));
    }
    return data;
}

QByteArray buildFrameBytes(const MessageDefinition &message, quint8 destinationNodeType, bool ack,
                           const QString &sourceText, const QString &destinationText,
                           const QByteArray &data)
{
    const quint8 length = quint8((data.size() + kFrameOverheadBytes) % 256);
    return packFrame(message.msgId, ack, length, 0, destinationNodeType, nodeIdValue(sourceText),
                     nodeIdValue(destinationText), data);
}

bool dataFitsFrame(const QByteArray &data)
{
    return data.size() <= kMaxDataBytes;
}

bool messageAllowsAddressing(const MessageDefinition &message, const QString &keyword)
{
    return message.addressingMode.isEmpty() || message.addressingMode.toUpper().contains(keyword);
}

bool isValidNodeId(const QString &text)
{
    if (text.size() != 6 || !std::all_of(text.begin(), text.end(), isHexDigit))
        return false;
    const quint32 id = text.toUInt(nullptr, 16);
    return id != kGroupAddress && id != kBroadcastAddress;
}

bool isNodeIdText(const QString &text)
{
    return text.size() <= 6 && std::all_of(text.begin(), text.end(), isHexDigit);
}

quint32 nodeIdValue(const QString &text)
{
    bool ok = false;
    const quint32 v = text.toUInt(&ok, 16);
    return ok ? v : 0;
}

QString initialEditorText(const ParameterDefinition &parameter)
{
    if (parameter.type == kInteger && parameter.values.isEmpty()) {
        if (parameter.isHexa())
            return limitHexText(parameter, defaultValue(parameter));
        return QString::number(defaultValue(parameter));
    }
    if (parameter.type == kString) {
        const int size = effectiveSize(parameter);
        if (!parameter.defaultText.isEmpty())
            return parameter.defaultText.left(size);
        return QString(size, QLatin1Char('-'));
    }
    return QString();
}

int initialValueIndex(const ParameterDefinition &parameter)
{
    for (int k = parameter.values.size() - 1; k >= 0; --k) {
        const ValueDefinition &value = parameter.values.at(k);
        const bool match = parameter.isSigned() ? value.signedValue == parameter.defaultSigned
                                                : value.unsignedValue == parameter.defaultUnsigned;
        if (match)
            return k;
    }
    return 0;
}

ParameterInput defaultInput(const ParameterDefinition &parameter)
{
    ParameterInput input;
    input.text = initialEditorText(parameter);
    input.valueIndex = initialValueIndex(parameter);
    for (int k = 0; k < parameter.values.size(); ++k)
        input.bitsChecked.append(false);
    return input;
}

QString limitHexText(const ParameterDefinition &parameter, qint64 value)
{
    const int digits = 2 * effectiveSize(parameter);
    const QString hex = QString::number(quint64(value), 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    if (parameter.isSigned())
        return hex.right(digits);
    return hex;
}

QString editorToolTip(const ParameterDefinition &parameter)
{
    const QString &description = parameter.description;
    auto withDescription = [&description](const QString &text) {
        return description.isEmpty() ? text : description + QLatin1Char('\n') + text;
    };

    if (parameter.type == kInteger) {
        if (!parameter.values.isEmpty() || !parameter.isHexa()) {
            return withDescription(QStringLiteral("Min:%1, Max:%2")
                                       .arg(QString::number(lowerLimit(parameter)),
                                            QString::number(upperLimit(parameter))));
        }
        return withDescription(QStringLiteral("Value in hexa\nMin:%1, Max:%2")
                                   .arg(limitHexText(parameter, lowerLimit(parameter)),
                                        limitHexText(parameter, upperLimit(parameter))));
    }
    if (parameter.type == kString)
        return withDescription(QStringLiteral("%1 characters").arg(parameter.size));
    return QString();
}

QString bitText(const ValueDefinition &value)
{
    return QStringLiteral("Bit %1: %2").arg(QString::number(value.unsignedValue), value.description);
}

TextValidity validateDecimalText(const QString &text, qint64 low, qint64 high)
{
    int start = 0;
    if (text.startsWith(QLatin1Char('-'))) {
        if (low >= 0)
            return TextValidity::Invalid;
        start = 1;
    }
    for (int i = start; i < text.size(); ++i) {
        const ushort u = text.at(i).unicode();
        if (u < '0' || u > '9')
            return TextValidity::Invalid;
    }
    if (text.size() == start)
        return TextValidity::Intermediate;

    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < low || v > high)
        return TextValidity::Intermediate;
    return TextValidity::Acceptable;
}

TextValidity validateDecimalText(const ParameterDefinition &parameter, const QString &text)
{
    return validateDecimalText(text, lowerLimit(parameter), upperLimit(parameter));
}

TextValidity validateHexaText(const ParameterDefinition &parameter, const QString &text)
{
    if (text.size() > 2 * effectiveSize(parameter)
        || !std::all_of(text.begin(), text.end(), isHexDigit))
        return TextValidity::Invalid;
    return TextValidity::Acceptable;
}

bool hexaInRange(const QString &text, bool isSigned, int byteSize, qint64 low, qint64 high)
{
    quint64 pattern = 0;
    if (!text.isEmpty()) {
        bool ok = false;
        pattern = text.toULongLong(&ok, 16);
        if (!ok || pattern > 0xFFFFFFFFull)
            return false;
    }

    if (!isSigned)
        return qint64(pattern) >= low && qint64(pattern) <= high;

    quint32 bits = quint32(pattern);
    if (byteSize >= 1 && byteSize <= 3) {
        const int signBit = 8 * byteSize - 1;
        if (bits & (1u << signBit))
            bits |= ~((1u << (8 * byteSize)) - 1);
    }
    const qint64 v = qint32(bits);
    return v >= std::min(low, high) && v <= std::max(low, high);
}

bool hexaInRange(const ParameterDefinition &parameter, const QString &text)
{
    return hexaInRange(text, parameter.isSigned(), effectiveSize(parameter),
                       lowerLimit(parameter), upperLimit(parameter));
}

TextValidity validateStringText(const ParameterDefinition &parameter, const QString &text)
{
    if (!isAscii(text) || quint32(text.size()) > parameter.size)
        return TextValidity::Invalid;
    return quint32(text.size()) == parameter.size ? TextValidity::Acceptable
                                                  : TextValidity::Intermediate;
}

bool editorTextIsValid(const ParameterDefinition &parameter, const QString &text, bool edited)
{
    if (parameter.type == kString)
        return validateStringText(parameter, text) == TextValidity::Acceptable;
    if (parameter.type != kInteger || !parameter.values.isEmpty())
        return true;
    if (!parameter.isHexa())
        return validateDecimalText(parameter, text) == TextValidity::Acceptable;
    return edited ? hexaInRange(parameter, text)
                  : validateHexaText(parameter, text) == TextValidity::Acceptable;
}
