// Throughput of the frame splitter alone: a stream of random frames (and one
// with every other frame corrupted, and streams of random noise, of 0xFF and
// of 0x00) fed in 4 KB pieces, as a serial port hands them over.
// Goal: at least 5 million frames a second.

#include "benchutil.h"

#include "codec/frame.h"
#include "codec/framesplitter.h"

#include <QRandomGenerator>

namespace {

constexpr int kFrames = 1000000;
constexpr int kPiece = 4096;
constexpr double kGoalFramesPerSecond = 5e6;

// `count` random frames; with `corruptEveryOther`, every second one has a data
// or checksum byte changed.
QByteArray randomFrames(int count, bool corruptEveryOther)
{
    QRandomGenerator random(5);
    QByteArray stream;
    stream.reserve(count * 21);
    for (int i = 0; i < count; ++i) {
        QByteArray data(int(random.bounded(kMaxDataBytes + 1)), Qt::Uninitialized);
        for (char &c : data)
            c = char(random.bounded(256));
        QByteArray frame = packFrame(quint8(random.bounded(256)), false, quint8(kFrameOverheadBytes + data.size()),
                                     2, 0, random.bounded(1u << 24), 1, data);
        if (corruptEveryOther && i % 2 == 1) {
            const int at = 9 + int(random.bounded(frame.size() - 9));
            frame[at] = char(frame.at(at) ^ 0x10);
        }
        stream += frame;
    }
    return stream;
}

struct Counts
{
    int frames = 0;
    int badFrames = 0;
    qint64 noiseBytes = 0;
};

// Feeds the stream in pieces and counts what comes out.
Counts splitAll(const QByteArray &stream)
{
    FrameSplitter splitter;
    QVector<BusRecord> items;
    items.reserve(kPiece);
    Counts c;
    auto count = [&] {
        for (const BusRecord &item : items) {
            if (item.kind == BusRecord::Noise)
                c.noiseBytes += item.bytes.size();
            else if (item.checksumOk)
                ++c.frames;
            else
                ++c.badFrames;
        }
        items.resize(0);
    };
    for (int at = 0; at < stream.size(); at += kPiece) {
        splitter.feed(stream.constData() + at, qMin(kPiece, int(stream.size()) - at), 1000, items);
        count();
    }
    splitter.finish(items);
    count();
    return c;
}

void reportFiller(const char *name, const QByteArray &stream)
{
    Counts c;
    const BenchFigures f = measure(3, [&] { c = splitAll(stream); });
    std::printf("splitter, 64 MB of %s: median %.1f ms, %.0f MB/s (%d chance frames, %d chance bad frames), "
                "for information\n",
                name, f.medianMs, stream.size() / 1e6 / (f.medianMs / 1000.0), c.frames, c.badFrames);
}

} // namespace

int main()
{
    const QByteArray frames = randomFrames(kFrames, false);
    Counts c;
    const BenchFigures f = measure(5, [&] { c = splitAll(frames); });
    const double perSecond = kFrames / (f.medianMs / 1000.0);
    const bool ok = c.frames == kFrames && c.badFrames == 0 && c.noiseBytes == 0 && perSecond >= kGoalFramesPerSecond;
    std::printf("splitter, %d random frames (%.1f MB) in 4 KB pieces: median %.1f ms, %.2f M frames/s, "
                "goal >= %.0f M frames/s: %s\n",
                kFrames, frames.size() / 1e6, f.medianMs, perSecond / 1e6, kGoalFramesPerSecond / 1e6,
                ok ? "ok" : "MISSED");

    const QByteArray mixed = randomFrames(kFrames, true);
    const BenchFigures m = measure(5, [&] { c = splitAll(mixed); });
    std::printf("splitter, %d random frames, every other one corrupted: median %.1f ms, %.2f M frames/s "
                "(%d frames, %d bad frames, %lld noise bytes), for information\n",
                kFrames, m.medianMs, kFrames / (m.medianMs / 1000.0) / 1e6, c.frames, c.badFrames,
                static_cast<long long>(c.noiseBytes));

    QByteArray noise(64 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(6);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    reportFiller("random noise", noise);
    reportFiller("0xFF", QByteArray(64 * 1024 * 1024, '\xFF'));
    reportFiller("0x00", QByteArray(64 * 1024 * 1024, '\0'));
    return ok ? 0 : 1;
}
