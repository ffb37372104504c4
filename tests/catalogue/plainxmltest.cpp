// The quick ways through plain XML read as the parser and the DOM reader do.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

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

} // namespace

class PlainXmlTest : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(PlainXmlTest)
#include "plainxmltest.moc"
