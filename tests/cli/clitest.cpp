// The command line as a user runs it: real processes of kwn-frame on the
// bundled catalogue and on a deliberately faulty one.

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"
#include "toolrun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray outBytes; // as written
};

Run kwnFrame(const QStringList &arguments, const QByteArray &input = {},
             const QString &folder = QStringLiteral(KWN_SOURCE_DIR))
{
    const ToolRun tool = runTool(QStringLiteral(KWN_CLI_PATH), arguments, folder, input);
    // Decoded strings may hold code 0: convert the whole output, not up to a NUL.
    return Run{tool.exitCode, QString::fromUtf8(tool.out.constData(), tool.out.size()),
               QString::fromUtf8(tool.err.constData(), tool.err.size()), tool.out};
}

// A catalogue folder made by a test: one profile file xml/p.xml, whose
// profile element is followed by `messages`.
struct Catalogue
{
    QTemporaryDir dir;

    Catalogue(const QByteArray &messages, const QByteArray &product = "E", const QByteArray &doctype = {})
    {
        writeFile(dir.filePath(QStringLiteral("xml/p.xml")),
                  "<?xml version=\"1.0\"?>\n" + doctype + "<profiles_def>\n<profile product=\"" + product
                      + "\" revision=\"1\" node_type=\"3\"/>\n" + messages + "\n</profiles_def>\n");
    }

    Run run(const QStringList &arguments) const { return kwnFrame(arguments, {}, dir.path()); }
    Run runWithInput(const QStringList &arguments, const QByteArray &input) const
    {
        return kwnFrame(arguments, input, dir.path());
    }
};

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void filterSelectsAlikeOnEveryPath_data();
    void filterSelectsAlikeOnEveryPath();
    void linesReadAsTheirText_data();
    void linesReadAsTheirText();
    void plainFramesReadAsArguments_data();
    void plainFramesReadAsArguments();

    // Hostile catalogues, written by the tests themselves.
    void checkReportsWhatItCannotReadAgain_data();
    void checkReportsWhatItCannotReadAgain();
};

void CliTest::filterSelectsAlikeOnEveryPath_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expression");
    for (const char *style : {"", "--single-line", "--json", "--csv"}) {
        const QStringList options = *style ? QStringList{QLatin1String(style)} : QStringList();
        for (const char *expression : {"[Winding] < 0 or [Button] & 2 or [Duration] == 5", "direction == \"TX\" or not checksum_ok",
                                       "device matches \"relay\" and ack", "message contains \"Post\""})
            QTest::addRow("%s %s", style, expression) << options << QString::fromLatin1(expression);
    }
}

