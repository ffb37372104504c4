// The Nodes view's model: its rows and texts from records with chosen
// times, greying by silence, how rows are announced, and numeric sorting.
#include "monitor/frametablemodel.h"
#include "monitor/nodetablemodel.h"

#include "trace/tracestore.h"
#include "support/busrecords.h"
#include "support/modelcells.h"

#include <QtTest>

namespace {

// 2024-01-01 00:00:00 UTC, in µs.
const qint64 kBase = Q_INT64_C(1704067200000000);
const qint64 kSecond = 1000000;

// A good frame record of `source` at `timeUs`, `size` bytes long, its node
// type in header byte 2 as the bus carries it (inverted).
BusRecord frame(quint32 source, qint64 timeUs, const QString &message = QStringLiteral("Post Status"),
                int size = 11, quint8 nodeType = 2)
{
    BusRecord r;
    r.timeUs = timeUs;
    r.parsed = true;
    r.checksumOk = true;
    r.messageId = quint8(0x20 + message.size());
    r.sourceAddress = source;
    r.destinationAddress = 0xFFFFFF;
    r.bytes = QByteArray(size, char(0xFF));
    r.bytes[2] = char(~(nodeType << 4));
    r.device = QStringLiteral("QX-Drive 40");
    r.message = message;
    return r;
}

bool grey(const QAbstractItemModel &model, int row)
{
    return textColour(model, row, NodeTableModel::Node) == QColor(Qt::gray);
}

// "000002 2000, …": each row's node and frames.
QStringList framesPerNode(const NodeTableModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row)
        rows << cellText(model, row, NodeTableModel::Node) + QLatin1Char(' ')
                    + cellText(model, row, NodeTableModel::Frames);
    return rows;
}

} // namespace

class NodeTableModelTest : public QObject
{
    Q_OBJECT

private slots:
    // Two nodes, one sending three small frames and another one larger; bad,
    // noise and event records count for no node. A node is grey once silent
    // longer than the threshold (when that is: nodetabletest); a new
    // threshold draws every row again.
    void contents()
    {
        TraceStore store;
        NodeTableModel model(&store);
        QVector<BusRecord> batch;
        batch << frame(0x3A0C51, kBase, QStringLiteral("Post Status"));
        batch << frame(0x000001, kBase + 1 * kSecond, QStringLiteral("Move To"), 22, 0);
        batch << frame(0x3A0C51, kBase + 2 * kSecond, QStringLiteral("Post Status"));
        BusRecord bad = frame(0x000007, kBase + 2 * kSecond);
        bad.checksumOk = false;
        batch << bad << busRecord(BusRecord::Noise, kBase + 3 * kSecond, QByteArray(5, 'x'))
              << eventRecord(kBase, QStringLiteral("Connected to /dev/null"));
        BusRecord unknown = frame(0x3A0C51, kBase + 4 * kSecond, QString());
        unknown.messageId = 0x5C;
        batch << unknown;
        store.append(batch);
        model.refresh(kBase + 5 * kSecond);

        QCOMPARE(model.rowCount(), 2);
        const auto time = [](qint64 us) { return timeOfDayText(us).left(12); };
        const QStringList first = {"3A0C51", "2", "QX-Drive 40", time(kBase), time(kBase + 4 * kSecond), "3", "0.3",
                                   "60.0 %", "message 0x5C"};
        const QStringList second = {"000001", "0", "", time(kBase + kSecond), time(kBase + kSecond), "1", "0.1",
                                    "40.0 %", "Move To"};
        for (int column = 0; column < NodeTableModel::ColumnCount; ++column) {
            QCOMPARE(cellText(model, 0, column), first.at(column));
            QCOMPARE(cellText(model, 1, column), second.at(column));
        }
        QCOMPARE(model.nodeAt(0), qint64(0x3A0C51));
        QCOMPARE(model.nodeAt(1), qint64(0x000001));
        QCOMPARE(model.nodeAt(2), qint64(-1));
        QVERIFY(!grey(model, 0) && !grey(model, 1));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setSilenceThresholdUs(3 * kSecond); // the second node silent for 4 s
        QCOMPARE(changed.count(), 1);
        QVERIFY(!grey(model, 0) && grey(model, 1));
    }

