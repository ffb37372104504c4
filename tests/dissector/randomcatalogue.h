#ifndef KWN_TESTS_DISSECTOR_RANDOMCATALOGUE_H
#define KWN_TESTS_DISSECTOR_RANDOMCATALOGUE_H

// Made-up catalogues with every kind of parameter (signed, unsigned, hexa,
// named values, strings, bitfields, unknown types, optional and hidden ones,
// sizes from 0 to 6) and hostile texts, written as XML files, and frames for
// them: whole, cut short, longer than announced, with bad checksums, of no
// known device or message.

#include "cataloguefiles.h"
#include "codec/frame.h"
#include "fuzz/randomcatalogue.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QStringList>
#include <QVector>

namespace randomcatalogue {

struct Generator
{
    explicit Generator(quint32 seed, bool hostile) : random(seed), hostile(hostile) {}

    int below(int n) { return int(random.bounded(quint32(n))); }

    QString name(const QString &stem)
    {
        static const char *const pieces[] = {"\"", "\\", "]]", "[[", ",", "=", "|", ";", "[", "\\n", "\n", "\t",
                                             "\xc3\xbc", "\xe2\x82\xac", "\r\n", "--", "%s", "\\x41"};
        QString text = stem + QString::number(below(1000));
        if (hostile) {
            for (int i = below(3) + 1; i > 0; --i)
                text += QString::fromUtf8(pieces[below(int(sizeof pieces / sizeof *pieces))]) + QChar('a' + below(26));
        }
        return text;
    }

    QByteArray parameter(int index)
    {
        static const char *const types[] = {"integer", "integer", "integer", "string", "bitfield", "blob"};
        const QByteArray type = types[below(6)];
        const int size = type == "bitfield" ? 1 + below(2) : below(7) == 0 ? 0 : 1 + below(type == "string" ? 6 : 5);
        QByteArray p = "        <parameter name=\"" + xmlAttribute(name(QStringLiteral("P%1 ").arg(index))) + "\" type=\""
            + type + "\" size=\"" + QByteArray::number(size) + "\"";
        if (type == "integer" && below(2))
            p += " sign=\"signed\"";
        if (type == "integer" && below(3) == 0)
            p += " input_format=\"hexa\"";
        if (below(4) == 0)
            p += " optional=\"yes\"";
        if (below(6) == 0)
            p += " display=\"no\"";
        p += ">\n";
        const bool named = type == "bitfield" || (type == "integer" && below(3) == 0);
        for (int v = named ? below(5) + 1 : 0; v > 0; --v) {
            const qint64 value = type == "bitfield" ? below(40) : below(4) == 0 ? -below(200) : below(300);
            p += "            <value value=\"" + QByteArray::number(value) + "\" description=\""
                + xmlAttribute(name(QStringLiteral("V"))) + "\"/>\n";
        }
        return p + "        </parameter>\n";
    }

    QByteArray message(int id, bool slave)
    {
        QByteArray m = "    <message name=\"" + xmlAttribute(name(QStringLiteral("M"))) + "\" category=\"C\" msg_id=\"0x"
            + QByteArray::number(id, 16) + "\"" + (slave ? " node_mode=\"slave\"" : "") + " description=\"d\">\n";
        for (int i = below(6); i > 0; --i)
            m += parameter(i);
        return m + "    </message>\n";
    }

    // Messages with identifiers from `ids`, some twice (the first by name wins).
    QByteArray messages(const QVector<int> &ids)
    {
        QByteArray xml;
        for (int id : ids) {
            xml += message(id, below(3) == 0);
            if (below(5) == 0)
                xml += message(id, false);
        }
        return xml;
    }

    QRandomGenerator random;
    bool hostile = false;
    QVector<quint8> nodeTypes; // of the products written
    QVector<int> messageIds;   // every identifier of the catalogue
};

// A catalogue of three or four products in `folder`; the node types and
// message identifiers used are kept in the generator.
inline bool writeCatalogue(Generator &g, const QString &folder)
{
    const QVector<int> standardIds{0x40, 0x41, 0x60};
    const QVector<int> motorIds{0x01, 0x02};
    g.messageIds = standardIds + motorIds;
    if (!writeFile(folder + QStringLiteral("/standard/standard_msg.xml"),
                   "<?xml version=\"1.0\"?>\n<message_def>\n" + g.messages(standardIds) + "</message_def>\n")
        || !writeFile(folder + QStringLiteral("/standard/standard_motor_msg.xml"),
                      "<?xml version=\"1.0\"?>\n<message_def>\n" + g.messages(motorIds) + "</message_def>\n"))
        return false;
    const int products = 3 + g.below(2);
    for (int p = 0; p < products; ++p) {
        // Sometimes a product of node type 0, and one shared by two products.
        const quint8 nodeType = quint8(p == 0 && g.below(3) == 0 ? 0 : p == 2 && g.below(2) ? g.nodeTypes.value(1) : 1 + g.below(15));
        g.nodeTypes.append(nodeType);
        const QString product = g.name(QStringLiteral("Product "));
        for (int revision = 1 + g.below(2); revision > 0; --revision) {
            QVector<int> ids{0x20 + p, 0x41, 0x80 + g.below(8)};
            g.messageIds += ids;
            const QByteArray xml = "<?xml version=\"1.0\"?>\n<profiles_def>\n    <profile product=\"" + xmlAttribute(product)
                + "\" revision=\"" + QByteArray::number(revision * 5) + "\" node_type=\"" + QByteArray::number(nodeType)
                + "\" standard_msg=\"/standard/standard_msg.xml\" standard_motor_msg=\""
                + (g.below(2) ? "/standard/standard_motor_msg.xml" : "") + "\"/>\n" + g.messages(ids)
                + "</profiles_def>\n";
            if (!writeFile(folder + QStringLiteral("/p%1_%2.xml").arg(p).arg(revision), xml))
                return false;
        }
    }
    return true;
}

// Frames for the catalogue: per message identifier and node type a few,
// whole or not, and noise runs between some of them.
inline QVector<QByteArray> frames(Generator &g, int count)
{
    QVector<QByteArray> out;
    for (int i = 0; i < count; ++i) {
        const int id = g.below(10) == 0 ? g.below(256) : g.messageIds.at(g.below(g.messageIds.size()));
        const quint8 product = g.nodeTypes.at(g.below(g.nodeTypes.size()));
        const bool fromController = g.below(2);
        const quint8 source = g.below(12) == 0 ? quint8(g.below(16)) : fromController ? 0 : product;
        const quint8 destination = fromController ? product : quint8(g.below(16));
        QByteArray data(g.below(kMaxDataBytes + 1), '\0');
        for (char &b : data)
            b = char(g.below(4) == 0 ? 0 : g.below(256));
        static const quint32 addresses[] = {0x000000, 0xFFFFFF, 0x000001, 0x3A0C51, 0xABCDEF};
        const int length = kFrameOverheadBytes + data.size() - (g.below(8) == 0 ? g.below(data.size() + 1) : 0);
        QByteArray frame = packFrame(quint8(id), g.below(2), quint8(length), source, destination,
                                     addresses[g.below(5)], addresses[g.below(5)], data);
        if (g.below(8) == 0)
            frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 1);
        out.append(frame);
    }
    return out;
}

} // namespace randomcatalogue

#endif
