#include "codec/frame.h"

#include <QRandomGenerator>
#include <QtTest>

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void packWorkedExamples()
    {
        QCOMPARE(frameToHexText(packFrame(0x40, false, 11, 0, 0, 1, 2, {})), QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"));
        // A data byte 00 goes out as FF and adds 255 to the checksum.
        QCOMPARE(frameToHexText(packFrame(0x23, true, 13, 0, 6, 0x12AB34, 0xFE, bytes("0180"))),
                 QStringLiteral("DC72F9CB54ED01FFFFFE7F07CF"));
        QCOMPARE(frameToHexText(packFrame(0x51, false, 18, 0, 6, 1, 2, bytes("2C01FE09414231"))),
                 QStringLiteral("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C"));
    }

    // Each argument is masked to its field; shown here before inversion.
    void fieldMasking()
    {
        auto header = [](bool ack, quint8 length, quint8 sourceType, quint8 destinationType, quint32 address) {
            QByteArray plain = packFrame(0, ack, length, sourceType, destinationType, address, address, {}).left(9);
            for (char &c : plain)
                c = char(~quint8(c));
            return plain.toHex().toUpper();
        };
        QCOMPARE(header(true, 31, 0, 0, 0), QByteArray("009F00000000000000"));
        QCOMPARE(header(false, 43, 0, 0, 0), QByteArray("000B00000000000000"));
        QCOMPARE(header(false, 11, 16, 0, 0), QByteArray("000B00000000000000"));
        QCOMPARE(header(false, 11, 15, 0x1A, 0), QByteArray("000BFA000000000000"));
        QCOMPARE(header(false, 11, 0, 0, 0xAB123456), QByteArray("000B00563412563412"));
    }

    void unpackAddressBytes()
    {
        // Source bytes 7F FF FF are 80 00 00 inverted; destination 00 00 00 is FFFFFF.
        const FrameFields f = unpackFrame(bytes("BFF4FF7FFFFF0000000000"));
        QCOMPARE(f.sourceAddress, 0x80u);
        QCOMPARE(f.destinationAddress, 0xFFFFFFu);
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
        QCOMPARE(frameToHexText(bytes("0123456789abcdef")), QStringLiteral("0123456789ABCDEF"));
        QCOMPARE(hexTextToBytes(QStringLiteral("0aff")), bytes("0AFF"));
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "frametest.moc"
