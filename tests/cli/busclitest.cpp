// kwn-frame monitor, send and replay as a user runs them, where a live line
// or the clock matters: on pseudo-terminals made by the test. What they print
// and refuse on their own is in tests/data/golden/{bus,send,replay}.cases.

#include "codec/frame.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "toolrun.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A motor status of the sample drive (its last parameter: Supply voltage
// 242); the frames replayed are it, a 13-byte frame, and the two again with
// their checksums wrong (sent as logged).
const QByteArray kMotorStatus = "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20";
const QByteArray kFrames[] = {kMotorStatus, "FCF2FDFEFFFFFDFFFFB4FE0A94", "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C21",
                              "FCF2FDFEFFFFFDFFFFB4FE0A95"};

// kwn-frame `arguments`, started in the bundled catalogue's folder.
bool start(QProcess &process, const QStringList &arguments)
{
    process.setWorkingDirectory(QStringLiteral(KWN_SOURCE_DIR));
    process.start(QStringLiteral(KWN_CLI_PATH), arguments);
    return process.waitForStarted();
}

// A log in `dir` of frames 0, 1, 2, 3, 0, ... (RX and TX in turn) at the
// given ms after 2026-12-06T23:00:00Z.
QString logAt(const QTemporaryDir &dir, const QVector<qint64> &ms)
{
    const QDateTime base(QDate(2026, 12, 6), QTime(23, 0), Qt::UTC);
    QByteArray log;
    for (int i = 0; i < ms.size(); ++i)
        log += base.addMSecs(ms.at(i)).toString(Qt::ISODateWithMs).toLatin1() + (i % 2 ? " TX " : " RX ")
            + kFrames[i % 4] + '\n';
    const QString path = dir.filePath(QStringLiteral("bus.log"));
    return writeFile(path, log) ? path : QString();
}

QByteArray bytesOf(const QVector<int> &frames)
{
    QByteArray bytes;
    for (int i : frames)
        bytes += QByteArray::fromHex(kFrames[i]);
    return bytes;
}

// Reads the master side until `frames` came or time ran out; notes when
// each frame's last byte was read, on `clock`.
QByteArray readFrames(const PtyPair &pty, const QVector<int> &frames, const QElapsedTimer &clock,
                      QVector<qint64> &endsMs)
{
    QByteArray bytes;
    qsizetype end = 0;
    for (int next = 0; next < frames.size() && clock.elapsed() < 15000;) {
        bytes += pty.read(1, 1);
        for (; next < frames.size() && bytes.size() >= end + kFrames[frames.at(next)].size() / 2; ++next) {
            end += kFrames[frames.at(next)].size() / 2;
            endsMs << clock.elapsed();
        }
    }
    return bytes;
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

} // namespace

