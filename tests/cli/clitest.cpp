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
    void runs_data();
    void runs();
    void decodeMatchesExpectedFiles_data();
    void decodeMatchesExpectedFiles();
    void filterSelectsAlikeOnEveryPath_data();
    void filterSelectsAlikeOnEveryPath();
    void linesReadAsTheirText_data();
    void linesReadAsTheirText();
    void plainFramesReadAsArguments_data();
    void plainFramesReadAsArguments();
    void checkFaultyCatalogue_data();
    void checkFaultyCatalogue();

    // Hostile catalogues, written by the tests themselves.
    void checkReportsWhatItCannotReadAgain_data();
    void checkReportsWhatItCannotReadAgain();
    void namesWithPercentSigns_data();
    void namesWithPercentSigns();
    void strictJudgesDefaults_data();
    void strictJudgesDefaults();
};

// How a run's standard output is judged.
enum OutMatch { Contains, Whole, StartsWith };

void CliTest::runs_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("outMatch");
    QTest::addColumn<QString>("err"); // a part of standard error
    const QStringList drive{"encode", "--device", "QX-Drive 40", "--message"};
    const QStringList jog = drive + QStringList{"Jog"};
    const auto usage = [](const char *name, const QStringList &arguments, const char *complaint) {
        QTest::newRow(name) << arguments << 2 << "" << int(Whole) << complaint;
    };
    usage("no command", {}, "a command is needed");
    usage("unknown command", {"explode"}, "unknown command");
    usage("unknown option", {"decode", "--bogus"}, "bogus");
    usage("two output styles", {"decode", "--json", "--single-line", "00"}, "exclude");
    usage("encode without message", {"encode", "--device", "QX-Drive 40"}, "--message");
    usage("two addressing modes", drive + QStringList{"Stop", "--group", "000003", "--broadcast"}, "choose one");
    usage("format without ##", drive + QStringList{"Stop", "--format", "0x#"}, "##");
    usage("unknown parameter", jog + QStringList{"Speed=3"}, "no parameter");
    usage("unknown named value", jog + QStringList{"Direction=Sideways"}, "Up, Down");
    usage("letters in a decimal field", jog + QStringList{"Pulses=1e2"}, "decimal");
    usage("node ID too long", drive + QStringList{"Stop", "--source", "1234567"}, "six");
    usage("omit a required parameter", jog + QStringList{"--omit", "Pulses"}, "not optional");
    usage("list nothing", {"list"}, "what to list");
    usage("check with an argument", {"check", "extra"}, "no argument");

    QTest::newRow("version") << QStringList{"--version"} << 0 << "kwn-frame 2.0.0\n" << int(Whole) << "";
    QTest::newRow("version after a command") << QStringList{"decode", "--version"} << 0 << "kwn-frame 2.0.0\n"
                                             << int(Whole) << "";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Commands:" << int(Contains) << "";
    for (const char *command : {"decode", "encode", "list", "check"})
        QTest::addRow("%s --help", command) << QStringList{command, "--help"} << 0
                                            << QStringLiteral("Usage: kwn-frame ") + command << int(StartsWith) << "";

    // A frame that is read but names no device is reported in red, yet it was
    // not refused: the exit status stays 0.
    QTest::newRow("decode, no device") << QStringList{"decode", "--single-line", "BF F4 FF FE FF FF FD FF FF 08 A9"} << 0
                                       << "error: No product found for the node type set in this frame." << int(Contains)
                                       << "";

    // Jog: Direction (named, 1 byte) and Pulses (2 bytes); node type 2; id 0x04.
    const auto frame = [](bool ack, quint32 src, quint32 dst, const char *data, const char *format) -> QString {
        const QString hex = frameToHexText(packFrame(0x04, ack, 14, 0, 2, src, dst, QByteArray::fromHex(data)));
        const QString f = QString::fromLatin1(format);
        QString out;
        for (int i = 0; i < hex.size(); i += 2)
            out += f.section("##", 0, 0) + hex.mid(i, 2) + f.section("##", 1, 1);
        return out + '\n';
    };
    const auto encoded = [](const char *name, const QStringList &arguments, const QString &out) {
        QTest::newRow(name) << arguments << 0 << out << int(Whole) << "";
    };
    encoded("encode, defaults", jog, frame(false, 1, 2, "000A00", "## "));
    encoded("encode, named value by name and number", jog + QStringList{"Direction=Down", "Pulses=500"},
            frame(false, 1, 2, "01F401", "## "));
    encoded("encode, named value by position", jog + QStringList{"Direction=1"}, frame(false, 1, 2, "010A00", "## "));
    encoded("encode, group, ack and format", jog + QStringList{"--group", "00000A", "--ack", "--format", "0x##, "},
            frame(true, 0x0A, 0x000000, "000A00", "0x##, "));
    encoded("encode, broadcast keeps the source", jog + QStringList{"--broadcast", "--source", "ABCDEF", "--format", "##"},
            frame(false, 0xABCDEF, 0xFFFFFF, "000A00", "##"));
    // Out of range: warned, and the frame printed all the same; --strict refuses it.
    QTest::newRow("encode, out of range") << jog + QStringList{"Pulses=5000"} << 0 << "\n" << int(Contains)
                                          << "warning: Pulses = 5000";
    QTest::newRow("encode, out of range, strict") << jog + QStringList{"Pulses=5000", "--strict"} << 1 << "" << int(Whole)
                                                  << "error: Pulses = 5000";
    QTest::newRow("encode, bad destination") << jog + QStringList{"--destination", "ffffff"} << 0 << "\n" << int(Contains)
                                             << "destination ffffff is not a valid node ID";
    QTest::newRow("encode, mode not allowed") << jog + QStringList{"--broadcast"} << 0 << "\n" << int(Contains)
                                              << "does not allow broadcast";

    QTest::newRow("list devices") << QStringList{"list", "devices"} << 0 << "QX-Drive 40\tnode type 2\trevisions 10, 2"
                                  << int(Contains) << "";
    QTest::newRow("list revisions") << QStringList{"list", "revisions", "QX-Drive 40"} << 0 << "10\n2\n" << int(Whole) << "";
    const QStringList messages{"list", "messages", "QX-Drive 40"};
    QTest::newRow("list messages: Jog") << messages << 0 << "Jog\n  category Control, id 0x04, master, addressing P2P\n"
                                        << int(Contains) << "";
    QTest::newRow("list messages: named value") << messages << 0 << "      1 = Down\n" << int(Contains) << "";
    QTest::newRow("list messages: Post Node Info")
        << messages << 0 << "Post Node Info\n  category Identification, id 0x60, slave" << int(Contains) << "";
    QTest::newRow("list messages of nothing") << QStringList{"list", "messages", "Nothing"} << 1 << "" << int(Contains)
                                              << "";
    // --filter: a refused expression prints nothing and says where it fails.
    QTest::newRow("decode, filter refused")
        << QStringList{"decode", "--filter", "[Positon] > 5", "FCF2FDAEF3C5FAFFE1AAFE09D3"} << 2 << "" << int(Whole)
        << "kwn-frame: filter: no message has a parameter \"Positon\" (did you mean \"Position\"?) at column 1\n";
    QTest::newRow("decode, filter without value")
        << QStringList{"decode", "--json", "--filter", "device ==", "FCF2FDAEF3C5FAFFE1AAFE09D3"} << 2 << ""
        << int(Whole) << "kwn-frame: filter: expected a value after \"==\" at column 10\n";
    // Move To Position to 85 and to 20: only the first is over 50.
    QTest::newRow("decode, filter")
        << QStringList{"decode", "--single-line", "--filter", "[Position] > 50", "FCF2FDAEF3C5FAFFE1AAFE09D3",
                       "FCF2FDAEF3C5FAFFE1EBFE0A14"}
        << 0
        << "FCF2FDAEF3C5FAFFE1AAFE09D3 | Frame decoded successfully. | QX-Drive 40 | Point to point | "
           "3A0C51 -> 1E0005 | no ack | node type 0 | Move To Position | Position=85, Speed=Normal\n"
        << int(Whole) << "";
    QTest::newRow("decode --help names --filter") << QStringList{"decode", "--help"} << 0 << "--filter EXPR"
                                                  << int(Contains) << "";
    QTest::newRow("check the sample catalogue") << QStringList{"check"} << 0 << "0 error(s), 0 warning(s)\n" << int(Whole)
                                                << "";
}

