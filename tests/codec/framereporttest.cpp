// The decoding entry point: the catalogue it keeps, seeing edits made while
// it runs, the bus log lines and the texts printed for a report.

#include "codec/framereport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A motor status of the sample drive: its last parameter is "Supply voltage".
const QString kMotorStatus = QStringLiteral("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");

bool copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !copyFolder(entry.filePath(), target) : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

bool replaceInFile(const QString &path, const QByteArray &before, const QByteArray &after)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray text = file.readAll();
    file.close();
    if (!text.contains(before))
        return false;
    text.replace(before, after);
    // A new file renamed over the old one, as editors and sed -i do.
    QFile out(path + QStringLiteral(".new"));
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        return false;
    out.close();
    return QFile::remove(path) && QFile::rename(path + QStringLiteral(".new"), path);
}

} // namespace

class FrameReportTest : public QObject
{
    Q_OBJECT

private slots:
    void catalogueSeesChangedFiles_data();
    void catalogueSeesChangedFiles();
    void reportTexts();
    void jsonIsWhatQtWrites_data();
    void jsonIsWhatQtWrites();
    void inputGivenApart_data();
    void inputGivenApart();
    void textGivenApart_data();
    void textGivenApart();
    void echoedUtf8Text_data();
    void echoedUtf8Text();
    void stringsShownVisibly_data();
    void stringsShownVisibly();
    void rawNumbersInJson_data();
    void rawNumbersInJson();
    void parametersOfTheLine_data();
    void parametersOfTheLine();
};

// Each decode sees the files as they are once the recheck interval has
// passed; within it the files are not looked at again.
void FrameReportTest::catalogueSeesChangedFiles_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("afterRecheck");
    QTest::newRow("message file edited") << "edit message" << 0 << "Supply EDITED=242" << "Supply EDITED=242";
    QTest::newRow("profile file edited") << "edit profile" << 0 << "| QX-Drive 41 |" << "| QX-Drive 41 |";
    QTest::newRow("message file deleted") << "delete message" << 0 << "Unknown message" << "Unknown message";
    QTest::newRow("folder deleted") << "delete folder" << 0 << "No product found" << "No product found";
    QTest::newRow("folder deleted, within the interval")
        << "delete folder" << 60000 << "Supply voltage=242" << "No product found";
}

void FrameReportTest::catalogueSeesChangedFiles()
{
    QFETCH(QString, change);
    QFETCH(int, intervalMs);
    QFETCH(QString, expected);
    QFETCH(QString, afterRecheck);
    QTemporaryDir dir;
    const QString xml = dir.filePath(QStringLiteral("xml"));
    QVERIFY(copyFolder(QStringLiteral(KWN_SOURCE_DIR "/xml"), xml));

    DecodeCatalogue catalogue(xml);
    catalogue.setRecheckIntervalMs(intervalMs);
    const QString before = singleLineText(catalogue.decodeText(kMotorStatus));
    QVERIFY2(before.contains(QStringLiteral("Supply voltage=242")), qPrintable(before));

    const QString motor = xml + QStringLiteral("/standard/standard_motor_msg.xml");
    if (change == QLatin1String("edit message"))
        QVERIFY(replaceInFile(motor, "\"Supply voltage\"", "\"Supply EDITED\""));
    else if (change == QLatin1String("edit profile"))
        QVERIFY(replaceInFile(xml + QStringLiteral("/qx-drive-40_2.xml"), "QX-Drive 40", "QX-Drive 41"));
    else if (change == QLatin1String("delete message"))
        QVERIFY(QFile::remove(motor));
    else
        QVERIFY(QDir(xml).removeRecursively());

    const QString after = singleLineText(catalogue.decodeText(kMotorStatus));
    QVERIFY2(after.contains(expected), qPrintable(after));
    catalogue.recheck();
    const QString rechecked = singleLineText(catalogue.decodeText(kMotorStatus));
    QVERIFY2(rechecked.contains(afterRecheck), qPrintable(rechecked));
}

