#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

static void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    QVERIFY2(out.open(QIODevice::WriteOnly), qPrintable(path));
    out.write(bytes);
}

static QByteArray profile(const QByteArray &product, const QByteArray &revision, int nodeType,
                          const QByteArray &messages = QByteArray())
{
    return "<profiles_def><profile product=\"" + product + "\" revision=\"" + revision + "\" node_type=\""
        + QByteArray::number(nodeType) + "\" standard_msg=\"/std/std.xml\" standard_motor_msg=\"/std/motor.xml\"/>"
        + messages + "</profiles_def>";
}

class CatalogueLoadTest : public QObject
{
    Q_OBJECT

private slots:
    void scan()
    {
        QTemporaryDir root;
        const QString dir = root.path() + "/xml";
        for (const char *name : {"c.xml.bak", "exml", ".hidden.xml", "sub.xml/inner.xml"})
            write(dir + '/' + name, profile("Skipped", name, 9));
        write(dir + "/A.XML", profile("Upper", "1", 1, "<message name=\"Own\"/>"));
        write(dir + "/b.xml", profile("A_B", "C", 2)); // shares the key A_B_C with
        write(dir + "/c.xml", profile("A", "B_C", 3)); // this one, read later
        write(dir + "/d.xml", "<message_def><message name=\"M\"/></message_def>");
        write(dir + "/e.xml", "<profiles_def><profile product=\"Broken\""); // read after d.xml
        write(root.path() + "/elsewhere/target.txt", profile("Linked", "1", 8));
        QVERIFY(QFile::link(root.path() + "/elsewhere/target.txt", dir + "/link.xml"));
        QVERIFY(QFile::link(root.path() + "/elsewhere", dir + "/folderlink.xml"));
        QVERIFY(QFile::link(root.path() + "/nothing-here", dir + "/broken.xml"));
#ifdef Q_OS_UNIX
        // Reading a pipe or a device would never end; a folder named like a file names nothing.
        QVERIFY(QDir().mkpath(dir + "/std/motor.xml") && QFile::link("/dev/zero", dir + "/zero.xml"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/pipe.xml").constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/std/std.xml").constData(), 0600), 0);
#endif
        const ProfileMap map = loadProfiles(dir);
        QCOMPARE(map.keys(), QStringList({"A_B_C", "Linked_1", "Upper_1", "_"}));
        QCOMPARE(productNames(map), QStringList({"", "A", "Linked", "Upper"}));
        QCOMPARE(map.value("A_B_C").nodeType, 3u);
        QCOMPARE(map.value("_"), ProfileDefinition());
        QCOMPARE(map.value("Linked_1").filePath, dir + "/link.xml");
        QCOMPARE(map.value("Linked_1").standardMsgPath, dir + "/std/std.xml");
        QCOMPARE(messagesOfProfile(map.value("Upper_1"), false).keys(), QStringList{"Own"});

