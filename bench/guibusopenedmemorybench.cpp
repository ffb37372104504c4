// The memory of a log opened on the Bus page: 2,000,000 timed frame lines
// (4096 distinct frames of the bundled messages unless told otherwise) read
// by the log reader and taken in as the page takes them, through a session
// of their own into a store with room for TraceStore::kOpenedFileCapacity
// records. Goal: within 1 GB of resident memory. The records of one frame
// share their texts as long as the reader's decoder keeps the frame
// (BusRecordDecoder::kCacheFrames); a log whose frames are all distinct
// (`guibusopenedmemorybench 2000000`) gives each record texts of its own,
// several hundred bytes, and shows how far past the goal that goes.
//
//   guibusopenedmemorybench [distinct frames] [lines]

#include "busdevice.h"
#include "codec/buslogfile.h"
#include "serial/buslogloader.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <malloc.h>

namespace {

using busdevice::residentMb;

size_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// `lines` received frames a millisecond apart, the frames taken in turn.
bool writeLog(const QString &path, const QVector<QByteArray> &frames, int lines)
{
    QFile file(path);
    if (frames.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;
    BusRecord record;
    record.kind = BusRecord::Received;
    record.timeUs = Q_INT64_C(1700000000000000);
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        record.bytes = frames.at(i % frames.size());
        record.timeUs += 1000;
        chunk += busLogLineOf(record);
        if (chunk.size() > (1 << 20) || i == lines - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
    const int distinct = argc > 1 ? qMax(1, atoi(argv[1])) : 4096;
    const int lines = argc > 2 ? qMax(1, atoi(argv[2])) : TraceStore::kOpenedFileCapacity;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("opened.log"));
    if (!writeLog(path, busdevice::sampleFrames(distinct), lines)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 2;
    }
    std::printf("log of %d lines, %d distinct frames: %.1f MB\n", lines, distinct,
                QFile(path).size() / 1048576.0);

    BusLogLoader loader(QStringLiteral("xml"));
    BusSession session(QStringLiteral("xml"));
    TraceStore store;
    store.setCapacity(TraceStore::kOpenedFileCapacity);
    QObject::connect(&session, &BusSession::recordsReady, &store, &TraceStore::append);
    QObject::connect(&loader, &BusLogLoader::batchRead, &app,
                     [&](const QVector<BusRecord> &records, qint64, qint64) {
                         session.load(records);
                         loader.batchTaken();
                     });
    QObject::connect(&loader, &BusLogLoader::finished, &app, [&] { app.quit(); });

    const double emptyMb = residentMb();
    const size_t emptyHeap = heapBytes();
    QElapsedTimer timer;
    timer.start();
    if (!loader.start(path, 0)) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(path), qPrintable(loader.errorText()));
        return 2;
    }
    app.exec();
    const qint64 ms = timer.elapsed();
    const double grownMb = residentMb() - emptyMb;
    const size_t heap = heapBytes() - emptyHeap;
    std::printf("opened %d records (%llu left out) in %lld ms\n", store.heldCount(),
                static_cast<unsigned long long>(store.droppedCount()), ms);
    std::printf("heap %.1f MB, %.0f bytes a record (a record is %zu bytes)\n", heap / 1048576.0,
                double(heap) / qMax(1, store.heldCount()), sizeof(BusRecord));
    const bool met = grownMb <= 1024 && store.heldCount() == qMin(lines, TraceStore::kOpenedFileCapacity);
    std::printf("resident %.1f MB more (%.1f MB before), goal <= 1024 MB for %d frames: %s\n", grownMb, emptyMb,
                lines, met ? "ok" : "MISSED");
    return met ? 0 : 1;
}
