#include "catalogue/catalogue.h"

#include <QtTest>

class ProfileFileTest : public QObject
{
    Q_OBJECT

private slots:
    // Read back as "product/revision/node type/standard path/motor path", or "-" for the empty record.
    void read_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("read");
        auto profile = [](const QByteArray &attributes) -> QByteArray {
            return "<profiles_def><profile " + attributes + "/></profiles_def>";
        };
        QTest::newRow("node type 0x1F") << profile("node_type=\"0x1F\"") << "//31/x/x";
        QTest::newRow("node type 0X1f") << profile("node_type=\"0X1f\"") << "//31/x/x";
        QTest::newRow("node type 31") << profile("node_type=\"31\"") << "//31/x/x";
        QTest::newRow("1F is not decimal") << profile("node_type=\"1F\"") << "//0/x/x";
        QTest::newRow("node type 0x100") << profile("node_type=\"0x100\"") << "//256/x/x";
        QTest::newRow("paths with and without slash") << profile("standard_msg=\"/s.xml\" standard_motor_msg=\"m.xml\"")
                                                      << "//0/x/s.xml/xm.xml";
        QTest::newRow("first of two, texts as written")
            << QByteArray("<profiles_def><profile product=\" A &amp; B \" revision=\"V2\" node_type=\"3\"/>"
                          "<profile product=\"B\" revision=\"2\" node_type=\"4\"/></profiles_def>")
            << " A & B /V2/3/x/x";
        QTest::newRow("nested deeper, any root")
            << QByteArray("<r><g><profile product=\"Deep\" revision=\"7\"/></g><profile product=\"Shallow\"/></r>")
            << "Deep/7/0/x/x";
        QTest::newRow("tag names are exact") << QByteArray("<r><Profile product=\"X\"/><q:profile product=\"Y\"/></r>")
                                             << "//0/x/x";
        QTest::newRow("declared defaults not used")
            << QByteArray("<!DOCTYPE r [<!ATTLIST profile node_type CDATA \"9\">]><r><profile product=\"D\"/></r>")
            << "D//0/x/x";
        QTest::newRow("truncated") << QByteArray("<profiles_def><profile product=\"P\" revision=\"1\"/>") << "-";
        QTest::newRow("binary") << QByteArray("\x00\x01\x02\xFF\xFE<profile", 10) << "-";
    }
    void read()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, read);
        const ProfileDefinition p = readProfileData(xml, "/d/x/p.xml");
        const QString summary = QStringList({p.product, p.revision, QString::number(p.nodeType),
                                             p.standardMsgPath.mid(3), p.standardMotorMsgPath.mid(3)}).join('/');
        QCOMPARE(p == ProfileDefinition() ? QStringLiteral("-") : summary, read);
        QCOMPARE(p.filePath, read == "-" ? QString() : QStringLiteral("/d/x/p.xml"));
    }
};

QTEST_GUILESS_MAIN(ProfileFileTest)
#include "profilefiletest.moc"