void CliTest::runs()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(int, outMatch);
    QFETCH(QString, err);
    const Run run = kwnFrame(arguments);
    QCOMPARE(run.exitCode, exitCode);
    if (outMatch == Whole)
        QCOMPARE(run.out, out);
    else
        QVERIFY2(outMatch == Contains ? run.out.contains(out) : run.out.startsWith(out), qPrintable(run.out));
    QVERIFY2(run.err.contains(err), qPrintable(run.err));
}

void CliTest::decodeMatchesExpectedFiles_data()
{
    // The expected files hold what kwn-frame wrote for frames.log before its
    // plain frames got a path of their own: every frame of the bench log, odd
    // variants of two of them (wrong checksum, longer, shorter, spaced, "0x",
    // bus log lines, CRLF, control characters, non-ASCII), unknown devices and
    // messages, and junk.
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blocks") << QStringList() << "expected-blocks.txt";
    QTest::newRow("single line") << QStringList{"--single-line"} << "expected-single-line.txt";
    QTest::newRow("json") << QStringList{"--json"} << "expected-json.txt";
}

void CliTest::decodeMatchesExpectedFiles()
{
    QFETCH(QStringList, options);
    QFETCH(QString, expected);
    QFile log(QStringLiteral(KWN_TEST_DATA "/cli/decode/frames.log"));
    QFile wanted(QStringLiteral(KWN_TEST_DATA "/cli/decode/") + expected);
    QVERIFY(log.open(QIODevice::ReadOnly) && wanted.open(QIODevice::ReadOnly));
    const Run run = kwnFrame(QStringList{"decode"} + options, log.readAll());
    QCOMPARE(run.exitCode, 1); // some lines are no frame
    const QByteArray out = run.out.toUtf8();
    const QByteArray want = wanted.readAll();
    // The first differing line says more than the whole output.
    const QList<QByteArray> outLines = out.split('\n');
    const QList<QByteArray> wantLines = want.split('\n');
    for (int i = 0; i < qMin(outLines.size(), wantLines.size()); ++i)
        QVERIFY2(outLines.at(i) == wantLines.at(i), qPrintable(QString("line %1: %2").arg(i + 1).arg(QString::fromUtf8(outLines.at(i)))));
    QCOMPARE(out.size(), want.size());
    QVERIFY(out == want);
}

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