// The exact texts the time and direction of a bus log line add; that each
// style prints them, and as decode does, is checked through kwn-frame
// (busclitest).
void FrameReportTest::reportTexts()
{
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    FrameReport r = catalogue.decodeBytes(QByteArray::fromHex(kMotorStatus.toLatin1()));
    r.time = QStringLiteral("2026-12-06T22:42:16.123Z");
    r.direction = QStringLiteral("RX");
    QString blocks, noise;
    appendReport(ReportStyle::Blocks, r, blocks);
    QVERIFY(blocks.startsWith(QStringLiteral("Time:         2026-12-06T22:42:16.123Z\nDirection:    RX\nInput:        ")
                              + kMotorStatus + QLatin1Char('\n')));
    appendNoise(ReportStyle::Json, QByteArray::fromHex("00FF"), r.time, noise);
    appendNoise(ReportStyle::SingleLine, QByteArray::fromHex("0A"), r.time, noise);
    QCOMPARE(noise, QStringLiteral("{\"noise\":\"00FF\",\"time\":\"2026-12-06T22:42:16.123Z\"}\n"
                                   "2026-12-06T22:42:16.123Z noise: 0A\n"));
}

void FrameReportTest::jsonIsWhatQtWrites_data()
{
    QString every;
    for (ushort u = 0; u < 0x300; ++u)
        every += QChar(u);
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("time");
    QTest::newRow("every character up to U+02FF") << every + kMotorStatus << "";
    QTest::newRow("pair, quotes, backslash") << QString::fromUtf8("\"\\ \xF0\x9F\x98\x80 ") + kMotorStatus << "T";
    QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + QChar(0xDC00) + QChar(0xD83D) + kMotorStatus << "";
    QTest::newRow("no frame") << "\x01zz" << "T";
    QTest::newRow("random data, any length") << "" << "T";
}

// The JSON line is exactly what QJsonDocument writes for the same object: read
// back and written again by Qt, it comes out byte for byte the same. Random
// data bytes put every character into the decoded strings.
void FrameReportTest::jsonIsWhatQtWrites()
{
    QFETCH(QString, input);
    QFETCH(QString, time);
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    QRandomGenerator random(21);
    QByteArray frame = QByteArray::fromHex(kMotorStatus.toLatin1());
    for (int round = 0; round < (input.isEmpty() ? 300 : 1); ++round) {
        FrameReport r = catalogue.decodeText(input.isEmpty() ? frameToHexText(frame) : input);
        r.time = time;
        r.direction = time.isEmpty() ? QString() : QStringLiteral("RX");
        QString text;
        appendReport(ReportStyle::Json, r, text);
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        const QByteArray line = text.toUtf8().chopped(1);
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        QCOMPARE(document.toJson(QJsonDocument::Compact), line);
        QCOMPARE(document.object().value(QStringLiteral("status")).toString(), r.status);
        // Other devices and messages, with random data.
        const int length = kFrameOverheadBytes + int(random.bounded(kMaxDataBytes + 1));
        frame.resize(length - 2);
        for (char &c : frame)
            c = char(random.bounded(256));
        frame[1] = char(~quint8(length));
        const quint16 sum = frameChecksum(frame);
        frame.append(char(sum >> 8)).append(char(sum & 0xFF));
    }
}

namespace {

// A row of each input in each style.
void addInputRows(const QList<QPair<const char *, QByteArray>> &inputs)
{
    const QList<QPair<const char *, ReportStyle>> styles = {
        {"blocks", ReportStyle::Blocks}, {"single line", ReportStyle::SingleLine}, {"json", ReportStyle::Json}};
    for (const auto &style : styles)
        for (const auto &input : inputs)
            QTest::addRow("%s, %s", style.first, input.first) << int(style.second) << input.second;
}

// The report of `input` written with the input given apart, straight from its
// bytes, against the report holding it as a QString.
void compareGivenApart(ReportStyle style, const QByteArray &input)
{
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    FrameReport r = catalogue.decodeText(QString::fromUtf8(input.constData(), input.size()));
    QString expected;
    appendReport(style, r, expected);
    r.input = QString();
    QByteArray out("before\n");
    appendReportUtf8(style, r, input.constData(), input.size(), out);
    QCOMPARE(out.size(), expected.toUtf8().size() + 7);
    QCOMPARE(out, "before\n" + expected.toUtf8());
}

} // namespace

