#ifndef KWN_BENCH_GENCATALOGUE_H
#define KWN_BENCH_GENCATALOGUE_H

// The large made-up catalogue that every benchmark measures against:
// `profiles` profile files directly in a folder, each carrying
// `messagesPerProfile` messages of its own, and the two shared standard files
// in folder/standard. The standard size is kLargeProfiles x
// kLargeMessagesPerProfile. Profile p is "Product p", revision p % 3 + 1,
// node type p % 16; its message i is "Product p message i", identifier
// 0x80 + i (cut to a byte), a slave message when i % 6 == 5.

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/valueencoding.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace gencatalogue {

constexpr int kLargeProfiles = 100;
constexpr int kLargeMessagesPerProfile = 300;

inline QByteArray message(const QByteArray &name, int id, int variant, bool slave)
{
    static const char *const categories[] = {"Control", "Status", "Configuration", "Diagnostics", "Identification"};
    QByteArray m = "    <message name=\"" + name + "\" category=\"" + categories[variant % 5] + "\" msg_id=\"0x"
        + QByteArray::number(id & 0xFF, 16) + "\"" + (slave ? " node_mode=\"slave\"" : "")
        + " addressingMode=\"P2P GROUP BROADCAST\" description=\"Generated message number "
        + QByteArray::number(variant) + ", with a description about as long as a real one.\">\n";
    m += "        <parameter name=\"Channel\" type=\"integer\" size=\"1\" min=\"1\" max=\"8\" default=\"1\""
         " description=\"Output channel.\"/>\n";
    m += "        <parameter name=\"Mode\" type=\"integer\" size=\"1\" description=\"Operating mode.\">\n"
         "            <value value=\"0\" description=\"Off\"/>\n"
         "            <value value=\"1\" description=\"On\"/>\n"
         "            <value value=\"2\" description=\"Automatic\"/>\n"
         "        </parameter>\n";
    m += "        <parameter name=\"Level\" type=\"integer\" size=\"2\" sign=\"signed\" min=\"0x8000\" max=\"0x7FFF\""
         " input_format=\"hexa\" description=\"Signed level.\"/>\n";
    if (variant % 3 == 0)
        m += "        <parameter name=\"Flags\" type=\"bitfield\" size=\"1\" description=\"Flags.\">\n"
             "            <value value=\"0\" description=\"Ready\"/>\n"
             "            <value value=\"1\" description=\"Fault\"/>\n"
             "        </parameter>\n";
    if (variant % 4 == 0)
        m += "        <parameter name=\"Label\" type=\"string\" size=\"8\" default=\"none\" optional=\"yes\""
             " description=\"Free text.\"/>\n";
    m += "    </message>\n";
    return m;
}

inline QString productName(int profile)
{
    return QStringLiteral("Product %1").arg(profile);
}

inline quint8 nodeTypeOf(int profile)
{
    return quint8(profile % 16);
}

// Message i of profile p as it stands in the profile file.
inline QByteArray profileMessage(int profile, int index)
{
    return message("Product " + QByteArray::number(profile) + " message " + QByteArray::number(index), 0x80 + index,
                   index, index % 6 == 5);
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeLargeCatalogue(const QString &folder, int profiles = kLargeProfiles,
                                int messagesPerProfile = kLargeMessagesPerProfile)
{
    if (!QDir().mkpath(folder + QStringLiteral("/standard")))
        return false;
    QByteArray standard = "<?xml version=\"1.0\"?>\n<message_def>\n";
    for (int i = 0; i < 40; ++i)
        standard += message("Standard " + QByteArray::number(i), 0x40 + i, i, i % 4 == 3);
    standard += "</message_def>\n";
    QByteArray motor = "<?xml version=\"1.0\"?>\n<message_def>\n";
    for (int i = 0; i < 30; ++i)
        motor += message("Motor " + QByteArray::number(i), 0x01 + i, i, i % 5 == 4);
    motor += "</message_def>\n";
    if (!writeFile(folder + QStringLiteral("/standard/standard_msg.xml"), standard)
        || !writeFile(folder + QStringLiteral("/standard/standard_motor_msg.xml"), motor))
        return false;

    for (int p = 0; p < profiles; ++p) {
        QByteArray xml = "<?xml version=\"1.0\"?>\n<profiles_def>\n    <profile product=\"" + productName(p).toUtf8()
            + "\" revision=\"" + QByteArray::number(p % 3 + 1) + "\" node_type=\""
            + QByteArray::number(nodeTypeOf(p))
            + "\" standard_msg=\"/standard/standard_msg.xml\" standard_motor_msg=\"/standard/standard_motor_msg.xml\"/>\n";
        for (int i = 0; i < messagesPerProfile; ++i)
            xml += profileMessage(p, i);
        xml += "</profiles_def>\n";
        if (!writeFile(folder + QStringLiteral("/product%1.xml").arg(p, 3, 10, QLatin1Char('0')), xml))
            return false;
    }
    return true;
}

// The standard large catalogue in root/xml, where the pages look for it when
// root is the working directory.
inline bool writeLargeCatalogueUnder(const QString &root)
{
    return writeLargeCatalogue(root + QStringLiteral("/xml"));
}

// The definition of message i of profile p, read back from its XML.
inline MessageDefinition messageDefinition(int profile, int index)
{
    const MessageMap read = readMessageData("<?xml version=\"1.0\"?>\n<message_def>\n"
                                            + profileMessage(profile, index) + "</message_def>\n");
    return read.isEmpty() ? MessageDefinition() : read.first();
}

// Frame text of message i of profile p with every parameter at its default,
// as the device sends it: source node type its own, to a controller (node
// type 0) at 000001 from address 0A0B0C.
inline QString frameText(int profile, int index)
{
    const MessageDefinition m = messageDefinition(profile, index);
    const QByteArray data = encodeParameters(m, {});
    return frameToHexText(packFrame(m.msgId, false, quint8(data.size() + kFrameOverheadBytes), nodeTypeOf(profile), 0,
                                    0x0A0B0C, 0x000001, data));
}

// A frame of the message with the most parameters in a catalogue, sent by its
// device with 20 data bytes: the heaviest decode of a real catalogue.
inline QString busiestFrame(const ProfileMap &profiles)
{
    MessageDefinition best;
    quint8 nodeType = 0;
    for (const ProfileDefinition &profile : profiles) {
        if (profile.product.isEmpty() || profile.nodeType > 15)
            continue;
        for (const MessageDefinition &m : messagesOfProfile(profile, false)) {
            if (best.name.isEmpty() || m.parameters.size() > best.parameters.size()) {
                best = m;
                nodeType = quint8(profile.nodeType);
            }
        }
    }
    if (best.name.isEmpty())
        return QString();
    const QByteArray data(kMaxDataBytes, '\x01');
    return frameToHexText(packFrame(best.msgId, false, quint8(data.size() + 11), nodeType, 0, 1, 2, data));
}

// Hostile catalogues, each one profile file xml/p.xml under `root` of product
// "E" (revision 1, node type 3) whose own messages follow the profile element,
// unless said otherwise.
inline bool writeHostileProfile(const QString &root, const QByteArray &messages)
{
    return QDir().mkpath(root + QStringLiteral("/xml"))
        && writeFile(root + QStringLiteral("/xml/p.xml"),
                     "<profiles_def><profile product=\"E\" revision=\"1\" node_type=\"3\"/>" + messages
                         + "</profiles_def>");
}

// Message M (id 0x10, category C) with one bitfield B of `bits` named bits,
// bit i % 8 each.
inline bool writeBitsCatalogue(const QString &root, int bits, bool slave = false)
{
    QByteArray m;
    m.reserve(40 * bits + 128); // appending a built-up piece reserves only what it needs
    m += QByteArrayLiteral("<message name=\"M\" category=\"C\" msg_id=\"0x10\"")
        + (slave ? " node_mode=\"slave\"" : "") + "><parameter name=\"B\" type=\"bitfield\" size=\"1\">";
    for (int i = 0; i < bits; ++i)
        m += "<v value=\"" + QByteArray::number(i % 8) + "\" description=\"b\"/>";
    return writeHostileProfile(root, m + "</parameter></message>");
}

// `count` messages, each in a category of its own.
inline bool writeCategoriesCatalogue(const QString &root, int count)
{
    QByteArray m;
    m.reserve(64 * count);
    for (int i = 0; i < count; ++i)
        m += "<message name=\"M" + QByteArray::number(i) + "\" category=\"C" + QByteArray::number(i)
            + "\" msg_id=\"0x10\"/>";
    return writeHostileProfile(root, m);
}

// Message M (id 0x10, category C) with `count` one-byte integers.
inline bool writeParametersCatalogue(const QString &root, int count)
{
    QByteArray m;
    m.reserve(64 * count + 128);
    m += "<message name=\"M\" category=\"C\" msg_id=\"0x10\">";
    for (int i = 0; i < count; ++i)
        m += "<parameter name=\"P" + QByteArray::number(i) + "\" type=\"integer\" size=\"1\"/>";
    return writeHostileProfile(root, m + "</message>");
}

// `count` profile files of as many products, "P0" to "P<count-1>".
inline bool writeProfilesCatalogue(const QString &root, int count)
{
    const QString folder = root + QStringLiteral("/xml");
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < count; ++i) {
        if (!writeFile(folder + QStringLiteral("/p%1.xml").arg(i),
                       "<profiles_def><profile product=\"P" + QByteArray::number(i)
                           + "\" revision=\"1\" node_type=\"3\"/></profiles_def>"))
            return false;
    }
    return true;
}

} // namespace gencatalogue

#endif
