#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"

#include <QBrush>
#include <QColor>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A frame record as the session hands them out: texts already decoded.
BusRecord frame(int n, qint64 timeMs, const QString &message = QStringLiteral("Status"),
                quint32 source = 0x000001)
{
    BusRecord r;
    r.timeMs = timeMs;
    r.parsed = true;
    r.checksumOk = true;
    r.messageId = quint8(message.size());
    r.sourceAddress = source;
    r.destinationAddress = 0x000002;
    r.bytes = QByteArray(11, char(n & 0xFF));
    r.device = QStringLiteral("Drive");
    r.message = message;
    r.values = QStringLiteral("Count=%1").arg(n);
    prepareSearch(r);
    return r;
}

// Records changed after they were made get their search text again.
void prepare(QVector<BusRecord> &batch)
{
    for (BusRecord &record : batch)
        prepareSearch(record);
}

QVector<BusRecord> frames(int first, int count, qint64 timeMs = 1000)
{
    QVector<BusRecord> batch;
    for (int i = first; i < first + count; ++i)
        batch.append(frame(i, timeMs + i));
    return batch;
}

QString cell(const QAbstractItemModel &model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

QStringList valuesColumn(const FrameTableModel &model)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << cell(model, row, ColumnValues);
    return values;
}

} // namespace

