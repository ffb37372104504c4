// kwn-frame convert, decode --input and monitor --pcap: logs and captures
// turned into each other without losing a record, read from files, pipes
// and FIFOs alike.

#include "toolrun.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(KWN_CLI_PATH);

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class ConvertCliTest : public QObject
{
    Q_OBJECT

private slots:
    void logComesBack_data();
    void logComesBack();
    void eventLinesLeftOut();
    void refusedLinesCounted();
    void damagedCaptureLeavesNoOutput();
    void wrongSuffixIsUsageError();
    void decodeInputReadsCaptures_data();
    void decodeInputReadsCaptures();
    void monitorWritesCapture();
    void readsPipesAndFifos_data();
    void readsPipesAndFifos();
    void fifoWithoutWriterReadsEmpty();

private:
    ToolRun convert(const QString &in, const QString &out)
    {
        return runTool(kTool, {QStringLiteral("convert"), in, out}, m_dir.path());
    }
    QTemporaryDir m_dir;
};

void ConvertCliTest::logComesBack_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::newRow("frames received and sent")
        << QByteArray("2026-12-06T23:01:49.407Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n"
                      "2026-12-06T23:01:49.435Z TX FCF2FDFEFFFFFDFFFFB4FE0A94\n");
    QTest::newRow("bad checksum and noise")
        << QByteArray("2026-12-06T23:01:49.407Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C21\n"
                      "# 2026-12-06T23:01:49.408Z noise: 00FF0102\n"
                      "2026-12-06T23:01:50.000Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n");
    QTest::newRow("microseconds") << QByteArray("2026-12-06T23:01:49.407001Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n"
                                                 "# 2026-12-06T23:01:49.407002Z noise: AA\n"
                                                 "2026-12-06T23:01:49.500000Z TX FCF2FDFEFFFFFDFFFFB4FE0A94\n");
    QTest::newRow("1970 and 2106") << QByteArray("1970-01-01T00:00:00.000Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n"
                                                 "2106-02-07T06:28:15.999Z TX FCF2FDFEFFFFFDFFFFB4FE0A94\n");
    QTest::newRow("noise only") << QByteArray("# 2026-12-06T23:01:49.408Z noise: 01\n");
}

// log -> capture -> log gives the log back, and capture -> log -> capture
// the capture, byte for byte.
void ConvertCliTest::logComesBack()
{
    QFETCH(QByteArray, log);
    const QString a = m_dir.filePath(QStringLiteral("a.log"));
    const QString b = m_dir.filePath(QStringLiteral("b.log"));
    const QString p = m_dir.filePath(QStringLiteral("a.pcap"));
    const QString q = m_dir.filePath(QStringLiteral("b.pcap"));
    QVERIFY(writeFile(a, log));
    ToolRun run = convert(a, p);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(readFile(p).startsWith(QByteArray::fromHex("D4C3B2A1")));
    run = convert(p, b);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(readFile(b), log);
    run = convert(b, q);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(readFile(q), readFile(p));
    QVERIFY(run.err.isEmpty());
}

void ConvertCliTest::eventLinesLeftOut()
{
    const QByteArray frames = "2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n"
                              "2026-12-06T23:01:49.600Z TX FCF2FDFEFFFFFDFFFFB4FE0A94\n";
    const QString a = m_dir.filePath(QStringLiteral("events.log"));
    QVERIFY(writeFile(a, "# 2026-12-06T23:01:49.000Z event: Connected to /dev/ttyUSB0\n" + frames
                             + "# 2026-12-06T23:01:50.000Z event: Disconnected\n"));
    ToolRun run = convert(a, m_dir.filePath(QStringLiteral("events.pcap")));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray("kwn-frame: 2 event lines left out: a capture holds no events\n"));
    run = convert(m_dir.filePath(QStringLiteral("events.pcap")), m_dir.filePath(QStringLiteral("back.log")));
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(readFile(m_dir.filePath(QStringLiteral("back.log"))), frames);
}

