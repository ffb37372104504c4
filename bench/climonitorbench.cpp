// Throughput of `kwn-frame monitor --input` on a raw capture of 1,000,000
// frames of the bundled sample catalogue, against `kwn-frame decode` on the
// same frames as a text log. Goal: the monitor at least as fast as decode.

#include "benchutil.h"
#include "samplelog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

namespace {

constexpr int kFrames = 1000000;

// The fastest of three runs of kwn-frame with `arguments`, input from `input`,
// output thrown away; seconds, or -1 when a run failed.
double fastestRun(const QStringList &arguments, const QString &input)
{
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        QProcess process;
        process.setStandardInputFile(input);
        process.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(KWN_CLI_PATH), arguments);
        if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return -1;
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (best < 0 || seconds < best)
            best = seconds;
    }
    return best;
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
        const double decodeSeconds = fastestRun(decode, log);
        const double monitorSeconds = fastestRun(monitor, capture);
        if (decodeSeconds < 0 || monitorSeconds < 0) {
            std::printf("a run of kwn-frame failed\n");
            return 2;
        }
        const bool ok = monitorSeconds <= decodeSeconds;
        allMet = allMet && ok;
        std::printf("%d frames, output %-14s decode %.2f s (%.0f frames/s), monitor --input %.2f s "
                    "(%.0f frames/s), goal monitor >= decode: %s\n",
                    kFrames, style.isEmpty() ? "blocks" : qPrintable(style), decodeSeconds,
                    kFrames / decodeSeconds, monitorSeconds, kFrames / monitorSeconds, ok ? "ok" : "MISSED");
        std::fflush(stdout);
    }
    return allMet ? 0 : 1;
}
