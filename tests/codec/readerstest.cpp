#include "codec/readers.h"

#include <QtTest>

class ReadersTest : public QObject
{
    Q_OBJECT

private slots:
    void readUnsigned_data();
    void readUnsigned();
    void readSigned_data();
    void readSigned();
    void readString_data();
    void readString();
    void hugeSizes_data();
    void hugeSizes();
};

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

void ReadersTest::readUnsigned_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<uint>("size");
    QTest::addColumn<uint>("value");

    QTest::newRow("one byte") << bytes("fe") << quint64(0) << 1u << 0xFEu;
    QTest::newRow("little endian") << bytes("ab0c") << quint64(0) << 2u << 0x0CABu;
    QTest::newRow("at offset") << bytes("0001020304") << quint64(2) << 2u << 0x0302u;
    QTest::newRow("four bytes") << bytes("78563412") << quint64(0) << 4u << 0x12345678u;
    QTest::newRow("fifth byte folds onto bits 0-7") << bytes("0100000010") << quint64(0) << 5u << 0x11u;
    QTest::newRow("six bytes repeat") << bytes("0d0c0b0a0d0c") << quint64(0) << 6u << 0x0A0B0C0Du;
    QTest::newRow("missing bytes read 0") << bytes("ff") << quint64(0) << 3u << 0xFFu;
    QTest::newRow("offset at end") << bytes("ffff") << quint64(2) << 2u << 0u;
    QTest::newRow("size 0") << bytes("ff") << quint64(0) << 0u << 0u;
    QTest::newRow("empty data") << QByteArray() << quint64(0) << 4u << 0u;
}

void ReadersTest::readUnsigned()
{
    QFETCH(QByteArray, data);
    QFETCH(quint64, offset);
    QFETCH(uint, size);
    QFETCH(uint, value);
    QCOMPARE(::readUnsigned(data, offset, size), quint32(value));
}

void ReadersTest::readSigned_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<uint>("size");
    QTest::addColumn<int>("value");

    QTest::newRow("size 1 negative") << bytes("fe") << 1u << -2;
    QTest::newRow("size 1 positive") << bytes("7f") << 1u << 127;
    QTest::newRow("size 2 negative") << bytes("feff") << 2u << -2;
    QTest::newRow("size 2 positive") << bytes("1200") << 2u << 0x12;
    QTest::newRow("size 3 negative") << bytes("000080") << 3u << -0x800000;
    QTest::newRow("size 4 two's complement") << bytes("feffffff") << 4u << -2;
    QTest::newRow("size 4 minimum") << bytes("00000080") << 4u << int(0x80000000u);
    // The sign byte lies beyond the data: it reads as 0, so no extension.
    QTest::newRow("sign byte missing") << bytes("ff") << 2u << 0xFF;
    QTest::newRow("size 5 not extended") << bytes("00000000ff") << 5u << 0xFF;
    QTest::newRow("size 0") << bytes("ff") << 0u << 0;
}

void ReadersTest::readSigned()
{
    QFETCH(QByteArray, data);
    QFETCH(uint, size);
    QFETCH(int, value);
    QCOMPARE(::readSigned(data, 0, size), qint32(value));
}

void ReadersTest::readString_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<uint>("size");
    QTest::addColumn<QString>("text");

    QTest::newRow("ascii") << QByteArray("ABCD") << quint64(0) << 4u << QStringLiteral("ABCD");
    QTest::newRow("at offset") << QByteArray("xxAB") << quint64(2) << 2u << QStringLiteral("AB");
    QTest::newRow("padded with code 0")
        << QByteArray("AB") << quint64(0) << 4u << QString::fromLatin1("AB\0\0", 4);
    QTest::newRow("latin-1 bytes") << bytes("e9ff") << quint64(0) << 2u
                                   << QString(QChar(0xE9)) + QChar(0xFF);
    QTest::newRow("nul inside") << bytes("410042") << quint64(0) << 3u << QString::fromLatin1("A\0B", 3);
    QTest::newRow("size 0") << QByteArray("AB") << quint64(0) << 0u << QString();
    QTest::newRow("beyond the data") << QByteArray("AB") << quint64(10) << 2u
                                     << QString::fromLatin1("\0\0", 2);
}

void ReadersTest::readString()
{
    QFETCH(QByteArray, data);
    QFETCH(quint64, offset);
    QFETCH(uint, size);
    QFETCH(QString, text);
    QCOMPARE(::readString(data, offset, size), text);
}

// A broken definition may give a size of billions and offsets far beyond the
// data. Reading must stay bounded by the data, and offsets must not wrap.
void ReadersTest::hugeSizes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<quint64>("offset");
    QTest::addColumn<uint>("size");
    QTest::addColumn<uint>("unsignedValue");
    QTest::addColumn<int>("stringLength");

    QTest::newRow("size 4e9 from 0") << bytes("01020304") << quint64(0) << 4000000000u
                                     << 0x04030201u << int(kMaxStringPadding);
    QTest::newRow("size 4e9, short data padded to the bound")
        << bytes("41") << quint64(0) << 4000000000u << 0x41u << int(kMaxStringPadding);
    QTest::newRow("offset past 32 bits") << bytes("ffff") << quint64(0x100000000ull) << 2u << 0u << 2;
    QTest::newRow("offset near 64-bit end") << bytes("ffff") << ~quint64(0) - 1 << 4000000000u << 0u
                                            << int(kMaxStringPadding);
    QTest::newRow("long data, size within it")
        << QByteArray(100000, '\x01') << quint64(0) << 100000u << 0x01010101u << 100000;
}

void ReadersTest::hugeSizes()
{
    QFETCH(QByteArray, data);
    QFETCH(quint64, offset);
    QFETCH(uint, size);
    QFETCH(uint, unsignedValue);
    QFETCH(int, stringLength);

    QCOMPARE(::readUnsigned(data, offset, size), quint32(unsignedValue));
    QCOMPARE(::readSigned(data, offset, size), qint32(unsignedValue));
    const QString text = ::readString(data, offset, size);
    QCOMPARE(text.size(), stringLength);
}

QTEST_GUILESS_MAIN(ReadersTest)
#include "readerstest.moc"
