// kwn-frame monitor and send as a user runs them, on pseudo-terminals made by
// the test, and kwn-frame decode on bus logs and on what it reads while it runs.

#include "catalogue/catalogue.h"
#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/valueencoding.h"
#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "toolrun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

const QString kSource = QStringLiteral(KWN_SOURCE_DIR);
// A motor status of the sample drive: its last parameter is "Supply voltage".
const QByteArray kMotorStatus = "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20";

// Starts kwn-frame in the bundled catalogue's folder (or `folder`).
bool start(QProcess &process, const QStringList &arguments, const QString &folder = kSource)
{
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(KWN_CLI_PATH), arguments);
    return process.waitForStarted();
}

ToolRun run(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 30000)
{
    return runTool(QStringLiteral(KWN_CLI_PATH), arguments, kSource, input, timeoutMs);
}

// A frame of every bundled message that fits one, with its default values.
QVector<QByteArray> defaultFrames()
{
    QVector<QByteArray> frames;
    for (const BundledMessage &kind : bundledMessages()) {
        const QByteArray data = encodeParameters(kind.message, {});
        if (dataFitsFrame(data))
            frames << packFrame(kind.message.msgId, false, quint8(data.size() + kFrameOverheadBytes),
                                kind.nodeType, 0, 0x1A2B3C, 0x000001, data);
    }
    return frames;
}

// `count` bytes 00, 01, ... as hexadecimal text, in arguments of at most
// 100000 digits (one argument may not exceed 128 KiB).
QStringList hexArguments(int count, QByteArray *bytes)
{
    bytes->resize(count);
    for (int i = 0; i < count; ++i)
        (*bytes)[i] = char(i);
    const QString text = frameToHexText(*bytes);
    QStringList arguments;
    for (int at = 0; at < text.size(); at += 100000)
        arguments << text.mid(at, 100000);
    return arguments;
}

// Bytes the terminal holds that no reader took yet.
int unread(const PtyPair &pty)
{
    int count = 0;
    return ::ioctl(pty.slave, FIONREAD, &count) == 0 ? count : -1;
}


// Appends what the pipe `fd` holds now, without waiting; false at its end.
bool readAvailable(int fd, QByteArray *out)
{
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        out->append(buffer, int(n));
    return n < 0 && (errno == EAGAIN || errno == EINTR);
}

// The frame texts of single-line output ("TIME RX HEX | ..."), or the
// whole line for anything else.
QStringList printedFrames(const QByteArray &out)
{
    QStringList frames;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> words = line.split(' ');
        frames << QString::fromLatin1(words.value(1) == "RX" ? words.value(2) : line);
    }
    return frames;
}

} // namespace

class BusCliTest : public QObject
{
    Q_OBJECT

private slots:
    void monitorReplayPrintsAsDecode_data();
    void monitorReplayPrintsAsDecode();
    void monitorPrintsTimes_data();
    void monitorPrintsTimes();
    void monitorShowsFramesUntilItEnds_data();
    void monitorShowsFramesUntilItEnds();
    void monitorWaitsForItsOutput();
    void monitorHeldUpKeepsFramesWhole();
    void sendRefusesHugeTexts_data();
    void sendRefusesHugeTexts();
    void permissionDeniedNamesTheGroup();
    void decodeSeesCatalogueEdits();
    void decodeReadsLongLineInLinearTime();
};

void BusCliTest::monitorReplayPrintsAsDecode_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<bool>("fromStandardInput");
    QTest::newRow("blocks, file") << "" << false;
    QTest::newRow("single line, standard input") << "--single-line" << true;
    QTest::newRow("json, file") << "--json" << false;
}

