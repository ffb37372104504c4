#include "codec/frame.h"

#include <QRandomGenerator>
#include <QtTest>

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void packWorkedExamples_data();
    void packWorkedExamples();
    void fieldMasking_data();
    void fieldMasking();
    void unpackAddresses_data();
    void unpackAddresses();
    void roundTripGenerated();
    void hexText_data();
    void hexText();
};

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

void FrameTest::packWorkedExamples_data()
{
    QTest::addColumn<int>("messageId");
    QTest::addColumn<bool>("ack");
    QTest::addColumn<int>("destinationNodeType");
    QTest::addColumn<uint>("source");
    QTest::addColumn<uint>("destination");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("no data") << 0x40 << false << 0 << 0x000001u << 0x000002u << QByteArray()
                             << bytes("BFF4FFFEFFFFFDFFFF08A9");
    QTest::newRow("ack and data") << 0x23 << true << 6 << 0x12AB34u << 0x0000FEu << bytes("0180")
                                  << bytes("DC72F9CB54ED01FFFFFE7F07CF");
    QTest::newRow("seven data bytes") << 0x51 << false << 6 << 1u << 2u << bytes("2C01FE09414231")
                                      << bytes("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C");
}

void FrameTest::packWorkedExamples()
{
    QFETCH(int, messageId);
    QFETCH(bool, ack);
    QFETCH(int, destinationNodeType);
    QFETCH(uint, source);
    QFETCH(uint, destination);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);

    const QByteArray packed = packFrame(quint8(messageId), ack, quint8(data.size() + 11), 0,
                                        quint8(destinationNodeType), source, destination, data);
    QCOMPARE(packed.toHex().toUpper(), frame.toHex().toUpper());

    const FrameFields f = unpackFrame(packed);
    QCOMPARE(int(f.messageId), messageId);
    QCOMPARE(f.ackRequested, ack);
    QCOMPARE(int(f.length), data.size() + 11);
    QCOMPARE(int(f.controlBits), 0);
    QCOMPARE(int(f.sourceNodeType), 0);
    QCOMPARE(int(f.destinationNodeType), destinationNodeType);
    QCOMPARE(f.sourceAddress, source);
    QCOMPARE(f.destinationAddress, destination);
    QCOMPARE(f.data, data);
    QCOMPARE(int(f.checksum), (quint8(frame.at(frame.size() - 2)) << 8) | quint8(frame.back()));
}

// Each row: the packFrame arguments, and the expected header bytes before inversion.
void FrameTest::fieldMasking_data()
{
    QTest::addColumn<bool>("ack");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("sourceNodeType");
    QTest::addColumn<int>("destinationNodeType");
    QTest::addColumn<uint>("source");
    QTest::addColumn<uint>("destination");
    QTest::addColumn<QByteArray>("header");

    QTest::newRow("ack with length 31") << true << 31 << 0 << 0 << 0u << 0u
                                        << bytes("009F00000000000000");
    QTest::newRow("length keeps low 5 bits") << false << 32 + 11 << 0 << 0 << 0u << 0u
                                             << bytes("000B00000000000000");
    QTest::newRow("length 21+11 wraps to 0") << false << 32 << 0 << 0 << 0u << 0u
                                             << bytes("000000000000000000");
    QTest::newRow("source node type 16 drops out") << false << 11 << 16 << 0 << 0u << 0u
                                                   << bytes("000B00000000000000");
    QTest::newRow("source node type 15") << false << 11 << 15 << 0 << 0u << 0u
                                         << bytes("000BF0000000000000");
    QTest::newRow("destination node type keeps low nibble") << false << 11 << 0 << 0x1A << 0u << 0u
                                                            << bytes("000B0A000000000000");
    QTest::newRow("addresses keep 24 bits") << false << 11 << 0 << 0 << 0xAB123456u << 0xFF654321u
                                            << bytes("000B00563412214365");
}

