#ifndef KWN_TESTS_FUZZ_FUZZCHECKS_H
#define KWN_TESTS_FUZZ_FUZZCHECKS_H

// What the fuzz targets check, shared with the robustness tests so that a
// build without libFuzzer replays the seed corpus and every crasher through
// exactly the same code. Each check takes raw input bytes and returns an
// empty text when every property holds, else a description of the first that
// failed. Nothing here reads files except SampleCatalogue, once.

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/outputformat.h"
#include "codec/readers.h"
#include "codec/valueencoding.h"
#include "fuzz/randomcatalogue.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzzchecks {

#define FUZZ_EXPECT(condition, what)                                                   \
    do {                                                                               \
        if (!(condition))                                                              \
            return QStringLiteral("%1:%2: %3")                                         \
                .arg(QLatin1String(__FILE__), QString::number(__LINE__), QString(what));  \
    } while (false)

#define FUZZ_PROPAGATE(call)                                                           \
    do {                                                                               \
        const QString failure_ = (call);                                               \
        if (!failure_.isEmpty())                                                       \
            return failure_;                                                           \
    } while (false)

using randomcatalogue::ByteSource;
using randomcatalogue::makeParameter;

inline QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// ---------------------------------------------------------------------------
// Records compared field by field (the codec records have no operator==).

inline bool sameFields(const FrameFields &a, const FrameFields &b)
{
    return a.messageId == b.messageId && a.ackRequested == b.ackRequested
        && a.controlBits == b.controlBits && a.length == b.length
        && a.sourceNodeType == b.sourceNodeType && a.destinationNodeType == b.destinationNodeType
        && a.sourceAddress == b.sourceAddress && a.destinationAddress == b.destinationAddress
        && a.data == b.data && a.checksum == b.checksum;
}

inline bool sameParsed(const ParsedFrame &a, const ParsedFrame &b)
{
    return a.outcome == b.outcome && a.statusText == b.statusText
        && a.statusIsError == b.statusIsError && a.bytes == b.bytes
        && sameFields(a.fields, b.fields) && a.frameLonger == b.frameLonger
        && a.additionalBytes == b.additionalBytes;
}

inline bool sameRow(const DecodedRow &a, const DecodedRow &b)
{
    if (a.label != b.label || a.kind != b.kind || a.value != b.value
        || a.unescapedValue != b.unescapedValue || a.toolTip != b.toolTip
        || a.parameterName != b.parameterName || a.raw != b.raw || a.hasRaw != b.hasRaw
        || a.rawIsSigned != b.rawIsSigned
        || a.bits.size() != b.bits.size())
        return false;
    for (int i = 0; i < a.bits.size(); ++i) {
        if (a.bits.at(i).bit != b.bits.at(i).bit || a.bits.at(i).label != b.bits.at(i).label
            || a.bits.at(i).checked != b.bits.at(i).checked)
            return false;
    }
    return true;
}

