// Captures written and read back, files told apart by content, damaged ones
// refused, and logs turned into captures and back; kwn-frame reading through
// pipes and FIFOs as from files, and monitor --pcap.

#include "capture/capturefile.h"
#include "capture/recordfile.h"
#include "codec/buslogfile.h"
#include "cataloguefiles.h"
#include "support/busrecords.h"
#include "support/datarows.h"
#include "support/tablerows.h"
#include "toolrun.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(KWN_CLI_PATH);
const QString kXml = QStringLiteral(KWN_SOURCE_DIR "/xml");

const QByteArray kFrame = QByteArray::fromHex("FCF2FDFEFFFFFDFFFFB4FE0A94");

QString kindText(capture::RecordFileKind kind)
{
    return kind == capture::RecordFileKind::Capture ? QStringLiteral("capture") : QStringLiteral("log");
}

} // namespace

class CaptureFileTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data() { tablerows::addRows("capture/roundtrip.table"); }
    void roundTrip()
    {
        QFETCH(QByteArrayList, cells);
        const QVector<BusRecord> records = busRecords(QString::fromLatin1(cells.at(0)));
        const QString path = m_dir.filePath(QStringLiteral("round.pcap"));
        capture::CaptureWriter writer;
        QVERIFY2(writer.open(path), qPrintable(writer.errorText()));
        for (const BusRecord &record : records)
            QVERIFY2(writer.write(record), qPrintable(writer.errorText()));
        QVERIFY(writer.close());
        QCOMPARE(writer.recordsWritten(), quint64(records.size()));
        const capture::CaptureRead read = capture::readCapture(path);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(busRecordsText(read.records), busRecordsText(records));
        // The file itself: microseconds, USER0, the direction byte (0
        // received, 1 sent, 2 noise) before the bytes.
        const QByteArray bytes = readFile(path);
        QCOMPARE(bytes.left(4).toHex(), QByteArray("d4c3b2a1"));
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 20), 147u);
        QCOMPARE(int(bytes.at(24 + 16)), int(records.first().kind));
        QCOMPARE(bytes.mid(24 + 17, records.first().bytes.size()), records.first().bytes);
    }

    // Noise longer than a record holds is split; events are left out and
    // counted; times before 1970 or past 2106 are refused.
    void writerLimits()
    {
        const QByteArray noise = QByteArray::fromHex("00070E151C").repeated(14000);
        const QString path = m_dir.filePath(QStringLiteral("limits.pcap"));
        capture::CaptureWriter writer;
        QVERIFY(writer.open(path));
        QVERIFY(writer.write(eventRecord(10, QStringLiteral("Connected to /dev/ttyUSB0"))));
        QVERIFY(writer.write(busRecord(BusRecord::Noise, 42, noise)));
        for (qint64 timeUs : {qint64(-1), qint64(-86400) * 1000000, (0xFFFFFFFFLL + 1) * 1000000}) {
            QVERIFY(!writer.write(busRecord(BusRecord::Received, timeUs, kFrame)));
            QVERIFY2(writer.errorText().contains(QLatin1String("1970 to 2106")), qPrintable(writer.errorText()));
        }
        QVERIFY(writer.close());
        QCOMPARE(writer.eventsLeftOut(), quint64(1));
        const capture::CaptureRead read = capture::readCapture(path);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.records.size(), 2);
        QCOMPARE(read.records.at(0).bytes + read.records.at(1).bytes, noise);
        QCOMPARE(read.records.at(1).timeUs, qint64(42));
    }

    // Every file of tests/data/capture/files, told apart by its content
    // whatever its name, and read as far as it can be: what it gives and
    // why it is refused, in capture/files.golden.
    void filesRead()
    {
        const QDir folder(QStringLiteral(KWN_TEST_DATA "/capture/files"));
        QByteArray out;
        // What libpcap adds to its refusals is its own.
        static const QRegularExpression pcapWords(QStringLiteral("(not a whole capture: record \\d+|not a capture that can be read): .*"));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            const QString path = folder.filePath(name);
            const capture::RecordFileRead read = capture::readRecordFile(path);
            out += QStringLiteral("%1: %2, read as %3; %4 lines refused; records [%5] %6")
                       .arg(name, kindText(capture::recordFileKind(path)), kindText(read.kind))
                       .arg(read.refusedLines).arg(busRecordsText(read.records), QString(read.error).replace(path, QStringLiteral("<file>")))
                       .replace(pcapWords, QStringLiteral("\\1"))
                       .trimmed().toUtf8() + '\n';
        }
        compareGolden(QStringLiteral("capture/files.golden"), out);
    }

    // Whatever prefix of a capture is left, it is read whole up to a
    // record's end, and refused anywhere else; never read wrong.
    void everyTruncationRefused()
    {
        const QString whole = m_dir.filePath(QStringLiteral("whole.pcap"));
        capture::CaptureWriter writer;
        QVERIFY(writer.open(whole));
        for (const BusRecord &record : busRecords(QStringLiteral("rx@1000001:FEF2FDFEFFFFAEF3C59E9D098A "
                                                                 "noise@1000002:78797A tx@1000003:FDF4FDFEFFFFAEF3C50850")))
            QVERIFY(writer.write(record));
        QVERIFY(writer.close());
        const QByteArray bytes = readFile(whole);
        const QVector<int> ends = {24, 24 + 16 + 1 + 13, 24 + 2 * 16 + 1 + 13 + 1 + 3, 24 + 3 * 16 + 14 + 4 + 12};
        QCOMPARE(bytes.size(), ends.last());
        const QString cut = m_dir.filePath(QStringLiteral("cut.pcap"));
        for (int size = 4; size <= bytes.size(); ++size) {
            QVERIFY(writeFile(cut, bytes.left(size)));
            const capture::RecordFileRead read = capture::readRecordFile(cut);
            QVERIFY2(read.ok() == ends.contains(size), qPrintable(QStringLiteral("%1 bytes: %2").arg(size).arg(read.error)));
            QCOMPARE(read.records.size(), read.ok() ? ends.indexOf(size) : read.records.size());
        }
    }

    // The quick reading of common log lines gives what the log reader gives.
    void logLines_data() { tablerows::addRows("capture/loglines.table"); }
    void logLines()
    {
        QFETCH(QByteArrayList, cells);
        const QString path = m_dir.filePath(QStringLiteral("line.log"));
        QVERIFY(writeFile(path, cells.at(0) + '\n'));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const BusLogRead expected = readBusLog(file);
        const capture::RecordFileRead read = capture::readRecordFile(path);
        QCOMPARE(read.refusedLines, expected.refused);
        QCOMPARE(read.records.size(), expected.entries.size());
        for (int i = 0; i < read.records.size(); ++i) {
            QCOMPARE(int(read.records.at(i).kind), int(expected.entries.at(i).kind));
            QCOMPARE(read.records.at(i).bytes, expected.entries.at(i).bytes);
            // A time that is none: the line takes the time of reading.
            const qint64 nowUs = QDateTime::currentMSecsSinceEpoch() * 1000;
            if (expected.entries.at(i).hasTime)
                QCOMPARE(read.records.at(i).timeUs, expected.entries.at(i).timeUs);
            else
                QVERIFY(qAbs(read.records.at(i).timeUs - nowUs) < qint64(60) * 1000000);
        }
    }

    // A log made a capture comes back from it byte for byte, and makes the
    // same capture again; both read as the same records.
    void conversions_data() { tablerows::addRows("capture/conversions.table"); }
    void conversions()
    {
        QFETCH(QByteArrayList, cells);
        const QString log = m_dir.filePath(QStringLiteral("a.log")), back = m_dir.filePath(QStringLiteral("b.log"));
        const QString made = m_dir.filePath(QStringLiteral("a.pcap")), again = m_dir.filePath(QStringLiteral("b.pcap"));
        QVERIFY(writeFile(log, cells.at(0)));
        QVERIFY(capture::convertToCapture(log, made).ok());
        QVERIFY(capture::convertToLog(made, back).ok());
        QCOMPARE(readFile(back), cells.at(0));
        QVERIFY(capture::convertToCapture(back, again).ok());
        QCOMPARE(readFile(again), readFile(made));
        QCOMPARE(busRecordsText(capture::readRecordFile(made).records),
                 busRecordsText(capture::readRecordFile(log).records));
    }

    // Nothing is left behind when the file read is damaged, and no file is
    // converted into itself.
    void conversionsRefused()
    {
        const QString log = m_dir.filePath(QStringLiteral("one.log")), made = m_dir.filePath(QStringLiteral("one.pcap"));
        const QString out = m_dir.filePath(QStringLiteral("cut.log"));
        const QByteArray line = "2026-12-06T23:01:49.407Z RX FCF2FDFEFFFFFDFFFFB4FE0A94\n";
        QVERIFY(writeFile(log, line));
        QVERIFY(capture::convertToCapture(log, made).ok());
        QVERIFY(writeFile(made, readFile(made).chopped(2)));
        const capture::ConvertResult cut = capture::convertToLog(made, out);
        QVERIFY2(cut.error.startsWith(made + QStringLiteral(" is not a whole capture")), qPrintable(cut.error));
        QVERIFY(!QFile::exists(out));
        QVERIFY(!capture::convertToLog(log, log).ok());
        QVERIFY(!capture::convertToCapture(made, m_dir.path() + QStringLiteral("/./one.pcap")).ok());
        QCOMPARE(readFile(log), line);
    }

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
        const QString direct = m_dir.filePath(QStringLiteral("direct")), piped = m_dir.filePath(QStringLiteral("piped"));
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

QTEST_GUILESS_MAIN(CaptureFileTest)
#include "capturefiletest.moc"
