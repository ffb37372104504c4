#ifndef KWN_FUZZ_RANDOMCATALOGUE_H
#define KWN_FUZZ_RANDOMCATALOGUE_H

// Catalogue definitions made from arbitrary bytes: the fuzz targets' source
// of parameters and messages, and the tests' source of random catalogues,
// which they can write out as a folder the catalogue readers read.

#include "catalogue/definitions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace randomcatalogue {

// Takes values from the front of the input; once it is used up every value
// is 0 or empty, so any input describes one complete case.
class ByteSource
{
public:
    ByteSource(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }

    quint8 u8() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    quint32 u32()
    {
        quint32 v = 0;
        for (int k = 0; k < 4; ++k)
            v |= quint32(u8()) << (8 * k);
        return v;
    }

    bool flag() { return u8() & 1; }

    // Sizes as a definition file may write them: mostly small, sometimes
    // absurd, sometimes anything at all.
    quint32 size()
    {
        static const quint32 sizes[] = {0,  1,   2,   3,     4,          5,          8,
                                        16, 20,  31,  32,    255,        256,        65535,
                                        0x7FFFFFFFu, 0x80000000u, 4000000000u, 0xFFFFFFFFu};
        const quint8 pick = u8();
        if (pick < 0xF0)
            return sizes[pick % (sizeof sizes / sizeof sizes[0])];
        return u32();
    }

    qint64 limit()
    {
        static const qint64 limits[] = {0,          1,          -1,         127,       -128,
                                        255,        32767,      -32768,     65535,     0x7FFFFFFF,
                                        -0x7FFFFFFF - 1,        0xFFFFFFFFll, 0x100000000ll};
        const quint8 pick = u8();
        if (pick < 0xC0)
            return limits[pick % (sizeof limits / sizeof limits[0])];
        return qint64(qint32(u32()));
    }

    // A short text: characters editors and definition files are made of, with
    // now and then any UTF-16 code unit (lone surrogates included).
    QString text(int maxLength)
    {
        static const char alphabet[] = "0123456789abcdefABCDEFxX-+ #,;:.gzGZ\t";
        const int length = u8() % (maxLength + 1);
        QString out;
        out.reserve(length);
        for (int i = 0; i < length && !empty(); ++i) {
            const quint8 c = u8();
            if (c < 0xE0)
                out.append(QLatin1Char(alphabet[c % (sizeof alphabet - 1)]));
            else if (c < 0xF0)
                out.append(QChar(ushort(0x80 + u8())));
            else
                out.append(QChar(ushort(u8() | u8() << 8)));
        }
        return out;
    }

    QByteArray bytes(int maxLength)
    {
        const int length = std::min<int>(u8() % (maxLength + 1), int(m_size - std::min(m_pos, m_size)));
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), length);
        m_pos += size_t(length);
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

inline ParameterDefinition makeParameter(ByteSource &in)
{
    static const char *const types[] = {"integer", "string", "bitfield", "", "Integer", "float"};
    static const char *const signs[] = {"unsigned", "signed", "Signed", ""};
    static const char *const formats[] = {"decimal", "hexa", "", "hex"};
    ParameterDefinition p;
    const quint8 shape = in.u8();
    p.type = QLatin1String(types[shape % 6]);
    p.sign = QLatin1String(signs[(shape >> 3) & 3]);
    p.inputFormat = QLatin1String(formats[(shape >> 5) & 3]);
    p.optional = shape & 0x80;
    p.display = !(in.u8() & 0x07);
    p.size = in.size();
    p.name = in.text(6);
    p.minSigned = qint32(in.limit());
    p.maxSigned = qint32(in.limit());
    p.defaultSigned = qint32(in.limit());
    p.minUnsigned = quint32(in.limit());
    p.maxUnsigned = quint32(in.limit());
    p.defaultUnsigned = quint32(in.limit());
    if (in.flag())
        p.defaultText = in.text(12);
    p.description = in.text(8);
    const int values = in.u8() % 6;
    for (int k = 0; k < values; ++k) {
        ValueDefinition v;
        v.unsignedValue = (in.u8() & 0x80) ? in.u32() : in.u8() % 40;
        v.signedValue = qint32(in.limit());
        v.description = in.text(6);
        p.values.append(v);
    }
    return p;
}

