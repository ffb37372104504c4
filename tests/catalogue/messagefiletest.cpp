#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

Q_DECLARE_METATYPE(NodeMode)

class MessageFileTest : public QObject
{
    Q_OBJECT

private slots:
    void messageId_data();
    void messageId();
    void nodeMode_data();
    void nodeMode();
    void parameterTexts_data();
    void parameterTexts();
    void limits_data();
    void limits();
    void namedValues_data();
    void namedValues();
    void documentShape_data();
    void documentShape();
    void childNodesAreParameters();
    void sameNameLaterWins();
    void fileReading();
    void utf16WithCarriageReturns();
    void cachePicksUpSameSizeEdit();
};

static QByteArray file(const QByteArray &messages)
{
    return "<?xml version=\"1.0\"?>\n<message_def>\n" + messages + "\n</message_def>\n";
}

static MessageDefinition onlyMessage(const QByteArray &xml)
{
    const MessageMap map = readMessageData(xml);
    if (map.size() != 1)
        return MessageDefinition();
    return map.first();
}

static ParameterDefinition onlyParameter(const QByteArray &parameterAttributes)
{
    const MessageDefinition m =
        onlyMessage(file("<message name=\"M\"><param " + parameterAttributes + "/></message>"));
    return m.parameters.size() == 1 ? m.parameters.first() : ParameterDefinition();
}

void MessageFileTest::messageId_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("id");
    QTest::newRow("no prefix") << QByteArray("1A") << 0x1A;
    QTest::newRow("prefix") << QByteArray("0x1A") << 0x1A;
    QTest::newRow("upper prefix, mixed digits") << QByteArray("0X1a") << 0x1A;
    QTest::newRow("always hexadecimal") << QByteArray("10") << 0x10;
    QTest::newRow("low byte of 16 bits") << QByteArray("0x123") << 0x23;
    QTest::newRow("16-bit maximum") << QByteArray("FFFF") << 0xFF;
    QTest::newRow("over 16 bits") << QByteArray("0x10001") << 0;
    QTest::newRow("not a number") << QByteArray("G1") << 0;
    QTest::newRow("negative") << QByteArray("-1") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
}

void MessageFileTest::messageId()
{
    QFETCH(QByteArray, text);
    QFETCH(int, id);
    const MessageDefinition m = onlyMessage(file("<message name=\"M\" msg_id=\"" + text + "\"/>"));
    QCOMPARE(m.name, QStringLiteral("M"));
    QCOMPARE(int(m.msgId), id);
}

void MessageFileTest::nodeMode_data()
{
    QTest::addColumn<QByteArray>("attribute");
    QTest::addColumn<NodeMode>("mode");
    QTest::newRow("slave") << QByteArray("node_mode=\"slave\"") << NodeMode::Slave;
    QTest::newRow("upper") << QByteArray("node_mode=\"SLAVE\"") << NodeMode::Slave;
    QTest::newRow("capital") << QByteArray("node_mode=\"Slave\"") << NodeMode::Slave;
    QTest::newRow("plural") << QByteArray("node_mode=\"slaves\"") << NodeMode::Master;
    QTest::newRow("padded") << QByteArray("node_mode=\" slave\"") << NodeMode::Master;
    QTest::newRow("empty") << QByteArray("node_mode=\"\"") << NodeMode::Master;
    QTest::newRow("absent") << QByteArray() << NodeMode::Master;
    QTest::newRow("master") << QByteArray("node_mode=\"master\"") << NodeMode::Master;
}

void MessageFileTest::nodeMode()
{
    QFETCH(QByteArray, attribute);
    QFETCH(NodeMode, mode);
    const MessageDefinition m = onlyMessage(file("<message name=\"M\" " + attribute + "/>"));
    QCOMPARE(m.name, QStringLiteral("M"));
    QCOMPARE(m.nodeMode, mode);
}