// Each frame is printed exactly as decode prints it, after its time and RX.
void BusCliTest::monitorReplayPrintsAsDecode()
{
    QFETCH(QString, style);
    QFETCH(bool, fromStandardInput);
    const QVector<QByteArray> frames = defaultFrames();
    QByteArray capture = QByteArray::fromHex("00FF12");
    QStringList texts;
    for (const QByteArray &f : frames) {
        capture += f;
        texts << frameToHexText(f);
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("capture.bin"));
    QVERIFY(writeFile(file, capture));

    QStringList arguments{QStringLiteral("monitor"), QStringLiteral("--input"),
                          fromStandardInput ? QStringLiteral("-") : file};
    QStringList decodeArguments{QStringLiteral("decode")};
    if (!style.isEmpty()) {
        arguments << style;
        decodeArguments << style;
    }
    const ToolRun monitor = run(arguments, fromStandardInput ? capture : QByteArray());
    const ToolRun decode = run(decodeArguments + texts);
    QCOMPARE(monitor.exitCode, 0);
    QCOMPARE(decode.exitCode, 0);

    QByteArray expected = decode.out;
    QByteArray got = monitor.out;
    // Take away the time and direction the monitor adds.
    const QByteArray time = busLogTime(0).toLatin1();
    if (style == QLatin1String("--json")) {
        QList<QByteArray> lines = got.split('\n');
        QCOMPARE(QJsonDocument::fromJson(lines.at(0)).object().value("noise").toString(), QStringLiteral("00FF12"));
        lines.removeFirst();
        got.clear();
        for (const QByteArray &line : lines) {
            if (line.isEmpty())
                continue;
            QJsonObject o = QJsonDocument::fromJson(line).object();
            QCOMPARE(o.take("direction").toString(), QStringLiteral("RX"));
            QVERIFY(!o.take("time").toString().isEmpty());
            got += QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
        }
    } else {
        const QRegularExpression prefix(style.isEmpty()
                                            ? QStringLiteral("Time: +\\S+\\nDirection: +RX\\n")
                                            : QStringLiteral("(?m)^\\S+ RX "));
        QString text = QString::fromUtf8(got);
        const QRegularExpression noise(QStringLiteral("^\\S+Z noise: 00FF12\\n\\n?"));
        QVERIFY2(noise.match(text).hasMatch(), qPrintable(text.left(200)));
        text.remove(noise);
        text.remove(prefix);
        got = text.toUtf8();
    }
    QCOMPARE(got, expected);
}

void BusCliTest::monitorPrintsTimes_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("time"); // the shape of each time printed
    const QString date = QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d");
    QTest::newRow("milliseconds") << QStringList{"--single-line"} << date + QStringLiteral("\\.\\d{3}Z");
    QTest::newRow("precise") << QStringList{"--single-line", "--precise"} << date + QStringLiteral("\\.\\d{6}Z");
    QTest::newRow("precise, json") << QStringList{"--json", "--precise"} << date + QStringLiteral("\\.\\d{6}Z");
}

// Times to the millisecond, or to the µs with --precise, on every line.
void BusCliTest::monitorPrintsTimes()
{
    QFETCH(QStringList, options);
    QFETCH(QString, time);
    QByteArray capture = QByteArray::fromHex("00FF12");
    for (const QByteArray &f : defaultFrames())
        capture += f;
    const ToolRun monitor = run(QStringList{QStringLiteral("monitor"), QStringLiteral("--input"), QStringLiteral("-")}
                                    + options,
                                capture);
    QCOMPARE(monitor.exitCode, 0);
    const QList<QByteArray> lines = monitor.out.trimmed().split('\n');
    QCOMPARE(lines.size(), defaultFrames().size() + 1);
    const QRegularExpression shape(options.contains(QStringLiteral("--json"))
                                       ? QString(QStringLiteral("\"time\": ?\"") + time + QLatin1Char('"'))
                                       : QString(QLatin1Char('^') + time + QLatin1Char(' ')));
    for (const QByteArray &line : lines)
        QVERIFY2(shape.match(QString::fromUtf8(line)).hasMatch(), line.constData());
}

void BusCliTest::monitorShowsFramesUntilItEnds_data()
{
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<bool>("interrupted");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("outEnd");
    QTest::addColumn<QByteArray>("err");
    // Ctrl-C while a frame is half read: the part read comes out as noise.
    const QByteArray half = " noise: " + kMotorStatus.left(10) + "\n";
    QTest::newRow("piped capture, Ctrl-C") << true << true << 0 << half << QByteArray();
    QTest::newRow("port, Ctrl-C") << false << true << 0 << half << QByteArray();
    QTest::newRow("port, far end closed") << false << false << 1 << QByteArray() << QByteArray("removed");
}

// Each frame shows as it comes, before the monitor ends.
void BusCliTest::monitorShowsFramesUntilItEnds()
{
    QFETCH(bool, pipe);
    QFETCH(bool, interrupted);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, outEnd);
    QFETCH(QByteArray, err);
    PtyPair pty;
    QProcess monitor;
    QVERIFY(start(monitor, {"monitor", pipe ? "--input" : "--port", pipe ? "-" : pty.path, "--single-line"}));
    const QByteArray frame = QByteArray::fromHex(kMotorStatus);
    auto write = [&](const QByteArray &bytes) { return pipe ? monitor.write(bytes) == bytes.size() : pty.write(bytes); };
    if (!pipe)
        QTest::qWait(300); // let it open the port
    QVERIFY(write(frame));
    QByteArray out;
    readLines(monitor, out, 1);
    QVERIFY2(out.contains("Supply voltage=242"), out.constData());
    if (interrupted) {
        QVERIFY(write(frame.left(5)));
        QTest::qWait(100);
        QCOMPARE(interrupt(monitor, out), exitCode);
    } else {
        pty.closeMaster();
        QVERIFY(monitor.waitForFinished(10000));
        out += monitor.readAllStandardOutput();
        QCOMPARE(monitor.exitCode(), exitCode);
    }
    QVERIFY2(out.endsWith(outEnd), out.constData());
    QVERIFY(monitor.readAllStandardError().contains(err));
}

