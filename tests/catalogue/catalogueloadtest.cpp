#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class CatalogueLoadTest : public QObject
{
    Q_OBJECT

private slots:
    void scanFilter();
    void currentDirectoryFolder();
    void sameKeyLaterFileWins();
    void productAndRevisionLists();
    void findProfileExactly_data();
    void findProfileExactly();
    void nodeTypeLastInKeyOrder_data();
    void nodeTypeLastInKeyOrder();
    void mergeOrder();
    void slaveLeftOutOverridesNothing();
    void messageByIdFirstByName_data();
    void messageByIdFirstByName();
    void bundledSample();

private:
    static void write(const QString &path, const QByteArray &bytes);
    static QByteArray profile(const QByteArray &product, const QByteArray &revision, int nodeType,
                              const QByteArray &extra = QByteArray());
};

void CatalogueLoadTest::write(const QString &path, const QByteArray &bytes)
{
    QFile out(path);
    QVERIFY2(out.open(QIODevice::WriteOnly), qPrintable(path));
    out.write(bytes);
}

QByteArray CatalogueLoadTest::profile(const QByteArray &product, const QByteArray &revision, int nodeType,
                                      const QByteArray &extra)
{
    return "<profiles_def><profile product=\"" + product + "\" revision=\"" + revision + "\" node_type=\""
        + QByteArray::number(nodeType) + "\" standard_msg=\"/std/std.xml\" standard_motor_msg=\"/std/motor.xml\"/>"
        + extra + "</profiles_def>";
}

void CatalogueLoadTest::scanFilter()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString dir = root.path() + "/xml";
    QVERIFY(QDir().mkpath(dir + "/sub.xml"));
    QVERIFY(QDir().mkpath(root.path() + "/elsewhere"));
    write(dir + "/A.XML", profile("Upper", "1", 1));
    write(dir + "/b.xml", profile("Lower", "1", 2));
    write(dir + "/c.Xml", profile("Mixed", "1", 3));
    write(dir + "/d.xml.bak", profile("Backup", "1", 4));
    write(dir + "/exml", profile("NoDot", "1", 5));
    write(dir + "/.hidden.xml", profile("Hidden", "1", 6));
    write(dir + "/sub.xml/inner.xml", profile("Inner", "1", 7));
    write(root.path() + "/elsewhere/target.txt", profile("Linked", "1", 8));
    QVERIFY(QFile::link(root.path() + "/elsewhere/target.txt", dir + "/link.xml"));
    QVERIFY(QFile::link(root.path() + "/elsewhere", dir + "/folderlink.xml"));
    QVERIFY(QFile::link(root.path() + "/nothing-here", dir + "/broken.xml"));

    const ProfileMap map = loadProfiles(dir);
    QCOMPARE(map.keys(), (QStringList{"Linked_1", "Lower_1", "Mixed_1", "Upper_1"}));
    QCOMPARE(map.value("Upper_1").filePath, dir + "/A.XML");
    QCOMPARE(map.value("Linked_1").filePath, dir + "/link.xml");
    QCOMPARE(map.value("Linked_1").standardMsgPath, dir + "/std/std.xml");

    QVERIFY(loadProfiles(root.path() + "/none").isEmpty());
    QVERIFY(loadProfiles(root.path() + "/elsewhere").isEmpty());
}

void CatalogueLoadTest::currentDirectoryFolder()
{
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.path() + "/xml"));
    write(root.path() + "/xml/p.xml", profile("Here", "1", 1));
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root.path()));
    const QString rootAsCurrent = QDir::currentPath();
    const ProfileMap here = loadProfiles();
    QVERIFY(QDir::setCurrent(root.path() + "/xml"));
    const ProfileMap inside = loadProfiles(); // no xml/xml
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(here.keys(), QStringList{"Here_1"});
    QCOMPARE(here.first().filePath, rootAsCurrent + "/xml/p.xml");
    QVERIFY(inside.isEmpty());
    QVERIFY(productNames(inside).isEmpty());
    QCOMPARE(findProfile(inside, "Here", "1"), ProfileDefinition());
    QVERIFY(messagesOfProfile(ProfileDefinition(), false).isEmpty());
}