void MessageFileTest::parameterTexts_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<bool>("optional");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("sign");
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<QString>("inputFormat");
    QTest::addColumn<uint>("size");

    QTest::newRow("all absent") << QByteArray() << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("optional YES") << QByteArray("optional=\"YES\"") << true << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("optional true") << QByteArray("optional=\"true\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("display No") << QByteArray("display=\"No\"") << false << false << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("display false") << QByteArray("display=\"false\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("display empty") << QByteArray("display=\"\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("type lower-cased") << QByteArray("type=\"Integer\"") << false << true << "integer" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("type unknown kept") << QByteArray("type=\"Float\"") << false << true << "float" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("signed") << QByteArray("sign=\"signed\"") << false << true << "" << "signed" << true << "decimal" << 0u;
    QTest::newRow("Signed kept, unsigned") << QByteArray("sign=\"Signed\"") << false << true << "" << "Signed" << false << "decimal" << 0u;
    QTest::newRow("sign empty") << QByteArray("sign=\"\"") << false << true << "" << "" << false << "decimal" << 0u;
    QTest::newRow("HEXA lower-cased") << QByteArray("input_format=\"HEXA\"") << false << true << "" << "unsigned" << false << "hexa" << 0u;
    QTest::newRow("input_format empty") << QByteArray("input_format=\"\"") << false << true << "" << "unsigned" << false << "" << 0u;
    QTest::newRow("size") << QByteArray("size=\"3\"") << false << true << "" << "unsigned" << false << "decimal" << 3u;
    QTest::newRow("size hexadecimal") << QByteArray("size=\"0x3\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("size negative") << QByteArray("size=\"-1\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
    QTest::newRow("size 4000000000 as read") << QByteArray("size=\"4000000000\"") << false << true << "" << "unsigned" << false << "decimal" << 4000000000u;
    QTest::newRow("size over 32 bits") << QByteArray("size=\"4294967296\"") << false << true << "" << "unsigned" << false << "decimal" << 0u;
}

void MessageFileTest::parameterTexts()
{
    QFETCH(QByteArray, attributes);
    QFETCH(bool, optional);
    QFETCH(bool, display);
    QFETCH(QString, type);
    QFETCH(QString, sign);
    QFETCH(bool, isSigned);
    QFETCH(QString, inputFormat);
    QFETCH(uint, size);
    const ParameterDefinition p = onlyParameter("name=\"P\" description=\"Some &amp; text\" " + attributes);
    QCOMPARE(p.name, QStringLiteral("P"));
    QCOMPARE(p.description, QStringLiteral("Some & text"));
    QCOMPARE(p.optional, optional);
    QCOMPARE(p.display, display);
    QCOMPARE(p.type, type);
    QCOMPARE(p.sign, sign);
    QCOMPARE(p.isSigned(), isSigned);
    QCOMPARE(p.inputFormat, inputFormat);
    QCOMPARE(p.isHexa(), inputFormat == QLatin1String("hexa"));
    QCOMPARE(uint(p.size), size);
}