    // Under a filter, as the list: the nodes of the frames it selects,
    // counting those frames, those that come after it too; clearing it shows
    // every node again. The records held are judged here, or taken as the
    // list chose them.
    void followsFilter_data()
    {
        QTest::addColumn<bool>("asTheList");
        QTest::newRow("judged") << false;
        QTest::newRow("as the list chose") << true;
    }
    void followsFilter()
    {
        QFETCH(bool, asTheList);
        TraceStore store;
        NodeTableModel model(&store);
        FrameTableModel list(&store);
        store.append({frame(0x00000A, kBase), frame(0x00000B, kBase + 1, QStringLiteral("Move To")),
                      frame(0x00000A, kBase + 2, QStringLiteral("Move To"))});
        const auto filter = std::make_shared<RecordFilter>(QStringLiteral("move"));
        list.setRowFilter(filter);
        model.setRowFilter(filter, asTheList ? &list.shownSequence() : nullptr);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        store.append({frame(0x00000C, kBase + 3), frame(0x00000C, kBase + 4, QStringLiteral("Move To")),
                      frame(0x00000B, kBase + 5, QStringLiteral("Move To"))});
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(framesPerNode(model), (QStringList{"00000B 2", "00000A 1", "00000C 1"}));
        model.setRowFilter(std::make_shared<RecordFilter>());
        QCOMPARE(framesPerNode(model), (QStringList{"00000A 2", "00000B 2", "00000C 2"}));
    }

    // Past the first 4096 of the list's rows the count goes on from the event
    // loop, the last filter's nodes shown meanwhile; the rows the list
    // chose meanwhile are counted too, each once.
    void countsInSlices()
    {
        TraceStore store;
        NodeTableModel model(&store);
        FrameTableModel list(&store);
        QVector<BusRecord> batch;
        for (int i = 0; i < 12000; ++i)
            batch << frame(quint32(i % 3 + 1), kBase + i, i % 2 ? QStringLiteral("Move To") : QStringLiteral("Post"));
        store.append(batch);
        const auto filter = std::make_shared<RecordFilter>(QStringLiteral("move"));
        list.setRowFilter(filter);
        QTRY_VERIFY(!list.isFilterPending());
        model.setCountSliceNs(0); // a look at the clock ends each slice
        model.setRowFilter(filter, &list.shownSequence());
        QVERIFY(model.isCountPending());
        QCOMPARE(cellText(model, 0, NodeTableModel::Frames), QStringLiteral("4000"));
        store.append({frame(4, kBase + 12000, QStringLiteral("Move To")), frame(1, kBase + 12001)});
        model.setSilenceThresholdUs(5 * kSecond);
        QTRY_VERIFY(!model.isCountPending());
        QCOMPARE(model.silenceThresholdUs(), 5 * kSecond);
        QCOMPARE(framesPerNode(model), (QStringList{"000002 2000", "000001 2000", "000003 2000", "000004 1"}));
    }

    // New nodes come in one insertion a batch; frames of known nodes are
    // announced by the tick alone, one dataChanged over every row.
    void announcing()
    {
        TraceStore store;
        NodeTableModel model(&store);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        store.append({frame(1, kBase), frame(2, kBase), frame(1, kBase + 1)});
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(inserted.at(0).at(2).toInt(), 1);
        store.append({frame(2, kBase + 2), frame(1, kBase + 3), frame(3, kBase + 4), frame(4, kBase + 5)});
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(2).toInt(), 3);
        store.append({frame(2, kBase + 6)});
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(cellText(model, 1, NodeTableModel::Frames), QStringLiteral("3"));

        model.refresh(kBase + kSecond);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(3, NodeTableModel::ColumnCount - 1));

        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        store.clear();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model.rowCount(), 0);
        store.append({frame(9, kBase)});
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(cellText(model, 0, NodeTableModel::Frames), QStringLiteral("1"));
    }

    // Numbers sort as numbers: 2 < 9 < 10 frames, 0.2 < 0.9 < 1.0 frames/s
    // (as text "10" and "1.0" would come first or last).
    void sortingNumeric()
    {
        TraceStore store;
        NodeTableModel model(&store);
        QVector<BusRecord> batch;
        for (const auto &count : QVector<QPair<quint32, int>>{{0xA, 10}, {0xB, 2}, {0xC, 9}}) {
            for (int i = 0; i < count.second; ++i)
                batch << frame(count.first, kBase + i * 1000);
        }
        store.append(batch);
        model.refresh(kBase + kSecond);
        QSortFilterProxyModel sorted;
        sorted.setSourceModel(&model);
        sorted.setSortRole(NodeTableModel::SortRole);
        for (int column : {NodeTableModel::Frames, NodeTableModel::Rate, NodeTableModel::Share}) {
            sorted.sort(column, Qt::AscendingOrder);
            QCOMPARE(columnTexts(sorted, NodeTableModel::Node), (QStringList{"00000B", "00000C", "00000A"}));
        }
    }
};

QTEST_GUILESS_MAIN(NodeTableModelTest)
#include "nodetablemodeltest.moc"