void CatalogueLoadTest::sameKeyLaterFileWins()
{
    QTemporaryDir dir;
    write(dir.path() + "/a.xml", profile("Same", "1", 1));
    write(dir.path() + "/b.xml", profile("Same", "1", 2));
    // Products A_B rev C and A rev B_C share the key "A_B_C".
    write(dir.path() + "/c.xml", profile("A_B", "C", 3));
    write(dir.path() + "/d.xml", profile("A", "B_C", 4));
    // Unusable files and files without a profile all land under "_".
    write(dir.path() + "/e.xml", "<message_def><message name=\"M\"/></message_def>");
    write(dir.path() + "/f.xml", "<profiles_def><profile product=\"Broken\"");

    const ProfileMap map = loadProfiles(dir.path());
    QCOMPARE(map.keys(), (QStringList{"A_B_C", "Same_1", "_"}));
    QCOMPARE(map.value("Same_1").nodeType, 2u);
    QCOMPARE(map.value("A_B_C").product, QStringLiteral("A"));
    QCOMPARE(map.value("_"), ProfileDefinition()); // f.xml, read after e.xml
    QCOMPARE(productNames(map), (QStringList{"", "A", "Same"}));
}

void CatalogueLoadTest::productAndRevisionLists()
{
    ProfileMap map;
    auto add = [&map](const QString &product, const QString &revision, quint32 nodeType) {
        ProfileDefinition p;
        p.product = product;
        p.revision = revision;
        p.nodeType = nodeType;
        map.insert(profileKey(p), p);
    };
    add("Lumen Relay", "2", 3);
    add("Lumen Relay", "10", 3);
    add("Lumen Relay", "B", 3);
    add("Lumen Relay", "a", 3);
    add("lumen relay", "1", 4);
    add("QX-Drive 40", "1", 5);
    add("Lumen", "9", 6);
    QCOMPARE(productNames(map), (QStringList{"Lumen", "Lumen Relay", "QX-Drive 40", "lumen relay"}));
    QCOMPARE(revisionsOf(map, "Lumen Relay"), (QStringList{"10", "2", "B", "a"}));
    QCOMPARE(revisionsOf(map, "lumen relay"), QStringList{"1"});
    QVERIFY(revisionsOf(map, "Lumen Rel").isEmpty());
    QVERIFY(productNames(ProfileMap()).isEmpty());
}

void CatalogueLoadTest::findProfileExactly_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<uint>("nodeType");
    QTest::newRow("match") << "Lumen Relay" << "2" << 3u;
    QTest::newRow("other revision") << "Lumen Relay" << "10" << 4u;
    QTest::newRow("case differs") << "lumen relay" << "2" << 0u;
    QTest::newRow("revision padded") << "Lumen Relay" << "2 " << 0u;
    QTest::newRow("split differently") << "Lumen" << "Relay_2" << 0u;
    QTest::newRow("empty") << "" << "" << 0u;
}

void CatalogueLoadTest::findProfileExactly()
{
    QFETCH(QString, product);
    QFETCH(QString, revision);
    QFETCH(uint, nodeType);
    ProfileMap map;
    ProfileDefinition a;
    a.product = "Lumen Relay";
    a.revision = "2";
    a.nodeType = 3;
    ProfileDefinition b = a;
    b.revision = "10";
    b.nodeType = 4;
    map.insert(profileKey(a), a);
    map.insert(profileKey(b), b);
    const ProfileDefinition found = findProfile(map, product, revision);
    QCOMPARE(uint(found.nodeType), nodeType);
    if (nodeType == 0)
        QCOMPARE(found, ProfileDefinition());
    else
        QCOMPARE(found.product + "_" + found.revision, product + "_" + revision);
}

void CatalogueLoadTest::nodeTypeLastInKeyOrder_data()
{
    QTest::addColumn<int>("nodeType");
    QTest::addColumn<QString>("product");
    QTest::newRow("greater key wins") << 5 << "Q";
    QTest::newRow("single") << 7 << "P";
    QTest::newRow("wider values never match") << 1 << "";
    QTest::newRow("empty product") << 9 << "";
    QTest::newRow("none") << 12 << "";
}

