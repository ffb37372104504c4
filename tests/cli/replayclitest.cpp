// kwn-frame replay onto a pseudo-terminal: which frames, in which order,
// when (never early, never grossly late), in a loop, and how it ends.

#include "ptypair.h"
#include "toolrun.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

namespace {

const QString kSource = QStringLiteral(KWN_SOURCE_DIR);
const QByteArray kFrames[] = {
    "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20", // 16 bytes
    "FCF2FDFEFFFFFDFFFFB4FE0A94",       // 13 bytes
    "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C21", // 16 bytes, checksum wrong: sent as logged
    "FCF2FDFEFFFFFDFFFFB4FE0A95",       // 13 bytes
};
const char *const kDirections[] = {"RX", "TX", "RX", "TX"};

// Four frames at the given ms after 23:00:00, with noise, an event and a
// comment between them.
QByteArray logAt(const QVector<int> &ms)
{
    QByteArray log;
    for (int i = 0; i < 4; ++i) {
        const QByteArray time = QStringLiteral("2026-12-06T23:00:%1.%2Z")
                                    .arg(ms.at(i) / 1000, 2, 10, QLatin1Char('0'))
                                    .arg(ms.at(i) % 1000, 3, 10, QLatin1Char('0'))
                                    .toLatin1();
        log += time + ' ' + kDirections[i] + ' ' + kFrames[i] + '\n';
        if (i == 1)
            log += "# " + time + " noise: 00FF\n# " + time + " event: Connected to /dev/ttyUSB0\n# remark\n";
    }
    return log;
}

struct Arrival
{
    QByteArray bytes;
    QVector<qint64> endsMs; // when each frame's last byte was read, after the first frame's
};

// Reads the master side until `frames` frames of `expected` sizes came (or
// time ran out), noting when each was complete.
Arrival readFrames(const PtyPair &pty, const QVector<int> &sizes, int timeoutMs)
{
    Arrival arrival;
    QElapsedTimer clock;
    clock.start();
    qint64 firstNs = -1;
    int next = 0;
    qsizetype end = sizes.isEmpty() ? 0 : sizes.first();
    char buffer[4096];
    while (next < sizes.size() && clock.elapsed() < timeoutMs) {
        const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
        if (n <= 0) {
            QThread::usleep(200);
            continue;
        }
        const qint64 now = clock.nsecsElapsed();
        arrival.bytes.append(buffer, int(n));
        while (next < sizes.size() && arrival.bytes.size() >= end) {
            if (firstNs < 0)
                firstNs = now;
            arrival.endsMs << (now - firstNs) / 1000000;
            if (++next < sizes.size())
                end += sizes.at(next);
        }
    }
    return arrival;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool start(QProcess &process, const QStringList &arguments)
{
    process.setWorkingDirectory(kSource);
    process.start(QStringLiteral(KWN_CLI_PATH), QStringList{"replay"} + arguments);
    return process.waitForStarted();
}

// Waits for the end, stopping it by its id if it hangs; its exit status, -1 if it did not exit.
int finish(QProcess &process, int timeoutMs = 20000)
{
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int interrupt(QProcess &process)
{
    signalProcess(process, SIGINT);
    return finish(process, 10000);
}

QByteArray bytesOf(const QVector<int> &indices)
{
    QByteArray bytes;
    for (int i : indices)
        bytes += QByteArray::fromHex(kFrames[i]);
    return bytes;
}

QVector<int> sizesOf(const QVector<int> &indices)
{
    QVector<int> sizes;
    for (int i : indices)
        sizes << QByteArray::fromHex(kFrames[i]).size();
    return sizes;
}

} // namespace

class ReplayCliTest : public QObject
{
    Q_OBJECT

private slots:
    void framesInOrder_data();
    void framesInOrder();
    void spacing_data();
    void spacing();
    void loop();
    void interruptEnds();
    void allDueAtOnce_data();
    void allDueAtOnce();
    void loopPace();
    void farTimes();
};

void ReplayCliTest::framesInOrder_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QVector<int>>("frames");
    QTest::addColumn<bool>("capture"); // the log made a pcap capture first
    QTest::newRow("all") << QStringList() << QVector<int>{0, 1, 2, 3} << false;
    QTest::newRow("only RX") << QStringList{"--only", "RX"} << QVector<int>{0, 2} << false;
    QTest::newRow("only TX") << QStringList{"--only", "TX"} << QVector<int>{1, 3} << false;
    QTest::newRow("all, capture") << QStringList() << QVector<int>{0, 1, 2, 3} << true;
    QTest::newRow("only TX, capture") << QStringList{"--only", "TX"} << QVector<int>{1, 3} << true;
}

void ReplayCliTest::framesInOrder()
{
    QFETCH(QStringList, options);
    QFETCH(QVector<int>, frames);
    QFETCH(bool, capture);
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, logAt({0, 20, 40, 60})));
    if (capture) {
        const QString converted = dir.filePath(QStringLiteral("bus.pcap"));
        QCOMPARE(runTool(QStringLiteral(KWN_CLI_PATH), {"convert", log, converted}).exitCode, 0);
        log = converted;
    }
    QProcess tool;
    QVERIFY(start(tool, QStringList{"--port", pty.path, "--speed", "10"} + options + QStringList{log}));
    const Arrival arrival = readFrames(pty, sizesOf(frames), 10000);
    QCOMPARE(finish(tool), 0);
    // Nothing more than those frames: no noise, no other direction.
    QTest::qWait(50);
    QCOMPARE(arrival.bytes + pty.read(1, 100), bytesOf(frames));
}