void CliTest::checkFaultyCatalogue_data()
{
    QTest::addColumn<QString>("finding");
    QTest::newRow("not well-formed") << "broken.xml:4: error: not well-formed XML";
    QTest::newRow("too deep") << "too_deep.xml: error: beyond what a definition file needs";
    QTest::newRow("no profile") << "stray_messages.xml: error: no <profile> element";
    QTest::newRow("missing standard file") << "good_1.xml:4: error: standard_motor_msg names no file";
    QTest::newRow("profile defined twice") << "good_1_again.xml:3: warning: device 'Good' revision '1' is also defined in xml/good_1.xml; this later file wins";
    QTest::newRow("node type of the controller") << "zero_type.xml:3: warning: node type 0 is the controller's";
    QTest::newRow("node type too wide") << "wide_type.xml:3: error: node type 31 does not fit";
    QTest::newRow("message defined twice") << "warning: message 'Dup' is defined twice";
    QTest::newRow("shared identifier") << "warning: messages 'Shared A' and 'Shared B' share id 0x20";
    QTest::newRow("unknown type") << "error: message 'Odd Type', parameter 'ratio': unknown type 'float'";
    QTest::newRow("wide integer") << "error: message 'Wide Int', parameter 'big': an integer of 6 bytes";
    QTest::newRow("min above max") << "error: message 'Min Above Max', parameter 'level': min is above max";
    QTest::newRow("default outside") << "warning: message 'Default Outside', parameter 'level': default is outside";
    QTest::newRow("no category") << "warning: message 'No Category' has no category";
    QTest::newRow("too long") << "error: message 'Too Long' needs 24 data bytes";
    QTest::newRow("bad identifier") << "error: message 'Bad Id': msg_id 'zz' is not a hexadecimal number";
}

