// The node table: a row per source node, what it counts, its recent rate
// and when a node is silent.

#include "codec/frame.h"
#include "insight/nodetable.h"

#include <QtTest>

namespace {

constexpr qint64 kSecond = 1000000;

// A good frame from `source` as a decoder gives it.
BusRecord frameFrom(quint32 source, quint8 nodeType, quint8 messageId, qint64 timeUs, int dataBytes = 2,
                    const QString &message = QStringLiteral("Status"))
{
    BusRecord record;
    record.bytes = packFrame(messageId, false, quint8(kFrameOverheadBytes + dataBytes), nodeType, 0, source,
                             0x000001, QByteArray(dataBytes, '\x07'));
    record.timeUs = timeUs;
    record.parsed = true;
    record.checksumOk = true;
    record.messageId = messageId;
    record.sourceAddress = source;
    record.destinationAddress = 0x000001;
    record.device = QStringLiteral("Device %1").arg(nodeType);
    record.message = message;
    return record;
}

} // namespace

class NodeTableTest : public QObject
{
    Q_OBJECT

private slots:
    void rowsPerSource();
    void onlyGoodFramesCount_data();
    void onlyGoodFramesCount();
    void span_data();
    void span();
    void bound_data();
    void bound();
    void recentRate_data();
    void recentRate();
    void silence_data();
    void silence();
    void messageKeys();
};

void NodeTableTest::rowsPerSource()
{
    NodeTable table;
    bool added = false;
    QCOMPARE(table.add(frameFrom(0x3A0C51, 2, 0x10, 5 * kSecond, 5, QStringLiteral("Post Motor Status")), &added), 0);
    QVERIFY(added);
    QCOMPARE(table.add(frameFrom(0x000001, 0, 0x20, 6 * kSecond, 2, QStringLiteral("Move To Position")), &added), 1);
    QVERIFY(added);
    QCOMPARE(table.add(frameFrom(0x3A0C51, 2, 0x11, 7 * kSecond, 1, QStringLiteral("Post Position")), &added), 0);
    QVERIFY(!added);
    table.add(frameFrom(0x3A0C51, 2, 0x10, 8 * kSecond, 5, QStringLiteral("Post Motor Status")));

    QCOMPARE(table.size(), 2);
    QCOMPARE(table.indexOf(0x3A0C51), 0);
    QCOMPARE(table.indexOf(0x000001), 1);
    QCOMPARE(table.indexOf(0x123456), -1);
    QCOMPARE(table.byNode(), (QVector<int>{1, 0}));

    const NodeRow &motor = table.row(0);
    QCOMPARE(motor.node, quint32(0x3A0C51));
    QCOMPARE(int(motor.nodeType), 2);
    QCOMPARE(motor.device, QStringLiteral("Device 2"));
    QCOMPARE(motor.frames, quint64(3));
    QCOMPARE(motor.bytes, quint64(16 + 12 + 16));
    QCOMPARE(motor.firstUs, 5 * kSecond);
    QCOMPARE(motor.lastUs, 8 * kSecond);
    QCOMPARE(int(motor.lastMessageId), 0x10);
    QCOMPARE(motor.lastMessage, QStringLiteral("Post Motor Status"));
    QCOMPARE(motor.messages.size(), 2);
    QCOMPARE(int(motor.messages.at(0).messageId), 0x10);
    QCOMPARE(motor.messages.at(0).count, quint64(2));
    QCOMPARE(motor.messages.at(1).name, QStringLiteral("Post Position"));
    QCOMPARE(motor.messages.at(1).count, quint64(1));
    // A controller's frame names the device it talks to, not its own.
    QCOMPARE(int(table.row(1).nodeType), 0);
    QCOMPARE(table.row(1).device, QString());

    QCOMPARE(table.totalFrames(), quint64(4));
    QCOMPARE(table.totalBytes(), quint64(44 + 13));
    QCOMPARE(table.share(0), 44.0 / 57.0);
    QCOMPARE(table.share(1), 13.0 / 57.0);

    table.clear();
    QCOMPARE(table.size(), 0);
    QCOMPARE(table.indexOf(0x3A0C51), -1);
}