void CatalogueLoadTest::nodeTypeLastInKeyOrder()
{
    QFETCH(int, nodeType);
    QFETCH(QString, product);
    ProfileMap map;
    auto add = [&map](const QString &prod, const QString &revision, quint32 type) {
        ProfileDefinition p;
        p.product = prod;
        p.revision = revision;
        p.nodeType = type;
        map.insert(profileKey(p), p);
    };
    add("Q", "1", 5);
    add("P", "9", 5);
    add("P", "1", 7);
    add("R", "1", 257);
    add("Z", "1", 9);
    add("", "", 9); // key "_" sorts after "Z_1"
    QCOMPARE(productForNodeType(map, quint8(nodeType)), product);
}

void CatalogueLoadTest::mergeOrder()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + "/std"));
    write(dir.path() + "/std/std.xml",
          "<message_def><message name=\"Shared\" msg_id=\"1\" category=\"standard\"/>"
          "<message name=\"OnlyStd\" msg_id=\"2\"/></message_def>");
    write(dir.path() + "/std/motor.xml",
          "<message_def><message name=\"Shared\" msg_id=\"3\" category=\"motor\"/>"
          "<message name=\"Own\" msg_id=\"4\" category=\"motor\"/></message_def>");
    write(dir.path() + "/p.xml",
          profile("P", "1", 1, "<message name=\"Own\" msg_id=\"5\" category=\"own\"/>"));
    const ProfileMap map = loadProfiles(dir.path());
    const MessageMap merged = messagesOfProfile(findProfile(map, "P", "1"), true);
    QCOMPARE(merged.keys(), (QStringList{"OnlyStd", "Own", "Shared"}));
    QCOMPARE(merged.value("Shared").category, QStringLiteral("motor"));
    QCOMPARE(merged.value("Own").category, QStringLiteral("own"));
    QCOMPARE(int(merged.value("OnlyStd").msgId), 2);

    // A missing standard file contributes nothing; the others still count.
    QVERIFY(QFile::remove(dir.path() + "/std/motor.xml"));
    const MessageMap without = messagesOfProfile(findProfile(map, "P", "1"), true);
    QCOMPARE(without.value("Shared").category, QStringLiteral("standard"));
    QCOMPARE(without.size(), 3);
}

void CatalogueLoadTest::slaveLeftOutOverridesNothing()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.path() + "/std"));
    write(dir.path() + "/std/std.xml",
          "<message_def><message name=\"M\" msg_id=\"10\" node_mode=\"master\"/>"
          "<message name=\"Report\" msg_id=\"11\" node_mode=\"slave\"/></message_def>");
    write(dir.path() + "/std/motor.xml", "<message_def><message name=\"N\" msg_id=\"12\"/></message_def>");
    write(dir.path() + "/p.xml",
          profile("P", "1", 1, "<message name=\"M\" msg_id=\"20\" node_mode=\"Slave\"/>"
                               "<message name=\"N\" msg_id=\"21\" node_mode=\"SLAVE\"/>"));
    const ProfileDefinition p = findProfile(loadProfiles(dir.path()), "P", "1");

    const MessageMap encoder = messagesOfProfile(p, true);
    QCOMPARE(encoder.keys(), (QStringList{"M", "N"}));
    QCOMPARE(int(encoder.value("M").msgId), 0x10);
    QCOMPARE(encoder.value("M").nodeMode, NodeMode::Master);
    QCOMPARE(int(encoder.value("N").msgId), 0x12);

    const MessageMap decoder = messagesOfProfile(p, false);
    QCOMPARE(decoder.keys(), (QStringList{"M", "N", "Report"}));
    QCOMPARE(int(decoder.value("M").msgId), 0x20);
    QCOMPARE(decoder.value("M").nodeMode, NodeMode::Slave);
    QCOMPARE(decoder.value("Report").nodeMode, NodeMode::Slave);
}