void FrameReportTest::inputGivenApart_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QByteArray>("input");
    const QList<QPair<const char *, QByteArray>> inputs = {
        {"decoded frame", kMotorStatus.toLatin1()},
        {"spaces around", "   " + kMotorStatus.toLatin1() + "  "},
        {"frame longer than announced", kMotorStatus.toLatin1() + QByteArray(3000, 'A')},
        {"invalid frame", "zz 0x1 ~"},
        {"only spaces", "    "},
    };
    addInputRows(inputs);
}

// A plain input written straight from its bytes gives the very bytes of the
// report holding it as a QString.
void FrameReportTest::inputGivenApart()
{
    QFETCH(int, style);
    QFETCH(QByteArray, input);
    QVERIFY(isPlainAsciiText(input.constData(), input.size()));
    compareGivenApart(ReportStyle(style), input);
    QVERIFY(!isPlainAsciiText("a\"b", 3));
    QVERIFY(!isPlainAsciiText("a\\b", 3));
    QVERIFY(!isPlainAsciiText("a\tb", 3));
    QVERIFY(!isPlainAsciiText("\xC3\xA9", 2));
}

void FrameReportTest::textGivenApart_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QByteArray>("input");
    QByteArray controls;
    for (int c = 0; c < 0x20; ++c)
        controls += char(c);
    const QByteArray frame = kMotorStatus.toLatin1();
    const QList<QPair<const char *, QByteArray>> inputs = {
        {"quotes, backslashes and control characters", "\"\\" + controls + "\x7F" + frame + controls},
        {"a long run between escapes", "\t" + QByteArray(70000, 'A') + "\"" + frame},
        {"escapes past a block", QByteArray("\x01\"").repeated(40000) + frame},
        {"non-ASCII", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBF " + frame},
        {"white space around", " \t\x0B\x0C\r\xC2\xA0\xE3\x80\x80" + frame + "\xE2\x80\xA9\xC2\x85 \t"},
        {"nothing but white space", " \t\xC2\xA0\xE2\x80\x80"},
        {"other control characters at the edges", "\x1C" + frame + "\x1F"},
        {"byte order mark inside", frame + "\xEF\xBB\xBF"},
    };
    addInputRows(inputs);
}

// Any text that reads as its bytes, written straight from them, escaped and
// trimmed as each style does, gives the very bytes of the report holding it
// as a QString.
void FrameReportTest::textGivenApart()
{
    QFETCH(int, style);
    QFETCH(QByteArray, input);
    QVERIFY(isEchoedUtf8Text(input.constData(), input.size()));
    compareGivenApart(ReportStyle(style), input);
}

void FrameReportTest::echoedUtf8Text_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray run(64, 'A');
    QTest::newRow("ASCII") << run + run + "~";
    QTest::newRow("two, three and four bytes") << "\xC3\xA9\xE2\x82\xAC" + run + "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    QTest::newRow("byte order mark first") << QByteArray("\xEF\xBB\xBF") + run;
    QTest::newRow("byte order mark later") << run + "\xEF\xBB\xBF";
    QTest::newRow("overlong") << run + "\xC0\x80";
    QTest::newRow("overlong, three bytes") << "\xE0\x9F\xBF" + run;
    QTest::newRow("overlong, four bytes") << "\xF0\x8F\xBF\xBF" + run;
    QTest::newRow("surrogates") << run + "\xED\xA0\x80\xED\xB0\x80";
    QTest::newRow("last before the surrogates") << run + "\xED\x9F\xBF";
    QTest::newRow("beyond U+10FFFF") << run + "\xF4\x90\x80\x80";
    QTest::newRow("five-byte lead") << run + "\xF8\x88\x80\x80\x80";
    QTest::newRow("stray continuation byte") << run + "\x80" + run;
    QTest::newRow("cut short") << run + "\xE2\x82";
    QTest::newRow("cut short inside") << "\xE2\x82" + run;
    for (int b = 0x80; b < 0x100; b += 0x0F)
        QTest::addRow("lead %02x, then ASCII", b) << run + char(b) + "AAA";
    // Bytes that lead no sequence, before continuation bytes that would end one.
    for (int b = 0xF8; b < 0x100; ++b) {
        QTest::addRow("lead %02x before four bytes' worth", b) << run + char(b) + "\x90\x80\x80";
        QTest::addRow("lead %02x before continuations", b) << run + char(b) + "\x80\x80\x80" + run;
    }
}

