// Throughput of the frame splitter alone: a stream of random frames (and one
// of random noise) fed in 4 KB pieces, as a serial port hands them over.
// Goal: at least 5 million frames a second.

#include "benchutil.h"

#include "codec/frame.h"
#include "codec/framesplitter.h"

#include <QRandomGenerator>

namespace {

constexpr int kFrames = 1000000;
constexpr int kPiece = 4096;
constexpr double kGoalFramesPerSecond = 5e6;

QByteArray randomFrames(int count)
{
    QRandomGenerator random(5);
    QByteArray stream;
    stream.reserve(count * 21);
    for (int i = 0; i < count; ++i) {
        QByteArray data(int(random.bounded(kMaxDataBytes + 1)), Qt::Uninitialized);
        for (char &c : data)
            c = char(random.bounded(256));
        stream += packFrame(quint8(random.bounded(256)), false, quint8(kFrameOverheadBytes + data.size()), 2, 0,
                            random.bounded(1u << 24), 1, data);
    }
    return stream;
}

// Feeds the stream in pieces; returns the number of frames and of noise bytes.
void splitAll(const QByteArray &stream, int *frames, qint64 *noiseBytes)
{
    FrameSplitter splitter;
    QVector<SplitItem> items;
    items.reserve(kPiece);
    *frames = 0;
    *noiseBytes = 0;
    auto count = [&] {
        for (const SplitItem &item : items) {
            if (item.kind == SplitItem::Frame)
                ++*frames;
            else
                *noiseBytes += item.bytes.size();
        }
        items.resize(0);
    };
    for (int at = 0; at < stream.size(); at += kPiece) {
        splitter.feed(stream.constData() + at, qMin(kPiece, int(stream.size()) - at), 1000, items);
        count();
    }
    splitter.finish(items);
    count();
}

} // namespace

int main()
{
    const QByteArray frames = randomFrames(kFrames);
    int found = 0;
    qint64 noise = 0;
    const BenchFigures f = measure(5, [&] { splitAll(frames, &found, &noise); });
    const double perSecond = kFrames / (f.medianMs / 1000.0);
    const bool ok = found == kFrames && noise == 0 && perSecond >= kGoalFramesPerSecond;
    std::printf("splitter, %d random frames (%.1f MB) in 4 KB pieces: median %.1f ms, %.2f M frames/s, "
                "goal >= %.0f M frames/s: %s\n",
                kFrames, frames.size() / 1e6, f.medianMs, perSecond / 1e6, kGoalFramesPerSecond / 1e6,
                ok ? "ok" : "MISSED");

    QByteArray noiseStream(64 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(6);
    for (char &c : noiseStream)
        c = char(random.bounded(256));
    const BenchFigures n = measure(3, [&] { splitAll(noiseStream, &found, &noise); });
    std::printf("splitter, 64 MB of random noise: median %.1f ms, %.0f MB/s (%d chance frames), "
                "for information\n",
                n.medianMs, noiseStream.size() / 1e6 / (n.medianMs / 1000.0), found);
    const QByteArray ones(64 * 1024 * 1024, '\xFF');
    const BenchFigures o = measure(3, [&] { splitAll(ones, &found, &noise); });
    std::printf("splitter, 64 MB of 0xFF: median %.1f ms, %.0f MB/s, for information\n", o.medianMs,
                ones.size() / 1e6 / (o.medianMs / 1000.0));
    return ok ? 0 : 1;
}