// A message of up to `maxParameters` parameters made from the bytes.
inline MessageDefinition makeMessage(ByteSource &in, const QString &name, quint8 id, int maxParameters = 8)
{
    MessageDefinition message;
    message.name = name;
    message.msgId = id;
    message.category = QStringLiteral("Random");
    const int count = in.u8() % (maxParameters + 1);
    for (int i = 0; i < count; ++i)
        message.parameters.append(makeParameter(in));
    return message;
}

// ---------------------------------------------------------------------------
// Definitions written as the files of a catalogue folder.

// Text as an XML attribute value in double quotes: the markup characters and
// the white space that attribute reading would fold written as references,
// and the characters that XML cannot carry at all (other C0 controls, lone
// surrogates, U+FFFE and U+FFFF) left out.
inline QByteArray xmlAttribute(const QString &text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
        } else if (u == '&') {
            out += QLatin1String("&amp;");
        } else if (u == '<') {
            out += QLatin1String("&lt;");
        } else if (u == '>') {
            out += QLatin1String("&gt;");
        } else if (u == '"') {
            out += QLatin1String("&quot;");
        } else if (u == '\t' || u == '\n' || u == '\r') {
            out += QStringLiteral("&#%1;").arg(u);
        } else if (u >= 0x20 && !c.isSurrogate() && u != 0xFFFE && u != 0xFFFF) {
            out += c;
        }
    }
    return out.toUtf8();
}

// A parameter element; a value's number written as the parameter compares
// it (a signed integer's signed number, else the unsigned one).
inline QByteArray parameterXml(const ParameterDefinition &p)
{
    QByteArray xml = "<parameter name=\"" + xmlAttribute(p.name) + "\" type=\"" + xmlAttribute(p.type)
        + "\" size=\"" + QByteArray::number(p.size) + "\" sign=\"" + xmlAttribute(p.sign)
        + "\" input_format=\"" + xmlAttribute(p.inputFormat) + "\" description=\"" + xmlAttribute(p.description)
        + "\"" + (p.optional ? " optional=\"yes\"" : "") + (p.display ? "" : " display=\"no\"") + ">";
    const bool signedNumbers = p.isSigned() && p.type.toLower() == QLatin1String("integer");
    for (const ValueDefinition &v : p.values) {
        xml += "<value value=\""
            + (signedNumbers ? QByteArray::number(v.signedValue) : QByteArray::number(v.unsignedValue))
            + "\" description=\"" + xmlAttribute(v.description) + "\"/>";
    }
    return xml + "</parameter>";
}

inline QByteArray messageXml(const MessageDefinition &m)
{
    QByteArray xml = "<message name=\"" + xmlAttribute(m.name) + "\" category=\"" + xmlAttribute(m.category)
        + "\" msg_id=\"0x" + QByteArray::number(m.msgId, 16) + "\" description=\"" + xmlAttribute(m.description)
        + "\">";
    for (const ParameterDefinition &p : m.parameters)
        xml += parameterXml(p);
    return xml + "</message>\n";
}

// A catalogue folder of one profile file, product `product` (revision 1) of
// the given node type, holding `messages` (message elements) after its
// profile element, and no standard message files.
inline bool writeCatalogue(const QString &folder, const QString &product, quint8 nodeType,
                           const QByteArray &messages)
{
    QFile file(folder + QStringLiteral("/profile.xml"));
    const QByteArray xml = "<?xml version=\"1.0\"?>\n<profiles_def><profile product=\"" + xmlAttribute(product)
        + "\" revision=\"1\" node_type=\"" + QByteArray::number(nodeType) + "\"/>\n" + messages
        + "</profiles_def>\n";
    return QDir().mkpath(folder) && file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size();
}

} // namespace randomcatalogue

#endif