// Text is echoed as its bytes exactly when converting it to a QString and
// back gives the same bytes; a byte order mark first is left to the general
// way, whatever the Qt at hand makes of it.
void FrameReportTest::echoedUtf8Text()
{
    QFETCH(QByteArray, text);
    const bool same = QString::fromUtf8(text.constData(), text.size()).toUtf8() == text;
    QCOMPARE(isEchoedUtf8Text(text.constData(), text.size()), same && !text.startsWith("\xEF\xBB\xBF"));
}

void FrameReportTest::stringsShownVisibly_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("unescaped");
    struct Label
    {
        const char *name;
        QByteArray bytes;
        const char *shown;
        QString unescaped;
    };
    const QList<Label> labels = {
        {"clear screen, forged line", QByteArray("\x1B[2J\r\nDone\x07"),
         "\\x1B[2J\\x0D\\x0ADone\\x07", QStringLiteral("\x1B[2J\r\nDone\x07")},
        {"padded", QByteArray("Hall\0\0\0\0\0\0\0\0\0\0\0\0", 16), "Hall", QStringLiteral("Hall")},
        {"NUL inside", QByteArray("A\0B", 3), "A\\x00B", QString::fromLatin1("A\0B", 3)},
        {"DEL, C1, backslash", QByteArray("\x7F\x85\x9B\\n"), "\\x7F\\x85\\x9B\\\\n", QString::fromLatin1("\x7F\x85\x9B\\n")},
        {"Latin-1 letters", QByteArray("K\xFC" "che \xE9t\xE9"), "K\xC3\xBC" "che \xC3\xA9t\xC3\xA9",
         QString::fromLatin1("K\xFC" "che \xE9t\xE9")},
        {"padding only", QByteArray(16, '\0'), "", QString()},
    };
    const QList<QPair<const char *, ReportStyle>> styles = {
        {"blocks", ReportStyle::Blocks}, {"single line", ReportStyle::SingleLine}, {"json", ReportStyle::Json}};
    for (const auto &style : styles) {
        for (const Label &label : labels)
            QTest::addRow("%s, %s", style.first, label.name)
                << int(style.second) << label.bytes << QString::fromUtf8(label.shown) << label.unescaped;
    }
}

// A string parameter (the 16-byte label of the sample drive's Post Node
// Label) holding control characters: the plain-frame path writes the very
// bytes of the general one, a block or a line keeps its layout with every
// such character escaped, and JSON carries the characters, padding dropped.
void FrameReportTest::stringsShownVisibly()
{
    QFETCH(int, style);
    QFETCH(QByteArray, label);
    QFETCH(QString, shown);
    QFETCH(QString, unescaped);
    const QByteArray data = label.leftJustified(16, '\0');
    const QByteArray line = frameToHexText(packFrame(0x63, false, quint8(data.size() + kFrameOverheadBytes), 2, 0,
                                                     0x1A2B3C, 0x000001, data)).toLatin1();
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    QString general;
    appendReport(ReportStyle(style), catalogue.decodeText(QString::fromLatin1(line)), general);
    QByteArray plain;
    QVERIFY(catalogue.appendPlainFrameReport(ReportStyle(style), line.constData(), line.size(), plain));
    QCOMPARE(plain, general.toUtf8());

    if (ReportStyle(style) == ReportStyle::Json) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(plain, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o.value(QStringLiteral("parameters")).toArray().at(0).toObject().value(QStringLiteral("value")).toString(),
                 unescaped);
        return;
    }
    const bool blocks = ReportStyle(style) == ReportStyle::Blocks;
    const QString row = blocks ? QStringLiteral("\n  Label: ") : QStringLiteral(" | Post Node Label | Label=");
    QVERIFY2(general.contains(row + shown + '\n'), qPrintable(general));
    QCOMPARE(general.count(QLatin1Char('\n')), blocks ? 12 : 1);
    for (const QChar c : general) {
        const ushort u = c.unicode();
        QVERIFY2(u == '\n' || (u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != 0xAD),
                 qPrintable(QStringLiteral("U+%1 written as it is").arg(u, 4, 16, QLatin1Char('0'))));
    }
}