// Noise, events and frames whose header or checksum fail name no node; nor
// does a group frame, whose source field holds the group index.
void NodeTableTest::onlyGoodFramesCount_data()
{
    QTest::addColumn<BusRecord>("record");
    QTest::addColumn<bool>("counted");

    const BusRecord good = frameFrom(0x0A0B0C, 3, 0x40, kSecond);
    QTest::newRow("received") << good << true;
    BusRecord sent = good;
    sent.kind = BusRecord::Sent;
    QTest::newRow("sent") << sent << true;
    BusRecord bad = good;
    bad.checksumOk = false;
    QTest::newRow("bad checksum") << bad << false;
    BusRecord unparsed = good;
    unparsed.parsed = false;
    QTest::newRow("header not read") << unparsed << false;
    BusRecord noise = good;
    noise.kind = BusRecord::Noise;
    QTest::newRow("noise") << noise << false;
    QTest::newRow("event") << eventRecord(kSecond, QStringLiteral("Connected to /dev/ttyUSB0")) << false;
    BusRecord untimed = good;
    untimed.timeUs = -1;
    QTest::newRow("no time") << untimed << true;
    BusRecord group = good;
    group.destinationAddress = 0x000000;
    QTest::newRow("group") << group << false;
    BusRecord broadcast = good;
    broadcast.destinationAddress = 0xFFFFFF;
    QTest::newRow("broadcast") << broadcast << true;
}

void NodeTableTest::onlyGoodFramesCount()
{
    QFETCH(BusRecord, record);
    QFETCH(bool, counted);
    NodeTable table;
    QCOMPARE(table.add(record) >= 0, counted);
    QCOMPARE(table.size(), counted ? 1 : 0);
    QCOMPARE(table.totalFrames(), quint64(counted ? 1 : 0));
    if (counted)
        QCOMPARE(table.row(0).firstUs, record.timeUs);
}

// A row's first and last are its earliest and latest times, whatever order
// its frames come in (logs out of order, a clock set back).
void NodeTableTest::span_data()
{
    QTest::addColumn<QVector<qint64>>("times"); // ms; -1: no time
    QTest::addColumn<qint64>("firstMs");
    QTest::addColumn<qint64>("lastMs");
    QTest::newRow("in order") << QVector<qint64>{3000, 4000, 5000} << qint64(3000) << qint64(5000);
    QTest::newRow("second log earlier") << QVector<qint64>{90000, 95000, 2000, 7000} << qint64(2000) << qint64(95000);
    QTest::newRow("clock set back") << QVector<qint64>{5000, 6000, 1000, 2000} << qint64(1000) << qint64(6000);
    QTest::newRow("untimed first") << QVector<qint64>{-1, 8000, 4000} << qint64(4000) << qint64(8000);
}

void NodeTableTest::span()
{
    QFETCH(QVector<qint64>, times);
    QFETCH(qint64, firstMs);
    QFETCH(qint64, lastMs);
    NodeTable table;
    for (qint64 ms : times)
        table.add(frameFrom(0x000042, 1, 0x30, ms < 0 ? -1 : ms * 1000));
    QCOMPARE(table.row(0).firstUs, firstMs * 1000);
    QCOMPARE(table.row(0).lastUs, lastMs * 1000);
}

// Past its bound the table makes no row: each node heard after is counted
// once, each of its frames too, and all frames count in the totals.
void NodeTableTest::bound_data()
{
    QTest::addColumn<int>("maxNodes");
    QTest::addColumn<QVector<quint32>>("sources");
    QTest::addColumn<QVector<quint32>>("rows");
    QTest::addColumn<int>("nodesLeftOut");
    QTest::addColumn<int>("framesLeftOut");
    QTest::newRow("room for all") << 3 << QVector<quint32>{1, 2, 1, 3} << QVector<quint32>{1, 2, 3} << 0 << 0;
    QTest::newRow("full after two") << 2 << QVector<quint32>{1, 2, 3, 3, 4, 1} << QVector<quint32>{1, 2} << 2 << 3;
    QTest::newRow("one row") << 1 << QVector<quint32>{0xFFFFFF, 6, 0xFFFFFF, 6, 7} << QVector<quint32>{0xFFFFFF} << 2
                             << 3;
    QTest::newRow("below 1 is 1") << 0 << QVector<quint32>{5, 6} << QVector<quint32>{5} << 1 << 1;
}

