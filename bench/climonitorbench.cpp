// Throughput of `kwn-frame monitor --input` on a raw capture of 1,000,000
// frames of the bundled sample catalogue, against `kwn-frame decode` on the
// same frames as a text log. Goal: the monitor at least as fast as decode.
// The machine is shared, so the figure is the CPU time of each run (its wall
// time is shown beside it).
// Then `kwn-frame monitor --port` on a pseudo-terminal fed 10,000 frames a
// second for 5 s, its output to a file. Goal: every frame printed.

#include "benchutil.h"
#include "busdevice.h"
#include "samplelog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kFrames = 1000000;
constexpr int kLiveFramesPerSecond = 10000;
constexpr int kLiveSeconds = 5;

double childCpuSeconds()
{
    rusage usage = {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunTimes
{
    double cpu = -1; // -1 when a run failed
    double wall = -1;
};

// The least CPU time of three runs of kwn-frame with `arguments`, input from
// `input`, output thrown away, and the least wall time.
RunTimes fastestRun(const QStringList &arguments, const QString &input)
{
    RunTimes best;
    for (int i = 0; i < 3; ++i) {
        QProcess process;
        process.setStandardInputFile(input);
        process.setStandardOutputFile(QProcess::nullDevice());
        const double cpuBefore = childCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(KWN_CLI_PATH), arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return RunTimes();
        const double wall = timer.nsecsElapsed() / 1e9;
        const double cpu = childCpuSeconds() - cpuBefore;
        if (best.cpu < 0 || cpu < best.cpu)
            best.cpu = cpu;
        if (best.wall < 0 || wall < best.wall)
            best.wall = wall;
    }
    return best;
}

// Lines of `path` that print a frame read (" RX ").
int printedFrames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    while (!file.atEnd())
        count += file.readLine().contains(" RX ") ? 1 : 0;
    return count;
}

// monitor --port on a pseudo-terminal fed kLiveFramesPerSecond frames a
// second (100 every 10 ms); false when a frame was lost.
bool livePort(const QStringList &frames, const QString &xml, const QString &out)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::printf("no pseudo-terminal\n");
        return false;
    }
    termios t;
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess monitor;
    monitor.setStandardOutputFile(out);
    monitor.start(QStringLiteral(KWN_CLI_PATH), {QStringLiteral("monitor"), QStringLiteral("--port"),
                                                 QString::fromLocal8Bit(name), QStringLiteral("--single-line"),
                                                 QStringLiteral("--xml"), xml});
    monitor.waitForStarted();
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // it opens the port
    QList<QByteArray> bytes;
    for (const QString &f : frames)
        bytes << QByteArray::fromHex(f.toLatin1());
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    const int perTick = kLiveFramesPerSecond / 100;
    int written = 0;
    for (int tick = 0; tick < kLiveSeconds * 100; ++tick) {
        QByteArray chunk;
        for (int i = 0; i < perTick; ++i)
            chunk += bytes.at(written++ % bytes.size());
        busdevice::writeAll(master, chunk);
        next += std::chrono::milliseconds(10);
        std::this_thread::sleep_until(next);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000)); // the last batch printed
    ::kill(pid_t(monitor.processId()), SIGINT);
    if (!monitor.waitForFinished(10000)) {
        monitor.kill();
        monitor.waitForFinished();
    }
    ::close(master);
    ::close(slave);
    const int printed = printedFrames(out);
    const bool ok = printed == written && monitor.exitStatus() == QProcess::NormalExit && monitor.exitCode() == 0;
    std::printf("monitor --port, %d frames/s for %d s through a pseudo-terminal: written %d, printed %d, "
                "exit status %d, goal none lost: %s\n",
                kLiveFramesPerSecond, kLiveSeconds, written, printed, monitor.exitCode(), ok ? "ok" : "MISSED");
    std::fflush(stdout);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString xml = QStringLiteral(KWN_SOURCE_DIR "/xml");
    const QStringList frames = logFrames(xml);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("frames.log"));
    const QString capture = dir.filePath(QStringLiteral("frames.bin"));
    QByteArray bytes;
    for (int i = 0; i < kFrames; ++i)
        bytes += QByteArray::fromHex(frames.at(i % frames.size()).toLatin1());
    QFile file(capture);
    if (!writeLog(log, frames, kFrames) || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::printf("cannot write the log and capture in %s\n", qPrintable(dir.path()));
        return 2;
    }
    file.close();

    bool allMet = true;
    for (const QString &style : {QString(), QStringLiteral("--single-line"), QStringLiteral("--json")}) {
        QStringList decode{QStringLiteral("decode"), QStringLiteral("--xml"), xml};
        QStringList monitor{QStringLiteral("monitor"), QStringLiteral("--input"), QStringLiteral("-"),
                            QStringLiteral("--xml"), xml};
        if (!style.isEmpty()) {
            decode << style;
            monitor << style;
        }
        const RunTimes d = fastestRun(decode, log);
        const RunTimes m = fastestRun(monitor, capture);
        if (d.cpu < 0 || m.cpu < 0) {
            std::printf("a run of kwn-frame failed\n");
            return 2;
        }
        const bool ok = m.cpu <= d.cpu;
        allMet = allMet && ok;
        std::printf("%d frames, output %-14s decode %.2f s CPU (%.0f frames/s; wall %.2f s), monitor --input "
                    "%.2f s CPU (%.0f frames/s; wall %.2f s), goal monitor >= decode: %s\n",
                    kFrames, style.isEmpty() ? "blocks" : qPrintable(style), d.cpu, kFrames / d.cpu, d.wall, m.cpu,
                    kFrames / m.cpu, m.wall, ok ? "ok" : "MISSED");
        std::fflush(stdout);
    }
    allMet = livePort(frames, xml, dir.filePath(QStringLiteral("live.txt"))) && allMet;
    return allMet ? 0 : 1;
}