namespace {

// A catalogue folder of one product, node type 3, whose message 0x21 has the
// given parameters.
struct OneMessageCatalogue
{
    QTemporaryDir dir;
    QString folder;

    explicit OneMessageCatalogue(const QByteArray &parameters)
    {
        folder = dir.filePath(QStringLiteral("xml"));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/p.xml"));
        if (file.open(QIODevice::WriteOnly))
            file.write("<?xml version=\"1.0\"?>\n<profiles_def>\n<profile product=\"Ranger\" revision=\"1\" node_type=\"3\"/>\n"
                       "<message name=\"Sample\" category=\"C\" msg_id=\"0x21\">" + parameters + "</message>\n</profiles_def>\n");
    }
};

// The frame that device 3 sends with message 0x21 and these data bytes, as text.
QByteArray sampleFrame(const QByteArray &data)
{
    return frameToHexText(packFrame(0x21, false, quint8(data.size() + kFrameOverheadBytes), 3, 0, 0x00A1B2, 0x000001, data))
        .toLatin1();
}

} // namespace

void FrameReportTest::rawNumbersInJson_data()
{
    QTest::addColumn<QByteArray>("parameters");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("json"); // the "parameters" array
    const QByteArray u1 = "<parameter name=\"P\" type=\"integer\" size=\"1\"/>";
    const QByteArray signed2 = "<parameter name=\"P\" type=\"integer\" size=\"2\" sign=\"signed\"/>";
    const QByteArray named = "<parameter name=\"P\" type=\"integer\" size=\"1\"><value value=\"1\" description=\"On\"/>"
                             "<value value=\"2\" description=\"Off &quot;x&quot;\"/></parameter>";
    const QByteArray bits = "<parameter name=\"F\" type=\"bitfield\" size=\"%1\"><value value=\"0\" description=\"A\"/>"
                            "<value value=\"3\" description=\"B\"/><value value=\"33\" description=\"C\"/></parameter>";
    const QByteArray flags = "{\"bit\":0,\"checked\":%1,\"label\":\"Bit 0: A\"},{\"bit\":3,\"checked\":%2,\"label\":\"Bit 3: B\"},"
                             "{\"bit\":33,\"checked\":%3,\"label\":\"Bit 33: C\"}";
    const QByteArray optional = u1 + "<parameter name=\"O\" type=\"integer\" size=\"2\" optional=\"yes\"/>";
    const auto sized = [](const char *size, const char *sign = "unsigned", const char *format = "decimal") -> QByteArray {
        return QByteArray("<parameter name=\"P\" type=\"integer\" size=\"") + size + "\" sign=\"" + sign
            + "\" input_format=\"" + format + "\"/>";
    };
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("unsigned, size 1") << u1 << hex("fe") << QByteArray("[{\"name\":\"P\",\"raw\":254,\"value\":\"254\"}]");
    QTest::newRow("unsigned, size 2") << sized("2") << hex("2c01") << QByteArray("[{\"name\":\"P\",\"raw\":300,\"value\":\"300\"}]");
    QTest::newRow("unsigned, size 3") << sized("3") << hex("010203")
                                      << QByteArray("[{\"name\":\"P\",\"raw\":197121,\"value\":\"197121\"}]");
    QTest::newRow("unsigned, size 4") << sized("4") << hex("ffffffff")
                                      << QByteArray("[{\"name\":\"P\",\"raw\":4294967295,\"value\":\"4294967295\"}]");
    QTest::newRow("signed, size 1") << sized("1", "signed") << hex("fb") << QByteArray("[{\"name\":\"P\",\"raw\":-5,\"value\":\"-5\"}]");
    QTest::newRow("signed, size 2") << signed2 << hex("feff") << QByteArray("[{\"name\":\"P\",\"raw\":-2,\"value\":\"-2\"}]");
    QTest::newRow("signed, size 2, positive") << signed2 << hex("ff7f")
                                              << QByteArray("[{\"name\":\"P\",\"raw\":32767,\"value\":\"32767\"}]");
    QTest::newRow("signed, size 3") << sized("3", "signed") << hex("000080")
                                    << QByteArray("[{\"name\":\"P\",\"raw\":-8388608,\"value\":\"-8388608\"}]");
    QTest::newRow("signed, size 4") << sized("4", "signed") << hex("00000080")
                                    << QByteArray("[{\"name\":\"P\",\"raw\":-2147483648,\"value\":\"-2147483648\"}]");
    QTest::newRow("hexa") << sized("2", "unsigned", "hexa") << hex("ab0c")
                          << QByteArray("[{\"name\":\"P\",\"raw\":3243,\"value\":\"cab\"}]");
    QTest::newRow("signed hexa") << sized("2", "signed", "hexa") << hex("feff")
                                 << QByteArray("[{\"name\":\"P\",\"raw\":-2,\"value\":\"FFFE\"}]");
    QTest::newRow("named") << named << hex("02") << QByteArray("[{\"name\":\"P\",\"raw\":2,\"value\":\"Off \\\"x\\\"\"}]");
    QTest::newRow("named, no entry") << named << hex("07")
                                     << QByteArray("[{\"name\":\"P\",\"raw\":7,\"value\":\"Invalid value (0x07)\"}]");
    QTest::newRow("signed named") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\" sign=\"signed\">"
                                                "<value value=\"-1\" description=\"Minus one\"/></parameter>")
                                  << hex("ff") << QByteArray("[{\"name\":\"P\",\"raw\":-1,\"value\":\"Minus one\"}]");
    QTest::newRow("size 5") << sized("5") << hex("0102030405")
                            << QByteArray("[{\"name\":\"P\",\"raw\":67305989,\"value\":\"67305989\"}]");
    QTest::newRow("size 0, then size 1") << sized("0", "signed") + "<parameter name=\"Q\" type=\"integer\" size=\"1\"/>"
                                         << hex("05")
                                         << QByteArray("[{\"name\":\"P\",\"raw\":0,\"value\":\"0\"},{\"name\":\"Q\",\"raw\":5,\"value\":\"5\"}]");
    QTest::newRow("bitfield") << QByteArray(bits).replace("%1", "1") << hex("09")
                              << "[{\"bits\":[" + QByteArray(flags).replace("%1", "true").replace("%2", "true").replace("%3", "false")
            + "],\"name\":\"F\",\"raw\":9}]";
    QTest::newRow("bitfield, size 2") << QByteArray(bits).replace("%1", "2") << hex("f202")
                                      << "[{\"bits\":[" + QByteArray(flags).replace("%1", "false").replace("%2", "false").replace("%3", "true")
            + "],\"name\":\"F\",\"raw\":754}]";
    QTest::newRow("string") << QByteArray("<parameter name=\"T\" type=\"string\" size=\"3\"/>") << QByteArray("AB\0", 3)
                            << QByteArray("[{\"name\":\"T\",\"value\":\"AB\"}]");
    QTest::newRow("string of digits") << QByteArray("<parameter name=\"T\" type=\"string\" size=\"2\"/>") << QByteArray("42")
                                      << QByteArray("[{\"name\":\"T\",\"value\":\"42\"}]");
    QTest::newRow("unknown type") << QByteArray("<parameter name=\"N\" type=\"blob\" size=\"1\"/>") + u1 << hex("05")
                                  << QByteArray("[{\"name\":\"N\"},{\"name\":\"P\",\"raw\":5,\"value\":\"5\"}]");
    QTest::newRow("hidden") << "<parameter name=\"H\" type=\"integer\" size=\"1\" display=\"no\"/>" + u1 << hex("0905")
                            << QByteArray("[{\"name\":\"P\",\"raw\":5,\"value\":\"5\"}]");
    QTest::newRow("optional, given") << optional << hex("050001")
                                     << QByteArray("[{\"name\":\"P\",\"raw\":5,\"value\":\"5\"},{\"name\":\"O\",\"raw\":256,\"value\":\"256\"}]");
    QTest::newRow("optional, absent") << optional << hex("05") << QByteArray("[{\"name\":\"P\",\"raw\":5,\"value\":\"5\"}]");
}

