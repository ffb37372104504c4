#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/types.h>
#endif

// Files that no definition file should ever look like. Each one must give the
// lenient result (what it can use, else nothing) without a crash, a hang or a
// memory blow-up.
class HostileCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
    void notNumbersReadAsZero();
    void hugeSizeCarriedAsRead();
    void externalEntityNotFetched();
    void generated_data();
    void generated();
    void nestingLimit();
    void thousandFiles();
    void specialFiles();

private:
    static QString corpusPath(const QString &name)
    {
        return QStringLiteral(KWN_TEST_DATA "/catalogue/hostile/") + name;
    }
};

void HostileCatalogueTest::corpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("wellFormed");

    QTest::newRow("empty") << "empty.xml" << QStringList() << false;
    QTest::newRow("truncated") << "truncated.xml" << QStringList() << false;
    QTest::newRow("binary") << "binary.xml" << QStringList() << false;
    QTest::newRow("not XML") << "not-xml.xml" << QStringList() << false;
    QTest::newRow("billion laughs") << "billion-laughs.xml" << QStringList() << false;
    QTest::newRow("entity flood") << "quadratic-blowup.xml" << QStringList() << false;
    QTest::newRow("not numbers") << "not-numbers.xml" << QStringList{"Words"} << true;
    QTest::newRow("huge size") << "huge-size.xml" << QStringList{"Huge"} << true;
    QTest::newRow("external entity") << "external-entity.xml" << QStringList{"Leak"} << true;
}

void HostileCatalogueTest::corpus()
{
    QFETCH(QString, file);
    QFETCH(QStringList, messages);
    QFETCH(bool, wellFormed);
    const QString path = corpusPath(file);
    QVERIFY2(QFile::exists(path), qPrintable(path));

    QCOMPARE(readMessageFile(path).messages.keys(), messages);

    // Read as a profile: a record of the file with empty texts, or nothing.
    const ProfileDefinition profile = readProfileFile(path);
    QCOMPARE(profile.filePath, wellFormed ? path : QString());
    QVERIFY(profile.product.isEmpty());
    QCOMPARE(profile.nodeType, 0u);

    // And as part of a folder, where it becomes the "_" record.
    QTemporaryDir dir;
    QVERIFY(QFile::copy(path, dir.filePath(file)));
    const ProfileMap map = loadProfiles(dir.path());
    QCOMPARE(map.keys(), QStringList{"_"});
    QVERIFY(messagesOfProfile(map.first(), false).keys() == (wellFormed ? messages : QStringList()));
}

void HostileCatalogueTest::notNumbersReadAsZero()
{
    const MessageDefinition m = readMessageFile(corpusPath("not-numbers.xml")).messages.value("Words");
    QCOMPARE(int(m.msgId), 0);
    QCOMPARE(m.parameters.size(), 2);
    const ParameterDefinition p = m.parameters.at(0);
    QCOMPARE(p.size, 0u);
    QCOMPARE(p.minSigned, 0);
    QCOMPARE(p.maxUnsigned, 0u);
    QCOMPARE(p.defaultText, QStringLiteral("middle"));
    QCOMPARE(p.defaultSigned, 0);
    QCOMPARE(p.values.size(), 1);
    QCOMPARE(p.values.first().unsignedValue, 0u);
    const ParameterDefinition q = m.parameters.at(1);
    QCOMPARE(q.minSigned, 0);
    QCOMPARE(q.maxSigned, 0);
    QCOMPARE(q.maxUnsigned, 0u);
    QCOMPARE(q.defaultUnsigned, 0u);
}

void HostileCatalogueTest::hugeSizeCarriedAsRead()
{
    const MessageDefinition m = readMessageFile(corpusPath("huge-size.xml")).messages.value("Huge");
    QCOMPARE(m.parameters.size(), 2);
    QCOMPARE(m.parameters.at(0).size, 4000000000u);
    QCOMPARE(m.parameters.at(1).size, 4294967295u);
    // Limits of a field wider than 4 bytes are those of 4 bytes.
    QCOMPARE(m.parameters.at(1).maxUnsigned, 0xFFFFFFFFu);
    QCOMPARE(m.parameters.at(1).minSigned, std::numeric_limits<qint32>::min());
}

void HostileCatalogueTest::externalEntityNotFetched()
{
    const QByteArray bytes = "<!DOCTYPE message_def [<!ENTITY secret SYSTEM \"" + QUrl::fromLocalFile(corpusPath("huge-size.xml")).toEncoded()
        + "\">]><message_def><message name=\"Leak\" description=\"x\">&secret;</message></message_def>";
    const MessageMap map = readMessageData(bytes);
    for (const MessageDefinition &m : map) {
        QVERIFY(!m.name.contains("Huge"));
        for (const ParameterDefinition &p : m.parameters)
            QVERIFY2(p.name.isEmpty() && p.description.isEmpty(), qPrintable(p.name));
    }
    QVERIFY(!map.contains("Huge"));
}

static QByteArray repeatedTo(const QByteArray &head, const QByteArray &unit, const QByteArray &tail, qint64 total)
{
    QByteArray bytes = head;
    bytes.reserve(int(total) + unit.size() + tail.size());
    while (bytes.size() + tail.size() < total)
        bytes += unit;
    return bytes + tail;
}

