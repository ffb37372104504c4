#include "codec/outputformat.h"

#include <QtTest>

class OutputFormatTest : public QObject
{
    Q_OBJECT

private slots:
    void formatOutputText_data();
    void formatOutputText();
    void isValidFormat_data();
    void isValidFormat();
};

static const QString kFrame = QStringLiteral("BFF4FFFEFFFFFDFFFF08A9");

void OutputFormatTest::formatOutputText_data()
{
    QTest::addColumn<QString>("hexText");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("output");

    QTest::newRow("initial format") << kFrame << "## " << "BF F4 FF FE FF FF FD FF FF 08 A9 ";
    QTest::newRow("C style") << kFrame << "0x##, "
                             << "0xBF, 0xF4, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0xA9, ";
    QTest::newRow("digits only") << kFrame << "##" << kFrame;
    QTest::newRow("second ## ends the suffix") << "0AFF" << "##:##" << "0A:FF:";
    QTest::newRow("brackets") << "0AFF" << "[##]" << "[0A][FF]";
    QTest::newRow("three number signs") << "0AFF" << "###" << "0A#FF#";
    QTest::newRow("four number signs") << "0AFF" << "####" << "0AFF";
    QTest::newRow("later parts ignored") << "0A" << "<##>##|##" << "<0A>";
    QTest::newRow("lower-case text upper-cased") << "0aff" << "## " << "0A FF ";
    QTest::newRow("empty frame") << "" << "## " << "";
    QTest::newRow("no ## puts the text before each byte") << "0AFF" << "x" << "x0AxFF";
}

void OutputFormatTest::formatOutputText()
{
    QFETCH(QString, hexText);
    QFETCH(QString, format);
    QFETCH(QString, output);
    QCOMPARE(::formatOutputText(hexText, format), output);
}

void OutputFormatTest::isValidFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("valid");

    QTest::newRow("initial") << "## " << true;
    QTest::newRow("single sign") << "0x#, " << false;
    QTest::newRow("separated signs") << "# #" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("embedded") << "a##b" << true;
}

void OutputFormatTest::isValidFormat()
{
    QFETCH(QString, format);
    QFETCH(bool, valid);
    QCOMPARE(::isValidFormat(format), valid);
}

QTEST_GUILESS_MAIN(OutputFormatTest)
#include "outputformattest.moc"