void MessageFileTest::limits_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<int>("minSigned");
    QTest::addColumn<int>("maxSigned");
    QTest::addColumn<int>("defaultSigned");
    QTest::addColumn<uint>("minUnsigned");
    QTest::addColumn<uint>("maxUnsigned");
    QTest::addColumn<uint>("defaultUnsigned");

    const int i32min = std::numeric_limits<qint32>::min();
    const int i32max = std::numeric_limits<qint32>::max();
    // Limits of the size when nothing is given.
    QTest::newRow("size 1") << QByteArray("size=\"1\"") << -128 << 127 << -128 << 0u << 255u << 0u;
    QTest::newRow("size 2") << QByteArray("size=\"2\"") << -32768 << 32767 << -32768 << 0u << 65535u << 0u;
    QTest::newRow("size 3") << QByteArray("size=\"3\"") << -8388608 << 8388607 << -8388608 << 0u << 16777215u << 0u;
    QTest::newRow("size 4") << QByteArray("size=\"4\"") << i32min << i32max << i32min << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("size 0: nothing") << QByteArray("size=\"0\"") << 0 << 0 << 0 << 0u << 0u << 0u;
    QTest::newRow("size absent: nothing") << QByteArray() << 0 << 0 << 0 << 0u << 0u << 0u;
    QTest::newRow("size 20: 4-byte limits") << QByteArray("size=\"20\"") << i32min << i32max << i32min << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("empty texts count as absent") << QByteArray("size=\"1\" min=\"\" max=\"\" default=\"\"") << -128 << 127 << -128 << 0u << 255u << 0u;
    // The default follows the lower limit as given.
    QTest::newRow("default follows min") << QByteArray("size=\"1\" min=\"10\"") << 10 << 127 << 10 << 10u << 255u << 10u;
    QTest::newRow("default given") << QByteArray("size=\"2\" min=\"1\" max=\"9\" default=\"5\"") << 1 << 9 << 5 << 1u << 9u << 5u;
    // Decimal texts.
    QTest::newRow("negative decimal") << QByteArray("size=\"1\" min=\"-5\"") << -5 << 127 << -5 << 0u << 255u << 0u;
    QTest::newRow("decimal not sign-extended") << QByteArray("size=\"1\" min=\"128\"") << 128 << 127 << 128 << 128u << 255u << 128u;
    QTest::newRow("decimal beyond signed") << QByteArray("size=\"4\" max=\"4294967295\"") << i32min << 0 << i32min << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("no prefix is not hexadecimal") << QByteArray("size=\"1\" max=\"FF\"") << -128 << 0 << -128 << 0u << 0u << 0u;
    QTest::newRow("not a number") << QByteArray("size=\"2\" default=\"abc\"") << -32768 << 32767 << 0 << 0u << 65535u << 0u;
    QTest::newRow("fraction") << QByteArray("size=\"2\" default=\"1.5\"") << -32768 << 32767 << 0 << 0u << 65535u << 0u;
    // Hexadecimal texts, sign-extended from the size.
    QTest::newRow("0x80 size 1") << QByteArray("size=\"1\" min=\"0x80\"") << -128 << 127 << -128 << 128u << 255u << 128u;
    QTest::newRow("0x7F size 1") << QByteArray("size=\"1\" max=\"0x7F\"") << -128 << 127 << -128 << 0u << 127u << 0u;
    QTest::newRow("0xFF size 1") << QByteArray("size=\"1\" max=\"0xFF\"") << -128 << -1 << -128 << 0u << 255u << 0u;
    QTest::newRow("0X8000 size 2") << QByteArray("size=\"2\" min=\"0X8000\"") << -32768 << 32767 << -32768 << 32768u << 65535u << 32768u;
    QTest::newRow("0x800000 size 3") << QByteArray("size=\"3\" min=\"0x800000\"") << -8388608 << 8388607 << -8388608 << 8388608u << 16777215u << 8388608u;
    QTest::newRow("0x80 size 2 not extended") << QByteArray("size=\"2\" min=\"0x80\"") << 128 << 32767 << 128 << 128u << 65535u << 128u;
    QTest::newRow("0x180 size 1 keeps high bytes") << QByteArray("size=\"1\" min=\"0x180\"") << -128 << 127 << -128 << 384u << 255u << 384u;
    QTest::newRow("0x100 size 1 bit clear") << QByteArray("size=\"1\" min=\"0x100\"") << 256 << 127 << 256 << 256u << 255u << 256u;
    QTest::newRow("2^31 size 4") << QByteArray("size=\"4\" min=\"0x80000000\"") << i32min << i32max << i32min << 0x80000000u << 0xFFFFFFFFu << 0x80000000u;
    QTest::newRow("2^32-1 size 4") << QByteArray("size=\"4\" max=\"0xFFFFFFFF\"") << i32min << -1 << i32min << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("2^32 does not fit") << QByteArray("size=\"4\" max=\"0x100000000\"") << i32min << 0 << i32min << 0u << 0u << 0u;
    QTest::newRow("-2^31 fits signed only") << QByteArray("size=\"4\" min=\"-0x80000000\"") << i32min << i32max << i32min << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("below -2^31") << QByteArray("size=\"4\" min=\"-0x80000001\"") << 0 << i32max << 0 << 0u << 0xFFFFFFFFu << 0u;
    QTest::newRow("negative hexadecimal size 1") << QByteArray("size=\"1\" min=\"-0x5\"") << -5 << 127 << -5 << 0u << 255u << 0u;
    QTest::newRow("0x in the middle fails") << QByteArray("size=\"1\" max=\"10x5\"") << -128 << 0 << -128 << 0u << 0u << 0u;
    QTest::newRow("upper 0X selects hexadecimal") << QByteArray("size=\"2\" default=\"0X10\"") << -32768 << 32767 << 16 << 0u << 65535u << 16u;
    QTest::newRow("default sign-extended") << QByteArray("size=\"1\" default=\"0xF0\"") << -128 << 127 << -16 << 0u << 255u << 240u;
}

