// The quick ways through plain XML: the check that leaves any document it
// is unsure of to the parser (tests/data/catalogue/plaindocuments.txt), and
// the quick message reader against the DOM reader (messagereaders.txt).
// Whatever the quick ways take, they read as the slow ones do.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

#include <QDirIterator>
#include <QXmlStreamReader>

namespace {

bool isPlain(const QByteArray &xml, QVector<QPair<QByteArray, QByteArray>> *attributes = nullptr, bool *found = nullptr)
{
    QVector<QPair<QByteArray, QByteArray>> ignored;
    bool ignoredFound = false;
    return plainXmlCheck(xml, "profile", attributes ? attributes : &ignored, found ? found : &ignoredFound);
}

// A document the quick check calls well-formed is one the parser reads
// through, with the same attributes of the first "profile" element; what
// the quick message reader reads is exactly what the DOM reader gives.
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

    // The bundled catalogue takes the quick way: its profile files pass the
    // quick check, and the quick reader reads its message files.
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