void FrameTest::fieldMasking()
{
    QFETCH(bool, ack);
    QFETCH(int, length);
    QFETCH(int, sourceNodeType);
    QFETCH(int, destinationNodeType);
    QFETCH(uint, source);
    QFETCH(uint, destination);
    QFETCH(QByteArray, header);

    const QByteArray frame = packFrame(0, ack, quint8(length), quint8(sourceNodeType),
                                       quint8(destinationNodeType), source, destination, {});
    QCOMPARE(frame.size(), 11);
    QByteArray plain = frame.left(9);
    for (char &c : plain)
        c = char(~quint8(c));
    QCOMPARE(plain.toHex(), header.toHex());
}

void FrameTest::unpackAddresses_data()
{
    QTest::addColumn<QByteArray>("addressOnBus");
    QTest::addColumn<uint>("address");
    QTest::newRow("high byte first on bus is low") << bytes("7FFFFF") << 0x000080u;
    QTest::newRow("all zero on bus") << bytes("000000") << 0xFFFFFFu;
    QTest::newRow("all ones on bus") << bytes("FFFFFF") << 0x000000u;
    QTest::newRow("mixed") << bytes("FEFDFC") << 0x030201u;
}

void FrameTest::unpackAddresses()
{
    QFETCH(QByteArray, addressOnBus);
    QFETCH(uint, address);
    const QByteArray frame = bytes("BFF4FF") + addressOnBus + addressOnBus + bytes("0000");
    const FrameFields f = unpackFrame(frame);
    QCOMPARE(f.sourceAddress, address);
    QCOMPARE(f.destinationAddress, address);
    QVERIFY(f.data.isEmpty());
}

void FrameTest::roundTripGenerated()
{
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 5000; ++i) {
        const quint8 id = quint8(rng.bounded(256));
        const bool ack = rng.bounded(2) == 1;
        const quint8 length = quint8(rng.bounded(256));
        const quint8 srcType = quint8(rng.bounded(256));
        const quint8 dstType = quint8(rng.bounded(256));
        const quint32 src = rng.generate();
        const quint32 dst = rng.generate();
        QByteArray data(rng.bounded(21), Qt::Uninitialized);
        for (char &c : data)
            c = char(rng.bounded(256));

        const QByteArray frame = packFrame(id, ack, length, srcType, dstType, src, dst, data);
        QCOMPARE(frame.size(), data.size() + 11);

        quint32 sum = 0;
        for (int k = 0; k < frame.size() - 2; ++k)
            sum += quint8(frame.at(k));

        const FrameFields f = unpackFrame(frame);
        QCOMPARE(f.messageId, id);
        QCOMPARE(f.ackRequested, ack);
        QCOMPARE(int(f.controlBits), 0);
        QCOMPARE(int(f.length), length & 0x1F);
        QCOMPARE(int(f.sourceNodeType), srcType & 0x0F);
        QCOMPARE(int(f.destinationNodeType), dstType & 0x0F);
        QCOMPARE(f.sourceAddress, src & 0xFFFFFF);
        QCOMPARE(f.destinationAddress, dst & 0xFFFFFF);
        QCOMPARE(f.data, data);
        QCOMPARE(int(f.checksum), int(sum & 0xFFFF));
    }
}

void FrameTest::hexText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::newRow("empty") << QByteArray() << QString() << QString();
    QTest::newRow("padding and case") << bytes("0AFF") << "0AFF" << "0aff";
    QTest::newRow("every nibble") << bytes("0123456789ABCDEF") << "0123456789ABCDEF"
                                  << "0123456789abcdef";
}

void FrameTest::hexText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QCOMPARE(frameToHexText(bytes), upper);
    QCOMPARE(hexTextToBytes(upper), bytes);
    QCOMPARE(hexTextToBytes(lower), bytes);
}

QTEST_GUILESS_MAIN(FrameTest)
#include "frametest.moc"