void ConvertCliTest::refusedLinesCounted()
{
    const QString a = m_dir.filePath(QStringLiteral("refused.log"));
    QVERIFY(writeFile(a, "2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\nnot a frame\nFCF2\n"));
    const ToolRun run = convert(a, m_dir.filePath(QStringLiteral("refused.pcap")));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QByteArray("2 lines of " + a.toUtf8() + " were no frame")), run.err.constData());
}

void ConvertCliTest::damagedCaptureLeavesNoOutput()
{
    const QString a = m_dir.filePath(QStringLiteral("good.log"));
    const QString p = m_dir.filePath(QStringLiteral("cut.pcap"));
    const QString out = m_dir.filePath(QStringLiteral("cut.log"));
    QVERIFY(writeFile(a, "2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n"));
    QCOMPARE(convert(a, p).exitCode, 0);
    QVERIFY(writeFile(p, readFile(p).chopped(2)));
    const ToolRun run = convert(p, out);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith(QByteArray("kwn-frame: " + p.toUtf8() + " is not a whole capture")), run.err.constData());
    QVERIFY(!QFile::exists(out));
}

void ConvertCliTest::wrongSuffixIsUsageError()
{
    const QString a = m_dir.filePath(QStringLiteral("x.log"));
    QVERIFY(writeFile(a, "2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n"));
    const ToolRun run = convert(a, m_dir.filePath(QStringLiteral("x.txt")));
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.err.contains("ends neither in .pcap nor in .log"));
    QCOMPARE(convert(a, a).exitCode, 1);
}

void ConvertCliTest::decodeInputReadsCaptures_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("blocks") << QString();
    QTest::newRow("single line") << QStringLiteral("--single-line");
    QTest::newRow("json") << QStringLiteral("--json");
    QTest::newRow("csv") << QStringLiteral("--csv");
}

// A capture decodes as the log made of it does, read from standard input.
void ConvertCliTest::decodeInputReadsCaptures()
{
    QFETCH(QString, style);
    const QByteArray log = "2026-12-06T23:01:49.407123Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n"
                           "# 2026-12-06T23:01:49.408000Z noise: 0102\n"
                           "2026-12-06T23:01:49.435000Z TX FCF2FDFEFFFFFDFFFFB4FE0A95\n";
    const QString a = m_dir.filePath(QStringLiteral("decode.log"));
    const QString p = m_dir.filePath(QStringLiteral("decode.capture"));
    QVERIFY(writeFile(a, log));
    QCOMPARE(convert(a, m_dir.filePath(QStringLiteral("decode.pcap"))).exitCode, 0);
    QFile::remove(p);
    QVERIFY(QFile::rename(m_dir.filePath(QStringLiteral("decode.pcap")), p));
    const QString xml = QStringLiteral(KWN_SOURCE_DIR "/xml");
    QStringList arguments{QStringLiteral("decode"), QStringLiteral("--xml"), xml};
    if (!style.isEmpty())
        arguments << style;
    const ToolRun fromStdin = runTool(kTool, arguments, m_dir.path(), log);
    const ToolRun fromCapture = runTool(kTool, arguments + QStringList{QStringLiteral("--input"), p}, m_dir.path());
    const ToolRun fromLog = runTool(kTool, arguments + QStringList{QStringLiteral("--input"), a}, m_dir.path());
    QCOMPARE(fromCapture.exitCode, 0);
    QVERIFY(fromStdin.out.contains("Post Motor Status"));
    QCOMPARE(fromCapture.out, fromStdin.out);
    QCOMPARE(fromLog.out, fromStdin.out);
    QCOMPARE(runTool(kTool, arguments + QStringList{QStringLiteral("--input"), p, QStringLiteral("FCF2")}).exitCode, 2);
}