// Standard output that is not read for a while (a pipe of 4 KB) holds the
// monitor back rather than losing frames: once the output is read, every
// frame comes out, or standard error says how many were dropped and the
// exit status is 1.
void BusCliTest::monitorWaitsForItsOutput()
{
    constexpr int kFrames = 250000; // more than the connection keeps waiting
    QByteArray bytes;
    QStringList texts;
    for (int i = 0; i < kFrames; ++i) {
        const QByteArray frame = packFrame(0x21, false, kFrameOverheadBytes, 3, 0, quint32(i + 1), 2, QByteArray());
        bytes += frame;
        texts << frameToHexText(frame);
    }
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("out")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    const int outFd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(outFd >= 0);
    ::fcntl(outFd, F_SETPIPE_SZ, 4096);
    PtyPair pty;
    QProcess monitor;
    monitor.setStandardOutputFile(QFile::decodeName(fifo));
    QVERIFY(start(monitor, {"monitor", "--port", pty.path, "--single-line"}));
    const bool opened = waitUntilOpen(monitor, pty.path);
    QByteArray out;
    if (opened) {
        // A few frames first, so that the monitor waits on its output with
        // little taken; then nothing read from its output until the monitor
        // takes no more.
        qsizetype written = pty.writeUntilHeld(bytes.left(1000 * kFrameOverheadBytes), 0, 1500);
        QThread::msleep(300);
        written = pty.writeUntilHeld(bytes, written, 1500);
        QElapsedTimer timer, quiet;
        timer.start();
        quiet.start();
        while (timer.elapsed() < 120000 && (written < bytes.size() || quiet.elapsed() < 3000)
               && out.count('\n') < kFrames) {
            const int before = out.size();
            readAvailable(outFd, &out);
            if (out.size() != before)
                quiet.restart();
            written = pty.writeUntilHeld(bytes, written, 5);
            QThread::msleep(1);
        }
    }
    signalProcess(monitor, SIGINT);
    const bool ended = monitor.waitForFinished(10000);
    if (!ended) {
        monitor.kill();
        monitor.waitForFinished();
    }
    QElapsedTimer draining;
    draining.start();
    while (readAvailable(outFd, &out) && draining.elapsed() < 10000)
        QThread::msleep(1);
    ::close(outFd);
    QVERIFY(opened);
    QVERIFY(ended);
    const QByteArray err = monitor.readAllStandardError();
    const QStringList printed = printedFrames(out);
    const QRegularExpression dropped(QStringLiteral("(\\d+) frames or noise runs read from the port were "
                                                    "dropped in all"));
    const QRegularExpressionMatch match = dropped.match(QString::fromUtf8(err));
    if (match.hasMatch()) {
        QCOMPARE(monitor.exitCode(), 1);
        QCOMPARE(printed.size() + match.captured(1).toInt(), kFrames);
    } else {
        QVERIFY2(err.isEmpty(), err.constData());
        QCOMPARE(monitor.exitCode(), 0);
        QCOMPARE(printed.size(), kFrames);
        QVERIFY(printed == texts);
    }
}

// A monitor stopped by the system (SIGSTOP, SIGCONT 300 ms later) while a
// frame's halves arrive 30 ms apart does not take the time it was stopped
// for a pause on the line: every frame comes out whole.
void BusCliTest::monitorHeldUpKeepsFramesWhole()
{
    QVector<QByteArray> frames;
    QStringList texts;
    for (int i = 0; i < 12; ++i) {
        frames << packFrame(0x21, false, 16, 3, 0, quint32(0x100 + i), 2, QByteArray(5, char(i)));
        texts << frameToHexText(frames.last());
    }
    PtyPair pty;
    QProcess monitor;
    QVERIFY(start(monitor, {"monitor", "--port", pty.path, "--single-line"}));
    const pid_t pid = pid_t(monitor.processId());
    QVERIFY(waitUntilOpen(monitor, pty.path));
    QByteArray out;
    for (int round = 0; round < 6; ++round) {
        const QByteArray first = frames.at(2 * round);
        const QByteArray second = frames.at(2 * round + 1);
        // The monitor takes the first half, and is stopped at once.
        QVERIFY(pty.write(first.left(8)));
        QElapsedTimer stopped;
        stopped.start();
        while (unread(pty) > 0 && stopped.elapsed() < 5000)
            QThread::usleep(100);
        QThread::msleep(5); // read, and handed to the splitter
        ::kill(pid, SIGSTOP);
        stopped.restart();
        QTest::qWait(30);
        QVERIFY(pty.write(first.mid(8)));
        QTest::qWait(30);
        QVERIFY(pty.write(second.left(8)));
        QTest::qWait(30);
        QVERIFY(pty.write(second.mid(8)));
        QTest::qWait(int(qMax<qint64>(0, 300 - stopped.elapsed())));
        ::kill(pid, SIGCONT);
        QTest::qWait(50);
        out += monitor.readAllStandardOutput();
    }
    readLines(monitor, out, frames.size(), 5000);
    QCOMPARE(interrupt(monitor, out), 0);
    QCOMPARE(printedFrames(out), texts);
}

