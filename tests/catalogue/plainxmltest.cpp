#include "catalogue/catalogue.h"
#include "cataloguefiles.h"

#include <QDirIterator>
#include <QtTest>
#include <QXmlStreamReader>

namespace {

// The first "profile" element's attributes as the streaming parser gives them.
QVector<QPair<QByteArray, QByteArray>> parserAttributes(const QByteArray &xml)
{
    QVector<QPair<QByteArray, QByteArray>> result;
    bool found = false;
    scanDefinitionXml(xml, [&](const QXmlStreamReader &reader) {
        if (found || reader.qualifiedName() != QLatin1String("profile"))
            return;
        found = true;
        for (const QXmlStreamAttribute &a : reader.attributes())
            result.append(qMakePair(a.qualifiedName().toString().toUtf8(), a.value().toString().toUtf8()));
    });
    return result;
}

bool isPlain(const QByteArray &xml)
{
    QVector<QPair<QByteArray, QByteArray>> attributes;
    bool found = false;
    return plainXmlCheck(xml, "profile", &attributes, &found);
}

// A message file of `body`.
QByteArray md(const QByteArray &body)
{
    return "<message_def>" + body + "</message_def>";
}

// The quick check may leave any document to the parser, but a document it
// calls well-formed must be one the parser reads through, with the same
// attributes.
void checkAgreement(const QByteArray &xml)
{
    QVector<QPair<QByteArray, QByteArray>> attributes;
    bool found = false;
    if (!plainXmlCheck(xml, "profile", &attributes, &found))
        return;
    QVERIFY2(scanDefinitionXml(xml), xml.constData());
    if (found)
        QVERIFY2(attributes == parserAttributes(xml), xml.constData());
}

// A message file of `count` messages of varied shapes.
QByteArray generatedMessageFile(int count)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<message_def>\n";
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml += "  <message name=\"Message " + n + "\" category=\"C" + QByteArray::number(i % 7) + "\" msg_id=\"0x"
            + QByteArray::number(i % 300, 16) + "\"" + (i % 6 == 5 ? " node_mode=\"slave\"" : "")
            + " description=\"Number " + n + " &amp; more\">\n";
        for (int k = 0; k < i % 5; ++k) {
            xml += "    <parameter name=\"P" + QByteArray::number(k) + "\" type=\""
                + (k % 3 == 0 ? "integer" : k % 3 == 1 ? "bitfield" : "string") + "\" size=\""
                + QByteArray::number(k + i % 3) + "\"" + (k % 2 ? " sign=\"signed\" min=\"0x80\"" : " max=\"200\"")
                + (i % 4 == 0 ? " default=\"7\" input_format=\"hexa\"" : "") + ">\n";
            for (int v = 0; v < k; ++v)
                xml += "      <value value=\"" + QByteArray::number(v) + "\" description=\"V\xC3\xA9" + QByteArray::number(v) + "\"/>\n";
            xml += "    </parameter>\n";
        }
        if (i % 10 == 0)
            xml += "    <!-- a note -->\n";
        xml += "  </message>\n";
    }
    return xml + "</message_def>\n";
}

// The quick message reader may leave any document to the DOM reader, but
// what it reads must be exactly what the DOM reader gives.
void checkMessagesAgree(const QByteArray &xml)
{
    MessageMap quick;
    if (readPlainMessageData(xml, &quick))
        QVERIFY2(quick == readMessageDataThroughDom(xml), xml.constData());
}

const QByteArray kPlain = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!-- Motor drive, revision 2 -->\n"
                          "<profiles_def>\n"
                          "  <profile product=\"Drive \xC2\xB5 2\" revision='2' node_type=\"0x5\" standard_msg=\"/std.xml\"/>\n"
                          "  <message name=\"Speed &amp; torque\" msg_id=\"0x10\" description=\"&#60;fast&#x3E;\">\n"
                          "    <parameter name=\"Level\" size=\"2\"><value value=\"1\" description=\"On\"/></parameter>\n"
                          "  </message>\n"
                          "</profiles_def>\n";

} // namespace

class PlainXmlTest : public QObject
{
    Q_OBJECT

private slots:
    void documents_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("plain"); // what the quick check says

