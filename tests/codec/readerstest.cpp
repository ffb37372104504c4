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
        QTest::newRow("size 2 negative") << bytes("feff") << quint64(0) << 2u << 0xFFFEu << -2;
        QTest::newRow("size 3 negative") << bytes("000080") << quint64(0) << 3u << 0x800000u << -0x800000;
        QTest::newRow("size 4") << bytes("feffffff") << quint64(0) << 4u << 0xFFFFFFFEu << -2;
        QTest::newRow("fifth byte ORed onto bits 0-7, no sign")
            << bytes("8000000001") << quint64(0) << 5u << 0x81u << 0x81;
        QTest::newRow("sign byte beyond the data") << bytes("ff") << quint64(0) << 2u << 0xFFu << 0xFF;
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

    // One Latin-1 character per byte, code 0 for missing bytes, but padded no further than the bound.
    void strings()
    {
        const QChar nul(0);
        QCOMPARE(readString(bytes("41e9ff00"), 1, 5), QString::fromLatin1("\xE9\xFF\0", 3) + QString(2, nul));
        QCOMPARE(readString("AB", 10, 2), QString(2, nul));
        QCOMPARE(readString("A", 0, 4000000000u), "A" + QString(int(kMaxStringPadding) - 1, nul));
        QCOMPARE(readString(QByteArray(100000, 'x'), 0, 100000), QString(100000, 'x'));
    }
};

QTEST_GUILESS_MAIN(ReadersTest)
#include "readerstest.moc"