void BusCliTest::sendRefusesHugeTexts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("checked") << QStringList() << QByteArray("a frame is 11 to 31 bytes; this is 750000 bytes\n");
    QTest::newRow("--raw") << QStringList{"--raw"} << QByteArray("--raw sends at most 4096 bytes; this is 750000 bytes\n");
}

// Up to what one command line takes (2 MB with the environment); the other
// refusals are in tests/data/golden/send.cases.
void BusCliTest::sendRefusesHugeTexts()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, err);
    PtyPair pty;
    QVERIFY(pty.ok());
    QByteArray bytes;
    const ToolRun send = run(QStringList{"send", "--port", pty.path} + options + hexArguments(750000, &bytes));
    QCOMPARE(send.err, "kwn-frame: not sent: " + err);
    QCOMPARE(send.exitCode, 1);
    QCOMPARE(pty.read(1, 100), QByteArray());
}

// Run as another user where the machine allows it.
void BusCliTest::permissionDeniedNamesTheGroup()
{
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv to run the tool as a user without access");
    PtyPair pty;
    ::chmod(QFile::encodeName(pty.path).constData(), 0600);
    QProcess process;
    process.start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                              QStringLiteral(KWN_CLI_PATH), "send", "--port", pty.path,
                                              QString::fromLatin1(kMotorStatus)});
    QVERIFY(process.waitForFinished(30000));
    const QByteArray err = process.readAllStandardError();
    if (err.contains("setpriv") || err.contains("error while loading"))
        QSKIP("the tool cannot run as another user here");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains("Permission denied") && err.contains("dialout"), err.constData());
}

// A long-running decode sees the catalogue edited, then deleted.
void BusCliTest::decodeSeesCatalogueEdits()
{
    QTemporaryDir dir;
    QVERIFY(QProcess::execute(QStringLiteral("cp"), {"-r", kSource + QStringLiteral("/xml"), dir.path()}) == 0);
    QProcess decode;
    QVERIFY(start(decode, {"decode", "--single-line"}, dir.path()));
    QByteArray out;
    decode.write(kMotorStatus + "\n");
    readLines(decode, out, 1);

    const QString motor = dir.filePath(QStringLiteral("xml/standard/standard_motor_msg.xml"));
    QVERIFY(QProcess::execute(QStringLiteral("sed"), {"-i", "s/\"Supply voltage\"/\"Supply EDITED\"/", motor}) == 0);
    QTest::qWait(1100);
    decode.write(kMotorStatus + "\n");
    readLines(decode, out, 2);

    QVERIFY(QDir(dir.filePath(QStringLiteral("xml"))).removeRecursively());
    QTest::qWait(1100);
    decode.write(kMotorStatus + "\n");
    decode.closeWriteChannel();
    QVERIFY(decode.waitForFinished(10000));
    out += decode.readAllStandardOutput();
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).contains("Supply voltage=242"), lines.at(0).constData());
    QVERIFY2(lines.at(1).contains("Supply EDITED=242"), lines.at(1).constData());
    QVERIFY2(lines.at(2).contains("No product found"), lines.at(2).constData());
}

// 50 MB on one line through a pipe; the time limit only catches a hang (it
// took minutes when the reader searched the whole line after every chunk).
void BusCliTest::decodeReadsLongLineInLinearTime()
{
    const QByteArray line(50 * 1024 * 1024, 'A');
    const ToolRun r = run({"decode", "--single-line"}, line + "\n" + kMotorStatus + "\n", 120000);
    QCOMPARE(r.exitCode, 0);
    const QList<QByteArray> lines = r.out.split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith(QByteArray(line + " (checksum wrong) | ")));
    QVERIFY(lines.at(0).endsWith("| Unknown message"));
    QVERIFY(lines.at(1).contains("Supply voltage=242"));
}

QTEST_GUILESS_MAIN(BusCliTest)
#include "busclitest.moc"
