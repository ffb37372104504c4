#include "codec/outputformat.h"

#include <QtTest>

class OutputFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void format_data()
    {
        QTest::addColumn<QString>("hexText");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("output");
        const QString frame = QStringLiteral("BFF4FFFEFFFFFDFFFF08A9");
        QTest::newRow("initial") << frame << "## " << true << "BF F4 FF FE FF FF FD FF FF 08 A9 ";
        QTest::newRow("C style") << frame << "0x##, " << true
                                 << "0xBF, 0xF4, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0xA9, ";
        QTest::newRow("second ## ends the suffix") << "0AFF" << "##:##" << true << "0A:FF:";
        QTest::newRow("three signs") << "0AFF" << "###" << true << "0A#FF#";
        QTest::newRow("four signs") << "0AFF" << "####" << true << "0AFF";
        QTest::newRow("later parts ignored") << "0A" << "<##>##|##" << true << "<0A>";
        QTest::newRow("empty frame") << "" << "## " << true << "";
        QTest::newRow("single sign: text before each byte") << "0AFF" << "0x#" << false << "0x#0A0x#FF";
    }
    void format()
    {
        QFETCH(QString, hexText);
        QFETCH(QString, format);
        QFETCH(bool, valid);
        QFETCH(QString, output);
        QCOMPARE(isValidFormat(format), valid);
        QCOMPARE(formatOutputText(hexText, format), output);
    }
};

QTEST_GUILESS_MAIN(OutputFormatTest)
#include "outputformattest.moc"
