#ifndef KWN_CODEC_ENCODEREQUEST_H
#define KWN_CODEC_ENCODEREQUEST_H

// One call that turns what a user set for a message into its frame and says,
// field by field, what is wrong with it. The Encode page colours its fields
// and enables "Send" from the result; kwn-frame encode and send print its
// reasons as warnings or errors. The rules themselves are those of
// valueencoding.h.

#include "catalogue/definitions.h"
#include "codec/valueencoding.h"

#include <QByteArray>
#include <QList>
#include <QString>

enum class Addressing { PointToPoint, Group, Broadcast };

// What the user set for one parameter.
struct ParameterRequest
{
    enum class Source {
        Default, // what a fresh editor holds: the parameter's default
        Text,    // `text` as typed or given (see below)
        Choice,  // a named value by its position: `valueIndex`
        Bits     // a bitfield by its boxes: `bitsChecked`, in `values` order
    };

    Source source = Source::Default;
    // False: an optional parameter left out of the frame.
    bool included = true;
    // Integer and string fields: the digits or characters. Named values: a
    // description (exact, else without regard to case) or a position from 0.
    // Bitfields: the comma-separated numbers of the bits set.
    QString text;
    int valueIndex = 0;
    QList<bool> bitsChecked;

    static ParameterRequest typed(const QString &text);
    static ParameterRequest chosen(int valueIndex);
    static ParameterRequest checked(const QList<bool> &bits);
};

struct EncodeRequest
{
    MessageDefinition message;
    // The node type of the device: the destination node type of the frame.
    quint8 nodeType = 0;
    Addressing addressing = Addressing::PointToPoint;
    // Node IDs as typed: six hexadecimal digits. The source is read in point
    // to point and broadcast, the destination in point to point only, the
    // group index in group addressing, where it takes the source's place.
    QString source = QStringLiteral("000001");
    QString destination = QStringLiteral("000002");
    QString group;
    bool ack = false;
    // parameters[i] belongs to message.parameters[i]; a missing entry keeps
    // the default and is included.
    QList<ParameterRequest> parameters;
};

// The verdict on one field.
//   text      the text used: as given, or the default a fresh editor shows
//   included  false for an optional parameter left out; its text is still
//             judged (its editor keeps its colour) but it counts for nothing
//   valid     shown black; an invalid field still goes into the frame
//   refused   a text the field does not take at all: the page's editor
//             refuses the keystroke, the command line refuses the argument
//   reason    why it is not valid, in the words kwn-frame prints
struct FieldCheck
{
    QString text;
    bool included = true;
    bool valid = true;
    bool refused = false;
    QString reason;
};

struct EncodeResult
{
    QByteArray data;
    QByteArray frame;
    // One per parameter of the message.
    QList<FieldCheck> parameters;
    // The source node ID, or the group index in group addressing.
    FieldCheck source;
    // The destination node ID: always valid but in point to point.
    FieldCheck destination;
    // Whether the message allows the addressing mode; text is its keyword.
    FieldCheck addressing;
    // Whether the data fit the length field; text is the number of data bytes.
    FieldCheck length;
    // No included field is invalid or refused.
    bool valid = true;
};

// The keyword of a mode as messages name it: "P2P", "GROUP" or "BROADCAST".
QString addressingKeyword(Addressing mode);

// Judges one parameter and gives the input it stands for.
FieldCheck checkParameter(const ParameterDefinition &parameter, const ParameterRequest &request,
                          ParameterInput *input = nullptr);

// The frame of `request`, and the verdict on each of its fields.
EncodeResult encodeRequest(const EncodeRequest &request);

#endif