void MessageFileTest::limits()
{
    QFETCH(QByteArray, attributes);
    QFETCH(int, minSigned);
    QFETCH(int, maxSigned);
    QFETCH(int, defaultSigned);
    QFETCH(uint, minUnsigned);
    QFETCH(uint, maxUnsigned);
    QFETCH(uint, defaultUnsigned);
    const ParameterDefinition p = onlyParameter("name=\"P\" type=\"integer\" " + attributes);
    QCOMPARE(p.name, QStringLiteral("P"));
    QCOMPARE(int(p.minSigned), minSigned);
    QCOMPARE(int(p.maxSigned), maxSigned);
    QCOMPARE(int(p.defaultSigned), defaultSigned);
    QCOMPARE(uint(p.minUnsigned), minUnsigned);
    QCOMPARE(uint(p.maxUnsigned), maxUnsigned);
    QCOMPARE(uint(p.defaultUnsigned), defaultUnsigned);
}

void MessageFileTest::namedValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("unsignedValue");
    QTest::addColumn<int>("signedValue");
    QTest::newRow("decimal") << QByteArray("7") << 7u << 7;
    QTest::newRow("negative decimal") << QByteArray("-1") << 0u << -1;
    QTest::newRow("0xFF not extended") << QByteArray("0xFF") << 255u << 255;
    QTest::newRow("eight F digits") << QByteArray("0xFFFFFFFF") << 0xFFFFFFFFu << -1;
    QTest::newRow("low 32 bits of 64") << QByteArray("0x100000005") << 5u << 5;
    QTest::newRow("beyond signed 64") << QByteArray("0xFFFFFFFFFFFFFFFF") << 0xFFFFFFFFu << 0;
    QTest::newRow("large decimal") << QByteArray("4294967296") << 0u << 0;
    QTest::newRow("no prefix") << QByteArray("1F") << 0u << 0;
    QTest::newRow("empty") << QByteArray("") << 0u << 0;
}

void MessageFileTest::namedValues()
{
    QFETCH(QByteArray, text);
    QFETCH(uint, unsignedValue);
    QFETCH(int, signedValue);
    const MessageDefinition m = onlyMessage(file(
        "<message name=\"M\"><param size=\"1\"><value value=\"" + text
        + "\" description=\"Named\"/></param></message>"));
    QCOMPARE(m.parameters.size(), 1);
    QCOMPARE(m.parameters.first().values.size(), 1);
    const ValueDefinition v = m.parameters.first().values.first();
    QCOMPARE(v.description, QStringLiteral("Named"));
    QCOMPARE(uint(v.unsignedValue), unsignedValue);
    QCOMPARE(int(v.signedValue), signedValue);
}