void ConvertCliTest::monitorWritesCapture()
{
    const QString raw = m_dir.filePath(QStringLiteral("raw.bin"));
    const QString p = m_dir.filePath(QStringLiteral("monitor.pcap"));
    QVERIFY(writeFile(raw, QByteArray::fromHex("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20" "0102")));
    const ToolRun run = runTool(kTool, {QStringLiteral("monitor"), QStringLiteral("--input"), raw, QStringLiteral("--pcap"),
                                        p, QStringLiteral("--single-line"), QStringLiteral("--xml"),
                                        QStringLiteral(KWN_SOURCE_DIR "/xml")});
    QCOMPARE(run.exitCode, 0);
    const ToolRun back = convert(p, m_dir.filePath(QStringLiteral("monitor.log")));
    QCOMPARE(back.exitCode, 0);
    const QList<QByteArray> printed = run.out.split('\n');
    const QList<QByteArray> logged = readFile(m_dir.filePath(QStringLiteral("monitor.log"))).split('\n');
    QCOMPARE(logged.size(), 3);
    // The same time and bytes as printed.
    QCOMPARE(logged.at(0), printed.at(0).left(printed.at(0).indexOf(" |")));
    QCOMPARE(logged.at(1), "# " + printed.at(1));
    const ToolRun refused = runTool(kTool, {QStringLiteral("monitor"), QStringLiteral("--input"), raw,
                                            QStringLiteral("--pcap"), m_dir.filePath(QStringLiteral("no/such/x.pcap"))});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY(refused.err.contains("cannot write"));
}

// Logs of 3 frames and of 2000 (twice the 64 KB a pipe holds), with times
// to the µs, and the captures made of them.
void ConvertCliTest::readsPipesAndFifos_data()
{
    QTest::addColumn<QStringList>("command"); // IN: the file read; OUT: a file written
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("via"); // "-", "/dev/stdin" or "fifo"
    const QByteArray frame = " RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n";
    QByteArray small;
    QByteArray large;
    for (int i = 0; i < 2000; ++i)
        (i < 3 ? small : large) += QStringLiteral("2026-12-06T23:01:%1.%2Z").arg(10 + i / 100).arg(i % 100 * 1000 + 7,
                                                                                                   6, 10, QChar('0'))
                                       .toLatin1()
            + frame;
    large.prepend(small);
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("small.log")), small));
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("large.log")), large));
    for (const char *name : {"small", "large"}) {
        const QString log = m_dir.filePath(QLatin1String(name) + ".log");
        QCOMPARE(convert(log, m_dir.filePath(QLatin1String(name) + ".pcap")).exitCode, 0);
    }
    const QString xml = QStringLiteral(KWN_SOURCE_DIR "/xml");
    const QStringList decode{QStringLiteral("decode"), QStringLiteral("--xml"), xml, QStringLiteral("--input"),
                             QStringLiteral("IN")};
    const QStringList stats{QStringLiteral("stats"), QStringLiteral("--xml"), xml, QStringLiteral("IN")};
    const QStringList toLog{QStringLiteral("convert"), QStringLiteral("IN"), QStringLiteral("OUT.log")};
    const QStringList toCapture{QStringLiteral("convert"), QStringLiteral("IN"), QStringLiteral("OUT.pcap")};
    const QStringList replay{QStringLiteral("replay"), QStringLiteral("--port"), QStringLiteral("/no/such/port"),
                             QStringLiteral("IN")};
    for (const char *file : {"small.log", "large.log", "small.pcap", "large.pcap"}) {
        for (const char *via : {"-", "/dev/stdin", "fifo"}) {
            const QString f = QLatin1String(file);
            QTest::addRow("decode %s %s", file, via) << decode << f << via;
            QTest::addRow("stats %s %s", file, via) << stats << f << via;
            QTest::addRow("convert %s %s", file, via) << (f.endsWith(".log") ? toCapture : toLog) << f << via;
        }
    }
    QTest::newRow("decode --csv small.pcap -") << decode + QStringList{QStringLiteral("--csv")}
                                               << QStringLiteral("small.pcap") << QStringLiteral("-");
    QTest::newRow("decode --json large.pcap fifo") << decode + QStringList{QStringLiteral("--json")}
                                                   << QStringLiteral("large.pcap") << QStringLiteral("fifo");
    QTest::newRow("convert large.log to log -") << toLog << QStringLiteral("large.log") << QStringLiteral("-");
    QTest::newRow("replay small.log -") << replay << QStringLiteral("small.log") << QStringLiteral("-");
}