// Each integer and bitfield parameter carries its number as read in "raw", a
// signed one with its sign; a string none. The plain-frame path writes the
// very bytes of the general one, in every style.
void FrameReportTest::rawNumbersInJson()
{
    QFETCH(QByteArray, parameters);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, json);
    const OneMessageCatalogue files(parameters);
    const QByteArray line = sampleFrame(data);
    DecodeCatalogue catalogue(files.folder);
    for (const ReportStyle style : {ReportStyle::Json, ReportStyle::SingleLine, ReportStyle::Blocks}) {
        QString general;
        appendReport(style, catalogue.decodeText(QString::fromLatin1(line)), general);
        QByteArray plain;
        QVERIFY(catalogue.appendPlainFrameReport(style, line.constData(), line.size(), plain));
        QCOMPARE(plain, general.toUtf8());
    }
    QString text;
    appendReport(ReportStyle::Json, catalogue.decodeText(QString::fromLatin1(line)), text);
    const QByteArray written = text.toUtf8();
    const int from = written.indexOf("\"parameters\":") + 13;
    QVERIFY2(from >= 13 && written.contains("\"status\":\"Frame decoded successfully.\""), written.constData());
    QCOMPARE(written.mid(from, written.indexOf(",\"source\":") - from), json);
    // Still what Qt writes for the object.
    QCOMPARE(QJsonDocument::fromJson(written).toJson(QJsonDocument::Compact) + '\n', written);
}

