// Throughput and memory of `kwn-frame stats` and `kwn-frame decode --csv`
// over a timed bus log of 1,000,000 frames of the bundled sample catalogue
// ("TIME RX|TX HEX" lines, 1 ms apart, with a noise line now and then).
// Each run is a child process, so its CPU time and peak resident memory are
// its own. Goals: 1,000,000 frames a second of CPU time, at most 50 MB.
// Then `stats` over 1,000,000 frames each from a node of its own: with the
// table's default bound (the nodes past it counted, not kept) at most 50 MB,
// and with a bound of 1,000,000 at most 250 bytes a node held. And the
// pairing of requests and replies, on by default: `stats` keeps at least
// 90 % of the throughput it has with it off (--reply-timeout 0), the best
// of nine runs each, taken in turn (a run is 0.2 s: fewer let a busy
// machine decide a goal whose margin is a point or two).
//
//   clistatsbench [KWN-FRAME]     run, with another kwn-frame if given

#include "samplelog.h"

#include "codec/buslog.h"
#include "codec/frame.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kFrames = 1000000;
constexpr double kGoalFramesPerSecond = 1000000;
constexpr double kGoalPeakMb = 50;
constexpr double kGoalBytesPerNode = 250;
constexpr double kGoalPairingShare = 0.9;

struct Usage
{
    int status = -1;
    double cpuSeconds = 0;
    double peakMb = 0;
};

// kwn-frame with `arguments`, its standard input from `input` (or none)
// and its output thrown away.
Usage runChild(const QByteArray &program, const QList<QByteArray> &arguments, const QByteArray &input)
{
    Usage usage;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.isEmpty() ? "/dev/null" : input.constData(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QList<QByteArray> all{program};
    all += arguments;
    std::vector<char *> argv;
    for (QByteArray &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), &actions, nullptr, argv.data(), environ) != 0)
        return usage;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage used = {};
    if (wait4(pid, &status, 0, &used) != pid)
        return usage;
    usage.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    usage.cpuSeconds = double(used.ru_utime.tv_sec + used.ru_stime.tv_sec)
        + double(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    usage.peakMb = double(used.ru_maxrss) / 1024.0;
    return usage;
}

// A log line's time, "2026-12-06T23:00:00.123Z", made once a second.
QByteArray busTime(qint64 ms)
{
    static qint64 second = -1;
    static QByteArray text;
    if (ms / 1000 != second) {
        second = ms / 1000;
        text = busLogTime(second * 1000).toLatin1();
    }
    QByteArray time = text;
    const int milli = int(ms % 1000);
    time[20] = char('0' + milli / 100);
    time[21] = char('0' + milli / 10 % 10);
    time[22] = char('0' + milli % 10);
    return time;
}