class FrameTableModelTest : public QObject
{
    Q_OBJECT

private slots:
    // Batches into a small ring: each one is a single insertion and at most a
    // single removal off the top, never a reset; what is left is the newest.
    void ring_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QList<int>>("batches");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("firstKept");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("removals");
        QTest::newRow("fits") << 10 << QList<int>{3, 4} << "" << 0 << 7 << 0 << 0;
        QTest::newRow("exactly full") << 10 << QList<int>{5, 5} << "" << 0 << 10 << 0 << 0;
        QTest::newRow("evicts per batch") << 10 << QList<int>{6, 6, 6} << "" << 8 << 10 << 8 << 2;
        QTest::newRow("batch larger than ring") << 10 << QList<int>{4, 25} << "" << 19 << 10 << 19 << 1;
        // Only rows that pass the filter are removed: Count=10 here.
        QTest::newRow("filtered") << 10 << QList<int>{12, 9} << "count=1" << 11 << 9 << 11 << 1;
    }
    void ring()
    {
        QFETCH(int, capacity);
        QFETCH(QList<int>, batches);
        QFETCH(QString, filter);
        QFETCH(int, firstKept);
        QFETCH(int, rows);
        QFETCH(int, dropped);
        QFETCH(int, removals);

        FrameTableModel model;
        model.setCapacity(capacity);
        model.setFilterText(filter);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        int next = 0;
        int insertions = 0;
        for (int size : batches) {
            QVector<BusRecord> batch = frames(next, size);
            next += size;
            model.append(batch);
            ++insertions;
        }
        QCOMPARE(removed.count(), removals);
        QCOMPARE(reset.count(), 0);
        QVERIFY(inserted.count() <= insertions);
        QCOMPARE(model.rowCount(), rows);
        QCOMPARE(int(model.droppedCount()), dropped);
        QCOMPARE(model.heldCount(), qMin(capacity, next));
        QCOMPARE(model.heldRecord(0).values, QStringLiteral("Count=%1").arg(firstKept));
        QCOMPARE(model.heldRecord(model.heldCount() - 1).values, QStringLiteral("Count=%1").arg(next - 1));
        for (int row = 0; row < model.rowCount(); ++row)
            QVERIFY(cell(model, row, ColumnValues).contains(filter, Qt::CaseInsensitive));
    }

    // The filter matches any column, ignoring case, and keeps applying to
    // frames that arrive after it was typed.
    void filter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << "" << QStringList{"Count=0", "Count=1", "Count=2", "Count=3"};
        QTest::newRow("values, other case") << "COUNT=2" << QStringList{"Count=2"};
        QTest::newRow("message column") << "mode" << QStringList{"Count=1", "Count=3"};
        QTest::newRow("route with group") << "\u2192 group" << QStringList{"Count=3"};
        QTest::newRow("bytes as hex") << "0303030303" << QStringList{"Count=3"};
        QTest::newRow("direction") << "tx" << QStringList{"Count=2"};
        QTest::newRow("checksum") << "bad" << QStringList{"Count=0"};
        QTest::newRow("nothing") << "zzz" << QStringList{};
    }
    void filter()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        FrameTableModel model;
        QVector<BusRecord> first{frame(0, 1000), frame(1, 1010, QStringLiteral("Mode"))};
        first[0].checksumOk = false;
        prepareSearch(first[0]);
        model.append(first);
        model.setFilterText(filter);
        QVector<BusRecord> later{frame(2, 1020), frame(3, 1030, QStringLiteral("Mode"))};
        later[0].kind = BusRecord::Sent;
        later[1].destinationAddress = 0;
        prepare(later);
        model.append(later);
        QCOMPARE(valuesColumn(model), expected);
        // Clearing the filter shows every frame again.
        model.setFilterText(QString());
        QCOMPARE(model.rowCount(), 4);
    }

    void columns()
    {
        FrameTableModel model;
        QVector<BusRecord> batch{frame(1, 5000), frame(2, 5250)};
        batch[1].checksumOk = false;
        batch[1].destinationAddress = 0xFFFFFF;
        batch[1].deltaMs = 250;
        BusRecord noise;
        noise.kind = BusRecord::Noise;
        noise.timeMs = 5300;
        noise.bytes = QByteArray::fromHex("a1b2c3");
        batch.append(noise);
        model.append(batch);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(cell(model, 0, ColumnDelta), QString());
        QCOMPARE(cell(model, 1, ColumnDelta), QStringLiteral("250"));
        QCOMPARE(cell(model, 0, ColumnDirection), QStringLiteral("RX"));
        QCOMPARE(cell(model, 0, ColumnRoute), QStringLiteral("000001 \u2192 000002"));
        QCOMPARE(cell(model, 1, ColumnRoute), QStringLiteral("000001 \u2192 Broadcast"));
        QCOMPARE(cell(model, 0, ColumnBytes), QStringLiteral("0101010101010101010101"));
        QCOMPARE(cell(model, 0, ColumnChecksum), QStringLiteral("ok"));
        QCOMPARE(cell(model, 1, ColumnChecksum), QStringLiteral("bad"));
        QCOMPARE(cell(model, 2, ColumnMessage), QStringLiteral("Noise"));
        QCOMPARE(cell(model, 2, ColumnBytes), QStringLiteral("A1B2C3"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$"))
                    .match(cell(model, 0, ColumnTime)).hasMatch());

        auto red = [&](int row, int column) {
            return model.data(model.index(row, column), Qt::ForegroundRole).value<QBrush>().color()
                == QColor(Qt::red);
        };
        QVERIFY(!red(0, ColumnChecksum));
        QVERIFY(red(1, ColumnChecksum));
        QVERIFY(!red(1, ColumnValues));
        for (int column = 0; column < BusColumnCount; ++column)
            QVERIFY(red(2, column));
    }

    void clearKeepsFilter()
    {
        FrameTableModel model;
        model.setCapacity(4);
        QVector<BusRecord> batch = frames(0, 6);
        model.append(batch);
        model.setFilterText(QStringLiteral("count=7"));
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        model.clear();
        QCOMPARE(reset.count(), 0);
        QCOMPARE(model.heldCount(), 0);
        QCOMPARE(model.droppedCount(), quint64(0));
        batch = frames(6, 3);
        model.append(batch);
        QCOMPARE(valuesColumn(model), QStringList{"Count=7"});
    }

    void latestPerMessage()
    {
        LatestMessageModel model;
        QVector<BusRecord> batch;
        for (int i = 0; i < 5; ++i)
            batch.append(frame(i, 1000 + 100 * i));                            // 10 per second
        batch.append(frame(9, 1050, QStringLiteral("Mode")));
        batch.append(frame(8, 1060, QStringLiteral("Status"), 0x000005));      // other source
        BusRecord noise;
        noise.kind = BusRecord::Noise;
        batch.append(noise);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        model.append(batch);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(cell(model, 0, LatestMessageModel::Values), QStringLiteral("Count=4"));
        QCOMPARE(cell(model, 0, LatestMessageModel::Count), QStringLiteral("5"));
        QCOMPARE(cell(model, 0, LatestMessageModel::Rate), QStringLiteral("10.0"));
        QCOMPARE(cell(model, 1, LatestMessageModel::Count), QStringLiteral("1"));
        QCOMPARE(cell(model, 2, LatestMessageModel::Route), QStringLiteral("000005 \u2192 000002"));

        // An update is one dataChanged, no new rows.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVector<BusRecord> more{frame(20, 1600), frame(21, 1700)};
        model.append(more);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(cell(model, 0, LatestMessageModel::Count), QStringLiteral("7"));
        QCOMPARE(cell(model, 0, LatestMessageModel::Values), QStringLiteral("Count=21"));

        model.setFilterText(QStringLiteral("MODE"));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.recordAt(0)->message, QStringLiteral("Mode"));
    }

    // Past its capacity the latest view drops the rows seen longest ago, a
    // tenth below the limit at once, and counts them; Clear empties it.
    void latestBounded()
    {
        LatestMessageModel model;
        model.setCapacity(10);
        // Source 1 is seen in every batch; sources 100.. once each.
        quint32 next = 100;
        for (int round = 0; round < 6; ++round) {
            QVector<BusRecord> batch{frame(round, 1000 + round, QStringLiteral("Status"), 1)};
            for (int k = 0; k < 3; ++k)
                batch.append(frame(round, 1000 + round, QStringLiteral("Status"), next++));
            model.append(batch);
            QVERIFY(model.entryCount() <= 10);
        }
        // 19 distinct rows came; the limit was passed twice.
        QCOMPARE(model.droppedCount() + quint64(model.entryCount()), quint64(19));
        QVERIFY(model.droppedCount() >= 9);
        QCOMPARE(model.rowCount(), model.entryCount());
        QStringList routes;
        for (int row = 0; row < model.rowCount(); ++row)
            routes << cell(model, row, LatestMessageModel::Route);
        QVERIFY(routes.contains(QStringLiteral("000001 \u2192 000002"))); // seen in every batch
        const QString newest = QStringLiteral("%1").arg(next - 1, 6, 16, QLatin1Char('0')).toUpper();
        QVERIFY(routes.contains(newest + QStringLiteral(" \u2192 000002")));
        QVERIFY(!routes.contains(QStringLiteral("000064 \u2192 000002"))); // source 100, the first gone
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.recordAt(row)->sourceAddress == 1 ? 6 : 1,
                     cell(model, row, LatestMessageModel::Count).toInt());
        model.clear();
        QCOMPARE(model.entryCount(), 0);
        QCOMPARE(model.droppedCount(), quint64(0));
    }
};

QTEST_MAIN(FrameTableModelTest)
#include "frametablemodeltest.moc"
