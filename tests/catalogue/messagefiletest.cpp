#include "catalogue/catalogue.h"

#include <QtTest>

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
    void parameter_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<QString>("read");
        QTest::newRow("optional YES, display No") << QByteArray("optional=\"YES\" display=\"No\"") << "optional=1 display=0";
        QTest::newRow("true and false are no words") << QByteArray("optional=\"true\" display=\"false\"") << "";
        QTest::newRow("type, format lower-cased, sign as written")
            << QByteArray("type=\"Integer\" sign=\"Signed\" input_format=\"HEXA\"") << "type=integer sign=Signed format=hexa";
        QTest::newRow("size 4e9 as read") << QByteArray("size=\"4000000000\" min=\"0\" max=\"0\"") << "size=4000000000";
        QTest::newRow("limits of size 1") << QByteArray("size=\"1\" min=\"\" max=\"\" default=\"\"")
                                          << "size=1 s:-128,127,-128 u:0,255,0";
        QTest::newRow("limits of size 4") << QByteArray("size=\"4\"")
                                          << "size=4 s:-2147483648,2147483647,-2147483648 u:0,4294967295,0";
        QTest::newRow("negative decimal") << QByteArray("min=\"-5\"") << "s:-5,0,-5 u:0,0,0";
        QTest::newRow("decimal not extended") << QByteArray("size=\"1\" min=\"128\" max=\"0\"")
                                              << "size=1 s:128,0,128 u:128,0,128";
        QTest::newRow("decimal beyond signed") << QByteArray("max=\"4294967295\"") << "s:0,0,0 u:0,4294967295,0";
        QTest::newRow("FF is not decimal") << QByteArray("max=\"FF\" default=\"abc\"") << "";
        QTest::newRow("0x80, default 0xF0, size 1") << QByteArray("size=\"1\" min=\"0x80\" max=\"0\" default=\"0xF0\"")
                                                    << "size=1 s:-128,0,-16 u:128,0,240";
        QTest::newRow("0X80, 0X800000, size 3") << QByteArray("size=\"3\" min=\"0X80\" max=\"0X800000\"")
                                                << "size=3 s:128,-8388608,128 u:128,8388608,128";
        QTest::newRow("0x180, size 1") << QByteArray("size=\"1\" min=\"0x180\" max=\"0\"")
                                       << "size=1 s:-128,0,-128 u:384,0,384";
        QTest::newRow("2^31") << QByteArray("min=\"0x80000000\"")
                              << "s:-2147483648,0,-2147483648 u:2147483648,0,2147483648";
        QTest::newRow("-2^31 fits signed only") << QByteArray("max=\"-0x80000000\"") << "s:0,-2147483648,0 u:0,0,0";
        QTest::newRow("2^32 fits neither") << QByteArray("max=\"0x100000000\"") << "";
    }
    void parameter()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QString, read);
        const MessageMap map = readMessageData("<message_def><message name=\"M\"><p " + attributes + "/></message></message_def>");
        QCOMPARE(changes(map.value("M").parameters.value(0)), read);
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

    // Messages read back as "name/identifier", "/slave" added for slave messages.
    void messages_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("read");
        // Identifiers are hexadecimal, "0x" or not; above 16 bits they read as 0, else as their low byte.
        QTest::newRow("identifiers, node modes")
            << QByteArray("<m><message name=\"A\" msg_id=\"1A\" node_mode=\"SLAVE\"/><message name=\"B\" msg_id=\"0X1a\" "
                          "node_mode=\"Slave\"/><message name=\"C\" msg_id=\"10\" node_mode=\"slaves\"/><message name=\"D\" "
                          "msg_id=\"0x123\"/><message name=\"E\" msg_id=\"0x10001\"/></m>")
            << QStringList{"A/1a/slave", "B/1a/slave", "C/10", "D/23", "E/0"};
        QTest::newRow("other root, any depth, no name, code-unit order")
            << QByteArray("<r><g><message name=\"B\"><message name=\"a\"/></message></g><message name=\"Z\"/><message/></r>")
            << QStringList{"/0", "B/0", "Z/0", "a/0"};
        QTest::newRow("tag names are exact, declared entity")
            << QByteArray("<!DOCTYPE r [<!ENTITY n \"N\">]><r><Message name=\"A\"/><x:message name=\"B\"/><message name=\"&n;\"/></r>")
            << QStringList{"N/0"};
    }
    void messages()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, read);
        QStringList messages;
        for (const MessageDefinition &m : readMessageData(xml))
            messages << m.name + '/' + QString::number(m.msgId, 16) + (m.nodeMode == NodeMode::Slave ? "/slave" : "");
        QCOMPARE(messages, read);
    }

    // Every child node is a parameter or a value, comments and text included;
    // whitespace between elements is none. A later message replaces one of the same name.
    void childNodes()
    {
        const MessageMap map = readMessageData(
            "<?xml version=\"1.0\"?>\n<message_def>\n<message name=\"Spaced\" msg_id=\"1\"><p/></message>\n"
            "<message name=\"M\" category=\"Status\" description=\"A &amp; B\" addressingMode=\"P2P GROUP\">\n"
            "  <p name=\"first\" description=\"d\"><v value=\"1\" description=\"one\"/> <!-- n --> <v value=\"2\"/>"
            "</p>\n"
            "  <!-- between parameters -->\n"
            "  <anything name=\"second\"/>text</message>\n"
            "<message name=\"Spaced\">\n   \n  </message>\n</message_def>\n");
        QCOMPARE(map.keys(), QStringList({"M", "Spaced"}));
        QCOMPARE(map.value("Spaced"), (MessageDefinition{"Spaced", "", 0, "", "", {}, NodeMode::Master}));
        const MessageDefinition m = map.value("M");
        QCOMPARE(QStringList({m.category, m.description, m.addressingMode}),
                 QStringList({"Status", "A & B", "P2P GROUP"}));
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

    // Profiles read back as "product/revision/node type/standard path/motor path".
    void profile_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("read");
        QTest::newRow("node type 0X1f") << QByteArray("<r><profile node_type=\"0X1f\"/></r>") << "//31/x/x";
        QTest::newRow("1F is not decimal") << QByteArray("<r><profile node_type=\"1F\"/></r>") << "//0/x/x";
        QTest::newRow("node type 0x100") << QByteArray("<r><profile node_type=\"0x100\"/></r>") << "//256/x/x";
        QTest::newRow("paths with and without slash")
            << QByteArray("<r><profile standard_msg=\"/s.xml\" standard_motor_msg=\"m.xml\"/></r>") << "//0/x/s.xml/xm.xml";
        QTest::newRow("first of two, texts as written")
            << QByteArray("<profiles_def><profile product=\" A &amp; B \" revision=\"V2\" node_type=\"3\"/>"
                          "<profile product=\"B\" revision=\"2\" node_type=\"4\"/></profiles_def>")
            << " A & B /V2/3/x/x";
        QTest::newRow("nested deeper, any root")
            << QByteArray("<r><g><profile product=\"Deep\" revision=\"7\"/></g><profile product=\"Shallow\"/></r>")
            << "Deep/7/0/x/x";
        QTest::newRow("tag names are exact") << QByteArray("<r><Profile product=\"X\"/><q:profile product=\"Y\"/></r>")
                                             << "//0/x/x";
        QTest::newRow("declared defaults not used")
            << QByteArray("<!DOCTYPE r [<!ATTLIST profile node_type CDATA \"9\">]><r><profile product=\"D\"/></r>")
            << "D//0/x/x";
    }
    void profile()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, read);
        const ProfileDefinition p = readProfileData(xml, "/d/x/p.xml");
        QCOMPARE(QStringList({p.product, p.revision, QString::number(p.nodeType), p.standardMsgPath.mid(3),
                              p.standardMotorMsgPath.mid(3)}).join('/'), read);
        QCOMPARE(p.filePath, QStringLiteral("/d/x/p.xml"));
    }
};

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