void MessageFileTest::documentShape_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("other root") << QByteArray("<catalogue><message name=\"A\"/></catalogue>") << QStringList{"A"};
    QTest::newRow("nested at any depth")
        << QByteArray("<message_def><group><sub><message name=\"B\"/></sub></group><message name=\"A\"/></message_def>")
        << QStringList{"A", "B"};
    QTest::newRow("message inside a message")
        << QByteArray("<message_def><message name=\"A\"><message name=\"B\"/></message></message_def>")
        << QStringList{"A", "B"};
    QTest::newRow("other tag names ignored")
        << QByteArray("<message_def><Message name=\"A\"/><x:message name=\"B\"/><message name=\"C\"/></message_def>")
        << QStringList{"C"};
    QTest::newRow("no name stored under empty") << QByteArray("<message_def><message/></message_def>") << QStringList{""};
    QTest::newRow("map order by code unit")
        << QByteArray("<message_def><message name=\"a\"/><message name=\"Z\"/><message name=\"B\"/></message_def>")
        << QStringList{"B", "Z", "a"};
    QTest::newRow("truncated") << QByteArray("<message_def><message name=\"A\"/><message name=\"B\"") << QStringList();
    QTest::newRow("unclosed root") << QByteArray("<message_def><message name=\"A\"/>") << QStringList();
    QTest::newRow("mismatched tags") << QByteArray("<message_def><message name=\"A\"></param></message_def>") << QStringList();
    QTest::newRow("two roots") << QByteArray("<a><message name=\"A\"/></a><b/>") << QStringList();
    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("not XML") << QByteArray("name,msg_id\nA,1\n") << QStringList();
    QTest::newRow("undeclared entity") << QByteArray("<message_def><message name=\"&x;\"/></message_def>") << QStringList();
    QTest::newRow("declared entity")
        << QByteArray("<!DOCTYPE message_def [<!ENTITY n \"Named\">]><message_def><message name=\"&n;\"/></message_def>")
        << QStringList{"Named"};
}

void MessageFileTest::documentShape()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, names);
    QCOMPARE(readMessageData(xml).keys(), names);
}

void MessageFileTest::childNodesAreParameters()
{
    const MessageMap map = readMessageData(file(
        "<message name=\"M\" category=\"Status\" description=\"Reads\" addressingMode=\"P2P GROUP\">\n"
        "  <param name=\"first\" size=\"1\">\n"
        "    <value value=\"1\" description=\"one\"/>\n"
        "    <!-- a note among the values -->\n"
        "    <value value=\"2\" description=\"two\"/>\n"
        "  </param>\n"
        "  <!-- a note between parameters -->\n"
        "  <anything name=\"second\" size=\"2\"/>\n"
        "</message>\n"
        "<message name=\"Bare\"/>\n"
        "<message name=\"Spaced\">\n   \n  </message>\n"));
    QCOMPARE(map.keys(), (QStringList{"Bare", "M", "Spaced"}));
    QVERIFY(map.value("Bare").parameters.isEmpty());
    QVERIFY(map.value("Spaced").parameters.isEmpty()); // whitespace-only text is no node

    const MessageDefinition m = map.value("M");
    QCOMPARE(m.category, QStringLiteral("Status"));
    QCOMPARE(m.description, QStringLiteral("Reads"));
    QCOMPARE(m.addressingMode, QStringLiteral("P2P GROUP"));
    QCOMPARE(m.parameters.size(), 3);
    QCOMPARE(m.parameters.at(0).name, QStringLiteral("first"));
    QCOMPARE(m.parameters.at(2).name, QStringLiteral("second"));
    QCOMPARE(m.parameters.at(2).size, 2u);
    QVERIFY(m.parameters.at(2).values.isEmpty());

    // The comment reads as a parameter with every attribute absent.
    ParameterDefinition absent;
    absent.display = true;
    absent.sign = QStringLiteral("unsigned");
    absent.inputFormat = QStringLiteral("decimal");
    QCOMPARE(m.parameters.at(1), absent);

    const QList<ValueDefinition> values = m.parameters.at(0).values;
    QCOMPARE(values.size(), 3);
    QCOMPARE(values.at(0).description, QStringLiteral("one"));
    QCOMPARE(values.at(1), ValueDefinition());
    QCOMPARE(values.at(2).unsignedValue, 2u);

    // Text with content is a node too.
    const MessageDefinition text = onlyMessage(file("<message name=\"T\">note<param/></message>"));
    QCOMPARE(text.parameters.size(), 2);
}