void CatalogueLoadTest::messageByIdFirstByName_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("first of two by code unit") << 0x30 << "Zeta";
    QTest::newRow("unique") << 0x31 << "beta";
    QTest::newRow("none") << 0x32 << "";
    QTest::newRow("empty name is no message") << 0x33 << "";
}

void CatalogueLoadTest::messageByIdFirstByName()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    const MessageMap map = readMessageData(
        "<message_def><message name=\"alpha\" msg_id=\"30\"/><message name=\"Zeta\" msg_id=\"30\"/>"
        "<message name=\"beta\" msg_id=\"31\"/><message msg_id=\"33\"/></message_def>");
    const MessageDefinition m = messageById(map, quint8(id));
    QCOMPARE(m.name, name);
    if (!name.isEmpty())
        QCOMPARE(int(m.msgId), id);
    QCOMPARE(messageById(MessageMap(), quint8(id)), MessageDefinition());
}

void CatalogueLoadTest::bundledSample()
{
    const ProfileMap map = loadProfiles(QStringLiteral(KWN_SOURCE_DIR) + "/xml");
    const QStringList names = productNames(map);
    QVERIFY2(names.size() >= 3, qPrintable(names.join(", ")));
    QVERIFY(!names.contains(QString())); // every file in the folder is a usable profile

    QMap<quint32, QString> byNodeType;
    QSet<QString> allNames;
    for (const ProfileDefinition &p : map) {
        QVERIFY2(p.nodeType <= 15, qPrintable(p.product));
        QVERIFY2(!byNodeType.contains(p.nodeType) || byNodeType.value(p.nodeType) == p.product,
                 qPrintable(p.product));
        byNodeType.insert(p.nodeType, p.product);
        QCOMPARE(productForNodeType(map, quint8(p.nodeType)), p.product);
        QVERIFY(QFile::exists(p.standardMsgPath));
        QVERIFY(QFile::exists(p.standardMotorMsgPath));

        const MessageMap all = messagesOfProfile(p, false);
        QSet<int> masterIds;
        QSet<int> slaveIds;
        for (const MessageDefinition &m : all) {
            allNames.insert(m.name);
            QVERIFY2(!m.category.isEmpty() || m.nodeMode == NodeMode::Slave, qPrintable(m.name));
            QSet<int> &ids = m.nodeMode == NodeMode::Master ? masterIds : slaveIds;
            QVERIFY2(!ids.contains(m.msgId), qPrintable(p.product + ": " + m.name));
            ids.insert(m.msgId);
            QCOMPARE(messageById(all, m.msgId).name, m.name);

            quint64 bytes = 0;
            bool optionalSeen = false;
            for (const ParameterDefinition &par : m.parameters) {
                bytes += par.size;
                QVERIFY2(par.type == "integer" || par.type == "string" || par.type == "bitfield",
                         qPrintable(m.name + ": " + par.name));
                QVERIFY2(par.type != "bitfield" || par.size == 1, qPrintable(m.name + ": " + par.name));
                QVERIFY2(par.type == "string" || (par.size >= 1 && par.size <= 4), qPrintable(m.name + ": " + par.name));
                QVERIFY2(!optionalSeen || par.optional, qPrintable(m.name + ": optional parameters come last"));
                optionalSeen = optionalSeen || par.optional;
            }
            QVERIFY2(bytes <= 20, qPrintable(m.name));
        }
        // Every master message the encoder offers can be decoded back by id.
        const MessageMap encoder = messagesOfProfile(p, true);
        for (const MessageDefinition &m : encoder)
            QCOMPARE(messageById(all, m.msgId).name, m.name);
    }
    QVERIFY2(allNames.size() >= 30, qPrintable(QString::number(allNames.size())));
    bool severalRevisions = false;
    for (const QString &name : names)
        severalRevisions = severalRevisions || revisionsOf(map, name).size() > 1;
    QVERIFY(severalRevisions);
}

QTEST_GUILESS_MAIN(CatalogueLoadTest)
#include "catalogueloadtest.moc"