void FrameReportTest::parametersOfTheLine_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("parameters");
    QTest::newRow("values, named values and bits")
        << kMotorStatus
        << "State=Running down, Faults=[Bit 0: Obstacle detected; Bit 2: Limits not set], Last command source=Radio remote, "
           "Supply voltage=242";
    QTest::newRow("no product") << "BF F4 FF FE FF FF FD FF FF 08 A9" << "";
    QTest::newRow("no frame") << "zz" << "";
    // Three bytes short: two data bytes are left, and the rows read from them.
    QTest::newRow("cut short") << kMotorStatus.left(kMotorStatus.size() - 6)
                               << "State=Running down, Faults=[Bit 0: Obstacle detected; Bit 2: Limits not set]";
}

// The parameters part of the single line, alone: what the line shows after
// its last bar, or nothing when it shows none.
void FrameReportTest::parametersOfTheLine()
{
    QFETCH(QString, input);
    QFETCH(QString, parameters);
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    const FrameReport r = catalogue.decodeText(input);
    QCOMPARE(parametersText(r), parameters);
    const QString line = singleLineText(r);
    if (parameters.isEmpty())
        QVERIFY2(!line.contains(QLatin1Char('=')), qPrintable(line));
    else
        QVERIFY2(line.endsWith(QStringLiteral(" | ") + parameters), qPrintable(line));
}

QTEST_GUILESS_MAIN(FrameReportTest)
#include "framereporttest.moc"
