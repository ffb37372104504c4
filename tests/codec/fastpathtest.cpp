// The plain-frame way of DecodeCatalogue (appendPlainFrameReport) against
// the general one (decodeText, then appendReport): byte for byte the same
// report in every style, with and without a bus log line's time and
// direction, over frames of every length to and from the devices of a
// catalogue of every kind of parameter (tests/data/codec/reports/xml) and of
// random ones. Where the plain way declines a line, the general report must
// be one it does not cover.

#include "codec/framereport.h"
#include "fuzz/randomcatalogue.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The frames of one message and data: from a device of node type 3 and to
// it (source node type 0), over the addressing modes, with and without a
// request for an acknowledge, and one whose length byte says less than there is.
QList<QByteArray> framesOf(quint8 id, const QByteArray &data, int variant)
{
    static const quint32 destinations[] = {0x1A2B3C, 0x000000, 0xFFFFFF};
    const quint8 length = quint8(data.size() + kFrameOverheadBytes);
    QList<QByteArray> frames{packFrame(id, variant % 2 == 0, length, 3, 0, 0x0A0B0C, destinations[variant % 3], data),
                             packFrame(id, variant % 2 != 0, length, 0, 3, 0x000001, destinations[(variant + 1) % 3], data)};
    if (variant % 5 == 0)
        frames << packFrame(id, false, quint8(length - 1), 3, 0, 0x0A0B0C, 0x000001, data);
    return frames;
}

// Both ways on one line, in one style; counts the lines the plain way wrote.
void compareLine(DecodeCatalogue &catalogue, ReportStyle style, const QByteArray &line, const QByteArray &time,
                 const QByteArray &direction, int &plainLines)
{
    QByteArray plain = "kept";
    const bool took = catalogue.appendPlainFrameReport(style, line.constData(), line.size(), plain, time, direction);
    FrameReport r = catalogue.decodeText(QString::fromLatin1(line));
    r.time = QString::fromLatin1(time);
    r.direction = QString::fromLatin1(direction);
    QString text;
    appendReport(style, r, text);
    if (took) {
        ++plainLines;
        QCOMPARE(plain, "kept" + text.toUtf8());
        return;
    }
    QCOMPARE(plain, QByteArray("kept"));
    // Only a report that is not a plain success goes the general way.
    QVERIFY2(!r.productFound || !r.message.complete || r.frame.frameLonger
                 || r.frame.fields.length != r.frame.bytes.size(),
             qPrintable(text));
}

} // namespace

class FastPathTest : public QObject
{
    Q_OBJECT

private slots:
    void sameAsGeneral_data()
    {
        QTest::addColumn<quint32>("seed"); // 0: the catalogue of every kind of parameter
        QTest::newRow("every kind of parameter") << 0u;
        for (quint32 seed = 100; seed < 112; ++seed)
            QTest::addRow("random catalogue %u", seed) << seed;
    }
    void sameAsGeneral()
    {
        QFETCH(quint32, seed);
        QTemporaryDir dir;
        QString folder = QStringLiteral(KWN_TEST_DATA "/codec/reports/xml");
        QRandomGenerator random(seed);
        if (seed != 0) {
            // Sixteen random messages, identifiers 0x20 to 0x2F.
            QByteArray bytes(4096, Qt::Uninitialized), xml;
            for (char &b : bytes)
                b = char(random.bounded(256));
            randomcatalogue::ByteSource in(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            for (int id = 0x20; id < 0x30; ++id)
                xml += randomcatalogue::messageXml(randomcatalogue::makeMessage(in, QStringLiteral("R%1").arg(id), quint8(id)));
            folder = dir.path();
            QVERIFY(randomcatalogue::writeCatalogue(folder, QStringLiteral("Fast \"one\""), 3, xml));
        }
        DecodeCatalogue catalogue(folder);
        int plain = 0, variant = 0;
        for (int id = 0x20; id < 0x30; ++id) {
            // Data bytes of every length a frame holds, in a few patterns.
            for (int n = 0; n <= kMaxDataBytes; ++n) {
                QByteArray data(n, Qt::Uninitialized);
                for (char &b : data)
                    b = char(random.bounded(256));
                for (const QByteArray &sample : {data, QByteArray(n, '\0'), QByteArray(n, '\xFF'), QByteArray(n, '\x80')}) {
                    for (const QByteArray &frame : framesOf(quint8(id), sample, variant++)) {
                        // Upper and lower case digits: the input is echoed as it is.
                        QByteArray line = frameToHexText(frame).toLatin1();
                        if (variant % 4 == 0)
                            line = line.toLower();
                        for (const ReportStyle style : {ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json}) {
                            compareLine(catalogue, style, line, QByteArray(), QByteArray(), plain);
                            compareLine(catalogue, style, line, "2026-12-06T22:42:16.123Z", "RX", plain);
                            if (QTest::currentTestFailed())
                                return;
                        }
                    }
                }
            }
        }
        // Each catalogue has messages whose frames the plain way writes.
        QVERIFY(plain > 0);
    }
};

QTEST_GUILESS_MAIN(FastPathTest)
#include "fastpathtest.moc"