void CliTest::checkFaultyCatalogue()
{
    QFETCH(QString, finding);
    const Run run = kwnFrame({"check", "--xml", "xml"}, {}, QStringLiteral(KWN_TEST_DATA "/cli/faulty"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(finding), qPrintable(run.out));
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

void CliTest::namesWithPercentSigns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QString>("text");
    const QStringList encode{"encode", "--device", "Dimmer %2 Pro", "--message", "Set %1 level"};
    QTest::newRow("list devices") << QStringList{"list", "devices"} << "out" << "Dimmer %2 Pro\tnode type 3\trevisions 1\n";
    QTest::newRow("list messages")
        << QStringList{"list", "messages", "Dimmer %2 Pro"} << "out"
        << "Set %1 level\n  category Light, id 0x11, master, addressing any\n"
           "    %1 level: integer, 1 byte, unsigned, decimal, min 0, max 100, default 0\n"
           "    %3 fade: integer, 6 bytes, unsigned, decimal, min 0, max 4294967295, default 0\n";
    QTest::newRow("check, message defined twice")
        << QStringList{"check"} << "out" << "warning: message 'Set %1 level' is defined twice (also line 4); this later one wins";
    QTest::newRow("check, parameter size")
        << QStringList{"check"} << "out" << "error: message 'Set %1 level', parameter '%3 fade': an integer of 6 bytes";
    QTest::newRow("encode, value out of range")
        << encode + QStringList{"%1 level=300"} << "err" << "warning: %1 level = 300 is not a number from 0 to 100";
}

void CliTest::namesWithPercentSigns()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, stream);
    QFETCH(QString, text);
    const Catalogue catalogue("<message name=\"Set %1 level\" category=\"Light\" msg_id=\"0x10\"/>\n"
                              "<message name=\"Set %1 level\" category=\"Light\" msg_id=\"0x11\">"
                              "<p name=\"%1 level\" type=\"integer\" size=\"1\" max=\"100\"/>"
                              "<p name=\"%3 fade\" type=\"integer\" size=\"6\"/></message>",
                              "Dimmer %2 Pro");
    const Run run = catalogue.run(arguments);
    const QString &output = stream == QLatin1String("out") ? run.out : run.err;
    QVERIFY2(output.contains(text), qPrintable(output));
}

void CliTest::strictJudgesDefaults_data()
{
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("error");
    QTest::newRow("min above max, default above both")
        << QByteArray("<p name=\"Level\" type=\"integer\" size=\"1\" min=\"200\" max=\"10\" default=\"300\"/>") << QStringList()
        << "Level = 300 (the default) is not a number from 200 to 10";
    QTest::newRow("signed default below the size")
        << QByteArray("<p name=\"Offset\" type=\"integer\" size=\"1\" sign=\"signed\" default=\"-129\"/>") << QStringList()
        << "Offset = -129 (the default) is not a number from -128 to 127";
    QTest::newRow("hidden, still in the frame")
        << QByteArray("<p name=\"Gain\" type=\"integer\" size=\"1\" max=\"9\" default=\"12\" display=\"no\"/>") << QStringList()
        << "Gain = 12 (the default) is not a number from 0 to 9";
    QTest::newRow("short string")
        << QByteArray("<p name=\"Tag\" type=\"string\" size=\"4\" default=\"AB\"/>") << QStringList()
        << "Tag = AB (the default) is not exactly 4 ASCII characters";
    QTest::newRow("hexadecimal default too wide")
        << QByteArray("<p name=\"Mask\" type=\"integer\" size=\"1\" input_format=\"hexa\" max=\"0x1FF\" default=\"0x1FF\"/>")
        << QStringList() << "Mask = 1FF (the default) has more than 2 hexadecimal digits";
    // The page judges a fresh hexadecimal field by its digits only.
    QTest::newRow("hexadecimal default out of range, black on the page")
        << QByteArray("<p name=\"Mask\" type=\"integer\" size=\"1\" input_format=\"hexa\" max=\"10\" default=\"0x20\"/>")
        << QStringList() << "";
    QTest::newRow("replaced by a valid value")
        << QByteArray("<p name=\"Gain\" type=\"integer\" size=\"1\" max=\"9\" default=\"12\"/>") << QStringList{"Gain=9"} << "";
    QTest::newRow("left out")
        << QByteArray("<p name=\"Gain\" type=\"integer\" size=\"1\" max=\"9\" default=\"12\" optional=\"yes\"/>")
        << QStringList{"--omit", "Gain"} << "";
}

void CliTest::strictJudgesDefaults()
{
    QFETCH(QByteArray, parameter);
    QFETCH(QStringList, values);
    QFETCH(QString, error);
    const Catalogue catalogue("<message name=\"MinMax\" category=\"C\" msg_id=\"0x10\">" + parameter + "</message>", "Vals");
    const Run run = catalogue.run(QStringList{"encode", "--device", "Vals", "--message", "MinMax", "--strict"} + values);
    if (error.isEmpty()) {
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
        QCOMPARE(run.exitCode, 0);
        return;
    }
    QCOMPARE(run.err, "kwn-frame: error: " + error + '\n');
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(CliTest)
#include "clitest.moc"
