#include "codec/frame.h"

#include <QRandomGenerator>
#include <QtTest>

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void pack_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("ack");
        QTest::addColumn<int>("destinationType");
        QTest::addColumn<uint>("source");
        QTest::addColumn<uint>("destination");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("no data") << 0x40 << false << 0 << 1u << 2u << QByteArray() << bytes("BFF4FFFEFFFFFDFFFF08A9");
        QTest::newRow("ack, data 00 adds 255") << 0x23 << true << 6 << 0x12AB34u << 0xFEu << bytes("0180")
                                               << bytes("DC72F9CB54ED01FFFFFE7F07CF");
        QTest::newRow("seven data bytes") << 0x51 << false << 6 << 1u << 2u << bytes("2C01FE09414231")
                                          << bytes("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C");
    }
    void pack()
    {
        QFETCH(int, id);
        QFETCH(bool, ack);
        QFETCH(int, destinationType);
        QFETCH(uint, source);
        QFETCH(uint, destination);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, frame);
        QCOMPARE(packFrame(quint8(id), ack, quint8(data.size() + 11), 0, quint8(destinationType), source,
                           destination, data).toHex(),
                 frame.toHex());
    }

    // packFrame arguments and the header they give before inversion.
    void masking_data()
    {
        QTest::addColumn<bool>("ack");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("sourceType");
        QTest::addColumn<int>("destinationType");
        QTest::addColumn<uint>("address");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("ack, length 31") << true << 31 << 0 << 0 << 0u << bytes("009F00000000000000");
        QTest::newRow("length keeps 5 bits") << false << 43 << 0 << 0 << 0u << bytes("000B00000000000000");
        QTest::newRow("source type 16 drops out") << false << 11 << 16 << 0 << 0u << bytes("000B00000000000000");
        QTest::newRow("source type in upper nibble") << false << 11 << 15 << 0x1A << 0u << bytes("000BFA000000000000");
        QTest::newRow("addresses keep 24 bits") << false << 11 << 0 << 0 << 0xAB123456u << bytes("000B00563412563412");
    }
    void masking()
    {
        QFETCH(bool, ack);
        QFETCH(int, length);
        QFETCH(int, sourceType);
        QFETCH(int, destinationType);
        QFETCH(uint, address);
        QFETCH(QByteArray, header);
        QByteArray plain = packFrame(0, ack, quint8(length), quint8(sourceType), quint8(destinationType),
                                     address, address, {}).left(9);
        for (char &c : plain)
            c = char(~quint8(c));
        QCOMPARE(plain.toHex(), header.toHex());
    }

    void unpackAddress_data()
    {
        QTest::addColumn<QByteArray>("onBus");
        QTest::addColumn<uint>("address");
        QTest::newRow("byte 0x80 is not sign-extended") << bytes("7FFFFF") << 0x80u;
        QTest::newRow("all zero on the bus") << bytes("000000") << 0xFFFFFFu;
    }
    void unpackAddress()
    {
        QFETCH(QByteArray, onBus);
        QFETCH(uint, address);
        const FrameFields f = unpackFrame(bytes("BFF4FF") + onBus + onBus + bytes("0000"));
        QCOMPARE(f.sourceAddress, address);
        QCOMPARE(f.destinationAddress, address);
    }

    void unpackGivesPackedFields()
    {
        QRandomGenerator rng(20261206);
        for (int i = 0; i < 5000; ++i) {
            const quint8 id = quint8(rng.bounded(256)), length = quint8(rng.bounded(256));
            const quint8 srcType = quint8(rng.bounded(256)), dstType = quint8(rng.bounded(256));
            const bool ack = rng.bounded(2);
            const quint32 src = rng.generate(), dst = rng.generate();
            QByteArray data(rng.bounded(21), Qt::Uninitialized);
            for (char &c : data)
                c = char(rng.bounded(256));
            const QByteArray frame = packFrame(id, ack, length, srcType, dstType, src, dst, data);
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

    void hexText()
    {
        QCOMPARE(frameToHexText(bytes("0AFF")), QStringLiteral("0AFF"));
        QCOMPARE(hexTextToBytes(QStringLiteral("0aff")), bytes("0AFF"));
        QCOMPARE(frameToHexText(bytes("0123456789abcdef")), QStringLiteral("0123456789ABCDEF"));
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "frametest.moc"
