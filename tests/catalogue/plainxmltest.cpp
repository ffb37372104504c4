#include "catalogue/catalogue.h"
#include "cataloguefiles.h"

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
        QVector<QPair<QByteArray, QByteArray>> attributes;
        bool found = false;
        QCOMPARE(plainXmlCheck(xml, "profile", &attributes, &found), plain);
        checkAgreement(xml);
    }

    // Every one-byte deletion and many one-byte insertions in a plain file:
    // whatever the quick check accepts, the parser accepts alike.
    void mutationsAgree()
    {
        const char inserts[] = "<>&\"'/-!?= ]#;x\x01\xC3\xBF";
        for (int i = 0; i <= kPlain.size(); ++i) {
            if (i < kPlain.size()) {
                checkAgreement(QByteArray(kPlain).remove(i, 1));
                if (QTest::currentTestFailed())
                    return;
            }
            for (const char *c = inserts; *c; ++c) {
                checkAgreement(QByteArray(kPlain).insert(i, *c));
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

    // The bundled catalogue takes the quick way.
    void sampleFilesArePlain()
    {
        const QStringList paths = profileFilePaths(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(!paths.isEmpty());
        for (const QString &path : paths) {
            QVector<QPair<QByteArray, QByteArray>> attributes;
            bool found = false;
            QVERIFY2(plainXmlCheck(readFile(path), "profile", &attributes, &found), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(PlainXmlTest)
#include "plainxmltest.moc"
