// The node table: a row per source node, what it counts, its recent rate
// and when a node is silent (the tables in tests/data/insight/nodetable.table).

#include "codec/frame.h"
#include "insight/nodetable.h"
#include "support/tablerows.h"

#include <QtTest>

namespace {

// A good frame from `source` as a decoder gives it.
BusRecord frameFrom(quint32 source, quint8 nodeType, quint8 messageId, qint64 timeUs, int dataBytes = 2,
                    const QString &message = QStringLiteral("Status"))
{
    BusRecord record;
    record.bytes = packFrame(messageId, false, quint8(kFrameOverheadBytes + dataBytes), nodeType, 0, source,
                             0x000001, QByteArray(dataBytes, '\x07'));
    record.timeUs = timeUs;
    record.parsed = record.checksumOk = true;
    record.messageId = messageId;
    record.sourceAddress = source;
    record.destinationAddress = 0x000001;
    record.device = QStringLiteral("Device %1").arg(nodeType);
    record.message = message;
    return record;
}

QString nodeText(quint32 node)
{
    return QStringLiteral("%1").arg(node, 6, 16, QLatin1Char('0')).toUpper();
}

QString rowText(const NodeRow &r)
{
    QString text = QStringLiteral("%1 type %2 '%3': %4 frames, %5 bytes, %6-%7 ms, last %8 '%9';")
                       .arg(nodeText(r.node)).arg(r.nodeType).arg(r.device).arg(r.frames)
                       .arg(r.bytes).arg(r.firstUs / 1000).arg(r.lastUs / 1000).arg(r.lastMessageId, 0, 16)
                       .arg(r.lastMessage);
    for (int m = 0; m < r.messages.size(); ++m)
        text += QStringLiteral(" %1 '%2' x%3").arg(r.messages.at(m).messageId, 0, 16).arg(NodeTable::messageKey(r, m))
                    .arg(r.messages.at(m).count);
    return text;
}

// The rows, each's rate and silence at `nowUs`, and the totals.
QString summary(const NodeTable &table, qint64 nowUs)
{
    QStringList rows;
    for (int i = 0; i < table.size(); ++i) {
        const NodeRow &r = table.row(i);
        rows << QStringLiteral("%1 %2-%3 ms %4/s %5")
                    .arg(nodeText(r.node)).arg(r.firstUs / 1000).arg(r.lastUs / 1000)
                    .arg(table.framesPerSecond(i, nowUs)).arg(table.isSilent(i, nowUs) ? "silent" : "heard");
    }
    return rows.join(QStringLiteral(", ")) + QStringLiteral("; %1 frames, %2 nodes (%3 frames) left out")
        .arg(table.totalFrames()).arg(table.nodesLeftOut()).arg(table.framesLeftOut());
}

} // namespace

class NodeTableTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsPerSource()
    {
        NodeTable table;
        bool added[3] = {};
        QCOMPARE(table.add(frameFrom(0x3A0C51, 2, 0x10, 5000000, 5, QStringLiteral("Post Motor Status")), &added[0]), 0);
        QCOMPARE(table.add(frameFrom(0x000001, 0, 0x20, 6000000, 2, QStringLiteral("Move To Position")), &added[1]), 1);
        QCOMPARE(table.add(frameFrom(0x3A0C51, 2, 0x11, 7000000, 1, QStringLiteral("Post Position")), &added[2]), 0);
        QVERIFY(added[0] && added[1] && !added[2]);
        table.add(frameFrom(0x3A0C51, 2, 0x10, 8000000, 5, QStringLiteral("Post Motor Status")));
        QCOMPARE(rowText(table.row(0)), QStringLiteral("3A0C51 type 2 'Device 2': 3 frames, 44 bytes, 5000-8000 ms, "
                                                       "last 10 'Post Motor Status'; 10 'Post Motor Status' x2 "
                                                       "11 'Post Position' x1"));
        // A controller's frame names the device it talks to, not its own.
        QCOMPARE(rowText(table.row(1)), QStringLiteral("000001 type 0 '': 1 frames, 13 bytes, 6000-6000 ms, "
                                                       "last 20 'Move To Position'; 20 'Move To Position' x1"));
        QCOMPARE(table.indexOf(0x123456), -1);
        QCOMPARE(table.byNode(), (QVector<int>{1, 0}));
        QCOMPARE(table.totalBytes(), quint64(44 + 13));
        QCOMPARE(table.share(1), 13.0 / 57.0);
        table.clear();
        QCOMPARE(table.size(), 0);
        QCOMPARE(table.indexOf(0x3A0C51), -1);
        // Messages by their name; unknown ones by their ID, and two of one name told apart by it.
        for (const auto &[id, name] : {std::pair<int, const char *>{0x30, "Unknown message"}, {0x3A, "Unknown message"},
                                       {0x40, "Get Node Info"}, {0x05, ""}})
            table.add(frameFrom(0x000042, 1, quint8(id), 1000000, 2, QString::fromLatin1(name)));
        QCOMPARE(rowText(table.row(0)), QStringLiteral("000042 type 1 'Device 1': 4 frames, 52 bytes, 1000-1000 ms, "
                                                       "last 5 ''; 5 'message 0x05' x1 30 'Unknown message 0x30' x1 "
                                                       "3a 'Unknown message 0x3A' x1 40 'Get Node Info' x1"));
    }

    // Noise, events and frames whose header or checksum fail name no node;
    // nor does a group frame, whose source field holds the group index.
    void onlyGoodFramesCount()
    {
        QVector<BusRecord> records(9, frameFrom(0x0A0B0C, 3, 0x40, 1000000));
        records[1].kind = BusRecord::Sent;
        records[2].timeUs = -1;
        records[3].destinationAddress = 0xFFFFFF; // broadcast: counted, as the four above
        records[4].checksumOk = false;
        records[5].parsed = false;
        records[6].kind = BusRecord::Noise;
        records[7] = eventRecord(1000000, QStringLiteral("Connected to /dev/ttyUSB0"));
        records[8].destinationAddress = 0x000000; // a group
        for (int i = 0; i < records.size(); ++i) {
            NodeTable table;
            QCOMPARE(table.add(records.at(i)), i < 4 ? 0 : -1);
            QCOMPARE(table.totalFrames(), quint64(i < 4 ? 1 : 0));
        }
    }

    void table_data() { tablerows::addRows("insight/nodetable.table"); }
    void table()
    {
        QFETCH(QByteArrayList, cells);
        const QByteArrayList settings = cells.at(0).split(' ');
        NodeTable table(settings.contains("rates") ? NodeTable::Rates::Kept : NodeTable::Rates::None);
        for (int i = 0; i + 1 < settings.size(); ++i) {
            if (settings.at(i) == "max")
                table.setMaxNodes(settings.at(i + 1).toInt());
            if (settings.at(i) == "silence")
                table.setSilenceThresholdUs(settings.at(i + 1).toLongLong() * 1000);
        }
        static const QRegularExpression form(QStringLiteral("^(\\w+)@(-?\\d+)(?:\\+(\\d+)x(\\d+))?$"));
        for (const QString &word : QString::fromLatin1(cells.at(1)).split(QLatin1Char(' '))) {
            const QRegularExpressionMatch m = form.match(word);
            QVERIFY2(m.hasMatch(), qPrintable(word));
            const quint32 source = m.captured(1).toUInt(nullptr, 16);
            for (int n = 0; n < qMax(1, m.captured(4).toInt()); ++n) {
                const qint64 ms = m.captured(2).toLongLong() + n * m.captured(3).toLongLong();
                const int row = table.add(frameFrom(source, 1, 0x30, ms < 0 ? -1 : ms * 1000));
                QCOMPARE(row, table.indexOf(source));
            }
        }
        QCOMPARE(summary(table, cells.at(2).toLongLong() * 1000), QString::fromUtf8(cells.at(3)));
        table.clear();
        QCOMPARE(summary(table, 0), QStringLiteral("; 0 frames, 0 nodes (0 frames) left out"));
    }
};

QTEST_GUILESS_MAIN(NodeTableTest)
#include "nodetabletest.moc"