// What a command makes of a file read through a pipe or FIFO is what it
// makes of the file itself: every record, output and file written alike.
void ConvertCliTest::readsPipesAndFifos()
{
    QFETCH(QStringList, command);
    QFETCH(QString, file);
    QFETCH(QString, via);
    const QString path = m_dir.filePath(file);
    const auto arguments = [&](const QString &in, const QString &out) {
        QStringList list = command;
        list.replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), in);
        list.replaceInStrings(QRegularExpression(QStringLiteral("^OUT")), out);
        return list;
    };
    const QString direct = m_dir.filePath(QStringLiteral("direct"));
    const QString piped = m_dir.filePath(QStringLiteral("piped"));
    const ToolRun expected = runTool(kTool, arguments(path, direct), m_dir.path());
    ToolRun run;
    if (via != QLatin1String("fifo")) {
        run = runTool(kTool, arguments(via, piped), m_dir.path(), readFile(path));
    } else {
        // The test holds the FIFO open until kwn-frame has it, so that the
        // writer is there when it opens it, then lets a writer process go.
        // Until its exec, the child holds the test's own descriptors.
        const QString fifo = m_dir.filePath(QStringLiteral("records.fifo"));
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int hold = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(hold >= 0);
        QProcess tool;
        tool.start(kTool, arguments(fifo, piped));
        const QString exe = QStringLiteral("/proc/%1/exe").arg(tool.processId());
        QTRY_COMPARE(QFileInfo(exe).canonicalFilePath(), QFileInfo(kTool).canonicalFilePath());
        const bool opened = waitUntilOpen(tool, fifo);
        QProcess writer;
        writer.setStandardOutputFile(fifo);
        writer.start(QStringLiteral("cat"), {path});
        writer.waitForStarted();
        ::close(hold);
        QVERIFY(opened);
        QVERIFY(writer.waitForFinished(30000));
        QVERIFY(tool.waitForFinished(30000));
        run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
        run.out = tool.readAllStandardOutput();
        run.err = tool.readAllStandardError();
    }
    QCOMPARE(run.exitCode, expected.exitCode);
    QCOMPARE(run.out, expected.out);
    QCOMPARE(run.err.replace(via == QLatin1String("-") ? "standard input" : via.toUtf8(), path.toUtf8())
                 .replace(m_dir.filePath(QStringLiteral("records.fifo")).toUtf8(), path.toUtf8()),
             expected.err);
    if (command.last().startsWith(QLatin1String("OUT")))
        QCOMPARE(readFile(piped + command.last().mid(3)), readFile(direct + command.last().mid(3)));
    if (command.first() != QLatin1String("replay"))
        QVERIFY2(!run.out.isEmpty() || command.first() == QLatin1String("convert"), run.err.constData());
}

// A FIFO nobody writes into reads as empty at once, rather than waiting
// for a writer for ever.
void ConvertCliTest::fifoWithoutWriterReadsEmpty()
{
    const QString fifo = m_dir.filePath(QStringLiteral("nobody.fifo"));
    QFile::remove(fifo);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ToolRun decoded = runTool(kTool, {QStringLiteral("decode"), QStringLiteral("--input"), fifo}, m_dir.path(),
                                    QByteArray(), 10000);
    QCOMPARE(decoded.exitCode, 0);
    QCOMPARE(decoded.out, QByteArray());
    const ToolRun converted =
        runTool(kTool, {QStringLiteral("convert"), fifo, m_dir.filePath(QStringLiteral("nobody.log"))}, m_dir.path(),
                QByteArray(), 10000);
    QCOMPARE(converted.exitCode, 0);
    QCOMPARE(readFile(m_dir.filePath(QStringLiteral("nobody.log"))), QByteArray());
}

QTEST_GUILESS_MAIN(ConvertCliTest)
#include "convertclitest.moc"
