#include "heapusage.h"
#include "codec/frame.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "trace/tracestore.h"
#include "support/busrecords.h"
#include "support/datarows.h"
#include "support/decodedrecords.h"
#include "support/modelcells.h"

#include <QtTest>

#include <ctime>

namespace {

// A cell's text colour: red, blue (dark), grey, or "-" for the view's own.
QString colourOf(const QAbstractItemModel &model, int row, int column)
{
    const QColor colour = textColour(model, row, column);
    const QMap<QRgb, QString> names{{QColor(Qt::red).rgb(), "red"}, {QColor(Qt::darkBlue).rgb(), "blue"},
                                    {QColor(Qt::gray).rgb(), "grey"}};
    return colour.isValid() ? names.value(colour.rgb(), colour.name()) : QStringLiteral("-");
}

} // namespace

class FrameTableModelTest : public QObject
{
    Q_OBJECT

private slots:
    // Times of day as at Greenwich, whatever the machine's zone.
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
    }

    // Batches into a small ring: each one is a single insertion and at most a
    // single removal off the top, never a reset; the rows left show the
    // newest. (What the ring drops and counts is the store's.)
    void ring_data() { addDataRows(QStringLiteral("monitor/ring.txt")); }
    void ring()
    {
        QFETCH(QStringList, row);
        const QStringList batches = row[0].split(QLatin1Char(' '));
        const QString filter = row[1];
        TraceStore store;
        store.setCapacity(10);
        FrameTableModel model(&store);
        model.setFilterText(filter);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        int next = 0;
        for (const QString &size : batches) {
            store.append(decodedFrames(next, size.toInt()));
            next += size.toInt();
        }
        QCOMPARE(removed.count(), row[4].toInt());
        QCOMPARE(reset.count(), 0);
        QVERIFY(inserted.count() <= batches.size());
        QCOMPARE(model.rowCount(), row[3].toInt());
        QCOMPARE(cellText(model, 0, ColumnValues), QStringLiteral("Count=") + row[2]);
        for (int r = 0; r < model.rowCount(); ++r)
            QVERIFY(cellText(model, r, ColumnValues).contains(filter, Qt::CaseInsensitive));
    }

    // A long list takes a filter in slices from the event loop: the rows of
    // the last filter stay until the new one has been through them all, the
    // records that came meanwhile too, and a newer filter replaces one still
    // going through.
    void filterInSlices()
    {
        TraceStore store;
        store.append(decodedFrames(0, 5000));
        FrameTableModel model(&store);
        model.setFilterSliceNs(0); // a look at the clock ends each slice
        QSignalSpy applied(&model, &FrameTableModel::rowFilterApplied);
        model.setFilterText(QStringLiteral("count=1"));
        QVERIFY(model.isFilterPending());
        model.setFilterText(QStringLiteral("count=10"));
        store.append(decodedFrames(10000, 200));
        QCOMPARE(model.shownCount(), 5200);
        QVERIFY(!model.isFiltering());
        QTRY_VERIFY(!model.isFilterPending());
        QCOMPARE(applied.count(), 1);
        QCOMPARE(model.filterText(), QStringLiteral("count=10"));
        // Count=10, 100 to 109, 1000 to 1099 and 10000 to 10199.
        QCOMPARE(model.shownCount(), 311);
        QCOMPARE(cellText(model, 310, ColumnValues), QStringLiteral("Count=10199"));
    }

    // The counts are told after every change that can move them. A filter
    // keeps applying to the frames after it (its rules: busfiltertest), the
    // store's clear too, which takes the rows away without a reset. A model
    // made over a store that holds records shows them.
    void countsAndClear()
    {
        TraceStore store;
        store.setCapacity(4);
        store.append(decodedFrames(0, 2));
        FrameTableModel model(&store);
        QCOMPARE(columnTexts(model, ColumnValues), (QStringList{"Count=0", "Count=1"}));
        QSignalSpy counts(&model, &FrameTableModel::countsChanged);
        store.append(decodedFrames(2, 1));
        QCOMPARE(counts.count(), 1);
        model.setFilterText(QStringLiteral("count=1"));
        QVERIFY(model.isFiltering());
        QCOMPARE(counts.count(), 2);
        store.append(decodedFrames(3, 2)); // held changes, no row shown; frame 0 dropped
        QCOMPARE(counts.count(), 3);
        QCOMPARE(model.shownCount(), 1);
        QCOMPARE(model.heldCount(), 4);
        model.setFilterText(QStringLiteral("count=7"));
        QCOMPARE(counts.count(), 4);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        store.clear();
        QCOMPARE(counts.count(), 5);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(removed.count(), 0); // no row was shown
        QCOMPARE(model.heldCount(), 0);
        store.append(decodedFrames(6, 3));
        QCOMPARE(columnTexts(model, ColumnValues), QStringList{"Count=7"});
        model.setFilterText(QString());
        QVERIFY(!model.isFiltering());
        store.clear();
        QCOMPARE(removed.count(), 1);
        QCOMPARE(model.rowCount(), 0);
    }

    // The Time column in each mode, under a filter too (the seconds since
    // the first frame of the list, not of the rows shown), its tool tip the
    // clock time; the Δ column without a filter the session's, under one to
    // the frame shown above, past any noise between. The mode is set before
    // another filter, which leaves nothing behind.
    void timeAndDelta_data() { addDataRows(QStringLiteral("monitor/timeanddelta.txt")); }
    void timeAndDelta()
    {
        QFETCH(QStringList, row);
        const int mode = row[0].toInt();
        const QRegularExpression comma(QStringLiteral("\\s*,\\s*"));
        QVector<BusRecord> batch{eventRecord(9999000, QStringLiteral("Connected to /dev/ttyUSB1")), decodedFrame(1, 0),
                                 decodedFrame(2, 0, 1, QStringLiteral("Mode")), busRecord(BusRecord::Noise, 0, "\x5A"),
                                 decodedFrame(3, 0)};
        const qint64 us[] = {9999000, 10000250, 10012750, 10013000, 10025251};
        for (int i = 0; i < batch.size(); ++i)
            batch[i].timeUs = us[i];
        batch[2].deltaUs = 12500; // as the session stamps them: to the frame before, whichever
        batch[4].deltaUs = 12501;
        TraceStore store;
        FrameTableModel model(&store);
        store.append(batch);
        model.setFilterText(QStringLiteral("mode"));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setTimeMode(FrameTableModel::TimeMode(mode));
        QCOMPARE(changed.count(), mode == FrameTableModel::ClockTime ? 0 : 1);
        model.setFilterText(row[1]);
        QStringList shownTimes, shownDeltas;
        for (int r = 0; r < model.rowCount(); ++r) {
            shownTimes << cellText(model, r, ColumnTime);
            shownDeltas << cellText(model, r, ColumnDelta);
            QCOMPARE(model.data(model.index(r, ColumnTime), Qt::ToolTipRole).toString(),
                     timeOfDayText(model.recordAt(r)->timeUs));
            QCOMPARE(model.data(model.index(r, ColumnDelta), Qt::ToolTipRole).toString(), shownDeltas.last());
        }
        QCOMPARE(shownTimes, row[2].split(comma));
        QCOMPARE(shownDeltas, row[3].split(comma));
    }

    // Each column's text (monitor/columns.golden), an event's its time and
    // text alone; every cell's tool tip holds its whole text, the Values
    // cell's the whole single line. After each row, the colours of its Values
    // and Checksum cells: received frames in the view's, sent ones in dark
    // blue, noise red, events grey; a bad checksum and a status shown in red
    // in their own cells, whichever way the frame went.
    void columnsColoursAndToolTips()
    {
        TraceStore store;
        FrameTableModel model(&store);
        QVector<BusRecord> batch{decodedFrame(1, 5000), decodedFrame(2, 5250)};
        batch[1].checksumOk = false;
        batch[1].destinationAddress = 0xFFFFFF;
        batch[1].deltaUs = 250001;
        batch << busRecord(BusRecord::Noise, 5300000, QByteArray::fromHex("a1b2c3"))
              << eventRecord(5400000, QStringLiteral("Disconnected")) << decodedFrame(3, 5500) << decodedFrame(4, 5600)
              << decodedFrame(5, 5700);
        batch[4].kind = batch[5].kind = BusRecord::Sent;
        batch[5].checksumOk = false;
        batch[5].statusShown = batch[6].statusShown = true;
        store.append(batch);
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < BusColumnCount; ++column) {
                cells << cellText(model, row, column);
                QCOMPARE(model.data(model.index(row, column), Qt::ToolTipRole).toString(),
                         row != 2 && row != 3 && column == ColumnValues ? batch.at(row).values : cells.last());
            }
            rows << cells.join(QLatin1Char('|')) + QLatin1Char(' ') + colourOf(model, row, ColumnValues)
                    + QLatin1Char('/') + colourOf(model, row, ColumnChecksum);
        }
        compareGolden(QStringLiteral("monitor/columns.golden"), rows.join(QLatin1Char('\n')).toUtf8() + '\n');
    }

    // One row per (source, message), inserted once a batch and updated by
    // one dataChanged (what an entry counts: tracestoretest). The Values
    // cell red with its status and the whole line in its tool tip, every
    // other cell's whole text in its own, sent frames in dark blue.
    void latestRows()
    {
        TraceStore store;
        LatestMessageModel model(&store);
        QVector<BusRecord> batch;
        for (int i = 0; i < 5; ++i)
            batch.append(decodedFrame(i, 1000 + 100 * i)); // 10 per second
        batch.append(decodedFrame(9, 1050, 1, QStringLiteral("Mode")));
        batch[5].kind = BusRecord::Sent;
        batch[5].statusShown = true;
        batch.append(busRecord(BusRecord::Noise, 1070000, "\x11"));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        store.append(batch);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model.rowCount(), 2);
        QStringList cells;
        for (int column = 0; column < LatestMessageModel::ColumnCount; ++column) {
            cells << cellText(model, 0, column) + QLatin1Char('/') + cellText(model, 1, column);
            const QString tip = model.data(model.index(0, column), Qt::ToolTipRole).toString();
            QCOMPARE(tip, column == LatestMessageModel::Values ? batch.at(4).values : cellText(model, 0, column));
        }
        cells.removeFirst(); // the time of day
        QCOMPARE(cells, (QStringList{"Drive/Drive", "Status/Mode", "000001 \u2192 000002/000001 \u2192 000002",
                                     "Count=4/Count=9", "5/1", "10.0/", "100.000/"}));
        QCOMPARE(colourOf(model, 0, LatestMessageModel::Values), QStringLiteral("-"));
        QCOMPARE(colourOf(model, 1, LatestMessageModel::Values), QStringLiteral("red"));
        QCOMPARE(colourOf(model, 1, LatestMessageModel::Message), QStringLiteral("blue"));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        store.append({decodedFrame(20, 1600), decodedFrame(21, 1725)});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(cellText(model, 0, LatestMessageModel::Count), QStringLiteral("7"));
        QCOMPARE(cellText(model, 0, LatestMessageModel::Delta), QStringLiteral("125.000"));
        model.setFilterText(QStringLiteral("MODE"));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.recordAt(0)->message, QStringLiteral("Mode"));
    }

    // Sorted through a proxy by the sort role, the numbers sort as numbers:
    // node 1 sends 2 frames 1 s apart (1 /s), node 2 10 frames 25 ms apart
    // (40 /s), node 3 9 frames 200 ms apart (5 /s). As texts the counts and
    // rates would sort otherwise.
    void latestSorting()
    {
        TraceStore store;
        LatestMessageModel model(&store);
        const struct { quint32 source; int count, intervalMs; } entries[] = {{1, 2, 1000}, {2, 10, 25}, {3, 9, 200}};
        for (const auto &entry : entries) {
            QVector<BusRecord> batch;
            for (int i = 0; i < entry.count; ++i)
                batch << decodedFrame(1, 1000 + i * entry.intervalMs, entry.source);
            store.append(batch);
        }
        QSortFilterProxyModel sorted;
        sorted.setSourceModel(&model);
        sorted.setSortRole(LatestMessageModel::SortRole);
        for (int column : {LatestMessageModel::Count, LatestMessageModel::Rate}) {
            sorted.sort(column, Qt::AscendingOrder);
            QCOMPARE(columnTexts(sorted, LatestMessageModel::Route).join(QLatin1Char(',')),
                     QStringLiteral("000001 \u2192 000002,000003 \u2192 000002,000002 \u2192 000002"));
        }
    }

    // When the store drops the latest entries seen longest ago, the rows
    // are made anew from those left, the filter kept: each row shows its
    // own entry.
    void latestAfterDrop()
    {
        TraceStore store;
        store.setCapacity(10);
        LatestMessageModel model(&store);
        model.setFilterText(QStringLiteral("-mode"));
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        for (quint32 source = 1; source <= 12; ++source)
            store.append({decodedFrame(int(source), 1000, source, QStringLiteral("Status")),
                          decodedFrame(int(source), 1000, source, QStringLiteral("Mode"))});
        QVERIFY(reset.count() > 0);
        QCOMPARE(model.entryCount(), store.latest().size());
        QCOMPARE(model.droppedCount(), store.latest().droppedCount());
        QVERIFY(model.droppedCount() > 0);
        // Only Status rows; sources 9 to 12 are the last four batches: their
        // entries are kept whatever went before.
        const QStringList messages = columnTexts(model, LatestMessageModel::Message);
        QCOMPARE(messages.filter(QStringLiteral("Status")), messages);
        QCOMPARE(columnTexts(model, LatestMessageModel::Values).mid(model.rowCount() - 4),
                 (QStringList{"Count=9", "Count=10", "Count=11", "Count=12"}));
    }

    // Under a value expression a Latest row stands for its entry's last
    // frame: it comes when that frame passes and goes when a later one does
    // not, in place, the other rows kept.
    void latestFollowsFilter()
    {
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        TraceStore store;
        LatestMessageModel model(&store);
        model.setRowFilter(std::make_shared<RecordFilter>(QStringLiteral("[Position] > 50"), catalogue));
        // A drive's position report: Position is its third data byte.
        const auto position = [](quint32 source, int value, qint64 ms) {
            BusRecord r = decodedFrame(value, ms, source, QStringLiteral("Post Position"));
            r.messageId = 0x0D;
            r.bytes = packFrame(0x0D, false, 20, 2, 0, source, 0x3A0C51,
                                QByteArray::fromHex("3412") + char(value) + QByteArray::fromHex("FB9CFFFFFF00"));
            return r;
        };
        const auto shown = [&model] {
            QList<quint32> sources;
            for (int row = 0; row < model.rowCount(); ++row)
                sources << model.recordAt(row)->sourceAddress;
            return sources;
        };
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        store.append({position(1, 40, 1000), position(2, 60, 1001), position(3, 70, 1002)});
        QCOMPARE(shown(), (QList<quint32>{2, 3}));
        store.append({position(1, 70, 1010), position(2, 30, 1011), position(3, 20, 1012)});
        QCOMPARE(shown(), (QList<quint32>{1}));
        store.append({position(3, 90, 1020), position(2, 55, 1021), position(1, 10, 1022)});
        QCOMPARE(shown(), (QList<quint32>{2, 3}));
        QCOMPARE(cellText(model, 1, LatestMessageModel::Count), QStringLiteral("3"));
        QCOMPARE(reset.count(), 0);
    }

    // Past 4096 entries Latest takes a filter in slices from the event loop,
    // the last filter's rows shown meanwhile; an entry judged already whose
    // last frame a batch changes is judged again by it.
    void latestFilterInSlices()
    {
        TraceStore store;
        QVector<BusRecord> batch;
        for (int n = 0; n < 6000; ++n)
            batch << decodedFrame(n, 1000 + n, quint32(n + 1));
        store.append(batch);
        LatestMessageModel model(&store);
        model.setFilterSliceNs(0); // a look at the clock ends each slice
        model.setRowFilter(std::make_shared<RecordFilter>(QStringLiteral("count=1")));
        QVERIFY(model.isFilterPending());
        QCOMPARE(model.rowCount(), 6000);
        // Source 2 (Count=1) no longer passes; source 3 (Count=2) now does.
        store.append({decodedFrame(7, 8000, 2), decodedFrame(1, 8001, 3), decodedFrame(1, 8002, 7000)});
        QTRY_VERIFY(!model.isFilterPending());
        // Count=1, 10 to 19, 100 to 199 and 1000 to 1999, less one, and two more.
        QCOMPARE(model.rowCount(), 1112);
        QCOMPARE(model.recordAt(0)->sourceAddress, 3u);
        QCOMPARE(model.recordAt(1111)->sourceAddress, 7000u);
    }

    // The list keeps a sequence number per row shown and nothing more: the
    // records are the store's, their texts shared between the records of
    // one frame as the session's decoder makes them.
    void memoryPerRow()
    {
        if (!heapusage::measurable())
            QSKIP("the heap in use cannot be read here");
        const int count = 200000;
        QVector<QVector<BusRecord>> batches;
        for (int done = 0; done < count; done += 400) {
            QVector<BusRecord> batch;
            for (int i = done; i < done + 400; ++i)
                batch.append(decodedFrame(i % 64, 1000 + i));
            batches.append(batch);
        }
        // The heap taken by the records fed, or -1 when not every one is shown.
        auto feed = [&](bool withModel) -> qint64 {
            TraceStore store;
            store.setCapacity(count);
            std::unique_ptr<FrameTableModel> model(withModel ? new FrameTableModel(&store) : nullptr);
            const qint64 before = heapusage::bytesInUse();
            for (const QVector<BusRecord> &batch : qAsConst(batches))
                store.append(batch);
            const qint64 taken = heapusage::bytesInUse() - before;
            return store.heldCount() == count && (!model || model->rowCount() == count) ? taken : -1;
        };
        const qint64 storeOnly = feed(false);
        const qint64 withModel = feed(true);
        QVERIFY(storeOnly > 0 && withModel > 0);
        const double perRow = double(withModel - storeOnly) / count;
        qInfo("store %.1f bytes a record, the list %.1f bytes more a row", double(storeOnly) / count, perRow);
        QVERIFY2(perRow <= 12, qPrintable(QString::number(perRow)));
        QVERIFY(double(withModel - storeOnly) / double(storeOnly) < 0.15);
    }
};

QTEST_MAIN(FrameTableModelTest)
#include "frametablemodeltest.moc"
