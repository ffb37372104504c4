// Packing and unpacking frames and their texts, worked out by hand (codec/frames.txt).

#include "codec/frame.h"
#include "codec/outputformat.h"
#include "support/datarows.h"

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data() { addDataRows(QStringLiteral("codec/frames.txt")); }
    void frames()
    {
        QFETCH(QStringList, row);
        const QByteArray frame = hexBytes(row[0]);
        QCOMPARE(frameProblem(frame), row[4]);
        if (row[1].isEmpty())
            return;
        const FrameFields f = unpackFrame(frame);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                     .arg(f.messageId, 2, 16, QLatin1Char('0')).arg(int(f.ackRequested)).arg(f.controlBits)
                     .arg(f.length, 2, 16, QLatin1Char('0')).arg(f.sourceNodeType, 0, 16).arg(f.destinationNodeType, 0, 16)
                     .arg(f.sourceAddress, 6, 16, QLatin1Char('0')).arg(f.destinationAddress, 6, 16, QLatin1Char('0')).toUpper(),
                 row[1]);
        QCOMPARE(f.data, hexBytes(row[2]));
        QCOMPARE(f.checksum, quint16(row[3].toUShort(nullptr, 16)));
        if (row[4].isEmpty() && f.controlBits == 0) {
            QCOMPARE(packFrame(f.messageId, f.ackRequested, f.length, f.sourceNodeType, f.destinationNodeType,
                               f.sourceAddress, f.destinationAddress, f.data), frame);
            QCOMPARE(frameToHexText(frame), row[0]);
            QCOMPARE(hexTextToBytes(row[0].toLower()), frame);
        }
    }

    // Every field is masked to its width.
    void packMasksFields()
    {
        QCOMPARE(frameToHexText(packFrame(0x40, false, 0xEB, 0x10, 0xF0, 0x1000001, 0xFF000002, {})),
                 QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"));
        QCOMPARE(unpackFrame(QByteArray(10, '\0')).length, quint8(0));
    }

    void format_data() { addDataRows(QStringLiteral("codec/outputformat.txt")); }
    void format()
    {
        QFETCH(QStringList, row);
        QCOMPARE(isValidFormat(unescaped(row[1])), row[2] == QLatin1String("1"));
        QCOMPARE(formatOutputText(row[0], unescaped(row[1])), unescaped(row[3]));
    }
};

QTEST_GUILESS_MAIN(FrameTest)
#include "frametest.moc"