inline bool sameDecoding(const MessageDecoding &a, const MessageDecoding &b)
{
    if (a.known != b.known || a.messageName != b.messageName
        || a.messageToolTip != b.messageToolTip || a.statusText != b.statusText
        || a.statusIsError != b.statusIsError || a.complete != b.complete
        || a.rows.size() != b.rows.size())
        return false;
    for (int i = 0; i < a.rows.size(); ++i) {
        if (!sameRow(a.rows.at(i), b.rows.at(i)))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Frame text.

// The cleaning rule written the slow way: lower-case, drop every "0x", keep
// the hexadecimal digits. Lower-cased one code unit at a time: QString::toLower
// reads a lone high surrogate and the unit after it as one pair and leaves
// that unit as it is, which would lose an "F" pasted after such garbage.
inline QString referenceCleanText(const QString &text)
{
    QString lowered = text;
    for (QChar &c : lowered)
        c = c.toLower();
    lowered.remove(QLatin1String("0x"));
    QString out;
    for (QChar c : qAsConst(lowered)) {
        const ushort u = c.unicode();
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f'))
            out.append(c);
    }
    return out;
}

inline QString longerText(int additionalBytes)
{
    return QStringLiteral("Frame is longer than expected (%1 additional bytes).").arg(additionalBytes);
}

inline QString checkParsedFrame(const QString &text, const ParsedFrame &parsed)
{
    const QString clean = cleanFrameText(text);
    FUZZ_EXPECT(clean == referenceCleanText(text),
                QStringLiteral("cleanFrameText gave \"%1\", expected \"%2\"").arg(clean, referenceCleanText(text)));
    FUZZ_EXPECT(cleanFrameText(clean) == clean, "cleaning is not idempotent");

    switch (parsed.outcome) {
    case ParsedFrame::InvalidText:
        FUZZ_EXPECT(clean.isEmpty() || clean.size() % 2 != 0, "even clean text refused as invalid text");
        FUZZ_EXPECT(parsed.statusText == QLatin1String("Invalid frame.") && parsed.statusIsError,
                    "status of invalid text: " + parsed.statusText);
        return QString();
    case ParsedFrame::InvalidLength:
        FUZZ_EXPECT(!clean.isEmpty() && clean.size() % 2 == 0 && clean.size() / 2 < kFrameOverheadBytes,
                    QStringLiteral("refused as too short with %1 digits").arg(clean.size()));
        FUZZ_EXPECT(parsed.statusText == QLatin1String("Invalid frame length.") && parsed.statusIsError,
                    "status of short frame: " + parsed.statusText);
        return QString();
    case ParsedFrame::Ok:
        break;
    default:
        return QStringLiteral("unknown outcome %1").arg(int(parsed.outcome));
    }

    FUZZ_EXPECT(clean.size() % 2 == 0 && clean.size() / 2 >= kFrameOverheadBytes,
                QStringLiteral("accepted %1 digits").arg(clean.size()));
    FUZZ_EXPECT(parsed.bytes.size() >= kFrameOverheadBytes, "accepted frame shorter than 11 bytes");
    FUZZ_EXPECT(parsed.bytes == hexTextToBytes(clean), "bytes differ from the clean text");
    FUZZ_EXPECT(frameToHexText(parsed.bytes).toLower() == clean, "bytes do not give the clean text back");
    FUZZ_EXPECT(sameFields(parsed.fields, unpackFrame(parsed.bytes)), "fields differ from unpackFrame(bytes)");
    FUZZ_EXPECT(parsed.fields.data.size() == parsed.bytes.size() - kFrameOverheadBytes, "data size");
    FUZZ_EXPECT(parsed.fields.length <= 31 && parsed.fields.controlBits <= 3
                    && parsed.fields.sourceNodeType <= 15 && parsed.fields.destinationNodeType <= 15
                    && parsed.fields.sourceAddress <= 0xFFFFFF && parsed.fields.destinationAddress <= 0xFFFFFF,
                "a header field is beyond its width");
    FUZZ_EXPECT(!parsed.statusIsError, "accepted frame with an error status");
    const bool longer = parsed.bytes.size() > int(parsed.fields.length);
    FUZZ_EXPECT(parsed.frameLonger == longer, "frameLonger wrong");
    if (longer) {
        const int extra = parsed.bytes.size() - int(parsed.fields.length);
        FUZZ_EXPECT(parsed.additionalBytes == extra && parsed.statusText == longerText(extra),
                    "status of longer frame: " + parsed.statusText);
    } else {
        FUZZ_EXPECT(parsed.statusText.isEmpty(), "status of accepted frame: " + parsed.statusText);
    }
    return QString();
}

// What every decoding must satisfy, whatever the message and the data.
inline QString checkDecoding(const MessageDefinition &message, const QByteArray &data,
                             bool frameLonger, const QString &longerStatus)
{
    const MessageDecoding decoding = decodeMessageData(message, data, frameLonger, longerStatus);
    const MessageDecoding again = decodeMessageData(message, data, frameLonger, longerStatus);
    FUZZ_EXPECT(sameDecoding(decoding, again), "decoding the same data twice differs");

    if (message.name.isEmpty()) {
        FUZZ_EXPECT(!decoding.known && decoding.messageName == QLatin1String("Unknown message")
                        && decoding.rows.isEmpty() && !decoding.complete && decoding.statusIsError
                        && decoding.statusText == QLatin1String("Frame not decoded because message is unknown."),
                    "decoding of an unknown message: " + decoding.statusText);
        return QString();
    }
    FUZZ_EXPECT(decoding.known && decoding.messageName == message.name
                    && decoding.messageToolTip == message.description,
                "message name or tool tip");
    FUZZ_EXPECT(decoding.rows.size() <= message.parameters.size(),
                QStringLiteral("%1 rows for %2 parameters").arg(decoding.rows.size()).arg(message.parameters.size()));

    if (decoding.statusText == QLatin1String("Frame is uncomplete.")) {
        FUZZ_EXPECT(decoding.statusIsError && !decoding.complete, "uncomplete frame reported as complete");
    } else if (decoding.statusText == QLatin1String("Frame decoded successfully.") && !frameLonger) {
        FUZZ_EXPECT(!decoding.statusIsError && decoding.complete, "success with an error flag");
    } else {
        FUZZ_EXPECT(frameLonger && decoding.statusText == longerStatus && decoding.complete
                        && !decoding.statusIsError,
                    "unknown status text: " + decoding.statusText);
    }

    // Rows follow the displayed parameters in order, and no text grows with
    // a declared size: only with the data that exists.
    int p = 0;
    for (const DecodedRow &row : decoding.rows) {
        while (p < message.parameters.size() && !message.parameters.at(p).display)
            ++p;
        FUZZ_EXPECT(p < message.parameters.size(), "more rows than displayed parameters");
        const ParameterDefinition &parameter = message.parameters.at(p++);
        FUZZ_EXPECT(row.parameterName == parameter.name && row.label == parameter.name + QLatin1Char(':'),
                    "row label " + row.label);
        int longestName = 0;
        for (const ValueDefinition &value : parameter.values)
            longestName = std::max(longestName, int(value.description.size()));
        // A string's byte shows as at most four characters (\xHH).
        const int bound = std::max({int(2 * kMaxPaddedFieldBytes) + 20, 4 * int(data.size()), longestName});
        FUZZ_EXPECT(row.value.size() <= bound,
                    QStringLiteral("value of %1 characters for size %2").arg(row.value.size()).arg(parameter.size));
        if (parameter.type == QLatin1String("string")) {
            FUZZ_EXPECT(!row.unescapedValue.endsWith(QChar(0)), "a string keeps its padding");
            FUZZ_EXPECT(row.value == visibleText(row.unescapedValue), "a string is not shown as visibleText makes it");
            for (const QChar c : row.value)
                FUZZ_EXPECT((c.unicode() >= 0x20 && c.unicode() < 0x7F) || (c.unicode() >= 0xA0 && c.unicode() != 0xAD),
                            QStringLiteral("a string shows U+%1 as it is").arg(c.unicode(), 4, 16, QLatin1Char('0')));
        } else if (row.kind == DecodedRow::Value) {
            FUZZ_EXPECT(row.value == row.unescapedValue, "an integer's value is escaped");
        }
        // Integers and bitfields keep the number read; a decimal integer shows it.
        const bool integer = parameter.type == QLatin1String("integer");
        FUZZ_EXPECT(row.hasRaw == (integer || parameter.type == QLatin1String("bitfield")),
                    "a raw number on a row other than an integer or a bitfield, or none on one");
        FUZZ_EXPECT(row.rawIsSigned == (integer && parameter.isSigned()), "sign of the raw number");
        if (integer && parameter.values.isEmpty() && !parameter.isHexa())
            FUZZ_EXPECT(row.value == QString::number(row.rawNumber()),
                        QStringLiteral("value %1 for the raw number %2").arg(row.value).arg(row.rawNumber()));
        if (row.kind == DecodedRow::Bits)
            FUZZ_EXPECT(row.bits.size() == parameter.values.size(), "one check box per named bit");
        else
            FUZZ_EXPECT(row.bits.isEmpty(), "bits on a row that is no bitfield");
    }
    return QString();
}

// The bundled sample catalogue, read once: every input is decoded against it
// without touching a file.
struct SampleCatalogue
{
    ProfileMap profiles;
    QMap<QString, MessageMap> messagesByProfile; // by profileKey
    QList<MessageDefinition> allMessages;

    static const SampleCatalogue &instance()
    {
        static const SampleCatalogue catalogue = load();
        return catalogue;
    }

    // The profile that a frame's source node type names, as the Decode page
    // picks it: the product of that node type, then its first revision.
    const MessageMap *messagesForNodeType(quint8 nodeType) const
    {
        const QString product = productForNodeType(profiles, nodeType);
        if (product.isEmpty())
            return nullptr;
        const QString revision = revisionsOf(profiles, product).value(0);
        const auto it = messagesByProfile.constFind(profileKey(findProfile(profiles, product, revision)));
        return it == messagesByProfile.constEnd() ? nullptr : &it.value();
    }

private:
    static SampleCatalogue load()
    {
        SampleCatalogue catalogue;
        catalogue.profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        for (const ProfileDefinition &profile : qAsConst(catalogue.profiles)) {
            const MessageMap messages = messagesOfProfile(profile, false);
            catalogue.messagesByProfile.insert(profileKey(profile), messages);
            for (const MessageDefinition &message : messages)
                catalogue.allMessages.append(message);
        }
        return catalogue;
    }
};

inline QString checkFrameTextOnce(const QString &text, uint selector)
{
    const ParsedFrame parsed = parseFrameText(text);
    FUZZ_EXPECT(sameParsed(parsed, parseFrameText(text)), "parsing the same text twice differs");
    FUZZ_PROPAGATE(checkParsedFrame(text, parsed));
    if (!parsed.ok())
        return QString();

    const SampleCatalogue &catalogue = SampleCatalogue::instance();
    const MessageMap *messages = catalogue.messagesForNodeType(parsed.fields.sourceNodeType);
    const MessageDefinition message = messages ? messageById(*messages, parsed.fields.messageId)
                                               : MessageDefinition();
    FUZZ_PROPAGATE(checkDecoding(message, parsed.fields.data, parsed.frameLonger, parsed.statusText));
    // Whatever the identifier, the data is also decoded as some message of
    // the catalogue, so that every definition meets arbitrary data.
    if (!catalogue.allMessages.isEmpty()) {
        const MessageDefinition &other = catalogue.allMessages.at(int(selector % uint(catalogue.allMessages.size())));
        FUZZ_PROPAGATE(checkDecoding(other, parsed.fields.data, parsed.frameLonger, parsed.statusText));
    }
    return QString();
}

// fuzz_frametext: the bytes as UTF-8 text and as UTF-16 code units.
inline QString checkFrameText(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const uint selector = qHash(bytes);
    FUZZ_PROPAGATE(checkFrameTextOnce(QString::fromUtf8(bytes), selector));

    QString wide(int(size / 2), Qt::Uninitialized);
    std::memcpy(wide.data(), data, (size / 2) * sizeof(QChar));
    FUZZ_PROPAGATE(checkFrameTextOnce(wide, selector));
    return QString();
}

// ---------------------------------------------------------------------------
// Definition files.

inline QString checkParameterEditors(const ParameterDefinition &parameter)
{
    const int size = effectiveSize(parameter);
    FUZZ_EXPECT(size >= 0 && quint32(size) <= kMaxParameterBytes && quint32(size) <= parameter.size,
                QStringLiteral("effective size %1 of size %2").arg(size).arg(parameter.size));

    const ParameterInput input = defaultInput(parameter);
    FUZZ_EXPECT(input.bitsChecked.size() == parameter.values.size(), "one bit state per named value");
    FUZZ_EXPECT(input.valueIndex >= 0 && (parameter.values.isEmpty() || input.valueIndex < parameter.values.size()),
                QStringLiteral("initial value index %1").arg(input.valueIndex));
    // Sixteen digits is the widest a 64-bit limit is ever written.
    const int textBound = std::max(2 * size, 20) + parameter.defaultText.size();
    FUZZ_EXPECT(input.text.size() <= textBound,
                QStringLiteral("initial text of %1 characters for size %2").arg(input.text.size()).arg(parameter.size));

    const QByteArray bytes = encodeParameter(parameter, input);
    FUZZ_EXPECT(quint32(bytes.size()) <= kMaxParameterBytes,
                QStringLiteral("%1 bytes for one parameter").arg(bytes.size()));
    FUZZ_EXPECT(bytes == encodeParameter(parameter, input), "encoding twice differs");

    for (qint64 limit : {lowerLimit(parameter), upperLimit(parameter), defaultValue(parameter)}) {
        const QString hex = limitHexText(parameter, limit);
        FUZZ_EXPECT(hex.size() <= std::max(2 * size, 16), "limit text of " + QString::number(hex.size()));
    }
    const QString tip = editorToolTip(parameter);
    FUZZ_EXPECT(tip.size() <= parameter.description.size() + 4 * 16 + 64 + 2 * 2 * size,
                QStringLiteral("tool tip of %1 characters").arg(tip.size()));
    validateDecimalText(parameter, input.text);
    validateHexaText(parameter, input.text);
    hexaInRange(parameter, input.text);
    validateStringText(parameter, input.text);
    for (const ValueDefinition &value : parameter.values)
        bitText(value);
    return QString();
}

inline QString checkMessageDefinition(const MessageDefinition &message, const QByteArray &input)
{
    for (const ParameterDefinition &parameter : message.parameters)
        FUZZ_PROPAGATE(checkParameterEditors(parameter));

    const QByteArray encoded = encodeParameters(message, {});
    const quint64 bound = quint64(message.parameters.size()) * (kMaxParameterBytes + 1);
    FUZZ_EXPECT(quint64(encoded.size()) <= bound,
                QStringLiteral("%1 data bytes for %2 parameters").arg(encoded.size()).arg(message.parameters.size()));

    // Data taken from the input, the encoder's own bytes, none at all, and a
    // frame full of ones.
    const QByteArray tail = input.right(kMaxDataBytes + 4);
    for (const QByteArray &data : {tail, encoded.left(kMaxDataBytes), QByteArray(), QByteArray(kMaxDataBytes, '\xFF')}) {
        FUZZ_PROPAGATE(checkDecoding(message, data, false, QString()));
        FUZZ_PROPAGATE(checkDecoding(message, data, true, longerText(3)));
    }
    return QString();
}

// fuzz_definitions: the bytes as a message file and as a profile file.
inline QString checkDefinitions(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), int(size));

    const MessageMap messages = readMessageData(xml);
    FUZZ_EXPECT(messages == readMessageData(xml), "reading the same message file twice differs");
    // The quick reader of plain files reads exactly as the DOM reader does.
    MessageMap quick;
    if (readPlainMessageData(xml, &quick))
        FUZZ_EXPECT(quick == readMessageDataThroughDom(xml), "the quick message reader differs from the DOM reader");
    for (auto it = messages.constBegin(); it != messages.constEnd(); ++it) {
        FUZZ_EXPECT(it.key() == it->name, "message filed under " + it.key() + " is named " + it->name);
        FUZZ_PROPAGATE(checkMessageDefinition(it.value(), xml));
    }

    const QString path = QStringLiteral("/fuzz/xml/profile.xml");
    const ProfileDefinition profile = readProfileData(xml, path);
    FUZZ_EXPECT(profile == readProfileData(xml, path), "reading the same profile file twice differs");
    if (profile != ProfileDefinition()) {
        FUZZ_EXPECT(profile.filePath == path, "profile path " + profile.filePath);
        FUZZ_EXPECT(profile.standardMsgPath.startsWith(QLatin1String("/fuzz/xml"))
                        && profile.standardMotorMsgPath.startsWith(QLatin1String("/fuzz/xml")),
                    "message file paths outside the profile's folder");
    }
    return QString();
}

