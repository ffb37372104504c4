// kwn-frame reading through pipes and FIFOs as from files, and monitor --pcap.

#include "capture/recordfile.h"
#include "cataloguefiles.h"
#include "toolrun.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(KWN_CLI_PATH);
const QString kXml = QStringLiteral(KWN_SOURCE_DIR "/xml");

} // namespace

class ConvertCliTest : public QObject
{
    Q_OBJECT

private slots:
    // Logs of 3 frames and of 2000 (twice the 64 KB a pipe holds), with
    // times to the µs, and the captures made of them.
    void readsPipesAndFifos_data()
    {
        QTest::addColumn<QStringList>("command"); // IN: the file read; OUT: a file written
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("via"); // "-", "/dev/stdin" or "fifo"
        QByteArray log;
        for (int i = 0; i < 2003; ++i) {
            log += QStringLiteral("2026-12-06T23:01:%1.%2Z RX F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20\n")
                       .arg(10 + i / 100).arg(i % 100 * 1000 + 7, 6, 10, QLatin1Char('0')).toLatin1();
            if (i == 2)
                QVERIFY(writeFile(m_dir.filePath(QStringLiteral("small.log")), log));
        }
        QVERIFY(writeFile(m_dir.filePath(QStringLiteral("large.log")), log));
        for (const char *name : {"small", "large"})
            QVERIFY(capture::convertToCapture(m_dir.filePath(QLatin1String(name) + ".log"),
                                              m_dir.filePath(QLatin1String(name) + ".pcap")).ok());
        const QStringList decode{"decode", "--xml", kXml, "--input", "IN"};
        const QStringList toLog{"convert", "IN", "OUT.log"};
        for (const char *file : {"small.log", "large.log", "small.pcap", "large.pcap"}) {
            for (const char *via : {"-", "/dev/stdin", "fifo"}) {
                QTest::addRow("decode %s %s", file, via) << decode << file << via;
                QTest::addRow("stats %s %s", file, via) << QStringList{"stats", "--xml", kXml, "IN"} << file << via;
                QTest::addRow("convert %s %s", file, via)
                    << (QByteArray(file).endsWith(".log") ? QStringList{"convert", "IN", "OUT.pcap"} : toLog) << file << via;
            }
        }
        QTest::newRow("decode --csv small.pcap -") << decode + QStringList{"--csv"} << "small.pcap" << "-";
        QTest::newRow("decode --json large.pcap fifo") << decode + QStringList{"--json"} << "large.pcap" << "fifo";
        QTest::newRow("convert large.log to log -") << toLog << "large.log" << "-";
        QTest::newRow("replay small.log -") << QStringList{"replay", "--port", "/no/such/port", "IN"} << "small.log" << "-";
    }
    // What a command makes of a file read through a pipe or FIFO is what
    // it makes of the file itself: every record, output and file written alike.
    void readsPipesAndFifos()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, file);
        QFETCH(QString, via);
        const QString path = m_dir.filePath(file);
        const QString fifo = m_dir.filePath(QStringLiteral("records.fifo"));
        const auto arguments = [&](const QString &in, const QString &out) {
            return QStringList(command).replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), in)
                .replaceInStrings(QRegularExpression(QStringLiteral("^OUT")), out);
        };
        const QString direct = m_dir.filePath(QStringLiteral("direct"));
        const QString piped = m_dir.filePath(QStringLiteral("piped"));
        const ToolRun expected = runTool(kTool, arguments(path, direct), m_dir.path());
        ToolRun run;
        if (via != QLatin1String("fifo")) {
            run = runTool(kTool, arguments(via, piped), m_dir.path(), readFile(path));
        } else {
            // The test holds the FIFO open until kwn-frame has it, so that
            // the writer is there when it opens it, then lets a writer
            // process go. Until its exec, the child holds the test's own
            // descriptors.
            QFile::remove(fifo);
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            const int hold = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
            QVERIFY(hold >= 0);
            QProcess tool;
            tool.start(kTool, arguments(fifo, piped));
            QTRY_COMPARE(QFileInfo(QStringLiteral("/proc/%1/exe").arg(tool.processId())).canonicalFilePath(),
                         QFileInfo(kTool).canonicalFilePath());
            const bool opened = waitUntilOpen(tool, fifo);
            QProcess writer;
            writer.setStandardOutputFile(fifo);
            writer.start(QStringLiteral("cat"), {path});
            writer.waitForStarted();
            ::close(hold);
            QVERIFY(opened);
            QVERIFY(writer.waitForFinished(30000));
            QVERIFY(tool.waitForFinished(30000));
            run = {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, tool.readAllStandardOutput(),
                   tool.readAllStandardError()};
        }
        QCOMPARE(run.exitCode, expected.exitCode);
        QCOMPARE(run.out, expected.out);
        QCOMPARE(run.err.replace(via == QLatin1String("-") ? "standard input" : via.toUtf8(), path.toUtf8())
                     .replace(fifo.toUtf8(), path.toUtf8()),
                 expected.err);
        if (command.last().startsWith(QLatin1String("OUT")))
            QCOMPARE(readFile(piped + command.last().mid(3)), readFile(direct + command.last().mid(3)));
        if (command.first() != QLatin1String("replay"))
            QVERIFY2(!run.out.isEmpty() || command.first() == QLatin1String("convert"), run.err.constData());
    }

    // A FIFO nobody writes into reads as empty at once, rather than
    // waiting for a writer for ever.
    void fifoWithoutWriterReadsEmpty()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("nobody.fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const ToolRun decoded = runTool(kTool, {"decode", "--input", fifo}, m_dir.path(), {}, 10000);
        QCOMPARE(decoded.exitCode, 0);
        QCOMPARE(decoded.out, QByteArray());
        const QString log = m_dir.filePath(QStringLiteral("nobody.log"));
        QCOMPARE(runTool(kTool, {"convert", fifo, log}, m_dir.path(), {}, 10000).exitCode, 0);
        QVERIFY(QFile::exists(log));
        QCOMPARE(readFile(log), QByteArray());
    }

    // monitor --pcap records what it prints: the same time and bytes.
    void monitorWritesCapture()
    {
        const QString raw = m_dir.filePath(QStringLiteral("raw.bin"));
        const QString pcap = m_dir.filePath(QStringLiteral("monitor.pcap"));
        const QString log = m_dir.filePath(QStringLiteral("monitor.log"));
        QVERIFY(writeFile(raw, QByteArray::fromHex("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20" "0102")));
        const ToolRun run = runTool(kTool, {"monitor", "--input", raw, "--pcap", pcap, "--single-line", "--xml", kXml});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(capture::convertToLog(pcap, log).ok());
        const QList<QByteArray> printed = run.out.split('\n');
        const QList<QByteArray> logged = readFile(log).split('\n');
        QCOMPARE(logged.size(), 3);
        QCOMPARE(logged.at(0), printed.at(0).left(printed.at(0).indexOf(" |")));
        QCOMPARE(logged.at(1), "# " + printed.at(1));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(ConvertCliTest)
#include "convertclitest.moc"
