#ifndef KWN_CODEC_FRAMEDECODING_H
#define KWN_CODEC_FRAMEDECODING_H

// Decoding of pasted frame text: cleaning and checking the text, unpacking
// the frame, and turning its data bytes into the texts of one row per
// parameter. Pure functions; the Decode page only renders what they return,
// and the command line prints the same results.

#include "catalogue/definitions.h"
#include "catalogue/hexdigits.h"
#include "codec/frame.h"
#include "codec/readers.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Lower-case hexadecimal digits of the text, every "0x"/"0X" prefix dropped
// and every other character too. One pass over the text.
QString cleanFrameText(const QString &text);

// The text checked and unpacked.
struct ParsedFrame
{
    enum Outcome { Ok, InvalidText, InvalidLength };

    Outcome outcome = InvalidText;
    // What to put on the status line. Empty for an accepted frame that is not
    // longer than announced: the status line is then left as it is.
    QString statusText;
    bool statusIsError = false;
    QByteArray bytes;   // the frame as pasted (as on the bus)
    FrameFields fields; // filled when outcome is Ok
    // More bytes were pasted than the length field announces.
    bool frameLonger = false;
    int additionalBytes = 0;

    bool ok() const { return outcome == Ok; }
};

ParsedFrame parseFrameText(const QString &text);
// The same for text given as UTF-8 bytes, without converting it.
ParsedFrame parseFrameText(const char *utf8, qsizetype size);
// The same checks for bytes already read (as from the bus): no bytes is an
// invalid frame, as an empty text is.
ParsedFrame parseFrameBytes(const QByteArray &bytes);

// The bytes of frame text given to be sent (kwn-frame send, the toolbar of
// the Wireshark capture), into `bytes`: empty when the text holds an even
// number of hexadecimal digits, else why it gives no bytes at all, in words
// to follow "not sent: ". Whether the bytes are one whole frame is
// frameProblem's to say.
QString frameTextBytes(const QString &text, QByteArray *bytes);

// Destination 000000 means group addressing, FFFFFF broadcast, anything else
// one receiver.
enum class AddressingMode { PointToPoint, Group, Broadcast };
AddressingMode addressingModeOf(quint32 destinationAddress);
// "Point to point", "Group" or "Broadcast".
QString addressingModeName(quint32 destinationAddress);
// Six upper-case hexadecimal digits, most significant first.
QString nodeIdText(quint32 address);

// Whether the last two bytes of a bus frame are the sum of the others.
// The panel decodes frames whatever this says; the command line reports it.
bool checksumMatches(const QByteArray &frameBytes);

struct DecodedBit
{
    quint32 bit = 0;  // the entry's unsignedValue, as written
    QString label;    // "Bit N: description"
    bool checked = false;
};

struct DecodedRow
{
    enum Kind { Value, Bits, LabelOnly };

    QString label; // parameter name followed by ":"
    Kind kind = Value;
    // Text of the read-only field (Value rows), as every page and every
    // printed style but JSON shows it: for a string, visibleText of its
    // characters.
    QString value;
    // The same before visibleText: a string's characters without their
    // padding; what JSON carries, escaped its own way.
    QString unescapedValue;
    QString toolTip;
    QList<DecodedBit> bits; // Bits rows, one per named bit in list order
    QString parameterName;
    // The number read from the data bytes before any naming or formatting,
    // for integer and bitfield rows (hasRaw); a string or a row of no known
    // type has none. It is the 32-bit pattern that readUnsigned gives, or for
    // a signed integer readSigned's two's complement (sign-extended from the
    // field's top bit). A bitfield's is the whole field: bit k of it is bit k
    // of the field, named or not.
    quint32 raw = 0;
    bool hasRaw = false;
    bool rawIsSigned = false; // a signed integer: raw is a two's complement
    // The field's size in bytes, as the catalogue gives it, for writing raw
    // as the field's bytes (FB rather than FFFFFFFB); 0 for a row of no known type.
    quint32 size = 0;
    // An integer whose values the catalogue names (value is a name, or
    // invalidValueText when none names raw), and whether one names raw.
    bool namedForm = false;
    bool valueNamed = false;
    // The number that raw stands for, as a user reads it: a signed integer's
    // value (FB in a signed field gives -5), else raw as it is.
    qint64 rawNumber() const { return rawIsSigned ? qint64(qint32(raw)) : qint64(raw); }
    // Whether bit `position` (0 to 31) of a bitfield's field is set.
    bool rawBitSet(quint32 position) const { return position < 32 && ((raw >> position) & 1u); }
};