// Plain frames are judged on what the quick writer read of them, any other
// line on its report (the two compared frame by frame in
// filterexpressiontest): an expression selects the same frames as it does
// with "and status", true of every frame, whose status line the quick writer
// gives for a plain frame and the report for any other, in every style.
void CliTest::filterSelectsAlikeOnEveryPath()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expression);
    QFile log(QStringLiteral(KWN_TEST_DATA "/cli/decode/frames.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray lines = log.readAll();
    const Run all = kwnFrame(QStringList{"decode"} + options, lines);
    const Run quick = kwnFrame(QStringList{"decode", "--filter", expression} + options, lines);
    const Run general =
        kwnFrame(QStringList{"decode", "--filter", QStringLiteral("(%1) and status").arg(expression)} + options, lines);
    QCOMPARE(quick.exitCode, all.exitCode);
    QVERIFY(!quick.out.isEmpty() && quick.out.size() < all.out.size());
    QCOMPARE(quick.out, general.out);
}

namespace {

// A message of every kind of parameter, its texts full of characters that
// JSON escapes (quotes, backslashes, a tab, a line end) and non-ASCII ones.
const char kMixedMessage[] =
    "<message name=\"Mix &quot;A&quot; \\ \xC3\xA9\xE2\x98\x83\xF0\x9D\x84\x9E\" category=\"C\" msg_id=\"0x21\">"
    "<parameter name=\"Level&#9;tab\" type=\"integer\" size=\"1\" sign=\"signed\"/>"
    "<parameter name=\"Word \\ &quot;q&quot;\" type=\"integer\" size=\"2\" input_format=\"hexa\"/>"
    "<parameter name=\"Offset\" type=\"integer\" size=\"2\" sign=\"signed\" input_format=\"hexa\"/>"
    "<parameter name=\"Mode\" type=\"integer\" size=\"1\"><value value=\"1\" description=\"On &quot;x&quot;\"/>"
    "<value value=\"2\" description=\"Off \xE2\x98\x83\"/></parameter>"
    "<parameter name=\"Big\" type=\"integer\" size=\"5\"/>"
    "<parameter name=\"Flags\" type=\"bitfield\" size=\"1\"><value value=\"0\" description=\"A&#10;line\"/>"
    "<value value=\"3\" description=\"B\\\"/><value value=\"33\" description=\"wraps\"/></parameter>"
    "<parameter name=\"Note\" type=\"blob\" size=\"1\"/>"
    "<parameter name=\"Tag\" type=\"string\" size=\"3\"/>"
    "<parameter name=\"Hidden\" type=\"integer\" size=\"1\" display=\"no\"/>"
    "<parameter name=\"Signed named\" type=\"integer\" size=\"1\" sign=\"signed\" optional=\"yes\">"
    "<value value=\"-1\" description=\"Minus one\"/></parameter>"
    "</message>";

} // namespace

void CliTest::linesReadAsTheirText_data()
{
    // A line of standard input is read from its bytes when it can be; the
    // report must be the one of the line converted to text, taken apart as
    // a bus log line and decoded the general way.
    QTest::addColumn<QByteArray>("line");
    const QByteArray t = "2026-12-06T22:42:16.123Z";
    const QByteArray a(200000, 'A');
    QTest::newRow("non-ASCII") << QByteArray("F0EF h\xC3\xA9llo 0x12 0X34");
    QTest::newRow("digits of another script in the time")
        << QByteArray("\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA6-12-06T22:42:16.123Z RX F0EF");
    QTest::newRow("non-ASCII after the seconds") << QByteArray("2026-12-06T22:42:16\xC3\xA9 RX F0EF");
    QTest::newRow("log line") << t + " RX F0EFAABBCC";
    QTest::newRow("log line, tabs and spaces") << "  " + t + "\tTX \t0x12 0x34 ";
    QTest::newRow("log line, offset") << QByteArray("2026-12-06T22:42:16.123+01:00 TX AABB");
    QTest::newRow("log line, impossible date") << QByteArray("2026-13-06T22:42:16.123Z RX F0EF");
    QTest::newRow("log line, leap second") << QByteArray("2016-12-31T23:59:60.00Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");
    QTest::newRow("log line, year 0000") << QByteArray("0000-01-01T00:00:00.000Z TX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");
    QTest::newRow("log line, 02-30") << QByteArray("2026-02-30T10:11:12.345Z RX 0x12 0x34");
    QTest::newRow("log line, offset +99:99") << QByteArray("2026-12-06T10:11:12.345+99:99 RX F0EF");
    QTest::newRow("log line, impossible, before 1970") << QByteArray("1969-02-29T10:11:12.345Z RX F0EF");
    QTest::newRow("log line, impossible, quote in the time") << QByteArray("2026-02-30T10:11:12\"Z TX F0EF");
    QTest::newRow("log line, impossible, non-ASCII in the time") << QByteArray("2026-02-30T10:11:12\xC3\xA9 TX F0EF");
    QTest::newRow("log line, impossible, non-ASCII frame") << QByteArray("2026-02-30T10:11:12.345Z RX \xC3\xA9 F0EF");
    QTest::newRow("log line, direction glued") << t + " RXF0EF";
    QTest::newRow("log line, no frame") << t + " RX";
    QTest::newRow("log line, quotes") << t + " RX \"q\" \\ F0EF";
    QTest::newRow("log line, non-ASCII frame") << t + " RX \xC3\xA9 F0EF";
    QTest::newRow("comment") << QByteArray(" \t# " + t + " noise: F0");
    QTest::newRow("blank") << QByteArray("   ");
    QTest::newRow("NUL bytes") << QByteArray("F0\0EF\0", 6);
    QTest::newRow("NUL in the time") << t.left(20) + QByteArray("\0", 1) + " RX F0EF";
    QTest::newRow("invalid UTF-8") << QByteArray("\xC3" "A\xFF F0EF\xED\xA0\x80 \xF0\x9F\x98");
    QTest::newRow("CRLF") << t + " TX AABBCC\r";
    QTest::newRow("long line") << a;
    QTest::newRow("long line, spaces around") << "  " + a + "  ";
    QTest::newRow("long log line") << t + " RX " + a;
    QTest::newRow("long log line, impossible time") << "2026-02-30T10:11:12.345Z TX " + a;
    QTest::newRow("long line, 0x everywhere") << QByteArray(QByteArray(63, 'b') + "0x1").repeated(3000);
    QTest::newRow("long line, odd digit first") << "7 " + a;
    QTest::newRow("long line, quotes") << QByteArray(100000, '"') + a;
    QTest::newRow("long line, non-ASCII") << QByteArray("\xC3\xA9").repeated(100000) + "F0EF";
    QTest::newRow("long line, invalid UTF-8") << QByteArray("A\xC3").repeated(100000);
    QTest::newRow("long line, tabs") << QByteArray(100000, '\t') + "F0EF\t";
    QByteArray controls;
    for (int c = 0; c < 0x20; ++c)
        controls += c == '\n' ? '"' : char(c);
    QTest::newRow("long line, control characters") << "\\\x7F" + controls.repeated(3000) + a;
    // Every control character but the line end, quotes, backslashes and non-ASCII text.
    QTest::newRow("control characters")
        << controls.mid(1).replace('"', "") + "\"\\/\x7F\xC3\xA9\xE2\x98\x83\xF0\x9D\x84\x9E B4 F3";
    QTest::newRow("long line, hex digits and spaces") << QByteArray("0a 1B\t2c 3D ").repeated(20000);
    QTest::newRow("long line, a frame of zeros") << QByteArray(100000, '0');
    QTest::newRow("long line, white space of other scripts around")
        << "\xC2\xA0\xE2\x80\x80 \x0B" + a + "\xE3\x80\x80\xC2\x85\x1F";
    QTest::newRow("long line, byte order mark first") << "\xEF\xBB\xBF" + a;
    QTest::newRow("long line, byte order mark inside") << a + "\xEF\xBB\xBF" + a;
    QTest::newRow("long line, noncharacters and four-byte characters")
        << QByteArray("\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xEF\xB7\x90").repeated(20000);
    QTest::newRow("long line, overlong") << a + "\xE0\x80\x80";
    QTest::newRow("long line, surrogate") << a + "\xED\xA0\x80";
    QTest::newRow("long line, beyond U+10FFFF") << a + "\xF4\x90\x80\x80";
    QTest::newRow("long line, cut short at its end") << a + "\xE2\x82";
    QTest::newRow("long log line, escapes") << t + " TX " + QByteArray("\"\\\t\xC3\xA9").repeated(30000);
}

void CliTest::linesReadAsTheirText()
{
    QFETCH(QByteArray, line);
    QByteArray text = line;
    if (text.endsWith('\r'))
        text.chop(1);
    const BusLogLine logged = parseBusLogLine(QString::fromUtf8(text.constData(), text.size()));
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    FrameReport r = catalogue.decodeText(logged.frameText);
    r.time = logged.time;
    r.direction = logged.direction;
    const bool comment = logged.kind == BusLogLine::Comment;
    for (const ReportStyle style : {ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json}) {
        QString expected;
        if (!comment)
            appendReport(style, r, expected);
        const QStringList options = style == ReportStyle::Json ? QStringList{"--json"}
            : style == ReportStyle::SingleLine                 ? QStringList{"--single-line"}
                                                               : QStringList();
        const Run run = kwnFrame(QStringList{"decode"} + options, line + '\n');
        QCOMPARE(run.exitCode, comment || r.parsed ? 0 : 1);
        QCOMPARE(run.outBytes.size(), expected.toUtf8().size());
        QVERIFY(run.outBytes == expected.toUtf8());
    }
}

void CliTest::plainFramesReadAsArguments_data()
{
    // A frame text given as an argument always takes the general way; the
    // same text as a line of standard input takes the plain-frame one when
    // it can. Both must write the same bytes.
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("wrongChecksum");
    QTest::addColumn<QString>("tag"); // the string Tag as a line shows it ("": not checked)
    QTest::newRow("zeros") << QByteArray(16, '\0') << false << "";
    QTest::newRow("negative, named, bits, string") << QByteArray::fromHex("80EFBEFEFF0105040302010941225C07") << false
                                                   << "A\"\\\\";
    QTest::newRow("unnamed value, odd string bytes, optional given")
        << QByteArray::fromHex("7F0100000009FFFFFFFFFFFF00E90101FF") << false << "\\x00\u00e9\\x01";
    QTest::newRow("signed named value missed") << QByteArray::fromHex("7F0100000009FFFFFFFFFFFF00E9010180") << false << "";
    // Tag holding control characters, escaped alike on both paths.
    QTest::newRow("string of control characters") << QByteArray::fromHex("80EFBEFEFF010504030201091B0D0A07") << false
                                                  << "\\x1B\\x0D\\x0A";
    QTest::newRow("string of escapes, padded") << QByteArray::fromHex("80EFBEFEFF010504030201095C0A0007") << false
                                               << "\\\\\\x0A";
    QTest::newRow("string of C1, a NUL inside") << QByteArray::fromHex("80EFBEFEFF010504030201099B008507") << false
                                                << "\\x9B\\x00\\x85";
    QTest::newRow("wrong checksum") << QByteArray(16, '\x11') << true << "\\x11\\x11\\x11";
    QTest::newRow("incomplete") << QByteArray::fromHex("0102030405") << false << "";
    QTest::newRow("no data") << QByteArray() << false << "";
}

void CliTest::plainFramesReadAsArguments()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, wrongChecksum);
    QFETCH(QString, tag);
    QByteArray frame = packFrame(0x21, true, quint8(data.size() + kFrameOverheadBytes), 3, 0, 0x123456, 0xFFFFFF, data);
    if (wrongChecksum)
        frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
    const QString text = frameToHexText(frame);
    const Catalogue catalogue(kMixedMessage, "Dev &quot;q&quot; \\ \xC3\xA9");
    for (const QStringList &options : {QStringList(), QStringList{"--single-line"}, QStringList{"--json"}}) {
        const Run argument = catalogue.run(QStringList{"decode"} + options + QStringList{text});
        const Run piped = catalogue.runWithInput(QStringList{"decode"} + options, text.toLatin1() + '\n');
        QCOMPARE(argument.exitCode, 0);
        QCOMPARE(piped.exitCode, 0);
        QVERIFY2(argument.out.contains(QLatin1String("Dev")), qPrintable(argument.out));
        QCOMPARE(piped.out, argument.out);
        // Whatever the strings hold, only JSON writes them raw (escaped its way).
        if (!options.contains(QLatin1String("--json")))
            QVERIFY2(!piped.out.contains(QRegularExpression(QStringLiteral("[\\x00\\x1B\\r\\x7F-\\x9F]"))), qPrintable(piped.out));
        if (options.contains(QLatin1String("--single-line")) && !tag.isEmpty())
            QVERIFY2(piped.out.contains("Tag=" + tag + ", ") || piped.out.endsWith("Tag=" + tag + '\n'), qPrintable(piped.out));
        // In a bus log line; a space after the frame sends it the general way,
        // and shows only in the input text.
        const QString logLine = QStringLiteral("2026-12-06T10:11:12.345Z TX ") + text;
        const Run timed = catalogue.runWithInput(QStringList{"decode"} + options, logLine.toLatin1() + '\n');
        Run spaced = catalogue.runWithInput(QStringList{"decode"} + options, logLine.toLatin1() + " \n");
        spaced.out.replace(text + QLatin1String(" \n"), text + QLatin1Char('\n'));
        spaced.out.replace(text + QLatin1String(" \""), text + QLatin1Char('"'));
        QVERIFY(timed.out.contains(QLatin1String("10:11:12.345Z")));
        QCOMPARE(timed.out, spaced.out);
        if (options.contains(QLatin1String("--json"))) {
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(piped.out.toUtf8(), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(o.value("device").toString(), QString::fromUtf8("Dev \"q\" \\ \xC3\xA9"));
            QCOMPARE(o.value("message").toString(), QString::fromUtf8("Mix \"A\" \\ \xC3\xA9\xE2\x98\x83\xF0\x9D\x84\x9E"));
            if (data.size() >= 16) {
                const QJsonArray parameters = o.value("parameters").toArray();
                QCOMPARE(parameters.at(0).toObject().value("name").toString(), QStringLiteral("Level\ttab"));
                QCOMPARE(parameters.at(1).toObject().value("name").toString(), QStringLiteral("Word \\ \"q\""));
                const QJsonArray bits = parameters.at(5).toObject().value("bits").toArray();
                QCOMPARE(bits.at(0).toObject().value("label").toString(), QStringLiteral("Bit 0: A\nline"));
                QCOMPARE(bits.at(1).toObject().value("label").toString(), QStringLiteral("Bit 3: B\\"));
                // The numbers read, a signed one with its sign; the string Tag has none.
                QCOMPARE(parameters.at(0).toObject().value("raw").toInt(0x7FFF), int(qint8(data.at(0))));
                QCOMPARE(parameters.at(5).toObject().value("raw").toInt(-1), int(quint8(data.at(11))));
                QVERIFY(!parameters.at(7).toObject().contains("raw"));
            }
        }
    }
}

