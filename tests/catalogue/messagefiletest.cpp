#include "catalogue/catalogue.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

static QByteArray file(const QByteArray &messages)
{
    return "<?xml version=\"1.0\"?>\n<message_def>\n" + messages + "\n</message_def>\n";
}

// The fields of a parameter that differ from those of one without attributes;
// "s:" and "u:" give the signed and unsigned minimum, maximum and default.
static QString changes(const ParameterDefinition &p)
{
    QStringList c;
    auto add = [&c](const char *name, bool changed, const QString &value) {
        if (changed)
            c << QLatin1String(name) + '=' + value;
    };
    add("optional", p.optional, "1");
    add("display", !p.display, "0");
    add("type", !p.type.isEmpty(), p.type);
    add("sign", p.sign != "unsigned", p.sign);
    add("format", p.inputFormat != "decimal", p.inputFormat);
    add("size", p.size, QString::number(p.size));
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
        QTest::newRow("optional YES") << QByteArray("optional=\"YES\"") << "optional=1";
        QTest::newRow("optional true") << QByteArray("optional=\"true\"") << "";
        QTest::newRow("display No") << QByteArray("display=\"No\"") << "display=0";
        QTest::newRow("display false") << QByteArray("display=\"false\"") << "";
        QTest::newRow("type lower-cased") << QByteArray("type=\"Integer\"") << "type=integer";
        QTest::newRow("sign as written") << QByteArray("sign=\"Signed\"") << "sign=Signed";
        QTest::newRow("format lower-cased") << QByteArray("input_format=\"HEXA\"") << "format=hexa";
        QTest::newRow("size 4e9 as read") << QByteArray("size=\"4000000000\" min=\"0\" max=\"0\"") << "size=4000000000";
        QTest::newRow("limits of size 1") << QByteArray("size=\"1\" min=\"\" max=\"\" default=\"\"")
                                          << "size=1 s:-128,127,-128 u:0,255,0";
        QTest::newRow("limits of size 4") << QByteArray("size=\"4\"")
                                          << "size=4 s:-2147483648,2147483647,-2147483648 u:0,4294967295,0";
        QTest::newRow("default follows min") << QByteArray("min=\"10\"") << "s:10,0,10 u:10,0,10";
        QTest::newRow("negative decimal") << QByteArray("min=\"-5\"") << "s:-5,0,-5 u:0,0,0";
        QTest::newRow("decimal not extended") << QByteArray("size=\"1\" min=\"128\" max=\"0\"")
                                              << "size=1 s:128,0,128 u:128,0,128";
        QTest::newRow("decimal beyond signed") << QByteArray("max=\"4294967295\"") << "s:0,0,0 u:0,4294967295,0";
        QTest::newRow("FF is not decimal") << QByteArray("max=\"FF\" default=\"abc\"") << "";
        QTest::newRow("0x80, size 1") << QByteArray("size=\"1\" min=\"0x80\" max=\"0\"")
                                      << "size=1 s:-128,0,-128 u:128,0,128";
        QTest::newRow("0X80, size 2") << QByteArray("size=\"2\" min=\"0X80\" max=\"0\"")
                                      << "size=2 s:128,0,128 u:128,0,128";
        QTest::newRow("0x180, size 1") << QByteArray("size=\"1\" min=\"0x180\" max=\"0\"")
                                       << "size=1 s:-128,0,-128 u:384,0,384";
        QTest::newRow("default 0xF0, size 1") << QByteArray("size=\"1\" min=\"0\" max=\"0\" default=\"0xF0\"")
                                              << "size=1 s:0,0,-16 u:0,0,240";
        QTest::newRow("2^31") << QByteArray("min=\"0x80000000\"")
                              << "s:-2147483648,0,-2147483648 u:2147483648,0,2147483648";
        QTest::newRow("-2^31 fits signed only") << QByteArray("max=\"-0x80000000\"") << "s:0,-2147483648,0 u:0,0,0";
        QTest::newRow("2^32 fits neither") << QByteArray("max=\"0x100000000\"") << "";
    }
    void parameter()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QString, read);
        const MessageMap map = readMessageData(file("<message name=\"M\"><p " + attributes + "/></message>"));
        QCOMPARE(changes(map.value("M").parameters.value(0)), read);
    }

    // Hexadecimal with "0x", else decimal; each field keeps the low 32 bits of its 64-bit reading.
    void namedValues()
    {
        QByteArray values;
        for (const char *text : {"-1", "0xFF", "0xFFFFFFFF", "0x100000005", "0xFFFFFFFFFFFFFFFF", "4294967296", "1F"})
            values += "<v value=\"" + QByteArray(text) + "\"/>";
        QStringList read;
        for (const ValueDefinition &v : readMessageData(file("<message name=\"M\"><p>" + values + "</p></message>"))
                                            .value("M").parameters.value(0).values)
            read << QStringLiteral("%1/%2").arg(v.unsignedValue).arg(v.signedValue);
        QCOMPARE(read, QStringList({"0/-1", "255/255", "4294967295/-1", "5/5", "4294967295/0", "0/0", "0/0"}));
    }

    // Messages read back as "name/identifier", "/slave" added for slave messages.
    void messages_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("read");
        auto message = [](const QByteArray &attributes) { return file("<message name=\"M\" " + attributes + "/>"); };
        QTest::newRow("id 1A, SLAVE") << message("msg_id=\"1A\" node_mode=\"SLAVE\"") << QStringList{"M/1a/slave"};
        QTest::newRow("id 0X1a, Slave") << message("msg_id=\"0X1a\" node_mode=\"Slave\"") << QStringList{"M/1a/slave"};
        QTest::newRow("id always hexadecimal") << message("msg_id=\"10\" node_mode=\"slaves\"") << QStringList{"M/10"};
        QTest::newRow("id, low byte of 16 bits") << message("msg_id=\"0x123\"") << QStringList{"M/23"};
        QTest::newRow("id over 16 bits") << message("msg_id=\"0x10001\"") << QStringList{"M/0"};
        QTest::newRow("other root, any depth")
            << QByteArray("<r><g><message name=\"B\"><message name=\"C\"/></message></g><message name=\"A\"/></r>")
            << QStringList{"A/0", "B/0", "C/0"};
        QTest::newRow("tag names are exact") << QByteArray("<r><Message name=\"A\"/><x:message name=\"B\"/></r>")
                                             << QStringList();
        QTest::newRow("no name, code-unit order")
            << QByteArray("<r><message name=\"a\"/><message name=\"Z\"/><message/></r>")
            << QStringList{"/0", "Z/0", "a/0"};
        QTest::newRow("declared entity") << QByteArray("<!DOCTYPE r [<!ENTITY n \"N\">]><r><message name=\"&n;\"/></r>")
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
        const MessageMap map = readMessageData(file(
            "<message name=\"Spaced\" msg_id=\"1\"><p/></message>\n"
            "<message name=\"M\" category=\"Status\" description=\"A &amp; B\" addressingMode=\"P2P GROUP\">\n"
            "  <p name=\"first\" description=\"d\"><v value=\"1\" description=\"one\"/> <!-- n --> <v value=\"2\"/>"
            "</p>\n"
            "  <!-- between parameters -->\n"
            "  <anything name=\"second\"/>text</message>\n"
            "<message name=\"Spaced\">\n   \n  </message>\n"));
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
        write(file("<message name=\"A\" msg_id=\"11\"/>"));
        QCOMPARE(MessageDefinitionFile(path).messages, readMessageData(file("<message name=\"A\" msg_id=\"11\"/>")));
        // A cached file edited within the same second, to the same size, is read afresh.
        write(file("<message name=\"B\" msg_id=\"22\"/>"));
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList{"B"});
        QFile::remove(path);
        QVERIFY(readMessageFile(path).messages.isEmpty());
        // Read as bytes, not text: U+010D is 0D 01 in UTF-16LE, and text mode would drop the 0D.
        const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<m>\r\n"
                                            "<message name=\"Ko\u010Dka\"/>\r\n<message name=\"Z\"/>\r\n</m>\r\n");
        write(QByteArray("\xFF\xFE", 2) + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        QCOMPARE(readMessageFile(path).messages.keys(), QStringList({QStringLiteral("Ko\u010Dka"), "Z"}));
    }
};

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