        const ProfileMap none = loadProfiles(root.path() + "/none");
        QVERIFY(none.isEmpty() && productNames(none).isEmpty());
        QCOMPARE(findProfile(none, "Upper", "1"), ProfileDefinition());
        QVERIFY(messagesOfProfile(ProfileDefinition(), false).isEmpty());
    }

    // Texts compare by code unit; among profiles of one node type the greatest key wins.
    void lookups()
    {
        ProfileMap map;
        for (const ProfileDefinition &p : QList<ProfileDefinition>{
                 {"", "Lumen Relay", "2", 3, "", ""}, {"", "Lumen Relay", "10", 5, "", ""},
                 {"", "Lumen Relay", "a", 9, "", ""}, {"", "lumen relay", "1", 5, "", ""}, {"", "Z", "1", 9, "", ""},
                 {"", "", "", 9, "", ""}, {"", "R", "1", 257, "", ""}})
            map.insert(profileKey(p), p);
        QCOMPARE(productNames(map), QStringList({"", "Lumen Relay", "R", "Z", "lumen relay"}));
        QCOMPARE(revisionsOf(map, "Lumen Relay"), QStringList({"10", "2", "a"}));
        QCOMPARE(findProfile(map, "Lumen Relay", "10").nodeType, 5u);
        QCOMPARE(findProfile(map, "Lumen Relay", "2 "), ProfileDefinition());
        QCOMPARE(findProfile(map, "Lumen", "Relay_2"), ProfileDefinition());
        QCOMPARE(productForNodeType(map, 5), QStringLiteral("lumen relay"));
        QCOMPARE(productForNodeType(map, 9), QString()); // "_" sorts after "Z_1"
        QCOMPARE(productForNodeType(map, 1), QString()); // 257 is not 1
    }

    // Own messages replace motor ones, motor ones standard ones. The Encode page
    // leaves slave messages out, so they replace nothing there.
    void merge_data()
    {
        QTest::addColumn<QByteArray>("standard");
        QTest::addColumn<QByteArray>("motor");
        QTest::addColumn<bool>("leaveOutSlaves");
        QTest::addColumn<QStringList>("merged");
        const QByteArray standard = "<m><message name=\"Shared\" msg_id=\"1\"/><message name=\"Std\" msg_id=\"2\"/>"
                                    "<message name=\"Report\" msg_id=\"3\" node_mode=\"slave\"/></m>";
        const QByteArray motor = "<m><message name=\"Shared\" msg_id=\"4\"/><message name=\"Own\" msg_id=\"5\"/></m>";
        QTest::newRow("all files") << standard << motor << false
                                   << QStringList({"Own=6", "Report=3", "Shared=4", "Slave=8", "Std=7"});
        QTest::newRow("no motor file") << standard << QByteArray() << false
                                       << QStringList({"Own=6", "Report=3", "Shared=1", "Slave=8", "Std=7"});
        QTest::newRow("slaves left out") << standard << motor << true << QStringList({"Own=6", "Shared=4", "Std=2"});
    }
    void merge()
    {
        QFETCH(QByteArray, standard);
        QFETCH(QByteArray, motor);
        QFETCH(bool, leaveOutSlaves);
        QFETCH(QStringList, merged);
        QTemporaryDir dir;
        write(dir.filePath("std/std.xml"), standard);
        if (!motor.isEmpty())
            write(dir.filePath("std/motor.xml"), motor);
        write(dir.filePath("p.xml"), profile("P", "1", 1, "<message name=\"Own\" msg_id=\"6\"/><message name=\"Std\" "
                                                          "msg_id=\"7\" node_mode=\"Slave\"/><message name=\"Slave\" "
                                                          "msg_id=\"8\" node_mode=\"SLAVE\"/>"));
        QStringList read;
        const MessageMap map = messagesOfProfile(findProfile(loadProfiles(dir.path()), "P", "1"), leaveOutSlaves);
        for (const MessageDefinition &m : map)
            read << m.name + '=' + QString::number(m.msgId);
        QCOMPARE(read, merged);
    }

    void messageById()
    {
        const MessageMap map =
            readMessageData("<m><message name=\"alpha\" msg_id=\"30\"/><message name=\"Zeta\" msg_id=\"30\"/></m>");
        QCOMPARE(::messageById(map, 0x30).name, QStringLiteral("Zeta")); // first by code unit
        QCOMPARE(::messageById(map, 0x31), MessageDefinition());
    }

    void bundledSample()
    {
        const ProfileMap map = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(productNames(map).size() >= 3 && !productNames(map).contains(QString()));
        int messages = 0;
        for (const ProfileDefinition &p : map) {
            QVERIFY2(p.nodeType <= 15 && productForNodeType(map, quint8(p.nodeType)) == p.product,
                     qPrintable(p.product));
            QVERIFY(QFile::exists(p.standardMsgPath) && QFile::exists(p.standardMotorMsgPath));
            const MessageMap all = messagesOfProfile(p, false);
            for (const MessageDefinition &m : messagesOfProfile(p, true)) {
                QVERIFY2(::messageById(all, m.msgId).name == m.name && !m.category.isEmpty(), qPrintable(m.name));
                quint64 bytes = 0;
                for (const ParameterDefinition &par : m.parameters)
                    bytes += par.size;
                QVERIFY2(bytes <= 20, qPrintable(m.name)); // what a frame holds
                ++messages;
            }
        }
        QVERIFY(messages >= 30);
    }
};

QTEST_GUILESS_MAIN(CatalogueLoadTest)
#include "catalogueloadtest.moc"
