// Where the Bus page's memory goes: the records of 100,000 random frames
// (4096 distinct) made as the session makes them, held in the trace store
// and shown by the frame list.
// Prints the record's size, the heap each record takes, and the resident
// memory before and after.

#include "busdevice.h"
#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "monitor/frametablemodel.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <cstdio>
#include <malloc.h>

namespace {

using busdevice::residentMb;
using busdevice::sampleFrames;

size_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
    const int distinct = argc > 1 ? qMax(1, atoi(argv[1])) : 4096;
    const QVector<QByteArray> frames = sampleFrames(distinct);
    DecodeCatalogue catalogue(QStringLiteral("xml"));
    BusRecordDecoder decoder(catalogue);
    TraceStore store;
    FrameTableModel model(&store);
    std::printf("sizeof(BusRecord) %zu bytes\n", sizeof(BusRecord));
    const double emptyMb = residentMb();
    const size_t emptyHeap = heapBytes();

    QElapsedTimer timer;
    timer.start();
    qint64 timeUs = Q_INT64_C(1700000000000000);
    const int total = FrameTableModel::kDefaultCapacity;
    size_t searchBytes = 0;
    size_t shownBytes = 0;
    for (int done = 0; done < total;) {
        QVector<BusRecord> batch;
        for (int i = 0; i < 400 && done < total; ++i, ++done) {
            // A fresh copy, as the splitter hands out each frame.
            const QByteArray &sample = frames.at(done % frames.size());
            BusRecord record = decoder.record(QByteArray(sample.constData(), sample.size()), timeUs += 1000,
                                              BusRecord::Received);
            record.deltaUs = 1000;
            searchBytes += size_t(searchText(record).size());
            shownBytes += size_t(record.values.size() + record.shownValues.size()) * 2;
            batch.append(record);
        }
        store.append(batch);
    }
    const qint64 ms = timer.elapsed();
    const size_t heap = heapBytes() - emptyHeap;
    std::printf("records %d in %lld ms\n", model.heldCount(), ms);
    std::printf("heap %.1f MB, %.0f bytes a record\n", heap / 1048576.0, double(heap) / total);
    std::printf("  search texts would take %.0f bytes a record (without headers)\n", double(searchBytes) / total);
    std::printf("  values and shown values %.0f bytes a record if not shared\n", double(shownBytes) / total);
    std::printf("resident %.1f MB (%.1f MB before)\n", residentMb(), emptyMb);
    QSet<const void *> values, shown, bytes, device, message;
    for (int i = 0; i < model.heldCount(); ++i) {
        const BusRecord &r = model.heldRecord(i);
        values.insert(r.values.constData());
        shown.insert(r.shownValues.constData());
        bytes.insert(r.bytes.constData());
        device.insert(r.device.constData());
        message.insert(r.message.constData());
    }
    std::printf("distinct texts held: values %d, shown %d, bytes %d, device %d, message %d\n", values.size(),
                shown.size(), bytes.size(), device.size(), message.size());

    timer.restart();
    model.setFilterText(QStringLiteral("01"));
    std::printf("filter \"01\": %d rows in %lld ms\n", model.shownCount(), timer.elapsed());
    timer.restart();
    model.setFilterText(QStringLiteral("status -zz"));
    std::printf("filter \"status -zz\": %d rows in %lld ms\n", model.shownCount(), timer.elapsed());
    timer.restart();
    model.setFilterText(QStringLiteral("\"ab cd\""));
    std::printf("filter \"\\\"ab cd\\\"\": %d rows in %lld ms\n", model.shownCount(), timer.elapsed());
    return 0;
}
