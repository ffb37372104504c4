#include "catalogue/catalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class ProfileFileTest : public QObject
{
    Q_OBJECT

private slots:
    void nodeType_data();
    void nodeType();
    void whichProfileElement_data();
    void whichProfileElement();
    void messagePaths_data();
    void messagePaths();
    void unusableFiles_data();
    void unusableFiles();
    void readsFromDisk();
};

static QByteArray profileXml(const QByteArray &attributes)
{
    return "<?xml version=\"1.0\"?>\n<profiles_def>\n  <profile " + attributes + "/>\n</profiles_def>\n";
}

void ProfileFileTest::nodeType_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("nodeType");
    QTest::newRow("0x1F") << QByteArray("0x1F") << 31u;
    QTest::newRow("0X1f") << QByteArray("0X1f") << 31u;
    QTest::newRow("decimal") << QByteArray("31") << 31u;
    QTest::newRow("1F without prefix") << QByteArray("1F") << 0u;
    QTest::newRow("0x100") << QByteArray("0x100") << 256u;
    QTest::newRow("32-bit maximum") << QByteArray("4294967295") << 4294967295u;
    QTest::newRow("over 32 bits") << QByteArray("0x100000000") << 0u;
    QTest::newRow("negative") << QByteArray("-1") << 0u;
    QTest::newRow("prefix only") << QByteArray("0x") << 0u;
    QTest::newRow("0x in the middle") << QByteArray("10x1") << 0u;
    QTest::newRow("empty") << QByteArray("") << 0u;
}

void ProfileFileTest::nodeType()
{
    QFETCH(QByteArray, text);
    QFETCH(uint, nodeType);
    const ProfileDefinition p =
        readProfileData(profileXml("product=\"P\" revision=\"1\" node_type=\"" + text + "\""), "/x/p.xml");
    QCOMPARE(p.product, QStringLiteral("P"));
    QCOMPARE(uint(p.nodeType), nodeType);
}

void ProfileFileTest::whichProfileElement_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<uint>("nodeType");

    QTest::newRow("first of two")
        << QByteArray("<profiles_def><profile product=\"A\" revision=\"1\" node_type=\"3\"/>"
                      "<profile product=\"B\" revision=\"2\" node_type=\"4\"/></profiles_def>")
        << "A" << "1" << 3u;
    QTest::newRow("nested deeper, document order")
        << QByteArray("<profiles_def><group><set><profile product=\"Deep\" revision=\"7\"/></set></group>"
                      "<profile product=\"Shallow\"/></profiles_def>")
        << "Deep" << "7" << 0u;
    QTest::newRow("other root") << QByteArray("<root><profile product=\"R\" revision=\"r\"/></root>") << "R" << "r" << 0u;
    QTest::newRow("texts as written")
        << QByteArray("<profiles_def><profile product=\" Lumen &amp; Co \" revision=\"V2\"/></profiles_def>")
        << " Lumen & Co " << "V2" << 0u;
    QTest::newRow("message file without profile")
        << QByteArray("<message_def><message name=\"M\" msg_id=\"1\"/></message_def>") << "" << "" << 0u;
    QTest::newRow("prefixed is another tag")
        << QByteArray("<profiles_def><q:profile product=\"X\"/><profile product=\"Y\"/></profiles_def>")
        << "Y" << "" << 0u;
    QTest::newRow("entity expanded")
        << QByteArray("<!DOCTYPE profiles_def [<!ENTITY q \"Quorvex\">]>"
                      "<profiles_def><profile product=\"&q; Relay\" revision=\"&#49;\"/></profiles_def>")
        << "Quorvex Relay" << "1" << 0u;
    QTest::newRow("declared defaults not used")
        << QByteArray("<!DOCTYPE profiles_def [<!ATTLIST profile node_type CDATA \"9\">]>"
                      "<profiles_def><profile product=\"D\"/></profiles_def>")
        << "D" << "" << 0u;
    QTest::newRow("other case is another tag")
        << QByteArray("<profiles_def><Profile product=\"X\"/></profiles_def>") << "" << "" << 0u;
}