void HostileCatalogueTest::generated_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("messages");

    const qint64 tenMegabytes = 10 * 1024 * 1024;
    const QByteArray head = "<?xml version=\"1.0\"?><message_def><message name=\"First\" msg_id=\"1\"/>";

    // Padding inside a comment is harmless: the file is big but plain.
    QTest::newRow("10 MB comment")
        << repeatedTo(head + "<!--", "padding ", "--><message name=\"Last\"/></message_def>", tenMegabytes)
        << QStringList{"First", "Last"};
    QTest::newRow("10 MB of elements")
        << repeatedTo(head, "<a/>", "</message_def>", tenMegabytes) << QStringList();
    QTest::newRow("10 MB entity flood")
        << repeatedTo("<!DOCTYPE message_def [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>" + head
                          + "<message name=\"Flood\" description=\"",
                      "&e;", "\"/></message_def>", tenMegabytes)
        << QStringList();
    QTest::newRow("10 MB of junk")
        << repeatedTo("<message_def>", QByteArray("\x01\xFE<<&&\"\x00", 8), "", tenMegabytes) << QStringList();
    QTest::newRow("over the file limit")
        << repeatedTo(head + "<!--", "padding ", "--></message_def>", kMaxDefinitionFileBytes + 1)
        << QStringList();
    QTest::newRow("100,000 levels deep")
        << QByteArray("<message_def><message name=\"Deep\">" + QByteArray("<a>").repeated(100000)
                      + QByteArray("</a>").repeated(100000) + "</message></message_def>")
        << QStringList();
    QTest::newRow("100,000 levels, never closed")
        << QByteArray("<message_def>" + QByteArray("<a>").repeated(100000)) << QStringList();
    QTest::newRow("a million attributes")
        << repeatedTo("<message_def><message name=\"Wide\"><p", " a", "/></message></message_def>", 2 * 1024 * 1024)
               .replace(" a", " a=\"\"")
        << QStringList();
}

void HostileCatalogueTest::generated()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, messages);
    QCOMPARE(readMessageData(bytes).keys(), messages);

    // Through a file as well: the size limit is checked before reading.
    QTemporaryDir dir;
    QFile out(dir.filePath("big.xml"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(bytes), qint64(bytes.size()));
    out.close();
    QCOMPARE(readMessageFile(out.fileName()).messages.keys(), messages);
}

void HostileCatalogueTest::nestingLimit()
{
    // The root counts as one level; the message is the deepest element.
    auto nested = [](int depth) -> QByteArray {
        return "<message_def>" + QByteArray("<g>").repeated(depth - 2) + "<message name=\"M\"/>"
            + QByteArray("</g>").repeated(depth - 2) + "</message_def>";
    };
    QCOMPARE(readMessageData(nested(kMaxDefinitionDepth)).keys(), QStringList{"M"});
    QVERIFY(readMessageData(nested(kMaxDefinitionDepth + 1)).isEmpty());
}

void HostileCatalogueTest::thousandFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (int i = 0; i < 1000; ++i) {
        QFile out(dir.filePath(QStringLiteral("p%1.xml").arg(i, 4, 10, QLatin1Char('0'))));
        QVERIFY(out.open(QIODevice::WriteOnly));
        if (i % 50 == 49)
            out.write("<profiles_def><profile product=\"Broken\"");
        else
            out.write("<profiles_def><profile product=\"P" + QByteArray::number(i) + "\" revision=\"1\" node_type=\""
                      + QByteArray::number(i % 16) + "\"/></profiles_def>");
    }
    const ProfileMap map = loadProfiles(dir.path());
    QCOMPARE(map.size(), 981);
    QVERIFY(map.contains("_"));
    QCOMPARE(map.value("P998_1").filePath, dir.filePath("p0998.xml"));
    QCOMPARE(productNames(map).size(), 981);
    // Node type 15 is held by P15, P31, ... ; the last in key order is P991.
    QCOMPARE(productForNodeType(map, 15), QStringLiteral("P991"));
}

void HostileCatalogueTest::specialFiles()
{
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath("std")));
    // A pipe would block the first read for ever; a folder named like a file
    // names nothing.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.xml")).constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("std/pipe.xml")).constData(), 0600), 0);
    QVERIFY(QDir().mkpath(dir.filePath("std/folder.xml")));
    QFile out(dir.filePath("p.xml"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<profiles_def><profile product=\"P\" revision=\"1\" standard_msg=\"/std/pipe.xml\""
              " standard_motor_msg=\"/std/folder.xml\"/><message name=\"Own\"/></profiles_def>");
    out.close();
    QVERIFY(QFile::link("/dev/zero", dir.filePath("zero.xml")));

    const ProfileMap map = loadProfiles(dir.path());
    QCOMPARE(map.keys().join(','), QStringLiteral("P_1"));
    QCOMPARE(messagesOfProfile(map.first(), false).keys(), QStringList{"Own"});
    QVERIFY(readMessageFile(dir.filePath("pipe.xml")).messages.isEmpty());
    QCOMPARE(readProfileFile(dir.filePath("zero.xml")), ProfileDefinition());
#else
    QSKIP("Pipes and device files are a Unix matter");
#endif
}

QTEST_GUILESS_MAIN(HostileCatalogueTest)
#include "hostilecataloguetest.moc"
