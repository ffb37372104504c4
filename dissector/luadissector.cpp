#include "dissector/luadissector.h"

#include "codec/framedecoding.h"
#include "dissector/luapairing.h"
#include "dissector/luaruntime.h"

#include <QHash>
#include <QMap>

namespace dissector {

namespace {

// Messages and devices are written in groups, each in a function of its
// own: Lua bounds the constants and the code of one function.
constexpr int kPerFunction = 100;

const QLatin1String kInteger("integer");
const QLatin1String kString("string");
const QLatin1String kBitfield("bitfield");

QByteArray luaBool(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

int kindOf(const ParameterDefinition &parameter)
{
    if (parameter.type == kInteger)
        return 1;
    if (parameter.type == kString)
        return 2;
    if (parameter.type == kBitfield)
        return 3;
    return 0;
}

QByteArray parameterTable(const ParameterDefinition &p)
{
    QByteArray lua = "{" + QByteArray::number(kindOf(p)) + ", " + QByteArray::number(p.size) + ", "
        + luaBool(p.isSigned()) + ", " + luaBool(p.isHexa()) + ", " + luaBool(p.optional) + ", "
        + luaBool(p.display) + ", " + luaStringLiteral(p.name) + ", {";
    for (const ValueDefinition &value : p.values) {
        lua += "{" + QByteArray::number(value.unsignedValue) + ", " + QByteArray::number(value.signedValue) + ", "
            + luaStringLiteral(value.description) + "}, ";
    }
    lua += "}}";
    return lua;
}

QByteArray messageTable(const MessageDefinition &message)
{
    QByteArray lua = "{" + luaStringLiteral(message.name) + ", {";
    for (const ParameterDefinition &parameter : message.parameters)
        lua += "\n    " + parameterTable(parameter) + ",";
    lua += "}, " + luaBool(message.nodeMode == NodeMode::Slave) + "}";
    return lua;
}

// Statements, a group of them to each function.
class GroupedStatements
{
public:
    void add(const QByteArray &statement)
    {
        if (m_count % kPerFunction == 0)
            m_lua += "do local function part()\n";
        // Two appends, each growing the text geometrically: a builder's
        // += reserves the exact size, which copies the whole text each time
        // where realloc cannot grow it in place.
        m_lua += statement;
        m_lua += '\n';
        if (++m_count % kPerFunction == 0)
            m_lua += "end part() end\n";
    }
    QByteArray finish()
    {
        if (m_count % kPerFunction != 0)
            m_lua += "end part() end\n";
        return m_lua;
    }

private:
    QByteArray m_lua;
    int m_count = 0;
};

// What the parameters of one field kwn.p.<name> hold.
struct FieldKinds
{
    QString name; // the first parameter name seen
    bool strings = false;
    bool unsignedNumbers = false;
    bool signedNumbers = false;
    QStringList names; // every parameter name of the field
};

void addParameters(const MessageDefinition &message, QMap<QString, FieldKinds> &fields)
{
    for (const ParameterDefinition &p : message.parameters) {
        const int kind = kindOf(p);
        if (kind == 0)
            continue; // no number, no text: no field
        FieldKinds &field = fields[wiresharkFieldName(p.name)];
        if (field.names.isEmpty())
            field.name = p.name;
        if (!field.names.contains(p.name))
            field.names << p.name;
        field.strings |= kind == 2;
        field.signedNumbers |= kind == 1 && isSignedForm(integerFormOf(p));
        field.unsignedNumbers |= (kind == 1 && !isSignedForm(integerFormOf(p))) || kind == 3;
    }
}

// One field per parameter name: a string's text, or a number (signed where
// a parameter of the name is); text where strings and numbers share it.
QByteArray parameterFields(const QMap<QString, FieldKinds> &fields)
{
    GroupedStatements statements;
    int index = 0;
    for (auto f = fields.constBegin(); f != fields.constEnd(); ++f) {
        const FieldKinds &kinds = f.value();
        const QByteArray at = QByteArray::number(++index);
        QByteArray type = "uint32";
        if (kinds.strings)
            type = "string";
        else if (kinds.signedNumbers)
            type = kinds.unsignedNumbers ? "int64" : "int32";
        QByteArray field = "PF[" + at + "] = ProtoField." + type + "(" + luaStringLiteral(f.key()) + ", "
            + luaStringLiteral(kinds.name.isEmpty() ? f.key() : kinds.name) + (kinds.strings ? QByteArray() : QByteArray(", base.DEC")) + ")";
        if (kinds.strings)
            field += "; PS[" + at + "] = true";
        else if (type == "int64")
            field += "; P64[" + at + "] = true";
        statements.add(field);
        for (const QString &name : kinds.names)
            statements.add("PN[" + luaStringLiteral(name) + "] = " + at);
    }
    return statements.finish();
}

// The device of each pair of node types and its message of each identifier,
// as the decoder chooses them (DecodeCatalogue), each distinct message
// written once. An identifier without a message is left out: the frame's
// message is unknown.
QByteArray catalogueTables(DecodeCatalogue &catalogue, QMap<QString, FieldKinds> &fields)
{
    GroupedStatements messages;
    GroupedStatements devices;
    QHash<QByteArray, int> messageIndex;
    QHash<QString, int> deviceIndex;
    QByteArray pairs;
    catalogue.recheck();
    for (int pair = 0; pair < 256; ++pair) {
        // Valid until the next call: what is needed of it is written now.
        const DeviceCatalogue::Device *device = catalogue.deviceOf(quint8(pair >> 4), quint8(pair & 0x0F));
        if (!device)
            continue;
        if (!deviceIndex.contains(device->product)) {
            const int index = deviceIndex.size() + 1;
            deviceIndex.insert(device->product, index);
            QByteArray byId;
            for (int id = 0; id < 256; ++id) {
                const MessageDefinition *message = DecodeCatalogue::messageOf(*device, quint8(id));
                if (!message)
                    continue;
                const QByteArray table = messageTable(*message);
                int at = messageIndex.value(table);
                if (at == 0) {
                    at = messageIndex.size() + 1;
                    messageIndex.insert(table, at);
                    messages.add("M[" + QByteArray::number(at) + "] = " + table);
                    addParameters(*message, fields);
                }
                byId += "[" + QByteArray::number(id) + "] = M[" + QByteArray::number(at) + "], ";
            }
            devices.add("D[" + QByteArray::number(index) + "] = {" + luaStringLiteral(device->product) + ", {" + byId
                        + "}}");
        }
        const QByteArray line = "PAIR[" + QByteArray::number(pair) + "] = "
            + QByteArray::number(deviceIndex.value(device->product)) + "\n";
        pairs += line;
    }
    return messages.finish() + devices.finish() + pairs;
}

} // namespace

QByteArray luaStringLiteral(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray lua;
    lua.reserve(utf8.size() + 2);
    lua += '"';
    for (const char c : utf8) {
        const uchar u = uchar(c);
        if (u >= 0x20 && u <= 0x7E && u != '"' && u != '\\') {
            lua += c;
        } else {
            // Always three digits: a digit after the escape is never read into it.
            const char escape[] = {'\\', char('0' + u / 100), char('0' + u / 10 % 10), char('0' + u % 10)};
            lua.append(escape, 4);
        }
    }
    lua += '"';
    return lua;
}

QString wiresharkFieldName(const QString &parameterName)
{
    const QString lower = parameterName.toLower();
    QString id;
    bool run = false;
    for (const QChar c : lower) {
        const bool kept = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (kept)
            id += c;
        else if (!run)
            id += QLatin1Char('_');
        run = !kept;
    }
    return QStringLiteral("kwn.p.") + (id.isEmpty() ? QStringLiteral("_") : id);
}

QHash<QString, WiresharkField> wiresharkParameterFields(DecodeCatalogue &catalogue)
{
    QMap<QString, FieldKinds> fields;
    catalogueTables(catalogue, fields);
    QHash<QString, WiresharkField> kinds;
    for (auto f = fields.constBegin(); f != fields.constEnd(); ++f) {
        const FieldKinds &k = f.value();
        const bool numbers = k.signedNumbers || k.unsignedNumbers;
        WiresharkField field;
        field.names = k.names;
        if (k.strings)
            field.type = numbers ? WiresharkField::Mixed : WiresharkField::Strings;
        else if (k.signedNumbers)
            field.type = k.unsignedNumbers ? WiresharkField::Wide : WiresharkField::Signed;
        kinds.insert(f.key(), field);
    }
    return kinds;
}

QString commentText(const QString &text)
{
    return visibleText(text);
}

QByteArray generateDissector(DecodeCatalogue &catalogue, const QString &toolVersion)
{
    QByteArray lua;
    lua += "-- KWN bus dissector for Wireshark and tshark 3.6 and later: the records of the\n"
           "-- captures that kwn-frame writes (link type USER0, 147), decoded as kwn-frame decode does.\n"
           "-- Generated data, made by kwn-frame " + commentText(toolVersion).toUtf8()
        + " ('kwn-frame dissector') from the catalogue in\n"
          "--   " + commentText(catalogue.folder()).toUtf8() + "\n"
          "-- Make it again when the catalogue changes; edits here are lost.\n";
    lua += kLuaPrologue;
    lua += "local MIN_FRAME, MAX_FRAME = " + QByteArray::number(kFrameOverheadBytes) + ", "
        + QByteArray::number(kMaxFrameBytes) + "\n";
    QMap<QString, FieldKinds> fields;
    lua += catalogueTables(catalogue, fields);
    lua += parameterFields(fields);
    lua += kLuaPairing;
    lua += kLuaDecoder;
    return lua;
}

} // namespace dissector