void CliTest::checkReportsWhatItCannotReadAgain_data()
{
    QTest::addColumn<QByteArray>("doctype");
    QTest::addColumn<QByteArray>("parameters");
    QTest::addColumn<QString>("finding");
    QTest::addColumn<QString>("totals");
    // Written out again on its own, this message would hold more nodes than
    // any definition file may: check must judge the element it has.
    QByteArray many;
    for (int i = 0; i < 120000; ++i)
        many += "<p name=\"x\" type=\"integer\" size=\"1\"/>";
    QTest::newRow("120,000 one-byte parameters")
        << QByteArray() << many << "xml/p.xml:4: error: message 'M' needs 120000 data bytes; a frame carries at most 20"
        << "1 error(s), 1 warning(s)\n"; // and the pages show only the first 256
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // Qt 6's reader leaves a reference to an unread entity out altogether:
    // the message holds no parameter of no type, so there is nothing to report.
    QTest::newRow("reference to an external entity")
        << QByteArray("<!DOCTYPE profiles_def [ <!ENTITY ext SYSTEM \"outside.xml\"> ]>\n")
        << QByteArray("<p name=\"a\" type=\"integer\" size=\"1\"/>&ext;")
        << "" << "0 error(s), 0 warning(s)\n";
#else
    QTest::newRow("reference to an external entity")
        << QByteArray("<!DOCTYPE profiles_def [ <!ENTITY ext SYSTEM \"outside.xml\"> ]>\n")
        << QByteArray("<p name=\"a\" type=\"integer\" size=\"1\"/>&ext;")
        << "xml/p.xml:5: error: message 'M': the entity 'ext' is never read"
        << "1 error(s), 0 warning(s)\n";
#endif
}

void CliTest::checkReportsWhatItCannotReadAgain()
{
    QFETCH(QByteArray, doctype);
    QFETCH(QByteArray, parameters);
    QFETCH(QString, finding);
    QFETCH(QString, totals);
    const Catalogue catalogue("<message name=\"M\" category=\"C\" msg_id=\"0x10\">" + parameters + "</message>", "E", doctype);
    const Run run = catalogue.run({"check"});
    QVERIFY2(run.out.contains(finding), qPrintable(run.out));
    QVERIFY2(run.out.endsWith(totals), qPrintable(run.out));
    QCOMPARE(run.exitCode, totals.startsWith(QLatin1String("0 error")) ? 0 : 1);
    // Whatever the reader made of the message, no parameter of no type is left unreported.
    if (run.exitCode == 0)
        QVERIFY2(!catalogue.run({"list", "messages", "E"}).out.contains(QLatin1String("(no type)")), "a parameter of no type");
}

QTEST_GUILESS_MAIN(CliTest)
#include "clitest.moc"
