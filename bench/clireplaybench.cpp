// How exactly `kwn-frame replay` keeps a log's spacing at 1x: 300 frames
// 20 ms apart (with a few bursts of frames 1 ms apart) written onto a
// pseudo-terminal, each frame's arrival after the first's against its time
// in the log. Reported: the distribution of that difference (lateness) in
// ms, and the jitter: each frame's arrival less its time in the log, less
// the smallest of these. The first frame, written right after the port is
// opened, tends to come a millisecond or two later than the rest would have
// it, so frames look that much early beside it. Goals: no frame more than
// 3 ms early beside the first; 99 % of frames within 10 ms of their time
// beside the first, and a jitter of at most 10 ms for 99 %.
//
//   clireplaybench [KWN-FRAME]     run, with another kwn-frame if given

#include "codec/buslog.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kFrameCount = 300;
// Each frame within this of its due time, early or late.
constexpr double kGoalWithinMs = 5;
// A frame of 16 bytes from node 3A0C51.
const QByteArray kFrame = "F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20";

QVector<qint64> offsetsMs()
{
    QVector<qint64> offsets;
    qint64 at = 0;
    for (int i = 0; i < kFrameCount; ++i) {
        offsets << at;
        at += (i % 50 >= 45) ? 1 : 20; // every 50 frames, a burst
    }
    return offsets;
}

double percentile(QVector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const int index = qBound(0, int(p * (values.size() - 1) + 0.5), values.size() - 1);
    return values.at(index);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString tool = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KWN_CLI_PATH);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 2;
    termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("replay.log"));
    const QVector<qint64> offsets = offsetsMs();
    {
        QFile file(log);
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        for (qint64 ms : offsets)
            file.write(busLogTime(1796598000000 + ms).toLatin1() + " RX " + kFrame + '\n');
    }

    QProcess process;
    process.start(tool, {"replay", "--port", QString::fromLocal8Bit(name), log});
    if (!process.waitForStarted())
        return 2;
    const int frameBytes = kFrame.size() / 2;
    QVector<qint64> arrivedNs;
    qint64 received = 0;
    QElapsedTimer clock;
    clock.start();
    char buffer[4096];
    while (arrivedNs.size() < kFrameCount && clock.elapsed() < 60000) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            QThread::usleep(100);
            continue;
        }
        const qint64 now = clock.nsecsElapsed();
        received += n;
        while (arrivedNs.size() < kFrameCount && received >= qint64(arrivedNs.size() + 1) * frameBytes)
            arrivedNs << now;
    }
    if (!process.waitForFinished(10000))
        process.kill();
    if (arrivedNs.size() < kFrameCount) {
        std::printf("replay: only %d of %d frames came\n", int(arrivedNs.size()), kFrameCount);
        return 2;
    }
    QVector<double> lateness;
    for (int i = 1; i < kFrameCount; ++i)
        lateness << double(arrivedNs.at(i) - arrivedNs.first()) / 1e6 - double(offsets.at(i));
    const double earliest = percentile(lateness, 0);
    QVector<double> jitter;
    for (int i = 0; i < kFrameCount; ++i)
        jitter << double(arrivedNs.at(i)) / 1e6 - double(offsets.at(i));
    const double least = percentile(jitter, 0);
    for (double &j : jitter)
        j -= least;
    const double jitter99 = percentile(jitter, 0.99);
    std::printf("replay at 1x, jitter: median %.2f ms, p99 %.2f ms, max %.2f ms\n", percentile(jitter, 0.5),
                jitter99, percentile(jitter, 1));
    const double p99 = percentile(lateness, 0.99);
    std::printf("replay at 1x, %d frames, lateness after the first frame: min %.2f ms, median %.2f ms, "
                "p90 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                kFrameCount, earliest, percentile(lateness, 0.5), percentile(lateness, 0.9), p99,
                percentile(lateness, 1));
    const double latest = percentile(lateness, 1);
    const bool early = earliest >= -kGoalWithinMs;
    const bool late = latest <= kGoalWithinMs;
    std::printf("replay: earliest frame %.2f ms, goal >= -%.0f ms: %s\n", earliest, kGoalWithinMs,
                early ? "ok" : "MISSED");
    std::printf("replay: latest frame %.2f ms late (99th percentile %.2f ms, jitter %.2f ms), goal <= %.0f ms: %s\n",
                latest, p99, jitter99, kGoalWithinMs, late ? "ok" : "MISSED");
    ::close(master);
    ::close(slave);
    return early && late ? 0 : 1;
}
#else
int main()
{
    std::printf("clireplaybench: needs a Unix system\n");
    return 0;
}
#endif