class BusCliTest : public QObject
{
    Q_OBJECT

private slots:
    void monitorShowsFramesUntilItEnds_data()
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
    void monitorShowsFramesUntilItEnds()
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
        auto write = [&](const QByteArray &b) { return pipe ? monitor.write(b) == b.size() : pty.write(b); };
        QVERIFY(pipe || waitUntilOpen(monitor, pty.path));
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
            QCOMPARE(finish(monitor, 10000), exitCode);
            out += monitor.readAllStandardOutput();
        }
        QVERIFY2(out.endsWith(outEnd), out.constData());
        QVERIFY(monitor.readAllStandardError().contains(err));
    }

    // Standard output that is not read for a while (a pipe of 4 KB) holds the
    // monitor back rather than losing frames: once the output is read, every
    // frame comes out, or standard error says how many were dropped and the
    // exit status is 1.
    void monitorWaitsForItsOutput()
    {
        constexpr int kFrames = 250000; // more than the connection keeps waiting
        QByteArray bytes;
        QByteArray texts;
        for (int i = 0; i < kFrames; ++i) {
            const QByteArray frame = packFrame(0x21, false, kFrameOverheadBytes, 3, 0, quint32(i + 1), 2, QByteArray());
            bytes += frame;
            // Two appends: one of a string builder reserves just its own size,
            // and a realloc that always moves (the sanitizers') makes it square.
            texts += frameToHexText(frame).toLatin1();
            texts += '\n';
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
        const int status = interrupt(monitor, out);
        QElapsedTimer draining;
        draining.start();
        while (readAvailable(outFd, &out) && draining.elapsed() < 10000)
            QThread::msleep(1);
        ::close(outFd);
        QVERIFY(opened);
        // The frame texts of the lines ("TIME RX HEX | ...").
        static const QRegularExpression line(QStringLiteral("(?m)^\\S+ RX (\\S+) \\|[^\\n]*$"));
        const QByteArray printed = QString::fromLatin1(out).replace(line, QStringLiteral("\\1")).toLatin1();
        const QRegularExpressionMatch dropped =
            QRegularExpression(QStringLiteral("(\\d+) frames or noise runs read from the port were dropped in all"))
                .match(QString::fromUtf8(monitor.readAllStandardError()));
        QCOMPARE(status, dropped.hasMatch() ? 1 : 0);
        QCOMPARE(printed.count('\n') + (dropped.hasMatch() ? dropped.captured(1).toInt() : 0), kFrames);
        QVERIFY(dropped.hasMatch() || printed == texts);
    }

    void sendRefusesHugeTexts_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("checked") << QStringList() << QByteArray("a frame is 11 to 31 bytes; this is 750000 bytes\n");
        QTest::newRow("--raw") << QStringList{"--raw"}
                               << QByteArray("--raw sends at most 4096 bytes; this is 750000 bytes\n");
    }
    // Up to what one command line takes (2 MB with the environment), in
    // arguments of 100000 digits (one may not exceed 128 KiB); the other
    // refusals are in tests/data/golden/send.cases.
    void sendRefusesHugeTexts()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, err);
        PtyPair pty;
        QStringList arguments{"send", "--port", pty.path};
        const QString text = QString(QStringLiteral("0123456789ABCDEF")).repeated(750000 / 8);
        for (int at = 0; at < text.size(); at += 100000)
            arguments << text.mid(at, 100000);
        const ToolRun send = runTool(QStringLiteral(KWN_CLI_PATH), arguments + options);
        QCOMPARE(send.err, "kwn-frame: not sent: " + err);
        QCOMPARE(send.exitCode, 1);
        QCOMPARE(pty.read(1, 100), QByteArray());
    }

    // Run as another user where the machine allows it.
    void permissionDeniedNamesTheGroup()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("needs root and setpriv to run the tool as a user without access");
        PtyPair pty;
        ::chmod(QFile::encodeName(pty.path).constData(), 0600);
        const ToolRun send = runTool(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                                                QStringLiteral(KWN_CLI_PATH), "send", "--port",
                                                                pty.path, QString::fromLatin1(kMotorStatus)});
        if (send.err.contains("setpriv") || send.err.contains("error while loading"))
            QSKIP("the tool cannot run as another user here");
        QCOMPARE(send.exitCode, 1);
        QVERIFY2(send.err.contains("Permission denied") && send.err.contains("dialout"), send.err.constData());
    }

    void replayKeepsTheLogsPace_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QVector<qint64>>("logMs");
        QTest::addColumn<QVector<int>>("frames");
        QTest::addColumn<QVector<qint64>>("dueMs");
        const QVector<int> all{0, 1, 2, 3};
        const QVector<qint64> due{0, 250, 400, 900};
        QTest::newRow("1x") << QStringList{"--speed", "1"} << QVector<qint64>{0, 250, 400, 900} << all << due;
        QTest::newRow("10x") << QStringList{"--speed", "10"} << QVector<qint64>{0, 2500, 4000, 9000} << all << due;
        // Each pass of a loop keeps the log's spacing, 200 ms between its TX frames.
        QTest::newRow("loop") << QStringList{"--loop", "--only", "TX"} << QVector<qint64>{0, 100, 200, 300}
                              << QVector<int>{1, 3, 1, 3, 1, 3} << QVector<qint64>{0, 200, 200, 400, 400, 600};
        // A pass takes at least its frames' time on the line: the 13 bytes of
        // a one-frame log take 108.3 ms at 1200 baud, 8N1.
        QTest::newRow("loop at 1200 baud") << QStringList{"--only", "TX", "--baud", "1200", "--loop"}
                                           << QVector<qint64>{0, 0} << QVector<int>{1, 1, 1, 1}
                                           << QVector<qint64>{0, 108, 216, 325};
    }
    // No frame before its time, counted from the start of the tool (the first
    // frame cannot have gone earlier), and none grossly late (a second) after
    // the first: sound however late a loaded machine lets this test read.
    void replayKeepsTheLogsPace()
    {
        QFETCH(QStringList, options);
        QFETCH(QVector<qint64>, logMs);
        QFETCH(QVector<int>, frames);
        QFETCH(QVector<qint64>, dueMs);
        PtyPair pty;
        QTemporaryDir dir;
        QProcess tool;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(start(tool, QStringList{"replay", "--port", pty.path} + options << logAt(dir, logMs)));
        QVector<qint64> endsMs;
        const QByteArray came = readFrames(pty, frames, clock, endsMs);
        QByteArray out;
        QCOMPARE(interrupt(tool, out), 0);
        QCOMPARE(came.left(bytesOf(frames).size()), bytesOf(frames));
        QCOMPARE(endsMs.size(), frames.size());
        for (int i = 1; i < frames.size(); ++i) {
            const QString when = QStringLiteral("frame %1 at %2 ms, the first at %3, due %4 after it")
                                     .arg(i).arg(endsMs.at(i)).arg(endsMs.at(0)).arg(dueMs.at(i));
            QVERIFY2(endsMs.at(i) >= dueMs.at(i) && endsMs.at(i) <= endsMs.at(0) + dueMs.at(i) + 1000,
                     qPrintable(when));
        }
    }

    // Times centuries apart: the later frame waits (a day), it does not go at
    // once; Ctrl-C in that wait ends the replay at once, with status 0.
    void replayInterruptedInAFarWait()
    {
        PtyPair pty;
        QTemporaryDir dir;
        const QDateTime from(QDate(2026, 12, 6), QTime(23, 0), Qt::UTC);
        QProcess tool;
        QVERIFY(start(tool, {"replay", "--port", pty.path, "--speed", "0.1",
                             logAt(dir, {0, from.msecsTo(QDateTime(QDate(2400, 1, 1), QTime(0, 0), Qt::UTC))})}));
        QCOMPARE(pty.read(100, 1000), bytesOf({0}));
        QElapsedTimer stopping;
        stopping.start();
        QByteArray out;
        QCOMPARE(interrupt(tool, out), 0);
        QVERIFY(stopping.elapsed() < 5000);
        QCOMPARE(pty.read(1, 200), QByteArray());
        QCOMPARE(tool.readAllStandardError(), QByteArray("kwn-frame: 1 pause(s) of more than a day between frames "
                                                         "played as a day\n"));
    }

    // Frames all due at the start are all written before it ends, every run.
    void replayWritesAllDueAtOnce()
    {
        PtyPair pty;
        QTemporaryDir dir;
        const QString log = logAt(dir, {0, 0, 0, 0});
        for (int run = 0; run < 20; ++run) {
            QCOMPARE(runTool(QStringLiteral(KWN_CLI_PATH), {"replay", "--port", pty.path, log}).exitCode, 0);
            QCOMPARE(pty.read(bytesOf({0, 1, 2, 3}).size() + 1, 300), bytesOf({0, 1, 2, 3}));
        }
    }
};

QTEST_GUILESS_MAIN(BusCliTest)
#include "busclitest.moc"
