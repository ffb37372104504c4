#ifndef KWN_DISSECTOR_LUADISSECTOR_H
#define KWN_DISSECTOR_LUADISSECTOR_H

// A Wireshark dissector in Lua for the records of our captures (link type
// USER0, see capture/capturefile.h), made from a catalogue: the device that
// DecodeCatalogue chooses for each pair of node types and its message for
// each identifier, as Lua tables, and the decoding rules of
// codec/framedecoding.h written once more in Lua, so that Wireshark shows
// each frame exactly as `kwn-frame decode` does. For Wireshark and tshark
// 3.6 and later (Lua 5.2 to 5.4).

#include "codec/framereport.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace dissector {

// A Lua string literal, double-quoted, holding the text's UTF-8 bytes: every
// byte but printable ASCII, and the quote and the backslash, written as a
// three-digit decimal escape ("\010"), so that no catalogue text can end the
// literal, break a line or start anything else. Plain ASCII all the way.
QByteArray luaStringLiteral(const QString &text);

// The Wireshark field of the parameters of a name: "kwn.p." and the name in
// lower case, every run of characters other than a-z and 0-9 made one "_"
// ("Supply voltage": kwn.p.supply_voltage). It holds the number that
// `decode --json` gives as "raw" (signed where the parameter is), or a
// string's characters; where parameters of one field are strings and
// numbers, the numbers' decimal digits as text.
QString wiresharkFieldName(const QString &parameterName);
// A field kwn.p.<name> of the dissector: what it holds, and the parameter
// names whose field it is.
struct WiresharkField
{
    enum Type {
        Unsigned, // 32-bit unsigned: unsigned integers and bitfields
        Signed,   // 32-bit signed: signed integers
        Wide,     // 64-bit signed: both of the above
        Strings,  // text: a string's characters
        Mixed     // text: strings and numbers, as decimal digits
    };
    Type type = Unsigned;
    QStringList names;
};
// The fields kwn.p.<name> of the dissector of `catalogue`, by field name.
QHash<QString, WiresharkField> wiresharkParameterFields(DecodeCatalogue &catalogue);

// The text on one comment line: controls and line breaks written as
// escapes, as codec's visibleText writes them.
QString commentText(const QString &text);

// The whole dissector for the catalogue of `catalogue`, its devices and
// messages those that it decodes frames with, named in its header with the
// catalogue's folder and the version of the tool that made it.
QByteArray generateDissector(DecodeCatalogue &catalogue, const QString &toolVersion);

} // namespace dissector

#endif
