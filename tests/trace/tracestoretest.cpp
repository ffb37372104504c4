// The trace store's own rules: sequence numbers and drops across batches,
// clears and capacity changes; the bound of the latest entries; and what
// clear empties. (What a record costs: bench/guibusrecordmemorybench.)
#include "trace/tracestore.h"
#include "support/busrecords.h"
#include "support/decodedrecords.h"

#include <QtTest>

namespace {

// The arguments of each appended signal: first sequence number, count, dropped.
QList<QList<qint64>> appendedArgs(const QSignalSpy &spy)
{
    QList<QList<qint64>> all;
    for (const QList<QVariant> &args : spy)
        all.append({args.at(0).toLongLong(), args.at(1).toLongLong(), args.at(2).toLongLong()});
    return all;
}

} // namespace

class TraceStoreTest : public QObject
{
    Q_OBJECT

private slots:
    // A record keeps its number while held; the ring drops the oldest and
    // counts them, a batch larger than the ring too; clear zeroes the count
    // but numbers go on, so a number a view kept never names a newer record.
    void sequenceNumbers()
    {
        TraceStore store;
        store.setCapacity(5);
        QSignalSpy appended(&store, &TraceStore::appended);
        QSignalSpy cleared(&store, &TraceStore::cleared);
        store.append(decodedFrames(0, 3));
        store.append(decodedFrames(3, 4));
        QCOMPARE(store.firstSeq(), quint64(2));
        QCOMPARE(store.droppedCount(), quint64(2));
        QVERIFY(!store.record(1));
        QCOMPARE(store.record(2)->shownValues, QStringLiteral("Count=2"));
        QCOMPARE(store.record(6)->shownValues, QStringLiteral("Count=6"));
        QVERIFY(!store.record(7));
        store.append(decodedFrames(7, 12)); // the first seven never held
        QCOMPARE(store.heldCount(), 5);
        QCOMPARE(store.droppedCount(), quint64(2 + 7 + 5));
        QCOMPARE(store.heldRecord(0).shownValues, QStringLiteral("Count=14"));
        QCOMPARE(store.record(store.firstSeq())->shownValues, QStringLiteral("Count=14"));
        store.append({});
        store.clear();
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(store.heldCount(), 0);
        QCOMPARE(store.droppedCount(), quint64(0));
        QVERIFY(!store.record(11));
        store.append(decodedFrames(20, 1));
        QCOMPARE(store.record(12)->shownValues, QStringLiteral("Count=20"));
        QCOMPARE(appendedArgs(appended),
                 (QList<QList<qint64>>{{0, 3, 0}, {3, 4, 2}, {7, 5, 5}, {12, 1, 0}}));

        // A new capacity empties the store and bounds the latest entries too.
        store.setCapacity(3);
        QCOMPARE(cleared.count(), 2);
        QCOMPARE(store.heldCount(), 0);
        QCOMPARE(store.latest().size(), 0);
        QCOMPARE(store.latest().capacity(), 3);
        store.append(decodedFrames(30, 4));
        QCOMPARE(store.heldRecord(0).shownValues, QStringLiteral("Count=31"));
        QCOMPARE(store.droppedCount(), quint64(1));
    }

    // Past its capacity the latest index drops the entries seen longest ago,
    // a tenth below the limit at once, and counts them; the store says the
    // entries are numbered anew instead of what the batch changed.
    void latestBounded()
    {
        TraceStore store;
        store.setCapacity(10);
        QSignalSpy changed(&store, &TraceStore::latestChanged);
        QSignalSpy renumbered(&store, &TraceStore::latestRenumbered);
        // Source 1 is seen in every batch; sources 100.. once each.
        quint32 next = 100;
        for (int round = 0; round < 6; ++round) {
            QVector<BusRecord> batch{decodedFrame(round, 1000 + round, 1)};
            for (int k = 0; k < 3; ++k)
                batch.append(decodedFrame(round, 1000 + round, next++));
            store.append(batch);
            QVERIFY(store.latest().size() <= 10);
        }
        const LatestIndex &latest = store.latest();
        // 19 distinct entries came; the limit was passed in the last three
        // batches, each time down to 9.
        QCOMPARE(renumbered.count(), 3);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(latest.size(), 9);
        QCOMPARE(latest.droppedCount(), quint64(10));
        QList<quint32> sources;
        for (int i = 0; i < latest.size(); ++i) {
            sources << latest.entry(i).last.sourceAddress;
            QCOMPARE(latest.entry(i).count, quint64(sources.last() == 1 ? 6 : 1));
        }
        QVERIFY(sources.contains(1));        // seen in every batch
        QVERIFY(sources.contains(next - 1)); // the newest
        QVERIFY(!sources.contains(100));     // the first gone
        // An entry is found again after renumbering: source 1 grows, no new entry.
        const int size = latest.size();
        store.append({decodedFrame(7, 2000, 1)});
        QCOMPARE(latest.size(), size);
        QCOMPARE(changed.count(), 4);
        const QVector<int> updated = changed.last().at(0).value<QVector<int>>();
        QCOMPARE(updated.size(), 1);
        QCOMPARE(latest.entry(updated.first()).count, quint64(7));
        QCOMPARE(changed.last().at(1).toInt(), size);
        store.clear();
        QCOMPARE(latest.size(), 0);
        QCOMPARE(latest.droppedCount(), quint64(0));
    }

    // Times since the first frame are since the first frame after the last
    // clear, noise and events before it left aside, and stay so when that
    // frame is dropped. Clear empties everything made of the records, not
    // only the ring; new node rows are told per batch.
    void firstFrameAndClear()
    {
        TraceStore store;
        store.setCapacity(3);
        QSignalSpy nodesAdded(&store, &TraceStore::nodesAdded);
        store.append({eventRecord(3, QStringLiteral("Connected to /dev/ttyUSB1")), busRecord(BusRecord::Noise, 5, {})});
        QVERIFY(!store.hasFirstFrame());
        store.append({decodedFrame(1, 700, 0xA), decodedFrame(2, 800, 0xB), decodedFrame(3, 900, 0xA)});
        store.append({decodedFrame(4, 1000, 0xC)});
        QCOMPARE(store.heldRecord(0).timeUs, qint64(800000));
        QCOMPARE(store.firstFrameUs(), qint64(700000));
        QCOMPARE(nodesAdded.count(), 2);
        QCOMPARE(nodesAdded.at(1).at(0).toInt(), 2);
        QCOMPARE(nodesAdded.at(1).at(1).toInt(), 1);
        QCOMPARE(store.nodes().size(), 3);
        QCOMPARE(store.load().overall().frames, quint64(4));
        QCOMPARE(store.latest().size(), 3);
        store.clear();
        QVERIFY(!store.hasFirstFrame());
        QCOMPARE(store.heldCount(), 0);
        QCOMPARE(store.nodes().size(), 0);
        QCOMPARE(store.nodes().totalFrames(), quint64(0));
        QCOMPARE(store.load().overall().frames, quint64(0));
        QCOMPARE(store.latest().size(), 0);
        store.append({decodedFrame(5, 950, 0xA)});
        QCOMPARE(store.firstFrameUs(), qint64(950000));
        QCOMPARE(nodesAdded.count(), 3);
        QCOMPARE(nodesAdded.at(2).at(0).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TraceStoreTest)
#include "tracestoretest.moc"
