#ifndef KWN_CODEC_VALUEENCODING_H
#define KWN_CODEC_VALUEENCODING_H

// Turning what the parameter editors hold into data bytes and a frame, and
// the rules that decide whether an editor's text is valid (black) or not
// (red). The Encode page and the command line both reach them through
// encodeRequest (encoderequest.h), so they build the same frame and give the
// same warnings.

#include "catalogue/definitions.h"

#include <QByteArray>
#include <QList>
#include <QString>

// No parameter ever contributes more bytes than this, whatever size a
// definition file claims. A frame holds at most 20 data bytes anyway; the cap
// only keeps a bad catalogue from making us allocate or loop without bound.
constexpr quint32 kMaxParameterBytes = 255;

// What one parameter editor holds.
//   present      false when an optional parameter is switched off
//   text         decimal or hexadecimal digits of an integer field, or the
//                text of a string field
//   valueIndex   current entry of a named-value combo box
//   bitsChecked  state of the bit boxes of a bitfield, in `values` order
struct ParameterInput
{
    bool present = true;
    QString text;
    int valueIndex = 0;
    QList<bool> bitsChecked;
};

enum class TextValidity { Invalid, Intermediate, Acceptable };

// The size in bytes that the editors and the encoder work with: `size`,
// capped at kMaxParameterBytes.
int effectiveSize(const ParameterDefinition &parameter);

// The limits and default an integer parameter uses: the signed pair when
// `sign` is exactly "signed", else the unsigned pair.
qint64 lowerLimit(const ParameterDefinition &parameter);
qint64 upperLimit(const ParameterDefinition &parameter);
qint64 defaultValue(const ParameterDefinition &parameter);

// Bytes of one parameter (empty when it is absent or of an unknown type).
QByteArray encodeParameter(const ParameterDefinition &parameter, const ParameterInput &input);

// Data bytes of a message. inputs[i] belongs to parameters[i]; a missing
// input counts as the parameter's fresh editor (defaultInput).
QByteArray encodeParameters(const MessageDefinition &message, const QList<ParameterInput> &inputs);

// The complete frame as on the bus. Node IDs are hexadecimal texts; an
// empty or unreadable text gives address 0. Source node type is always 0.
QByteArray buildFrameBytes(const MessageDefinition &message, quint8 destinationNodeType, bool ack,
                           const QString &sourceText, const QString &destinationText,
                           const QByteArray &data);

// True when the length field can announce this many data bytes (at most 20).
bool dataFitsFrame(const QByteArray &data);

// Whether a message allows the addressing mode named by its keyword ("P2P",
// "GROUP" or "BROADCAST"): the message's text, upper-cased, holds the
// keyword; an empty text allows every mode.
bool messageAllowsAddressing(const MessageDefinition &message, const QString &keyword);

// Node IDs: exactly six hexadecimal digits, neither 000000 (group) nor
// FFFFFF (broadcast) in any case.
bool isValidNodeId(const QString &text);
// What a node ID field takes as typed: up to six hexadecimal digits.
bool isNodeIdText(const QString &text);
quint32 nodeIdValue(const QString &text);

// What a freshly built editor shows and holds.
QString initialEditorText(const ParameterDefinition &parameter);
int initialValueIndex(const ParameterDefinition &parameter);
ParameterInput defaultInput(const ParameterDefinition &parameter);

// A limit or default as the hexadecimal field writes it: 2 x size digits,
// signed values as their two's complement cut to size bytes.
QString limitHexText(const ParameterDefinition &parameter, qint64 value);

// Tool tip of the editor of a parameter (empty for bitfields and unknown types).
QString editorToolTip(const ParameterDefinition &parameter);
// Text of the check box of one bit of a bitfield.
QString bitText(const ValueDefinition &value);

// Decimal field: digits with a leading minus allowed only when `low` is
// negative. Acceptable only for a plain integer within [low, high];
// Intermediate for an empty text, a lone minus or a value out of range;
// Invalid (keystroke refused) for anything else.
TextValidity validateDecimalText(const QString &text, qint64 low, qint64 high);
TextValidity validateDecimalText(const ParameterDefinition &parameter, const QString &text);

// Hexadecimal field: up to 2 x size hexadecimal digits of either case are
// Acceptable (the range is judged apart), anything else Invalid.
TextValidity validateHexaText(const ParameterDefinition &parameter, const QString &text);

// Range check of a hexadecimal field. Unsigned: the number must lie within
// [low, high]. Signed: the digits are a two's complement pattern of
// byteSize bytes (sign filled for 1 to 3 bytes) and must lie between the
// smaller and the larger of low and high. An empty text counts as 0; a
// number beyond 32 bits is out of range.
bool hexaInRange(const QString &text, bool isSigned, int byteSize, qint64 low, qint64 high);
bool hexaInRange(const ParameterDefinition &parameter, const QString &text);

// String field: exactly `size` 7-bit ASCII characters are Acceptable, fewer
// Intermediate; longer texts or other characters Invalid.
TextValidity validateStringText(const ParameterDefinition &parameter, const QString &text);

// Whether the Encode page shows an editor holding `text` in black. A field
// just built (`edited` false) is judged by its validator alone, so a
// hexadecimal one by its digits; an edited hexadecimal field by its range;
// decimal and string fields by their validators either way. Named values,
// bitfields and unknown types have no coloured editor and always pass.
bool editorTextIsValid(const ParameterDefinition &parameter, const QString &text, bool edited);

#endif