// Each frame not before its time after the first, at the log's pace over
// the speed, and not grossly late.
void ReplayCliTest::spacing_data()
{
    QTest::addColumn<QVector<int>>("logMs");
    QTest::addColumn<double>("speed");
    QTest::newRow("1x") << QVector<int>{0, 250, 400, 900} << 1.0;
    QTest::newRow("10x") << QVector<int>{0, 2500, 4000, 9000} << 10.0;
}

void ReplayCliTest::spacing()
{
    QFETCH(QVector<int>, logMs);
    QFETCH(double, speed);
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, logAt(logMs)));
    QProcess tool;
    QVERIFY(start(tool, {"--port", pty.path, "--speed", QString::number(speed), log}));
    const Arrival arrival = readFrames(pty, sizesOf({0, 1, 2, 3}), 15000);
    QCOMPARE(finish(tool), 0);
    QCOMPARE(arrival.bytes, bytesOf({0, 1, 2, 3}));
    for (int i = 1; i < 4; ++i) {
        const double due = logMs.at(i) / speed;
        const qint64 came = arrival.endsMs.at(i);
        // The first frame may itself have come a little late: a few ms of slack.
        QVERIFY2(came >= due - 5, qPrintable(QStringLiteral("frame %1 after %2 ms, due at %3").arg(i).arg(came).arg(due)));
        QVERIFY2(came <= due + 400, qPrintable(QStringLiteral("frame %1 after %2 ms, due at %3").arg(i).arg(came).arg(due)));
    }
}

void ReplayCliTest::loop()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, logAt({0, 10, 20, 30})));
    QProcess tool;
    QVERIFY(start(tool, {"--port", pty.path, "--loop", "--only", "TX", log}));
    const Arrival arrival = readFrames(pty, sizesOf({1, 3, 1, 3, 1, 3}), 10000);
    QCOMPARE(interrupt(tool), 0);
    QCOMPARE(arrival.bytes.left(bytesOf({1, 3, 1, 3, 1, 3}).size()), bytesOf({1, 3, 1, 3, 1, 3}));
    // Each pass keeps the log's spacing, 20 ms between its two frames.
    QVERIFY(arrival.endsMs.size() == 6);
    QVERIFY2(arrival.endsMs.at(3) - arrival.endsMs.at(2) >= 15, qPrintable(QString::number(arrival.endsMs.at(3))));
}