void ProfileFileTest::whichProfileElement()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, product);
    QFETCH(QString, revision);
    QFETCH(uint, nodeType);
    const ProfileDefinition p = readProfileData(xml, "/data/xml/p.xml");
    QCOMPARE(p.filePath, QStringLiteral("/data/xml/p.xml"));
    QCOMPARE(p.product, product);
    QCOMPARE(p.revision, revision);
    QCOMPARE(uint(p.nodeType), nodeType);
}

void ProfileFileTest::messagePaths_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<QString>("standard");
    QTest::addColumn<QString>("motor");

    QTest::newRow("leading slash") << QByteArray("standard_msg=\"/std.xml\" standard_motor_msg=\"/motor.xml\"")
                                   << "/data/xml/std.xml" << "/data/xml/motor.xml";
    QTest::newRow("subfolder") << QByteArray("standard_msg=\"/standard/std.xml\"")
                               << "/data/xml/standard/std.xml" << "/data/xml";
    QTest::newRow("no slash runs together") << QByteArray("standard_msg=\"std.xml\"") << "/data/xmlstd.xml" << "/data/xml";
    QTest::newRow("absent or empty: the folder") << QByteArray("standard_msg=\"\"") << "/data/xml" << "/data/xml";
}

void ProfileFileTest::messagePaths()
{
    QFETCH(QByteArray, attributes);
    QFETCH(QString, standard);
    QFETCH(QString, motor);
    const ProfileDefinition p = readProfileData(profileXml("product=\"P\" " + attributes), "/data/xml/p.xml");
    QCOMPARE(p.standardMsgPath, standard);
    QCOMPARE(p.standardMotorMsgPath, motor);

    // Without a profile element both paths are the folder itself.
    const ProfileDefinition none = readProfileData("<profiles_def/>", "/data/xml/p.xml");
    QCOMPARE(none.filePath, QStringLiteral("/data/xml/p.xml"));
    QCOMPARE(none.standardMsgPath, QStringLiteral("/data/xml"));
    QCOMPARE(none.standardMotorMsgPath, QStringLiteral("/data/xml"));
}

void ProfileFileTest::unusableFiles_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << QByteArray("<profiles_def><profile product=\"P\" revision=\"1\"/>");
    QTest::newRow("broken attribute") << QByteArray("<profiles_def><profile product=\"P/></profiles_def>");
    QTest::newRow("text") << QByteArray("product=P revision=1");
    QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE<profile", 10);
}

void ProfileFileTest::unusableFiles()
{
    QFETCH(QByteArray, xml);
    QCOMPARE(readProfileData(xml, "/data/xml/p.xml"), ProfileDefinition());
}

void ProfileFileTest::readsFromDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/qx.xml";
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(profileXml("product=\"QX\" revision=\"3\" node_type=\"0x6\" standard_msg=\"/std.xml\""));
    out.close();

    const ProfileDefinition p = readProfileFile(path);
    QCOMPARE(p.filePath, path);
    QCOMPARE(p.product, QStringLiteral("QX"));
    QCOMPARE(p.nodeType, 6u);
    QCOMPARE(p.standardMsgPath, QDir(dir.path()).absolutePath() + "/std.xml");

    // A relative path stays as given; the message paths become absolute.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const ProfileDefinition relative = readProfileFile("qx.xml");
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(relative.filePath, QStringLiteral("qx.xml"));
    QCOMPARE(relative.standardMsgPath, p.standardMsgPath);

    QCOMPARE(readProfileFile(dir.path() + "/missing.xml"), ProfileDefinition());
    QCOMPARE(readProfileFile(dir.path()), ProfileDefinition());
}

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "profilefiletest.moc"