// ---------------------------------------------------------------------------
// Encoding.

inline ParameterInput makeInput(ByteSource &in, const ParameterDefinition &parameter)
{
    ParameterInput input = in.flag() ? defaultInput(parameter) : ParameterInput();
    const quint8 what = in.u8();
    input.present = !(what & 1) || !parameter.optional;
    if (what & 2)
        input.text = in.text(24);
    if (what & 4)
        input.valueIndex = int(qint8(in.u8()));
    if (what & 8) {
        input.bitsChecked.clear();
        const int n = in.u8() % 8;
        for (int k = 0; k < n; ++k)
            input.bitsChecked.append(in.flag());
    }
    return input;
}

// The per-byte template written the slow way.
inline QString referenceFormat(const QString &hex, const QString &format)
{
    const int first = format.indexOf(QLatin1String("##"));
    QString prefix = format;
    QString suffix;
    if (first >= 0) {
        prefix = format.left(first);
        const int second = format.indexOf(QLatin1String("##"), first + 2);
        suffix = second < 0 ? format.mid(first + 2) : format.mid(first + 2, second - first - 2);
    }
    QString out;
    for (int i = 0; i + 1 < hex.size(); i += 2)
        out += prefix + hex.mid(i, 2).toUpper() + suffix;
    return out;
}