        QTest::newRow("plain profile file") << kPlain << true;
        QTest::newRow("no declaration") << QByteArray("<profiles_def><profile product=\"A\"/></profiles_def>") << true;
        QTest::newRow("no profile element") << QByteArray("<message_def><message name=\"M\"/></message_def>") << true;
        QTest::newRow("not closed") << QByteArray("<profiles_def><profile product=\"A\"/>") << false;
        QTest::newRow("wrong end tag") << QByteArray("<a><b></a></b>") << false;
        QTest::newRow("two roots") << QByteArray("<a/><b/>") << false;
        QTest::newRow("attribute twice") << QByteArray("<a x=\"1\" x=\"2\"/>") << false;
        QTest::newRow("unquoted attribute") << QByteArray("<a x=1/>") << false;
        QTest::newRow("lone ampersand") << QByteArray("<a>fish & chips</a>") << false;
        QTest::newRow("unknown entity") << QByteArray("<a>&nbsp;</a>") << false;
        QTest::newRow("less-than in value") << QByteArray("<a x=\"<\"/>") << false;
        QTest::newRow("double hyphen in comment") << QByteArray("<a><!-- a -- b --></a>") << false;
        QTest::newRow("control character") << QByteArray("<a>\x01</a>") << false;
        QTest::newRow("broken UTF-8") << QByteArray("<a>\xC3(</a>") << false;
        QTest::newRow("overlong UTF-8") << QByteArray("<a>\xC0\xAF</a>") << false;
        QTest::newRow("text outside the root") << QByteArray("<a/>x") << false;
        QTest::newRow("document type") << QByteArray("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>") << false;
        QTest::newRow("other encoding") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>") << false;
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF<a/>") << false;
        QTest::newRow("line end in the profile's value")
            << QByteArray("<profiles_def><profile product=\"A\nB\"/></profiles_def>") << false;
        QTest::newRow("reference to NUL") << QByteArray("<a>&#0;</a>") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QByteArray deep;
        for (int i = 0; i < kMaxDefinitionDepth; ++i)
            deep += "<a>";
        for (int i = 0; i < kMaxDefinitionDepth; ++i)
            deep += "</a>";
        QTest::newRow("deepest allowed") << deep << true;
        QTest::newRow("one level too deep") << QByteArray("<b>" + deep + "</b>") << false;
    }

    void documents()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, plain);
        QCOMPARE(isPlain(xml), plain);
        checkAgreement(xml);
        checkMessagesAgree(xml);
    }

    // Message files in every shape the DOM reader reads in its own way:
    // nodes that are no elements, nesting, references, odd characters.
    void messageReaders_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("quick"); // whether the quick reader reads it
        QTest::addColumn<int>("count");  // messages read

        const QByteArray p = "<parameter name=\"P\" type=\"Integer\" size=\"2\" sign=\"signed\" min=\"0x8000\""
                             " max=\"0x7FFF\" default=\"-3\" input_format=\"HEXA\" optional=\"YES\" display=\"No\">"
                             "<value value=\"0x10\" description=\"Sixteen\"/><value value=\"-1\"/></parameter>";
        QTest::newRow("every attribute") << QByteArray("<?xml version=\"1.0\"?>\n<message_def>\n <message name=\"M\""
                                                       " category=\"C\" msg_id=\"0x1A\" description=\"D\""
                                                       " addressingMode=\"P2P\" node_mode=\"Slave\">" + p
                                                       + "</message>\n</message_def>\n")
                                         << true << 1;
        QTest::newRow("attributes absent and empty")
            << md("<message><parameter sign=\"\" input_format=\"\" min=\"\" size=\"x\"/></message><message name=\"\" msg_id=\"\"/>")
            << true << 1;
        QTest::newRow("text and comments as parameters and values")
            << md("<message name=\"M\">text<!-- c --><parameter>v<!-- w --> <x/></parameter>more</message>") << true << 1;
        QTest::newRow("white space only between nodes")
            << md("\r\n\t<message name=\"M\"> \r\n <parameter/>\t</message>\n") << true << 1;
        QTest::newRow("messages nested and as values")
            << md("<message name=\"A\"><message name=\"B\"><message name=\"C\"/></message></message>"
                  "<group><message name=\"A\" msg_id=\"2\"/></group>") << true << 3;
        QTest::newRow("root is a message") << QByteArray("<message name=\"R\"><parameter/></message>") << true << 1;
        QTest::newRow("later of one name wins") << md("<message name=\"M\" msg_id=\"1\"/><message name=\"M\" msg_id=\"2\"/>")
                                                << true << 1;
        QTest::newRow("references in values")
            << md("<message name=\"A &amp; B &lt;&gt;&quot;&apos;\" description=\"&#176;&#x263A;\"/>") << true << 1;
        QTest::newRow("characters beyond ASCII")
            << md("<message name=\"\xC2\xB5\xE2\x82\xAC\xF0\x9F\x98\x80\" category='\xC3\xA9'/>") << true << 1;
        QTest::newRow("reference to a tab in a value") << md("<message name=\"A&#9;B\"/>") << false << 1;
        QTest::newRow("line end in a value") << md("<message name=\"A\nB\" description=\"x\r\ny\"/>") << false << 1;
        QTest::newRow("reference in text") << md("<message name=\"M\">a&amp;b<parameter/></message>") << false << 1;
        QTest::newRow("reference beyond the basic plane") << md("<message name=\"&#x1F600;\"/>") << false << 1;
        QTest::newRow("reference to a space in text") << md("<message name=\"M\"> &#32; </message>") << false << 1;
        QTest::newRow("CDATA") << md("<message name=\"M\"><![CDATA[x]]></message>") << false << 1;
        QTest::newRow("processing instruction") << md("<message name=\"M\"><?pi x?></message>") << false << 1;
        QTest::newRow("entity of a document type")
            << QByteArray("<!DOCTYPE m [<!ENTITY e \"Ee\">]>" + md("<message name=\"&e;\"/>")) << false << 1;
        QTest::newRow("other encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + md("<message name=\"\xE9\"/>")) << false << 1;
        QTest::newRow("namespace prefix")
            << QByteArray("<message_def xmlns:k=\"urn:k\"><k:message name=\"K\"/><message k:name=\"N\"/></message_def>")
            << false << 1;
        QByteArray many = "<message_def><message name=\"M\"";
        for (int i = 0; i < 70; ++i)
            many += " a" + QByteArray::number(i) + "=\"x\"";
        QTest::newRow("many attributes") << QByteArray(many + "/></message_def>") << false << 1;
        QByteArray deep = "<message_def><message name=\"M\">";
        for (int i = 0; i < kMaxDefinitionDepth - 2; ++i)
            deep += "<p>";
        for (int i = 0; i < kMaxDefinitionDepth - 2; ++i)
            deep += "</p>";
        QTest::newRow("deepest allowed") << QByteArray(deep + "</message></message_def>") << true << 1;
        QTest::newRow("too deep") << QByteArray("<d>" + deep + "<p/></message></message_def></d>") << false << 0;
        QTest::newRow("not well-formed") << QByteArray("<message_def><message name=\"M\"></message_def>") << false << 0;
        QTest::newRow("large generated file") << generatedMessageFile(300) << true << 300;
    }

    void messageReaders()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, quick);
        QFETCH(int, count);
        MessageMap read;
        QCOMPARE(readPlainMessageData(xml, &read), quick);
        const MessageMap dom = readMessageDataThroughDom(xml);
        QCOMPARE(dom.size(), count);
        if (quick)
            QCOMPARE(read, dom);
        QCOMPARE(readMessageData(xml), dom);
    }

    // Every one-byte deletion and many one-byte insertions in a plain file:
    // whatever the quick check accepts, the parser accepts alike, and the
    // quick message reader reads as the DOM reader does.
    void mutationsAgree()
    {
        const QByteArray inserts = "<>&\"'/-!?= ]#;x\t\n\x01\xC3\xBF";
        for (int i = 0; i <= kPlain.size(); ++i) {
            QVector<QByteArray> mutants;
            if (i < kPlain.size())
                mutants << QByteArray(kPlain).remove(i, 1);
            for (char c : inserts)
                mutants << QByteArray(kPlain).insert(i, c);
            for (const QByteArray &mutant : qAsConst(mutants)) {
                checkAgreement(mutant);
                checkMessagesAgree(mutant);
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

    // The bundled catalogue takes the quick way: its profile files pass the
    // quick check, and the quick reader reads its message files as the DOM
    // reader does.
    void bundledFilesArePlain()
    {
        const QStringList paths = profileFilePaths(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(!paths.isEmpty());
        for (const QString &path : paths)
            QVERIFY2(isPlain(readFile(path)), qPrintable(path));
        QDirIterator it(QStringLiteral(KWN_SOURCE_DIR "/xml"), {QStringLiteral("*.xml")}, QDir::Files,
                        QDirIterator::Subdirectories);
        int files = 0;
        for (; it.hasNext(); ++files) {
            const QByteArray xml = readFile(it.next());
            MessageMap quick;
            QVERIFY2(readPlainMessageData(xml, &quick), qPrintable(it.filePath()));
            QCOMPARE(quick, readMessageDataThroughDom(xml));
        }
        QVERIFY(files > 5);
    }
};

QTEST_GUILESS_MAIN(PlainXmlTest)
#include "plainxmltest.moc"
