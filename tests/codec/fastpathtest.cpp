// The plain-frame way of DecodeCatalogue (appendPlainFrameReport) against
// the general one (decodeText, then appendReport): byte for byte the same
// report in every style, with and without a bus log line's time and
// direction, over catalogues made for each kind of parameter and over random
// ones. Where the plain way declines a line, the general report must be one
// it does not cover.

#include "codec/framereport.h"
#include "fuzz/randomcatalogue.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const quint8 kNodeType = 3;

QByteArray message(int id, const QByteArray &parameters)
{
    return "<message name=\"M" + QByteArray::number(id) + "\" category=\"C\" msg_id=\"0x"
        + QByteArray::number(id, 16) + "\">" + parameters + "</message>\n";
}

QByteArray integer(const char *name, quint32 size, const char *more = "")
{
    return "<parameter name=\"" + QByteArray(name) + "\" type=\"integer\" size=\"" + QByteArray::number(size) + "\" "
        + more + "/>";
}

// Sixteen random messages, identifiers 0 to 15, from the seed.
QByteArray randomMessages(quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(4096, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    randomcatalogue::ByteSource in(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    QByteArray xml;
    for (int id = 0; id < 16; ++id)
        xml += randomcatalogue::messageXml(randomcatalogue::makeMessage(in, QStringLiteral("R%1").arg(id), quint8(id)));
    return xml;
}

// Data bytes of every length a frame holds, in a few patterns.
QList<QByteArray> dataSamples(quint32 seed)
{
    QRandomGenerator random(seed);
    QList<QByteArray> samples;
    for (int n = 0; n <= kMaxDataBytes; ++n) {
        QByteArray data(n, Qt::Uninitialized);
        for (char &b : data)
            b = char(random.bounded(256));
        samples << data << QByteArray(n, '\0') << QByteArray(n, '\xFF') << QByteArray(n, '\x80');
    }
    return samples;
}

// The frames of one message: from the device and to it (source node type
// 0), over the addressing modes, with and without a request for an
// acknowledge, and one whose length byte says less than there is.
QList<QByteArray> framesOf(quint8 id, const QByteArray &data, int variant)
{
    static const quint32 destinations[] = {0x1A2B3C, 0x000000, 0xFFFFFF};
    const quint8 length = quint8(data.size() + kFrameOverheadBytes);
    QList<QByteArray> frames;
    frames << packFrame(id, variant % 2 == 0, length, kNodeType, 0, 0x0A0B0C, destinations[variant % 3], data);
    frames << packFrame(id, variant % 2 != 0, length, 0, kNodeType, 0x000001, destinations[(variant + 1) % 3], data);
    if (variant % 5 == 0)
        frames << packFrame(id, false, quint8(length - 1), kNodeType, 0, 0x0A0B0C, 0x000001, data);
    return frames;
}

struct Compared
{
    int plain = 0;   // lines the plain way wrote
    int general = 0; // lines it left to the general way
};

// Both ways on one line, in one style; a failure names the line.
void compareLine(DecodeCatalogue &catalogue, ReportStyle style, const QByteArray &line, const QByteArray &time,
                 const QByteArray &direction, Compared &counts)
{
    QByteArray plain = "kept";
    const bool took = catalogue.appendPlainFrameReport(style, line.constData(), line.size(), plain, time, direction);
    FrameReport r = catalogue.decodeText(QString::fromLatin1(line));
    r.time = QString::fromLatin1(time);
    r.direction = QString::fromLatin1(direction);
    QString text;
    appendReport(style, r, text);
    const QByteArray general = text.toUtf8();
    if (took) {
        ++counts.plain;
        QCOMPARE(plain, "kept" + general);
        return;
    }
    ++counts.general;
    QCOMPARE(plain, QByteArray("kept"));
    // Only a report that is not a plain success goes the general way.
    const bool success = r.productFound && r.message.complete && !r.frame.frameLonger && r.frame.fields.length
        == r.frame.bytes.size();
    QVERIFY2(!success, general.constData());
}

} // namespace

class FastPathTest : public QObject
{
    Q_OBJECT

private slots:
    void sameAsGeneral_data();
    void sameAsGeneral();
};

void FastPathTest::sameAsGeneral_data()
{
    QTest::addColumn<QByteArray>("messages");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("unsigned integers")
        << message(1, integer("U1", 1) + integer("U2", 2) + integer("U3", 3) + integer("U4", 4)) << 1u;
    QTest::newRow("signed integers")
        << message(2, integer("S1", 1, "sign=\"signed\"") + integer("S2", 2, "sign=\"signed\"")
                          + integer("S3", 3, "sign=\"signed\"") + integer("S4", 4, "sign=\"signed\""))
        << 2u;
    QTest::newRow("hexadecimal integers")
        << message(3, integer("H1", 1, "input_format=\"hexa\"") + integer("H3", 3, "input_format=\"hexa\"")
                          + integer("SH1", 1, "sign=\"signed\" input_format=\"hexa\"")
                          + integer("SH2", 2, "sign=\"signed\" input_format=\"hexa\"")
                          + integer("SH4", 4, "sign=\"signed\" input_format=\"hexa\""))
        << 3u;
    QTest::newRow("named values")
        << message(4, "<parameter name=\"Mode\" type=\"integer\" size=\"1\"><value value=\"0\" description=\"Off\"/>"
                      "<value value=\"1\" description=\"On &amp; &quot;up&quot;\"/><value value=\"255\" "
                      "description=\"All\"/></parameter>"
                      "<parameter name=\"Level\" type=\"integer\" size=\"2\" sign=\"signed\">"
                      "<value value=\"-1\" description=\"Low\"/><value value=\"-128\" description=\"Lowest\"/>"
                      "<value value=\"5\" description=\"Five\"/></parameter>")
        << 4u;
    QTest::newRow("bitfields")
        << message(5, "<parameter name=\"Flags\" type=\"bitfield\" size=\"1\"><value value=\"0\" description=\"Ready\"/>"
                      "<value value=\"3\" description=\"Fault\"/><value value=\"7\" description=\"Top\"/></parameter>"
                      "<parameter name=\"Wide\" type=\"bitfield\" size=\"2\"><value value=\"9\" description=\"Nine\"/>"
                      "<value value=\"33\" description=\"Wraps to 1\"/></parameter>"
                      "<parameter name=\"None\" type=\"bitfield\" size=\"1\"/>")
        << 5u;
    QTest::newRow("strings")
        << message(6, "<parameter name=\"One\" type=\"string\" size=\"1\"/>"
                      "<parameter name=\"Text\" type=\"string\" size=\"5\"/>"
                      "<parameter name=\"Tail\" type=\"string\" size=\"8\" optional=\"yes\"/>")
        << 6u;
    QTest::newRow("optional and hidden")
        << message(7, integer("Shown", 1) + integer("Hidden", 2, "display=\"no\"") + integer("Opt", 2, "optional=\"yes\"")
                          + integer("HiddenOpt", 1, "optional=\"yes\" display=\"no\"") + integer("Last", 1, "optional=\"yes\""))
        << 7u;
    QTest::newRow("no decoded type")
        << message(8, integer("A", 1) + "<parameter name=\"F\" type=\"float\" size=\"4\"/><parameter name=\"E\" size=\"2\"/>"
                          + integer("B", 1) + "<parameter name=\"Late\" type=\"blob\" size=\"1\"/>")
        << 8u;
    QTest::newRow("odd sizes")
        << message(9, integer("Zero", 0) + integer("Five", 5)
                          + integer("SignedFive", 5, "sign=\"signed\" input_format=\"hexa\"")
                          + "<parameter name=\"Bits3\" type=\"bitfield\" size=\"3\"><value value=\"17\" description=\"b\"/></parameter>"
                          + "<parameter name=\"Empty\" type=\"string\" size=\"0\"/>")
               + message(11, integer("Eight", 8, "input_format=\"hexa\"")
                                 + "<parameter name=\"NamedSix\" type=\"integer\" size=\"6\"><value value=\"1\" description=\"x\"/></parameter>"
                                 + integer("Huge", 4294967295u, "optional=\"yes\""))
        << 9u;
    QTest::newRow("hostile names")
        << message(10, "<parameter name=\"Na&quot;me\\&#9;\xE2\x80\xAE\xF0\x9F\x98\x80\" type=\"integer\" size=\"1\">"
                       "<value value=\"1\" description=\"&lt;\xE2\x80\x8B&#10;\"/></parameter>"
                       "<parameter name=\"\xC3\xA9t\xC3\xA9\" type=\"bitfield\" size=\"1\">"
                       "<value value=\"0\" description=\"\\\\ &#13;\xC2\x85\"/></parameter>"
                       "<parameter name=\"S\" type=\"string\" size=\"4\"/>")
        << 10u;
    for (quint32 seed = 100; seed < 112; ++seed)
        QTest::newRow(qPrintable(QStringLiteral("random catalogue %1").arg(seed))) << randomMessages(seed) << seed;
}

void FastPathTest::sameAsGeneral()
{
    QFETCH(QByteArray, messages);
    QFETCH(quint32, seed);
    QTemporaryDir dir;
    QVERIFY(randomcatalogue::writeCatalogue(dir.path(), QStringLiteral("Fast \"one\""), kNodeType, messages));
    DecodeCatalogue catalogue(dir.path());

    static const ReportStyle styles[] = {ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json};
    const QByteArray times[][2] = {{QByteArray(), QByteArray()}, {"2026-12-06T22:42:16.123Z", "RX"}};
    Compared counts;
    int variant = 0;
    const QList<QByteArray> samples = dataSamples(seed);
    for (int id = 0; id < 16; ++id) {
        for (const QByteArray &data : samples) {
            for (const QByteArray &frame : framesOf(quint8(id), data, variant++)) {
                // Upper and lower case digits: the input is echoed as it is.
                QList<QByteArray> lines{frameToHexText(frame).toLatin1()};
                if (variant % 4 == 0)
                    lines << lines.first().toLower();
                for (const QByteArray &line : qAsConst(lines)) {
                    for (const ReportStyle style : styles) {
                        for (const auto &time : times) {
                            compareLine(catalogue, style, line, time[0], time[1], counts);
                            if (QTest::currentTestFailed())
                                return;
                        }
                    }
                }
            }
        }
    }
    // Each catalogue has messages whose frames the plain way writes.
    QVERIFY2(counts.plain > 0, qPrintable(QStringLiteral("%1 lines, none written the plain way").arg(counts.general)));
}

QTEST_GUILESS_MAIN(FastPathTest)
#include "fastpathtest.moc"