inline QString checkParameterInput(const ParameterDefinition &p, const ParameterInput &input)
{
    const QByteArray bytes = encodeParameter(p, input);
    const int size = effectiveSize(p);
    if (!input.present) {
        FUZZ_EXPECT(bytes.isEmpty(), "absent parameter gave bytes");
    } else if (p.type == QLatin1String("integer")) {
        FUZZ_EXPECT(bytes.size() == size, QStringLiteral("integer of size %1 gave %2 bytes").arg(p.size).arg(bytes.size()));
    } else if (p.type == QLatin1String("string")) {
        FUZZ_EXPECT(bytes == input.text.toUtf8().left(int(kMaxParameterBytes)), "string bytes");
    } else if (p.type == QLatin1String("bitfield")) {
        FUZZ_EXPECT(bytes.size() == 1, "bitfield is not one byte");
    } else {
        FUZZ_EXPECT(bytes.isEmpty(), "parameter of unknown type gave bytes");
    }

    const TextValidity hexa = validateHexaText(p, input.text);
    bool allHex = true;
    for (QChar c : input.text)
        allHex = allHex && QString(QStringLiteral("0123456789abcdefABCDEF")).contains(c);
    FUZZ_EXPECT((hexa == TextValidity::Acceptable) == (allHex && input.text.size() <= 2 * size),
                "hexadecimal text judged wrongly: " + input.text);

    const TextValidity decimal = validateDecimalText(p, input.text);
    if (decimal == TextValidity::Acceptable) {
        bool ok = false;
        const qint64 v = input.text.toLongLong(&ok, 10);
        FUZZ_EXPECT(ok && v >= lowerLimit(p) && v <= upperLimit(p), "decimal text accepted out of range: " + input.text);
    }
    const TextValidity string = validateStringText(p, input.text);
    if (string == TextValidity::Acceptable)
        FUZZ_EXPECT(quint32(input.text.size()) == p.size, "string accepted at the wrong length");

    const bool inRange = hexaInRange(p, input.text);
    if (!p.isSigned() && allHex && !input.text.isEmpty() && input.text.size() <= 8) {
        const qint64 v = qint64(input.text.toULongLong(nullptr, 16));
        FUZZ_EXPECT(inRange == (v >= lowerLimit(p) && v <= upperLimit(p)), "unsigned range of " + input.text);
    }
    FUZZ_PROPAGATE(checkParameterEditors(p));
    return QString();
}

