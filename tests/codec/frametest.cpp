#include "codec/frame.h"
#include "codec/outputformat.h"

#include <QRandomGenerator>
#include <QtTest>

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void packAndHexText()
    {
        QCOMPARE(frameToHexText(packFrame(0x40, false, 11, 0, 0, 1, 2, {})), QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"));
        // A data byte 00 goes out as FF and adds 255 to the checksum.
        QCOMPARE(frameToHexText(packFrame(0x23, true, 13, 0, 6, 0x12AB34, 0xFE, bytes("0180"))),
                 QStringLiteral("DC72F9CB54ED01FFFFFE7F07CF"));
        QCOMPARE(hexTextToBytes(QStringLiteral("0aff")), bytes("0AFF"));
    }

    // Every field comes back masked to its width, whatever was packed.
    void unpackGivesPackedFields()
    {
        QRandomGenerator rng(20261206);
        for (int i = 0; i < 5000; ++i) {
            const quint32 r = rng.generate(), src = rng.generate(), dst = rng.generate();
            const quint8 id = quint8(r), length = quint8(r >> 8), srcType = quint8(r >> 16), dstType = quint8(r >> 24);
            const bool ack = rng.bounded(2);
            QByteArray data(rng.bounded(21), Qt::Uninitialized);
            for (char &c : data)
                c = char(rng.bounded(256));
            const QByteArray frame = packFrame(id, ack, length, srcType, dstType, src, dst, data);
            quint32 sum = 0;
            for (int k = 0; k < frame.size() - 2; ++k)
                sum += quint8(frame.at(k));
            const FrameFields f = unpackFrame(frame);
            QCOMPARE(QList<quint32>({f.messageId, f.ackRequested, f.controlBits, f.length, f.sourceNodeType,
                                     f.destinationNodeType, f.sourceAddress, f.destinationAddress, f.checksum}),
                     QList<quint32>({id, ack, 0, length & 0x1Fu, srcType & 0x0Fu, dstType & 0x0Fu, src & 0xFFFFFF,
                                     dst & 0xFFFFFF, sum & 0xFFFF}));
            QCOMPARE(f.data, data);
        }
    }

    // A frame is whole when its size, its length byte and its checksum agree;
    // otherwise the reason, to be shown after "Not sent: ".
    void frameProblem_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("problem");
        const QByteArray first = packFrame(0x40, false, 11, 0, 0, 1, 2, {});
        const QByteArray longest = packFrame(0x23, true, 31, 0, 6, 0x12AB34, 0xFE, QByteArray(20, '\x5A'));
        QByteArray lowChecksum = first;
        lowChecksum[10] = char(0xAA);
        QByteArray highChecksum = first;
        highChecksum[9] = char(0x18);
        QTest::newRow("no data") << first << "";
        QTest::newRow("two data bytes, ack") << bytes("DC72F9CB54ED01FFFFFE7F07CF") << "";
        QTest::newRow("twenty data bytes") << longest << "";
        QTest::newRow("a motor status") << bytes("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20") << "";
        QTest::newRow("nothing") << QByteArray() << "a frame is 11 to 31 bytes; this is 0 bytes";
        QTest::newRow("one byte") << bytes("BF") << "a frame is 11 to 31 bytes; this is 1 byte";
        QTest::newRow("ten bytes") << first.left(10) << "a frame is 11 to 31 bytes; this is 10 bytes";
        QTest::newRow("21 data bytes") << packFrame(0x40, false, 32, 0, 0, 1, 2, QByteArray(21, '\0'))
                                       << "a frame is 11 to 31 bytes; this is 32 bytes";
        // As 5.5 MB of hexadecimal text gives.
        QTest::newRow("5.5 MB of text") << QByteArray(2883584, '\x11')
                                        << "a frame is 11 to 31 bytes; this is 2883584 bytes";
        // Both would pass the length and checksum tests: the length byte 00
        // says 31 and zeros add up to zero.
        QTest::newRow("eleven zero bytes") << QByteArray(11, '\0') << "all bytes are zero";
        QTest::newRow("31 zero bytes") << QByteArray(31, '\0') << "all bytes are zero";
        QTest::newRow("eleven FF bytes") << QByteArray(11, '\xFF') << "the length byte says 0 bytes but there are 11";
        QTest::newRow("a byte after the frame") << first + bytes("00")
                                                << "the length byte says 11 bytes but there are 12";
        QTest::newRow("frame cut short") << longest.left(30) << "the length byte says 31 bytes but there are 30";
        QTest::newRow("length byte says one") << packFrame(0x40, false, 1, 0, 0, 1, 2, {})
                                              << "the length byte says 1 byte but there are 11";
        QTest::newRow("length byte with control bits")
            << bytes("BF94FFFEFFFFFDFFFF0849") << "";
        QTest::newRow("low checksum byte wrong") << lowChecksum
                                                 << "the checksum is wrong: the frame ends in 08AA, expected 08A9";
        QTest::newRow("high checksum byte wrong") << highChecksum
                                                  << "the checksum is wrong: the frame ends in 18A9, expected 08A9";
        QTest::newRow("checksum of the motor status")
            << bytes("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C21")
            << "the checksum is wrong: the frame ends in 0C21, expected 0C20";
    }
    void frameProblem()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, problem);
        QCOMPARE(::frameProblem(frame), problem);
    }

    void format_data()
    {
        QTest::addColumn<QString>("hexText");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("output");
        QTest::newRow("initial") << "BFF4FFFEFFFFFDFFFF08A9" << "## " << true << "BF F4 FF FE FF FF FD FF FF 08 A9 ";
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

QTEST_GUILESS_MAIN(FrameTest)
#include "frametest.moc"
