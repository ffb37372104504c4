#include "codec/readers.h"

#include <QtTest>

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

class ReadersTest : public QObject
{
    Q_OBJECT

private slots:
    void integers_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<quint64>("offset");
        QTest::addColumn<uint>("size");
        QTest::addColumn<uint>("unsignedValue");
        QTest::addColumn<int>("signedValue");
        QTest::newRow("size 1 negative") << bytes("fe") << quint64(0) << 1u << 0xFEu << -2;
        QTest::newRow("size 1 positive") << bytes("7f") << quint64(0) << 1u << 0x7Fu << 127;
        QTest::newRow("size 2 least significant first") << bytes("ab0c") << quint64(0) << 2u << 0x0CABu << 0x0CAB;
        QTest::newRow("size 2 negative") << bytes("feff") << quint64(0) << 2u << 0xFFFEu << -2;
        QTest::newRow("size 3 negative") << bytes("000080") << quint64(0) << 3u << 0x800000u << -0x800000;
        QTest::newRow("size 4") << bytes("feffffff") << quint64(0) << 4u << 0xFFFFFFFEu << -2;
        QTest::newRow("at an offset") << bytes("0001020304") << quint64(2) << 2u << 0x0302u << 0x0302;
        QTest::newRow("fifth byte ORed onto bits 0-7, no sign")
            << bytes("8000000001") << quint64(0) << 5u << 0x81u << 0x81;
        QTest::newRow("sign byte beyond the data") << bytes("ff") << quint64(0) << 2u << 0xFFu << 0xFF;
        QTest::newRow("offset at the end") << bytes("ffff") << quint64(2) << 2u << 0u << 0;
        QTest::newRow("size 0") << bytes("ff") << quint64(0) << 0u << 0u << 0;
        // A broken definition: sizes of billions, offsets that must not wrap.
        QTest::newRow("size 4e9") << bytes("01020304") << quint64(0) << 4000000000u << 0x04030201u << 0x04030201;
        QTest::newRow("offset past 32 bits") << bytes("ffff") << quint64(0x100000000ull) << 2u << 0u << 0;
        QTest::newRow("offset near 64-bit end") << bytes("ffff") << ~quint64(0) - 1 << 4000000000u << 0u << 0;
    }
    void integers()
    {
        QFETCH(QByteArray, data);
        QFETCH(quint64, offset);
        QFETCH(uint, size);
        QFETCH(uint, unsignedValue);
        QFETCH(int, signedValue);
        QCOMPARE(readUnsigned(data, offset, size), quint32(unsignedValue));
        QCOMPARE(readSigned(data, offset, size), qint32(signedValue));
    }

    void strings_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<quint64>("offset");
        QTest::addColumn<uint>("size");
        QTest::addColumn<QString>("text");
        const QChar nul(0);
        QTest::newRow("at an offset") << QByteArray("xxAB") << quint64(2) << 2u << "AB";
        QTest::newRow("padded with code 0") << QByteArray("AB") << quint64(0) << 4u << "AB" + QString(2, nul);
        QTest::newRow("Latin-1") << bytes("e9ff00") << quint64(0) << 3u << QString::fromLatin1("\xE9\xFF\0", 3);
        QTest::newRow("size 0") << QByteArray("AB") << quint64(0) << 0u << "";
        QTest::newRow("beyond the data") << QByteArray("AB") << quint64(10) << 2u << QString(2, nul);
        QTest::newRow("size 4e9 padded only to the bound")
            << QByteArray("A") << quint64(0) << 4000000000u << "A" + QString(int(kMaxStringPadding) - 1, nul);
        QTest::newRow("long data read whole") << QByteArray(100000, 'x') << quint64(0) << 100000u
                                              << QString(100000, QLatin1Char('x'));
    }
    void strings()
    {
        QFETCH(QByteArray, data);
        QFETCH(quint64, offset);
        QFETCH(uint, size);
        QFETCH(QString, text);
        QCOMPARE(readString(data, offset, size), text);
    }
};

QTEST_GUILESS_MAIN(ReadersTest)
#include "readerstest.moc"
