// kwn-frame convert, decode --input and monitor --pcap: logs and captures
// turned into each other without losing a record.

#include "toolrun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

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

QTEST_GUILESS_MAIN(ConvertCliTest)
#include "convertclitest.moc"
