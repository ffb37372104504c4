#ifndef KWN_BENCH_GENCATALOGUE_H
#define KWN_BENCH_GENCATALOGUE_H

// Writes a large made-up catalogue for the benchmarks: `profiles` profile
// files directly in `folder`, each carrying `messagesPerProfile` messages of
// its own, and the two shared standard files in folder/standard.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

namespace gencatalogue {

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

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeLargeCatalogue(const QString &folder, int profiles, int messagesPerProfile)
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
        QByteArray xml = "<?xml version=\"1.0\"?>\n<profiles_def>\n    <profile product=\"Product "
            + QByteArray::number(p) + "\" revision=\"" + QByteArray::number(p % 3 + 1) + "\" node_type=\""
            + QByteArray::number(p % 16)
            + "\" standard_msg=\"/standard/standard_msg.xml\" standard_motor_msg=\"/standard/standard_motor_msg.xml\"/>\n";
        for (int i = 0; i < messagesPerProfile; ++i)
            xml += message("Product " + QByteArray::number(p) + " message " + QByteArray::number(i), 0x80 + i, i,
                           i % 6 == 5);
        xml += "</profiles_def>\n";
        if (!writeFile(folder + QStringLiteral("/product%1.xml").arg(p, 3, 10, QLatin1Char('0')), xml))
            return false;
    }
    return true;
}

} // namespace gencatalogue

#endif