// When every parameter is a plain decimal integer of 1 to 4 bytes that is
// present and shown, decoding the encoded bytes gives back every number that
// fits its field.
inline QString checkDecimalRoundTrip(const MessageDefinition &message,
                                     const QList<ParameterInput> &inputs, const QByteArray &encoded)
{
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &p = message.parameters.at(i);
        if (p.type != QLatin1String("integer") || !p.values.isEmpty() || p.isHexa() || p.size < 1
            || p.size > 4 || !p.display || (i < inputs.size() && !inputs.at(i).present))
            return QString();
    }
    const MessageDecoding decoding = decodeMessageData(message, encoded, false, QString());
    FUZZ_EXPECT(decoding.complete && decoding.rows.size() == message.parameters.size(),
                "plain integers did not decode completely: " + decoding.statusText);
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &p = message.parameters.at(i);
        const QString text = i < inputs.size() ? inputs.at(i).text : defaultInput(p).text;
        bool ok = false;
        const qint64 v = text.toLongLong(&ok, 10);
        const int bits = 8 * int(p.size);
        const bool fits = p.isSigned() ? v >= -(qint64(1) << (bits - 1)) && v < (qint64(1) << (bits - 1))
                                       : v >= 0 && v < (qint64(1) << bits);
        if (!ok || !fits)
            continue;
        FUZZ_EXPECT(decoding.rows.at(i).value == QString::number(v),
                    QStringLiteral("\"%1\" came back as \"%2\"").arg(text, decoding.rows.at(i).value));
    }
    return QString();
}

