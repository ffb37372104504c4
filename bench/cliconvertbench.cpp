// Throughput of `kwn-frame convert`: a bus log of 1,000,000 frames of the
// bundled sample catalogue ("TIME RX|TX HEX" lines, a noise line every 100
// frames) into a pcap capture, and that capture back into a log. Goal:
// 1,000,000 frames a second from log to capture, by wall time, the whole
// run of the tool included. The way back is shown for information.
//
//   cliconvertbench [KWN-FRAME]   run, with another kwn-frame if given

#include "samplelog.h"

#include "codec/buslog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kFrames = 1000000;
constexpr double kGoalFramesPerSecond = 1000000;
constexpr int kRuns = 3;

bool writeTimedLog(const QString &path, const QStringList &frames)
{
    QFile file(path);
    if (frames.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    qint64 ms = 1796598109407;
    for (int i = 0; i < kFrames; ++i) {
        const QByteArray time = busLogTime(ms += 3).toLatin1();
        if (i % 100 == 99)
            chunk += "# " + time + " noise: 0102FF\n";
        chunk += time + (i % 3 == 0 ? " TX " : " RX ") + frames.at(i % frames.size()).toLatin1() + '\n';
        if (chunk.size() > (1 << 20) || i == kFrames - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

// The median wall time of a few runs of `kwn-frame convert IN OUT`, in seconds; -1 when a run fails.
double medianSeconds(const QString &tool, const QString &in, const QString &out)
{
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(tool, {QStringLiteral("convert"), in, out});
        if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            std::fprintf(stderr, "convert failed: %s\n", process.readAllStandardError().constData());
            return -1;
        }
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds.at(seconds.size() / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString tool = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KWN_CLI_PATH);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("bus.log"));
    const QString capture = dir.filePath(QStringLiteral("bus.pcap"));
    if (!writeTimedLog(log, logFrames(QStringLiteral(KWN_SOURCE_DIR "/xml")))) {
        std::fprintf(stderr, "cannot write the log\n");
        return 2;
    }
    const double toCapture = medianSeconds(tool, log, capture);
    const double toLog = medianSeconds(tool, capture, dir.filePath(QStringLiteral("back.log")));
    if (toCapture <= 0 || toLog <= 0)
        return 2;
    const double rate = kFrames / toCapture;
    const bool ok = rate >= kGoalFramesPerSecond;
    std::printf("%-48s %10.0f frames/s (%.3f s, median of %d)  goal >= %.0f frames/s: %s\n",
                "convert log -> pcap, 1,000,000 frames", rate, toCapture, kRuns, kGoalFramesPerSecond,
                ok ? "ok" : "MISSED");
    std::printf("%-48s %10.0f frames/s (%.3f s)  for information, mark %.0f frames/s: %s\n",
                "convert pcap -> log, 1,000,000 frames", kFrames / toLog, toLog, kGoalFramesPerSecond,
                kFrames / toLog >= kGoalFramesPerSecond ? "within" : "beyond");
    return ok ? 0 : 1;
}