struct MessageDecoding
{
    bool known = false;     // a message with the frame's identifier exists
    bool slave = false;     // it is a slave message: a node's reply to a request
    QString messageName;    // its name, or "Unknown message"
    QString messageToolTip; // its description
    QList<DecodedRow> rows; // one per shown parameter, in parameter order
    QString statusText;
    bool statusIsError = false;
    bool complete = false;  // every parameter was reached
};

// Widest field, in bytes, whose value text is padded to its full width.
// Beyond it the padding would only add meaningless digits.
constexpr quint32 kMaxPaddedFieldBytes = kMaxFrameBytes;

// A string parameter's characters without the padding of its fixed-size
// field: the code 0 characters at its end (a device pads a short string with
// them, and bytes missing from the frame read as them) end the string and are
// dropped. A code 0 followed by anything else is part of the string.
QString withoutStringPadding(const QString &characters);

// The text with every character that is not shown as itself written as an
// escape, so that a value never breaks a line or changes how the rest of a
// line looks: control characters (C0, DEL, C1), line and paragraph
// separators, format characters (the soft hyphen, zero-width characters, the
// bidirectional embeddings, overrides and isolates, ...), noncharacters and
// lone surrogates. A code point up to U+00FF is written \xHH, one above as
// \u{HHHH} (four to six digits), both with upper-case digits; a backslash is
// written \\, so that every escape reads back unambiguously. A text that
// needs no escape is returned as it is, without a copy.
QString visibleText(const QString &text);

// The row of one parameter whose first byte is at `offset` (inside the data).
// Built from the pieces below, which the command line's writers of plain
// frames use as well.
DecodedRow decodeParameter(const ParameterDefinition &parameter, const QByteArray &data,
                           quint64 offset);

// Whether decoding reads the parameter's bytes: an integer, a string or a
// bitfield. A parameter of any other type takes no byte and shows only its
// label.
bool isDecodedType(const ParameterDefinition &parameter);

// Where a parameter after this one starts: a parameter of a decoded type
// takes its size in bytes, any other none. 64-bit, so that huge sizes from a
// bad definition cannot wrap it.
inline quint64 offsetAfter(const ParameterDefinition &parameter, quint64 offset)
{
    return isDecodedType(parameter) ? offset + parameter.size : offset;
}

// How an integer parameter shows the number read from its field.
enum class IntegerForm : quint8 {
    Named,         // the description of the value that names it, else invalidValueText
    NamedSigned,   // the same, the number compared with the values' signed numbers
    Decimal,
    SignedDecimal,
    LowerHex,      // unsigned in hexadecimal: lower-case digits
    SignedHex,     // upper-case digits; a negative number as its two's
                   // complement over the whole field (writeHexField padded with F)
};
IntegerForm integerFormOf(const ParameterDefinition &parameter);
inline bool isSignedForm(IntegerForm form)
{
    return form == IntegerForm::NamedSigned || form == IntegerForm::SignedDecimal || form == IntegerForm::SignedHex;
}

// The number an integer or bitfield parameter holds (DecodedRow::raw):
// readUnsigned's pattern, or for a signed integer readSigned's two's
// complement.
inline quint32 readParameterPattern(const QByteArray &data, quint64 offset, quint32 size, bool isSigned)
{
    return isSigned ? quint32(readSigned(data, offset, size)) : readUnsigned(data, offset, size);
}