void NodeTableTest::bound()
{
    QFETCH(int, maxNodes);
    QFETCH(QVector<quint32>, sources);
    QFETCH(QVector<quint32>, rows);
    QFETCH(int, nodesLeftOut);
    QFETCH(int, framesLeftOut);
    NodeTable table;
    QCOMPARE(table.maxNodes(), 100000);
    table.setMaxNodes(maxNodes);
    for (quint32 source : sources) {
        const int row = table.add(frameFrom(source, 1, 0x30, kSecond));
        QCOMPARE(row, table.indexOf(source));
    }
    QVector<quint32> kept;
    for (int i = 0; i < table.size(); ++i)
        kept << table.row(i).node;
    QCOMPARE(kept, rows);
    QCOMPARE(table.nodesLeftOut(), quint64(nodesLeftOut));
    QCOMPARE(table.framesLeftOut(), quint64(framesLeftOut));
    QCOMPARE(table.totalFrames(), quint64(sources.size()));
    table.clear();
    QCOMPARE(table.nodesLeftOut(), quint64(0));
    QCOMPARE(table.framesLeftOut(), quint64(0));
}

void NodeTableTest::recentRate_data()
{
    QTest::addColumn<QVector<qint64>>("times"); // ms
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("kept"); // whether the table keeps rates

    QVector<qint64> everySecond;
    for (int s = 0; s < 20; ++s)
        everySecond << s * 1000;
    QTest::newRow("one a second, window full") << everySecond << qint64(19500) << 1.0 << true;
    QTest::newRow("half the window") << everySecond << qint64(24500) << 0.5 << true;
    QTest::newRow("all past") << everySecond << qint64(40000) << 0.0 << true;
    QTest::newRow("rates not kept") << everySecond << qint64(19500) << 0.0 << false;
    QVector<qint64> burst;
    for (int i = 0; i < 50; ++i)
        burst << 3000 + i * 10;
    QTest::newRow("burst of 50") << burst << qint64(4000) << 5.0 << true;
    QTest::newRow("frames after now left out") << burst << qint64(3095) << 1.0 << true;
}

void NodeTableTest::recentRate()
{
    QFETCH(QVector<qint64>, times);
    QFETCH(qint64, nowMs);
    QFETCH(double, rate);
    QFETCH(bool, kept);
    NodeTable table(kept ? NodeTable::Rates::Kept : NodeTable::Rates::None);
    for (qint64 ms : times)
        table.add(frameFrom(0x000042, 1, 0x30, ms * 1000));
    QCOMPARE(table.framesPerSecond(0, nowMs * 1000), rate);
}

void NodeTableTest::silence_data()
{
    QTest::addColumn<qint64>("thresholdMs"); // -1: the default
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<bool>("silent");

    // The node was last heard at 5 s.
    QTest::newRow("just heard") << qint64(-1) << qint64(5000) << false;
    QTest::newRow("default, 10 s after") << qint64(-1) << qint64(15000) << false;
    QTest::newRow("default, past 10 s") << qint64(-1) << qint64(15001) << true;
    QTest::newRow("2 s threshold, 1.5 s after") << qint64(2000) << qint64(6500) << false;
    QTest::newRow("2 s threshold, 3 s after") << qint64(2000) << qint64(8000) << true;
}

void NodeTableTest::silence()
{
    QFETCH(qint64, thresholdMs);
    QFETCH(qint64, nowMs);
    QFETCH(bool, silent);
    NodeTable table;
    QCOMPARE(table.silenceThresholdUs(), 10 * kSecond);
    if (thresholdMs >= 0)
        table.setSilenceThresholdUs(thresholdMs * 1000);
    table.add(frameFrom(0x000042, 1, 0x30, 2 * kSecond));
    table.add(frameFrom(0x000042, 1, 0x30, 5 * kSecond));
    QCOMPARE(table.isSilent(0, nowMs * 1000), silent);
}

void NodeTableTest::messageKeys()
{
    NodeTable table;
    table.add(frameFrom(0x000042, 1, 0x30, kSecond, 2, QStringLiteral("Unknown message")));
    table.add(frameFrom(0x000042, 1, 0x3A, kSecond, 2, QStringLiteral("Unknown message")));
    table.add(frameFrom(0x000042, 1, 0x40, kSecond, 2, QStringLiteral("Get Node Info")));
    table.add(frameFrom(0x000042, 1, 0x05, kSecond, 2, QString()));
    const NodeRow &row = table.row(0);
    QStringList keys;
    for (int m = 0; m < row.messages.size(); ++m)
        keys << NodeTable::messageKey(row, m);
    QCOMPARE(keys, (QStringList{QStringLiteral("message 0x05"), QStringLiteral("Unknown message 0x30"),
                                QStringLiteral("Unknown message 0x3A"), QStringLiteral("Get Node Info")}));
}

QTEST_GUILESS_MAIN(NodeTableTest)
#include "nodetabletest.moc"