// The frames of the sample log with times 1 ms apart, alternately RX and
// TX, and a noise line after every 1000th frame.
bool writeTimedLog(const QString &path, const QStringList &frames, int count)
{
    QFile file(path);
    if (frames.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;
    const qint64 startMs = 1796598000000; // 2026-12-06T23:00:00Z
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        const QByteArray time = busTime(startMs + i);
        chunk += time + (i % 2 ? " TX " : " RX ") + frames.at(i % frames.size()).toLatin1() + '\n';
        if (i % 1000 == 999)
            chunk += "# " + time + " noise: 00FF00\n";
        if (chunk.size() > (1 << 20) || i == count - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

// `count` frames 1 ms apart, each from a node of its own (000001 on).
bool writeNodesLog(const QString &path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 startMs = 1796598000000; // 2026-12-06T23:00:00Z
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        const QByteArray frame = packFrame(0x10, false, quint8(kFrameOverheadBytes + 2), 2, 0, quint32(i + 1),
                                           0x000001, QByteArray("\x01\x02", 2));
        chunk += busTime(startMs + i) + " RX " + frameToHexText(frame).toLatin1() + '\n';
        if (chunk.size() > (1 << 20) || i == count - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

// Memory alone over a log of distinct nodes (each frame is decoded anew, so
// its CPU time is shown for information): the peak against `goalMb`, or
// with `few` (as many frames of a few nodes) what a node held takes.
bool judgeNodes(const char *name, const Usage &usage, double goalMb, const Usage *few = nullptr)
{
    std::printf("%s: %.2f s of CPU time, exit status %d, for information\n", name, usage.cpuSeconds, usage.status);
    if (few) {
        const double perNode = (usage.peakMb - few->peakMb) * 1024 * 1024 / kFrames;
        const bool lean = usage.status == 0 && perNode <= kGoalBytesPerNode;
        std::printf("%s: peak resident %.1f MB, %.0f bytes a node held, goal <= %.0f bytes: %s\n", name,
                    usage.peakMb, perNode, kGoalBytesPerNode, lean ? "ok" : "MISSED");
        return lean;
    }
    const bool small = usage.status == 0 && usage.peakMb <= goalMb;
    std::printf("%s: peak resident %.1f MB, goal <= %.0f MB: %s\n", name, usage.peakMb, goalMb,
                small ? "ok" : "MISSED");
    return small;
}

bool judge(const char *name, const Usage &usage)
{
    const double rate = usage.cpuSeconds > 0 ? kFrames / usage.cpuSeconds : 0;
    const bool fast = usage.status == 0 && rate >= kGoalFramesPerSecond;
    const bool small = usage.status == 0 && usage.peakMb <= kGoalPeakMb;
    std::printf("%s: %.0f frames/s of CPU time (%.2f s), exit status %d, goal >= %.0f frames/s: %s\n", name, rate,
                usage.cpuSeconds, usage.status, kGoalFramesPerSecond, fast ? "ok" : "MISSED");
    std::printf("%s: peak resident %.1f MB, goal <= %.0f MB: %s\n", name, usage.peakMb, kGoalPeakMb,
                small ? "ok" : "MISSED");
    return fast && small;
}

// stats with and without the pairing: the least CPU time of nine runs of
// each, taken in turn.
bool judgePairing(const QByteArray &tool, const QByteArray &xml, const QByteArray &log)
{
    Usage on;
    Usage off;
    for (int run = 0; run < 9; ++run) {
        const Usage without = runChild(tool, {"stats", "--reply-timeout", "0", "--xml", xml, log}, QByteArray());
        const Usage with = runChild(tool, {"stats", "--xml", xml, log}, QByteArray());
        if (run == 0 || without.cpuSeconds < off.cpuSeconds)
            off = without;
        if (run == 0 || with.cpuSeconds < on.cpuSeconds)
            on = with;
    }
    const double share = on.cpuSeconds > 0 ? off.cpuSeconds / on.cpuSeconds : 0;
    const bool kept = on.status == 0 && off.status == 0 && share >= kGoalPairingShare;
    std::printf("stats with replies paired, 1,000,000 frames: %.3f s against %.3f s without, %.1f %% of the "
                "throughput, goal >= %.0f %%: %s\n",
                on.cpuSeconds, off.cpuSeconds, share * 100, kGoalPairingShare * 100, kept ? "ok" : "MISSED");
    std::printf("stats with replies paired: peak resident %.1f MB against %.1f MB without, for information\n",
                on.peakMb, off.peakMb);
    return kept;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray tool = argc > 1 ? QByteArray(argv[1]) : QByteArray(KWN_CLI_PATH);
    const QString xml = QStringLiteral(KWN_SOURCE_DIR "/xml");
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("timed.log"));
    if (!writeTimedLog(log, logFrames(xml), kFrames)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(log));
        return 2;
    }
    const QByteArray logPath = QFile::encodeName(log);
    const QByteArray xmlPath = QFile::encodeName(xml);
    bool met = judge("stats, 1,000,000 frames", runChild(tool, {"stats", "--xml", xmlPath, logPath}, QByteArray()));
    met = judge("stats --json, 1,000,000 frames", runChild(tool, {"stats", "--json", "--xml", xmlPath, logPath},
                                                          QByteArray())) && met;
    met = judge("decode --csv, 1,000,000 frames", runChild(tool, {"decode", "--csv", "--xml", xmlPath}, logPath))
        && met;
    met = judgePairing(tool, xmlPath, logPath) && met;

    const QString nodesLog = dir.filePath(QStringLiteral("nodes.log"));
    if (!writeNodesLog(nodesLog, kFrames)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(nodesLog));
        return 2;
    }
    const QByteArray nodesPath = QFile::encodeName(nodesLog);
    met = judgeNodes("stats, 1,000,000 nodes", runChild(tool, {"stats", "--xml", xmlPath, nodesPath}, QByteArray()),
                     kGoalPeakMb)
        && met;
    const Usage few = runChild(tool, {"stats", "--json", "--xml", xmlPath, logPath}, QByteArray());
    const Usage all = runChild(tool, {"stats", "--json", "--max-nodes", "1000000", "--xml", xmlPath, nodesPath},
                               QByteArray());
    met = judgeNodes("stats --json --max-nodes 1000000, 1,000,000 nodes", all, 0, &few) && met;
    return met ? 0 : 1;
}
#else
int main()
{
    std::printf("clistatsbench: needs a Unix system\n");
    return 0;
}
#endif