// fuzz_encoding: definitions, editor contents, addressing and an output
// format, all made from the bytes.
inline QString checkEncoding(const uint8_t *data, size_t size)
{
    ByteSource in(data, size);
    MessageDefinition message;
    message.name = QStringLiteral("Fuzzed");
    message.msgId = in.u8();
    const int parameterCount = in.u8() % 9;
    for (int i = 0; i < parameterCount; ++i)
        message.parameters.append(makeParameter(in));
    QList<ParameterInput> inputs;
    const int inputCount = in.u8() % 10;
    for (int i = 0; i < inputCount; ++i) {
        const ParameterDefinition fallback;
        inputs.append(makeInput(in, i < parameterCount ? message.parameters.at(i) : fallback));
    }

    QByteArray expected;
    for (int i = 0; i < parameterCount; ++i) {
        const ParameterDefinition &p = message.parameters.at(i);
        const ParameterInput input = i < inputs.size() ? inputs.at(i) : defaultInput(p);
        FUZZ_PROPAGATE(checkParameterInput(p, input));
        expected += encodeParameter(p, input);
    }
    const QByteArray encoded = encodeParameters(message, inputs);
    FUZZ_EXPECT(encoded == expected, "encodeParameters differs from the parameters' bytes");
    FUZZ_EXPECT(quint64(encoded.size()) <= quint64(parameterCount) * (kMaxParameterBytes + 1),
                QStringLiteral("%1 data bytes").arg(encoded.size()));
    FUZZ_EXPECT(dataFitsFrame(encoded) == (encoded.size() <= kMaxDataBytes), "dataFitsFrame");

    FUZZ_PROPAGATE(checkDecoding(message, encoded, false, QString()));
    FUZZ_PROPAGATE(checkDecimalRoundTrip(message, inputs, encoded));

    const quint8 destinationType = in.u8();
    const bool ack = in.flag();
    const QString source = in.text(8);
    const QString destination = in.text(8);
    const QByteArray frame = buildFrameBytes(message, destinationType, ack, source, destination, encoded);
    FUZZ_EXPECT(frame.size() == encoded.size() + kFrameOverheadBytes, "frame size");
    FUZZ_EXPECT(checksumMatches(frame), "checksum of a built frame does not match");
    const FrameFields fields = unpackFrame(frame);
    FUZZ_EXPECT(fields.messageId == message.msgId, "message identifier");
    FUZZ_EXPECT(fields.ackRequested == ack, "acknowledge request");
    FUZZ_EXPECT(fields.controlBits == 0, "control bits");
    FUZZ_EXPECT(fields.length == ((encoded.size() + kFrameOverheadBytes) & 0x1F),
                QStringLiteral("length %1 for %2 data bytes").arg(fields.length).arg(encoded.size()));
    FUZZ_EXPECT(fields.sourceNodeType == 0, "source node type");
    FUZZ_EXPECT(fields.destinationNodeType == (destinationType & 0x0F), "destination node type");
    FUZZ_EXPECT(fields.sourceAddress == (nodeIdValue(source) & 0xFFFFFF), "source address");
    FUZZ_EXPECT(fields.destinationAddress == (nodeIdValue(destination) & 0xFFFFFF), "destination address");
    FUZZ_EXPECT(fields.data == encoded, "data");
    for (const QString &id : {source, destination}) {
        if (isValidNodeId(id))
            FUZZ_EXPECT(nodeIdValue(id) > 0 && nodeIdValue(id) < 0xFFFFFF, "valid node ID " + id);
    }

    // The frame's own text, or now and then any text at all.
    const QString hex = in.flag() ? in.text(40) : frameToHexText(frame);
    const QString format = in.text(12);
    FUZZ_EXPECT(isValidFormat(format) == format.contains(QLatin1String("##")), "isValidFormat");
    const QString output = formatOutputText(hex, format);
    FUZZ_EXPECT(output == referenceFormat(hex, format), "formatted \"" + output + "\" with \"" + format + "\"");
    // Only hexadecimal digits keep their length when upper-cased (a German
    // sharp s becomes two letters), and only they are what callers pass.
    const bool digitsOnly = std::all_of(hex.begin(), hex.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (isValidFormat(format) && digitsOnly) {
        const QStringList parts = format.split(QLatin1String("##"));
        const int perByte = parts.at(0).size() + 2 + parts.at(1).size();
        FUZZ_EXPECT(output.size() == (hex.size() / 2) * perByte, "output length");
    }
    return QString();
}

} // namespace fuzzchecks

#endif
