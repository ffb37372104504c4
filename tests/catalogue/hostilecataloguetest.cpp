#include "catalogue/catalogue.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

static QByteArray repeatedTo(const QByteArray &head, const QByteArray &unit, const QByteArray &tail, qint64 total)
{
    QByteArray bytes = head;
    while (bytes.size() + tail.size() < total)
        bytes += unit;
    return bytes + tail;
}

static QByteArray corpus(const char *name)
{
    QFile in(QStringLiteral(KWN_TEST_DATA "/catalogue/hostile/%1.xml").arg(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("missing fixture");
}

// Files that no definition file should ever look like: each one gives what it
// can use, else nothing, without a crash, a hang or a memory blow-up.
class HostileCatalogueTest : public QObject
{
    Q_OBJECT

private slots:
    void hostile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("messages");
        for (const char *name : {"empty", "truncated", "binary", "not-xml", "billion-laughs", "quadratic-blowup"})
            QTest::newRow(name) << corpus(name) << QStringList();
        QTest::newRow("not-numbers") << corpus("not-numbers") << QStringList{"Words"};
        QTest::newRow("huge-size") << corpus("huge-size") << QStringList{"Huge"};
        QTest::newRow("external-entity") << corpus("external-entity") << QStringList{"Leak"};
        const QByteArray head = "<?xml version=\"1.0\"?><message_def><message name=\"First\"/>";
        const qint64 tenMegabytes = 10 * 1024 * 1024;
        QTest::newRow("10 MB comment")
            << repeatedTo(head + "<!--", "padding ", "--><message name=\"Last\"/></message_def>", tenMegabytes)
            << QStringList{"First", "Last"};
        QTest::newRow("10 MB of elements") << repeatedTo(head, "<a/>", "</message_def>", tenMegabytes) << QStringList();
        QTest::newRow("10 MB entity flood")
            << repeatedTo("<!DOCTYPE message_def [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>" + head
                              + "<message name=\"Flood\" description=\"", "&e;", "\"/></message_def>", tenMegabytes)
            << QStringList();
        QTest::newRow("over the file limit") << repeatedTo(head + "<!--", "padding ", "--></message_def>",
                                                           kMaxDefinitionFileBytes + 1)
                                             << QStringList();
        QTest::newRow("100,000 levels, never closed") << "<m>" + QByteArray("<a>").repeated(100000) << QStringList();
        QTest::newRow("a million attributes")
            << repeatedTo("<message_def><message name=\"Wide\"><p", " a=\"\"", "/></message></message_def>", 6 << 20)
            << QStringList();
        // The root counts as one level; the message is the deepest element.
        for (int depth : {kMaxDefinitionDepth, kMaxDefinitionDepth + 1}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 levels").arg(depth)))
                << "<message_def>" + QByteArray("<g>").repeated(depth - 2) + "<message name=\"M\"/>"
                       + QByteArray("</g>").repeated(depth - 2) + "</message_def>"
                << (depth <= kMaxDefinitionDepth ? QStringList{"M"} : QStringList());
        }
        // An entity naming a local file must not pull it in.
        QTest::newRow("external entity, local file")
            << QByteArray("<!DOCTYPE m [<!ENTITY e SYSTEM \"file://" KWN_TEST_DATA
                          "/catalogue/hostile/huge-size.xml\">]><m><message name=\"Leak\">&e;</message></m>")
            << QStringList{"Leak"};
    }
    void hostile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, messages);
        QTemporaryDir dir;
        QFile out(dir.filePath("p.xml"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(bytes), qint64(bytes.size()));
        out.close();
        QCOMPARE(readMessageData(bytes).keys(), messages);
        QCOMPARE(readMessageFile(out.fileName()).messages.keys(), messages);
        // In a folder it becomes the "_" profile, with its messages when it is well-formed.
        const ProfileMap map = loadProfiles(dir.path());
        QCOMPARE(map.keys(), QStringList{"_"});
        QVERIFY(map.first().product.isEmpty() && map.first().nodeType == 0);
        QCOMPARE(messagesOfProfile(map.first(), false).keys(), messages);
    }
};

QTEST_GUILESS_MAIN(HostileCatalogueTest)
#include "hostilecataloguetest.moc"
