// The readers of message and profile files, and files read afresh when edited.

#include "catalogue/catalogue.h"
#include "support/datarows.h"

#include <QTemporaryDir>

// The fields that differ from an attribute-less parameter's; "s:"/"u:" give signed/unsigned min, max, default.
static QString changes(const ParameterDefinition &p)
{
    QStringList c;
    for (const QPair<bool, QString> &field : QList<QPair<bool, QString>>{
             {p.optional, "optional=1"}, {!p.display, "display=0"}, {!p.type.isEmpty(), "type=" + p.type},
             {p.sign != "unsigned", "sign=" + p.sign}, {p.inputFormat != "decimal", "format=" + p.inputFormat},
             {p.size != 0, "size=" + QString::number(p.size)}})
        if (field.first)
            c << field.second;
    const QString limits = QStringLiteral("s:%1,%2,%3 u:%4,%5,%6").arg(p.minSigned).arg(p.maxSigned)
                               .arg(p.defaultSigned).arg(p.minUnsigned).arg(p.maxUnsigned).arg(p.defaultUnsigned);
    if (limits != QLatin1String("s:0,0,0 u:0,0,0"))
        c << limits;
    return c.join(' ');
}

class MessageFileTest : public QObject
{
    Q_OBJECT

private slots:
    void parameter_data() { addDataRows(QStringLiteral("catalogue/parameters.txt")); }
    void parameter()
    {
        QFETCH(QStringList, row);
        const MessageMap map = readMessageData("<m><message name=\"M\"><p " + row[0].toUtf8() + "/></message></m>");
        QCOMPARE(changes(map.value("M").parameters.value(0)), row[1]);
    }

    // Hexadecimal with "0x", else decimal; each field keeps the low 32 bits of its 64-bit reading.
    void namedValues()
    {
        QByteArray values;
        for (const char *text : {"-1", "0xFF", "0xFFFFFFFF", "0x100000005", "0xFFFFFFFFFFFFFFFF", "4294967296", "1F"})
            values += "<v value=\"" + QByteArray(text) + "\"/>";
        QStringList read;
        for (const ValueDefinition &v : readMessageData("<m><message name=\"M\"><p>" + values + "</p></message></m>")
                                            .value("M").parameters.value(0).values)
            read << QStringLiteral("%1/%2").arg(v.unsignedValue).arg(v.signedValue);
        QCOMPARE(read, QStringList({"0/-1", "255/255", "4294967295/-1", "5/5", "4294967295/0", "0/0", "0/0"}));
    }

    void messages_data() { addDataRows(QStringLiteral("catalogue/messages.txt")); }
    void messages()
    {
        QFETCH(QStringList, row);
        QStringList messages;
        for (const MessageDefinition &m : readMessageData(row[0].toUtf8()))
            messages << m.name + '/' + QString::number(m.msgId, 16) + (m.nodeMode == NodeMode::Slave ? "/slave" : "");
        QCOMPARE(messages.join(QLatin1String("; ")), row[1]);
    }

    // Every child node is a parameter or a value, comments and text included;
    // whitespace between elements is none. A later message replaces one of the same name.
    void childNodes()
    {
        const MessageMap map = readMessageData(
            "<?xml version=\"1.0\"?>\n<message_def>\n<message name=\"Spaced\" msg_id=\"1\"><p/></message>\n"
            "<message name=\"M\" category=\"Status\" description=\"A &amp; B\" addressingMode=\"P2P GROUP\">\n"
            "  <p name=\"first\" description=\"d\"><v value=\"1\" description=\"one\"/> <!-- n --> <v value=\"2\"/></p>\n"
            "  <!-- between parameters -->\n  <anything name=\"second\"/>text</message>\n"
            "<message name=\"Spaced\">\n   \n  </message>\n</message_def>\n");
        QCOMPARE(map.keys(), QStringList({"M", "Spaced"}));
        QCOMPARE(map.value("Spaced"), (MessageDefinition{"Spaced", "", 0, "", "", {}, NodeMode::Master}));
        const MessageDefinition m = map.value("M");
        QCOMPARE(QStringList({m.category, m.description, m.addressingMode}), QStringList({"Status", "A & B", "P2P GROUP"}));
        QCOMPARE(m.parameters.size(), 4);
        QCOMPARE(QString(m.parameters.at(0).description + m.parameters.at(2).name), QStringLiteral("dsecond"));
        QCOMPARE(QString(changes(m.parameters.at(1)) + changes(m.parameters.at(3))), QString());
        QCOMPARE(m.parameters.at(0).values, QList<ValueDefinition>({{1, 1, "one"}, {}, {2, 2, ""}}));
    }

    void fileReading()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("edit.xml");
        auto write = [&path](const QByteArray &bytes) {
            QFile out(path); // rewritten in place: same inode, same size
            QVERIFY(out.open(QIODevice::ReadWrite));
            out.write(bytes);
        };
        const QByteArray first = "<m><message name=\"A\" msg_id=\"11\"/></m>";
        write(first);
        QCOMPARE(MessageDefinitionFile(path).messages, readMessageData(first));
        // A cached file edited within the same second, to the same size, is read afresh.
        write("<m><message name=\"B\" msg_id=\"22\"/></m>");
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList{"B"});
        QFile::remove(path);
        QVERIFY(readMessageFile(path).messages.isEmpty());
        // Read as bytes, not text: U+010D is 0D 01 in UTF-16LE, and text mode would drop the 0D.
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<m>\r\n"
                                            "<message name=\"Ko\u010Dka\"/>\r\n<message name=\"Z\"/>\r\n</m>\r\n");
        write(QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList({QStringLiteral("Ko\u010Dka"), "Z"}));
    }

    void profile_data() { addDataRows(QStringLiteral("catalogue/profiles.txt")); }
    void profile()
    {
        QFETCH(QStringList, row);
        const ProfileDefinition p = readProfileData(row[0].toUtf8(), "/d/x/p.xml");
        QCOMPARE(QStringList({p.product, p.revision, QString::number(p.nodeType), p.standardMsgPath.mid(3),
                              p.standardMotorMsgPath.mid(3)}).join('/'), unescaped(row[1]));
        QCOMPARE(p.filePath, QStringLiteral("/d/x/p.xml"));
    }
};

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