void MessageFileTest::sameNameLaterWins()
{
    const MessageMap map = readMessageData(file(
        "<message name=\"M\" msg_id=\"1\"><param/><param/></message>"
        "<message name=\"N\" msg_id=\"2\"/>"
        "<message name=\"M\" msg_id=\"3\"/>"));
    QCOMPARE(map.size(), 2);
    QCOMPARE(int(map.value("M").msgId), 3);
    QVERIFY(map.value("M").parameters.isEmpty());
}

void MessageFileTest::fileReading()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray xml = file("<message name=\"A\" msg_id=\"0x40\"/>");
    QFile out(dir.filePath("a.xml"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(xml);
    out.close();

    const MessageDefinitionFile fromPath(dir.filePath("a.xml"));
    QCOMPARE(fromPath.messages, readMessageData(xml));
    QCOMPARE(readMessageFile(dir.filePath("a.xml")).messages.keys(), QStringList{"A"});

    // Relative to the current directory.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const MessageMap relative = readMessageFile("a.xml").messages;
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(relative.keys(), QStringList{"A"});

    QVERIFY(readMessageFile(dir.filePath("missing.xml")).messages.isEmpty());
    QVERIFY(readMessageFile(dir.path()).messages.isEmpty());
    QVERIFY(readMessageFile(QString()).messages.isEmpty());
    QVERIFY(MessageDefinitionFile().messages.isEmpty());
}

void MessageFileTest::utf16WithCarriageReturns()
{
    // U+010D is the bytes 0D 01 in UTF-16LE: reading the file in text mode
    // would drop the 0D and wreck everything after it.
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<message_def>\r\n"
                                        "<message name=\"Ko\u010Dka\" description=\"\u010D\u010D\"/>\r\n"
                                        "<message name=\"Z\"/>\r\n</message_def>\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    bytes += QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QTemporaryDir dir;
    QFile out(dir.filePath("u16.xml"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    const MessageMap map = readMessageFile(dir.filePath("u16.xml")).messages;
    QCOMPARE(map.keys(), (QStringList{QStringLiteral("Ko\u010Dka"), "Z"}));
    QCOMPARE(map.first().description, QStringLiteral("\u010D\u010D"));
}

void MessageFileTest::cachePicksUpSameSizeEdit()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("edit.xml");
    auto write = [&path](const QByteArray &bytes) {
        QFile out(path); // rewritten in place: same inode, same size
        QVERIFY(out.open(QIODevice::ReadWrite));
        QVERIFY(out.seek(0));
        out.write(bytes);
    };
    write(file("<message name=\"A\" msg_id=\"11\"/>"));
    QCOMPARE(int(readMessageFile(path).messages.value("A").msgId), 0x11);
    QCOMPARE(int(readMessageFile(path).messages.value("A").msgId), 0x11); // from the cache
    const QDateTime firstTime = QFileInfo(path).lastModified();
    write(file("<message name=\"A\" msg_id=\"22\"/>"));
    QCOMPARE(int(readMessageFile(path).messages.value("A").msgId), 0x22);
    write(file("<message name=\"B\" msg_id=\"22\"/>"));
    // Same second at least, most likely the same timestamp to the nanosecond.
    QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch() - firstTime.toSecsSinceEpoch() <= 1, true);
    QCOMPARE(readMessageFile(path).messages.keys(), QStringList{"B"});
    QFile::remove(path);
    QVERIFY(readMessageFile(path).messages.isEmpty());
}

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
