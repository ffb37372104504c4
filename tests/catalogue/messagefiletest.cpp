// The readers of message and profile files, files read afresh when edited,
// and the quick ways through plain XML read as the parser and the DOM reader do.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

#include <QTemporaryDir>
#include <QXmlStreamReader>

namespace {

bool isPlain(const QByteArray &xml, QVector<QPair<QByteArray, QByteArray>> *attributes = nullptr, bool *found = nullptr)
{
    QVector<QPair<QByteArray, QByteArray>> ignored;
    bool ignoredFound = false;
    return plainXmlCheck(xml, "profile", attributes ? attributes : &ignored, found ? found : &ignoredFound);
}

// What the quick check calls well-formed the parser reads, with the same first
// "profile" attributes; the quick message reader gives what the DOM reader does.
void checkAgreement(const QByteArray &xml)
{
    QVector<QPair<QByteArray, QByteArray>> attributes, parsed;
    bool found = false, seen = false;
    if (isPlain(xml, &attributes, &found)) {
        QVERIFY2(scanDefinitionXml(xml, [&](const QXmlStreamReader &reader) {
                     if (seen || reader.qualifiedName() != QLatin1String("profile"))
                         return;
                     seen = true;
                     for (const QXmlStreamAttribute &a : reader.attributes())
                         parsed.append({a.qualifiedName().toUtf8(), a.value().toUtf8()});
                 }),
                 xml.constData());
        QVERIFY2(!found || attributes == parsed, xml.constData());
    }
    MessageMap quick;
    if (readPlainMessageData(xml, &quick))
        QVERIFY2(quick == readMessageDataThroughDom(xml), xml.constData());
}

// A plain profile file, in the shape of the bundled ones.
const QByteArray kPlain = readFile(QStringLiteral(KWN_TEST_DATA "/catalogue/plain-profile.xml"));

// The fields that differ from an attribute-less parameter's; "s:"/"u:" give signed/unsigned min, max, default.
QString changes(const ParameterDefinition &p)
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

} // namespace

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

    void documents_data()
    {
        addDataRows(QStringLiteral("catalogue/plaindocuments.txt"));
        const QString deep = QStringLiteral("<a>").repeated(kMaxDefinitionDepth)
            + QStringLiteral("</a>").repeated(kMaxDefinitionDepth);
        QTest::newRow("plain profile file") << QStringList{"@catalogue/plain-profile.xml", "1"};
        QTest::newRow("deepest allowed") << QStringList{deep, "1"};
        QTest::newRow("one level too deep") << QStringList{"<b>" + deep + "</b>", "0"};
    }
    void documents()
    {
        QFETCH(QStringList, row);
        const QByteArray xml = unescapedBytes(row[0]);
        QCOMPARE(isPlain(xml), row[1] == "1");
        checkAgreement(xml);
    }

    void messageReaders_data()
    {
        addDataRows(QStringLiteral("catalogue/messagereaders.txt"));
        const QString deep = "<message_def><message name=\"M\">" + QStringLiteral("<p>").repeated(kMaxDefinitionDepth - 2)
            + QStringLiteral("</p>").repeated(kMaxDefinitionDepth - 2);
        QTest::newRow("deepest allowed") << QStringList{deep + "</message></message_def>", "1", "1"};
        QTest::newRow("too deep") << QStringList{"<d>" + deep + "<p/></message></message_def></d>", "0", "0"};
    }
    void messageReaders()
    {
        QFETCH(QStringList, row);
        const QByteArray xml = unescapedBytes(row[0]);
        MessageMap read;
        QCOMPARE(readPlainMessageData(xml, &read), row[1] == "1");
        const MessageMap dom = readMessageDataThroughDom(xml);
        QCOMPARE(dom.size(), row[2].toInt());
        if (row[1] == "1")
            QCOMPARE(read, dom);
        QCOMPARE(readMessageData(xml), dom);
    }

    // Every one-byte deletion and many one-byte insertions in a plain file:
    // the quick ways and the slow ones agree on each.
    void mutationsAgree()
    {
        const QByteArray inserts = "<>&\"'/-!?= ]#;x\t\n\x01\xC3\xBF";
        QVERIFY(kPlain.contains("profile product="));
        for (int i = 0; i <= kPlain.size(); ++i) {
            if (i < kPlain.size())
                checkAgreement(QByteArray(kPlain).remove(i, 1));
            for (char c : inserts)
                checkAgreement(QByteArray(kPlain).insert(i, c));
            if (QTest::currentTestFailed())
                return;
        }
    }
};

QTEST_GUILESS_MAIN(MessageFileTest)
#include "messagefiletest.moc"
