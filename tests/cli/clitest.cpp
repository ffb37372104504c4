// The command line as a user runs it: real processes of kwn-frame on the
// bundled catalogue and on a deliberately faulty one. Command lines and
// what they print are kept as golden transcripts (goldentest); here are the
// inputs too large for them.

#include "codec/buslog.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"
#include "support/datarows.h"
#include "toolrun.h"

#include <QTemporaryDir>
#include <QtTest>

const QString kTool = QStringLiteral(KWN_CLI_PATH);

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    // The lines of cli/hostile-lines.txt, hostile in every way a line can be,
    // all through one run a style: each must give the report of the line
    // converted to text, taken apart as a bus log line and decoded the general way.
    void linesReadAsTheirText()
    {
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        const QList<QStringList> rows = readDataRows(QStringLiteral("cli/hostile-lines.txt"));
        for (const ReportStyle style : {ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json}) {
            QByteArray input;
            QString expected;
            bool failed = false;
            for (const QStringList &row : rows) {
                const QByteArray line = unescapedBytes(row.at(1));
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
            const ToolRun run = runTool(kTool, QStringList{"decode"} + options, KWN_SOURCE_DIR, input);
            QCOMPARE(run.exitCode, failed ? 1 : 0);
            QCOMPARE(run.out.size(), expected.toUtf8().size());
            QVERIFY(run.out == expected.toUtf8());
        }
    }

    // Hostile catalogues, written by the tests themselves.
    void checkReportsWhatItCannotReadAgain_data()
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
            << QByteArray() << many
            << "xml/p.xml:4: error: message 'M' needs 120000 data bytes; a frame carries at most 20"
            << "1 error(s), 1 warning(s)\n"; // and the pages show only the first 256
        // Qt 6's reader leaves a reference to an unread entity out altogether:
        // the message holds no parameter of no type, so there is nothing to report.
        const bool qt6 = QT_VERSION >= QT_VERSION_CHECK(6, 0, 0);
        QTest::newRow("reference to an external entity")
            << QByteArray("<!DOCTYPE profiles_def [ <!ENTITY ext SYSTEM \"outside.xml\"> ]>\n")
            << QByteArray("<p name=\"a\" type=\"integer\" size=\"1\"/>&ext;")
            << (qt6 ? QString() : QStringLiteral("xml/p.xml:5: error: message 'M': the entity 'ext' is never read"))
            << (qt6 ? "0 error(s), 0 warning(s)\n" : "1 error(s), 0 warning(s)\n");
    }
    void checkReportsWhatItCannotReadAgain()
    {
        QFETCH(QByteArray, doctype);
        QFETCH(QByteArray, parameters);
        QFETCH(QString, finding);
        QFETCH(QString, totals);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath(QStringLiteral("xml/p.xml")),
                          "<?xml version=\"1.0\"?>\n" + doctype + "<profiles_def>\n<profile product=\"E\" "
                          "revision=\"1\" node_type=\"3\"/>\n<message name=\"M\" category=\"C\" msg_id=\"0x10\">"
                              + parameters + "</message>\n</profiles_def>\n"));
        const ToolRun run = runTool(kTool, {"check"}, dir.path());
        const QString out = QString::fromUtf8(run.out);
        QVERIFY2(out.contains(finding) && out.endsWith(totals), qPrintable(out));
        QCOMPARE(run.exitCode, totals.startsWith(QLatin1String("0 error")) ? 0 : 1);
        // Whatever the reader made of the message, no parameter of no type is left unreported.
        if (run.exitCode == 0)
            QVERIFY(!runTool(kTool, {"list", "messages", "E"}, dir.path()).out.contains("(no type)"));
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "clitest.moc"
