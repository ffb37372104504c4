// Loading a catalogue folder: which files count, the lookups, merging, hostile
// files and a file swapped for a pipe while it is read.

#include "catalogue/catalogue.h"
#include "cataloguefiles.h"
#include "support/boundedrun.h"
#include "support/datarows.h"

#include <sys/stat.h>

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
        QVector<QPair<QString, QByteArray>> files{
            {"/A.XML", profile("Upper", "1", 1, "<message name=\"Own\"/>")},
            {"/b.xml", profile("A_B", "C", 2)}, // shares the key A_B_C with
            {"/c.xml", profile("A", "B_C", 3)}, // this one, read later
            {"/d.xml", "<message_def><message name=\"M\"/></message_def>"},
            {"/e.xml", "<profiles_def><profile product=\"Broken\""}, // read after d.xml
            {"/../elsewhere/target.txt", profile("Linked", "1", 8)}};
        for (const char *name : {"c.xml.bak", "exml", ".hidden.xml", "sub.xml/inner.xml"})
            files.append({QStringLiteral("/") + name, profile("Skipped", name, 9)});
        for (const auto &file : files)
            QVERIFY(writeFile(dir + file.first, file.second));
        QVERIFY(QFile::link(root.path() + "/elsewhere/target.txt", dir + "/link.xml"));
        QVERIFY(QFile::link(root.path() + "/elsewhere", dir + "/folderlink.xml"));
        QVERIFY(QFile::link(root.path() + "/nothing-here", dir + "/broken.xml"));
        // Reading a pipe or a device would never end; a folder named like a file names nothing.
        QVERIFY(QDir().mkpath(dir + "/std/motor.xml") && QFile::link("/dev/zero", dir + "/zero.xml"));
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/pipe.xml").constData(), 0600), 0);
        QCOMPARE(::mkfifo(QFile::encodeName(dir + "/std/std.xml").constData(), 0600), 0);
        const ProfileMap map = loadProfiles(dir);
        QCOMPARE(map.keys(), QStringList({"A_B_C", "Linked_1", "Upper_1", "_"}));
        QCOMPARE(productNames(map), QStringList({"", "A", "Linked", "Upper"}));
        QCOMPARE(map.value("A_B_C").nodeType, 3u);
        QCOMPARE(map.value("_"), ProfileDefinition());
        QCOMPARE(map.value("Linked_1").filePath, dir + "/link.xml");
        QCOMPARE(map.value("Linked_1").standardMsgPath, dir + "/std/std.xml");
        QCOMPARE(messagesOfProfile(map.value("Upper_1"), false).keys(), QStringList{"Own"});
        QVERIFY(loadProfiles(root.path() + "/none").isEmpty() && messagesOfProfile(ProfileDefinition(), false).isEmpty());
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
        QCOMPARE(revisionsByProduct(map).keys(), productNames(map));
        QCOMPARE(revisionsByProduct(map).value("Lumen Relay"), revisionsOf(map, "Lumen Relay"));
        // "A_B" "C" and "A" "B_C" share the key "A_B_C": only the record filed there is found.
        map.insert("A_B_C", {"", "A_B", "C", 4, "", ""});
        QCOMPARE(findProfile(map, "A_B", "C").nodeType, 4u);
        QCOMPARE(findProfile(map, "A", "B_C"), ProfileDefinition());
        QCOMPARE(productForNodeType(map, 5), QStringLiteral("lumen relay"));
        QCOMPARE(productForNodeType(map, 9), QString()); // "_" sorts after "Z_1"
        QCOMPARE(productForNodeType(map, 1), QString()); // 257 is not 1
        const MessageMap messages =
            readMessageData("<m><message name=\"alpha\" msg_id=\"30\"/><message name=\"Zeta\" msg_id=\"30\"/></m>");
        QCOMPARE(messageById(messages, 0x30).name, QStringLiteral("Zeta")); // first by code unit
        QCOMPARE(messageById(messages, 0x31), MessageDefinition());
    }

    // The messages of a profile of tests/data/catalogue/merge/: its own
    // replace motor ones, motor ones standard ones; left out (the Encode
    // page), slave ones replace nothing.
    void merge()
    {
        const ProfileMap map = loadProfiles(QStringLiteral(KWN_TEST_DATA "/catalogue/merge"));
        QStringList read;
        const QList<QPair<QString, bool>> profiles{{"P", false}, {"No motor file", false}, {"P", true}};
        for (const QPair<QString, bool> &profile : profiles) {
            for (const MessageDefinition &m : messagesOfProfile(findProfile(map, profile.first, "1"), profile.second))
                read << m.name + '=' + QString::number(m.msgId);
            read << QStringLiteral("|");
        }
        QCOMPARE(read.join(' '), "Own=6 Report=3 Shared=4 Slave=8 Std=7 | Own=6 Report=3 Shared=1 Slave=8 Std=7 | "
                                 "Own=6 Shared=4 Std=2 |");
    }

    // Hostile files give what they can use, else nothing, without a crash, a hang or a memory blow-up.
    void hostile_data()
    {
        addDataRows(QStringLiteral("catalogue/hostile.txt"));
        QTest::newRow("over the file limit")
            << QStringList{"<message_def><!--" + QString(kMaxDefinitionFileBytes, ' ') + "--></message_def>", ""};
        // The root counts as one level; the message is the deepest element.
        for (int depth : {kMaxDefinitionDepth, kMaxDefinitionDepth + 1})
            QTest::addRow("%d levels", depth) << QStringList{"<message_def>" + QStringLiteral("<g>").repeated(depth - 2)
                                                                 + "<message name=\"M\"/>" + QStringLiteral("</g>").repeated(depth - 2)
                                                                 + "</message_def>",
                                                             depth <= kMaxDefinitionDepth ? "M" : ""};
    }
    void hostile()
    {
        QFETCH(QStringList, row);
        const QByteArray bytes = unescapedBytes(row[0]);
        const QStringList messages = row[1].split(QLatin1String("; "), Qt::SkipEmptyParts);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("p.xml"), bytes));
        QCOMPARE(readMessageData(bytes).keys(), messages);
        // In a folder it becomes the "_" profile, with its messages when it is well-formed.
        const ProfileMap map = loadProfiles(dir.path());
        QVERIFY(map.keys() == QStringList{"_"} && map.first().nodeType == 0);
        QCOMPARE(messagesOfProfile(map.first(), false).keys(), messages);
    }

    // A pipe and a file take turns at the name of a definition file while it
    // is read over and over: no read may wait for a writer of the pipe.
    void pipeSwappedInWhileReading()
    {
        QTemporaryDir root;
        const QByteArray name = QFile::encodeName(root.filePath("a.xml")), pipe = QFile::encodeName(root.filePath("pipe")),
                         regular = QFile::encodeName(root.filePath("regular")), spare = QFile::encodeName(root.filePath("spare"));
        QVERIFY(writeFile(root.filePath("regular"), profile("P", "1", 1)));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        QCOMPARE(::link(regular.constData(), name.constData()), 0);
        std::atomic<bool> stop{false};
        std::thread swapper([&] {
            for (bool usePipe = true; !stop; usePipe = !usePipe) {
                if (::link(usePipe ? pipe.constData() : regular.constData(), spare.constData()) == 0)
                    ::rename(spare.constData(), name.constData());
            }
        });
        int files = 0;
        const bool returned = returnsInTime([&] {
            QElapsedTimer time;
            time.start();
            for (bool ok = false; time.elapsed() < 1000; files += ok ? 1 : 0)
                readDefinitionBytes(root.filePath("a.xml"), &ok);
        }, pipe);
        stop = true;
        swapper.join();
        QVERIFY2(returned, "a read waited for a writer of the pipe");
        QVERIFY(files > 0);
    }

    // The sample catalogue: one product per node type, message identifiers unique within a profile.
    void bundledSample()
    {
        const ProfileMap map = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(productNames(map).size() >= 3 && !productNames(map).contains(QString()));
        for (const ProfileDefinition &p : map) {
            QVERIFY2(p.nodeType <= 15 && productForNodeType(map, quint8(p.nodeType)) == p.product, qPrintable(p.product));
            QVERIFY(QFile::exists(p.standardMsgPath) && QFile::exists(p.standardMotorMsgPath));
            const MessageMap all = messagesOfProfile(p, false);
            for (const MessageDefinition &m : messagesOfProfile(p, true))
                QVERIFY2(messageById(all, m.msgId).name == m.name && !m.category.isEmpty(), qPrintable(m.name));
        }
    }
};

QTEST_GUILESS_MAIN(CatalogueLoadTest)
#include "catalogueloadtest.moc"
