// The command line as a user runs it: real processes of kwn-frame on the
// bundled catalogue and on a deliberately faulty one. Command lines and
// what they print are kept as golden transcripts (goldentest); here are the
// inputs too large for them.

#include "codec/buslog.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"
#include "toolrun.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// kwn-frame in `folder`; decoded strings may hold code 0: the output is
// converted whole, not up to a NUL.
ToolRun kwnFrame(const QStringList &arguments, const QByteArray &input = {},
                 const QString &folder = QStringLiteral(KWN_SOURCE_DIR))
{
    return runTool(QStringLiteral(KWN_CLI_PATH), arguments, folder, input);
}

// Lines of standard input that are hostile in every way a line can be:
// read from their bytes where they can be, each must give the report of the
// line converted to text, taken apart as a bus log line and decoded the
// general way.
QList<QByteArray> hostileLines()
{
    QList<QByteArray> lines;
    const QByteArray t = "2026-12-06T22:42:16.123Z";
    const QByteArray a(200000, 'A');
    lines << QByteArray("F0EF h\xC3\xA9llo 0x12 0X34");
    lines << QByteArray("\xD9\xA2\xD9\xA0\xD9\xA2\xD9\xA6-12-06T22:42:16.123Z RX F0EF");
    lines << QByteArray("2026-12-06T22:42:16\xC3\xA9 RX F0EF") << t + " RX F0EFAABBCC";
    lines << "  " + t + "\tTX \t0x12 0x34 " << QByteArray("2026-12-06T22:42:16.123+01:00 TX AABB");
    lines << QByteArray("2026-13-06T22:42:16.123Z RX F0EF");
    lines << QByteArray("2016-12-31T23:59:60.00Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");
    lines << QByteArray("0000-01-01T00:00:00.000Z TX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");
    lines << QByteArray("2026-02-30T10:11:12.345Z RX 0x12 0x34");
    lines << QByteArray("2026-12-06T10:11:12.345+99:99 RX F0EF") << QByteArray("1969-02-29T10:11:12.345Z RX F0EF");
    lines << QByteArray("2026-02-30T10:11:12\"Z TX F0EF") << QByteArray("2026-02-30T10:11:12\xC3\xA9 TX F0EF");
    lines << QByteArray("2026-02-30T10:11:12.345Z RX \xC3\xA9 F0EF") << t + " RXF0EF" << t + " RX";
    lines << t + " RX \"q\" \\ F0EF" << t + " RX \xC3\xA9 F0EF" << QByteArray(" \t# " + t + " noise: F0");
    lines << QByteArray("   ") << QByteArray("F0\0EF\0", 6) << t.left(20) + QByteArray("\0", 1) + " RX F0EF";
    lines << QByteArray("\xC3" "A\xFF F0EF\xED\xA0\x80 \xF0\x9F\x98") << t + " TX AABBCC\r" << a << "  " + a + "  ";
    lines << t + " RX " + a << "2026-02-30T10:11:12.345Z TX " + a;
    lines << QByteArray(QByteArray(63, 'b') + "0x1").repeated(3000) << "7 " + a << QByteArray(100000, '"') + a;
    lines << QByteArray("\xC3\xA9").repeated(100000) + "F0EF" << QByteArray("A\xC3").repeated(100000);
    lines << QByteArray(100000, '\t') + "F0EF\t";
    QByteArray controls;
    for (int c = 0; c < 0x20; ++c)
        controls += c == '\n' ? '"' : char(c);
    lines << "\\\x7F" + controls.repeated(3000) + a;
    // Every control character but the line end, quotes, backslashes and non-ASCII text.
    lines << controls.mid(1).replace('"', "") + "\"\\/\x7F\xC3\xA9\xE2\x98\x83\xF0\x9D\x84\x9E B4 F3";
    lines << QByteArray("0a 1B\t2c 3D ").repeated(20000) << QByteArray(100000, '0');
    lines << "\xC2\xA0\xE2\x80\x80 \x0B" + a + "\xE3\x80\x80\xC2\x85\x1F" << "\xEF\xBB\xBF" + a;
    lines << a + "\xEF\xBB\xBF" + a;
    lines << QByteArray("\xEF\xBF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xEF\xB7\x90").repeated(20000);
    lines << a + "\xE0\x80\x80" << a + "\xED\xA0\x80" << a + "\xF4\x90\x80\x80" << a + "\xE2\x82";
    lines << t + " TX " + QByteArray("\"\\\t\xC3\xA9").repeated(30000);
    return lines;
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void linesReadAsTheirText();
    // Hostile catalogues, written by the tests themselves.
    void checkReportsWhatItCannotReadAgain_data();
    void checkReportsWhatItCannotReadAgain();
};

// All the lines through one run a style.
void CliTest::linesReadAsTheirText()
{
    DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    for (const ReportStyle style : {ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json}) {
        QByteArray input;
        QString expected;
        bool failed = false;
        for (const QByteArray &line : hostileLines()) {
            input += line + '\n';
            const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
            const BusLogLine logged = parseBusLogLine(QString::fromUtf8(text.constData(), text.size()));
            if (logged.kind == BusLogLine::Comment)
                continue;
            FrameReport r = catalogue.decodeText(logged.frameText);
            r.time = logged.time;
            r.direction = logged.direction;
            appendReport(style, r, expected);
            failed = failed || !r.parsed;
        }
        const QStringList options = style == ReportStyle::Json ? QStringList{"--json"}
            : style == ReportStyle::SingleLine                 ? QStringList{"--single-line"}
                                                               : QStringList();
        const ToolRun run = kwnFrame(QStringList{"decode"} + options, input);
        QCOMPARE(run.exitCode, failed ? 1 : 0);
        QCOMPARE(run.out.size(), expected.toUtf8().size());
        QVERIFY(run.out == expected.toUtf8());
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
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("xml/p.xml")),
                      "<?xml version=\"1.0\"?>\n" + doctype + "<profiles_def>\n<profile product=\"E\" revision=\"1\" "
                      "node_type=\"3\"/>\n<message name=\"M\" category=\"C\" msg_id=\"0x10\">" + parameters
                          + "</message>\n</profiles_def>\n"));
    const ToolRun run = kwnFrame({"check"}, {}, dir.path());
    const QString out = QString::fromUtf8(run.out);
    QVERIFY2(out.contains(finding) && out.endsWith(totals), qPrintable(out));
    QCOMPARE(run.exitCode, totals.startsWith(QLatin1String("0 error")) ? 0 : 1);
    // Whatever the reader made of the message, no parameter of no type is left unreported.
    if (run.exitCode == 0)
        QVERIFY(!kwnFrame({"list", "messages", "E"}, {}, dir.path()).out.contains("(no type)"));
}

QTEST_GUILESS_MAIN(CliTest)
#include "clitest.moc"