// The pieces of value texts, written at `out`; each returns the count of
// characters written. The last `width` upper-case hexadecimal digits of a
// number, padded on the left with `pad`, the width twice the size in bytes
// (bounded, so that an absurd size cannot make a huge text):
int writeHexField(char *out, quint32 pattern, quint32 size, char pad);
// The hexadecimal digits of a number, no leading zero, in the given case:
int writeHexDigits(char *out, quint32 value, const char *digits);
// invalidValueText:
int writeInvalidValue(char *out, quint32 value, quint32 size);

// The value text of an integer parameter of the given form for the number
// read: either `named`, the index in parameter.values of the value that names
// it, or (named < 0) the ASCII text in text[0, size).
struct IntegerText
{
    int named;
    int size;
    char text[96]; // "Invalid value (0x" and 62 digits at most
};
// Inline, as the command line writes a value text for most parameters of
// every frame.
inline IntegerText integerValueText(const ParameterDefinition &parameter, IntegerForm form, quint32 pattern)
{
    IntegerText t;
    t.named = -1;
    t.size = 0;
    const bool negative = isSignedForm(form) && qint32(pattern) < 0;
    switch (form) {
    case IntegerForm::Named:
    case IntegerForm::NamedSigned: {
        const QList<ValueDefinition> &values = parameter.values;
        const bool bySign = form == IntegerForm::NamedSigned;
        for (int i = 0; i < values.size(); ++i) {
            const ValueDefinition &entry = values.at(i);
            if (bySign ? entry.signedValue == qint32(pattern) : entry.unsignedValue == pattern) {
                t.named = i;
                return t;
            }
        }
        t.size = writeInvalidValue(t.text, pattern, parameter.size);
        return t;
    }
    case IntegerForm::Decimal:
    case IntegerForm::SignedDecimal: {
        char digits[10];
        int n = 0;
        quint32 magnitude = negative ? quint32(0) - pattern : pattern;
        do {
            digits[n++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (negative)
            t.text[t.size++] = '-';
        while (n)
            t.text[t.size++] = digits[--n];
        return t;
    }
    case IntegerForm::LowerHex:
        t.size = writeHexDigits(t.text, pattern, kHexDigitsLower);
        return t;
    case IntegerForm::SignedHex:
        // A negative number over the whole field, sign-extended past 32 bits.
        t.size = negative ? writeHexField(t.text, pattern, parameter.size, 'F')
                          : writeHexDigits(t.text, pattern, kHexDigitsUpper);
        return t;
    }
    return t;
}

// The text of a bitfield's named bit: "Bit N: description".
QString bitLabel(const ValueDefinition &entry);

// Whether the named bit (its number taken modulo 32) is set in the field.
inline bool namedBitSet(quint32 field, const ValueDefinition &entry)
{
    return (field >> (entry.unsignedValue % 32)) & 1u;
}

// "Invalid value (0x" + the value's last 2*size upper-case hexadecimal
// digits, zero-padded + ")".
QString invalidValueText(quint32 value, quint32 size);

// Whether a message decodes the frames of its identifier: one without a name
// stands for none, and such a frame's message is unknown.
bool isKnownMessage(const MessageDefinition &message);

// The status line of a frame decoded whole: "Frame decoded successfully."
const QString &decodedStatusText();

// Decodes the data bytes of a frame as the given message (one that is not
// isKnownMessage means none was found). When the frame held more bytes than
// announced, a complete decoding keeps `longerStatus` as its status instead
// of reporting success.
MessageDecoding decodeMessageData(const MessageDefinition &message, const QByteArray &data,
                                  bool frameLonger, const QString &longerStatus);

// The product whose profile decodes a frame: the one whose node type is the
// frame's source node type. A frame sent by a controller carries source node
// type 0 (the Encode page builds every frame so) and names its receiver only
// in the destination node type; when no product has node type 0, such a frame
// is decoded with the receiver's product, so that a frame built here reads
// back. Empty when neither names a product.
QString productForFrame(const ProfileMap &profiles, const FrameFields &fields);

#endif