// Ctrl-C in the long wait before the second frame: exit 0, at once.
void ReplayCliTest::interruptEnds()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, logAt({0, 30000, 30001, 30002})));
    QProcess tool;
    QVERIFY(start(tool, {"--port", pty.path, log}));
    const Arrival arrival = readFrames(pty, sizesOf({0}), 10000);
    QCOMPARE(arrival.bytes, bytesOf({0}));
    QElapsedTimer stopping;
    stopping.start();
    QCOMPARE(interrupt(tool), 0);
    QVERIFY(stopping.elapsed() < 5000);
    QCOMPARE(pty.read(1, 200), QByteArray());
}

// Frames all due at the start are all written before it ends, every run.
void ReplayCliTest::allDueAtOnce_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QVector<int>>("frames");
    const QByteArray t = "2026-12-06T23:00:00.000Z ";
    QTest::newRow("one frame") << t + "RX " + kFrames[0] + '\n' << QVector<int>{0};
    QTest::newRow("one time") << t + "RX " + kFrames[0] + '\n' + t + "TX " + kFrames[1] + '\n' + t + "RX "
            + kFrames[2] + '\n'
                              << QVector<int>{0, 1, 2};
    QTest::newRow("untimed") << QByteArray(kFrames[1]) + "\n" + kFrames[3] + "\n" << QVector<int>{1, 3};
}

void ReplayCliTest::allDueAtOnce()
{
    QFETCH(QByteArray, log);
    QFETCH(QVector<int>, frames);
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(path, log));
    for (int run = 0; run < 20; ++run) {
        const ToolRun r = runTool(QStringLiteral(KWN_CLI_PATH), {"replay", "--port", pty.path, path}, kSource);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(pty.read(bytesOf(frames).size() + 1, 300), bytesOf(frames));
    }
}

// A pass of a loop takes at least its frames' time on the line: at 1200
// baud, 8N1, the 13 bytes of a one-frame log take 108.3 ms, some 10 passes
// a second (30 allowed for a slow reader) where a millisecond's pass gave
// hundreds.
void ReplayCliTest::loopPace()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, QByteArray("2026-12-06T23:00:00.000Z TX ") + kFrames[1] + '\n'));
    QProcess tool;
    QVERIFY(start(tool, {"--port", pty.path, "--baud", "1200", "--loop", log}));
    const QByteArray frame = QByteArray::fromHex(kFrames[1]);
    QByteArray came = pty.read(frame.size(), 10000);
    QVERIFY(came.startsWith(frame));
    came += pty.read(1000 * frame.size(), 1000);
    QCOMPARE(interrupt(tool), 0);
    QVERIFY2(came.size() >= 3 * frame.size() && came.size() <= 30 * frame.size(),
             qPrintable(QString::number(came.size())));
}

// Times centuries apart: the later frame waits (a day), it does not go at once.
void ReplayCliTest::farTimes()
{
    PtyPair pty;
    QVERIFY(pty.ok());
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    QVERIFY(writeFile(log, QByteArray("2026-12-06T23:00:00.000Z RX ") + kFrames[0] + "\n2400-01-01T00:00:00.000Z TX "
                               + kFrames[1] + '\n'));
    QProcess tool;
    QVERIFY(start(tool, {"--port", pty.path, "--speed", "0.1", log}));
    QCOMPARE(pty.read(100, 1000), bytesOf({0}));
    QCOMPARE(interrupt(tool), 0);
    QCOMPARE(tool.readAllStandardError(), QByteArray("kwn-frame: 1 pause(s) of more than a day between frames "
                                                     "played as a day\n"));
}

QTEST_GUILESS_MAIN(ReplayCliTest)
#include "replayclitest.moc"
