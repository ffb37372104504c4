// The Bus page's Nodes tab, load line and Replay: fed live batches and
// opened logs, Clear, the line settings, and a log replayed onto a
// pseudo-terminal. (The node table model alone: nodetablemodeltest;
// Replay's rules, looping too: replaytooltest.)
#include "buspage.h"

const qint64 kSecond = 1000000;

class BusPageInsightTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Live batches on the Nodes tab: one row per source node, in order of
    // first appearance; sorted by Frames as numbers (as texts, 10 < 2 < 9).
    // A double click on a node filters the list to its frames, with the
    // filter text of the row menu's "Filter by this node".
    void nodesOfLiveBatches()
    {
        const qint64 now = wallClockUs() - 300000;
        QVector<BusRecord> batch;
        for (const QPair<quint32, int> node : {qMakePair(0xA1u, 10), qMakePair(0xB2u, 2), qMakePair(0xC3u, 9)}) {
            for (int i = 0; i < node.second; ++i) {
                const QByteArray frame = statusFrame(node.first, quint8(i));
                batch << bus->session()->prepare(frame, now + batch.size(), BusRecord::Received);
            }
        }
        bus->session()->load(batch);
        tickInsight();
        QCOMPARE(nodeColumn(NodeTableModel::Node), QStringList({"0000A1", "0000B2", "0000C3"}));
        find<QTabWidget>(QStringLiteral("tabWidgetDetail"))->setCurrentWidget(nodesView());
        nodesView()->sortByColumn(NodeTableModel::Frames, Qt::DescendingOrder);
        QCOMPARE(nodeColumn(NodeTableModel::Frames), QStringList({"10", "9", "2"}));

        const QRect cell = nodesView()->visualRect(nodesView()->model()->index(1, NodeTableModel::Device));
        QVERIFY(nodesView()->viewport()->rect().contains(cell.center()));
        // As a mouse does it: press and release, then the second press.
        QTest::mouseClick(nodesView()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QTest::mouseDClick(nodesView()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        QCOMPARE(field(QStringLiteral("LineEditFilter"))->text(), QStringLiteral("0000C3"));
        QCOMPARE(model()->rowCount(), 9);
        for (int row = 0; row < model()->rowCount(); ++row)
            QCOMPARE(model()->recordAt(row)->sourceAddress, quint32(0xC3));

        // The tab chosen and "Silent after" are there again next time.
        find<QSpinBox>(QStringLiteral("spinBoxSilentAfter"))->setValue(25);
        cleanup();
        init();
        QCOMPARE(find<QTabWidget>(QStringLiteral("tabWidgetDetail"))->currentWidget(), nodesView());
        QCOMPARE(find<QSpinBox>(QStringLiteral("spinBoxSilentAfter"))->value(), 25);
        find<QTabWidget>(QStringLiteral("tabWidgetDetail"))->setCurrentIndex(0);
        find<QSpinBox>(QStringLiteral("spinBoxSilentAfter"))->setValue(10);
    }

    // The load line over the last second, in the combos' line settings (the
    // load's rules: busloadtest): four good frames and a bad one of 12 bytes
    // and 5 bytes of noise are 65 bytes on the wire. It follows the combos
    // at once. Clear empties Nodes and the line; the next frames count afresh.
    void loadLineAndNodes()
    {
        setLineSettings(QStringLiteral("2400"), QStringLiteral("8"), QStringLiteral("odd"), QStringLiteral("1.5"));
        const qint64 now = wallClockUs() - 200000;
        QVector<BusRecord> batch;
        for (int i = 0; i < 4; ++i)
            batch << bus->session()->prepare(statusFrame(quint32(0xA0 + i), 1), now + i * 1000, BusRecord::Received);
        batch << bus->session()->prepare(withBadChecksum(statusFrame(0xE0, 2)), now + 5000, BusRecord::Received);
        batch << noise(QByteArray::fromHex("0102030405"), now + 6000);
        bus->session()->load(batch);
        tickInsight();
        const QString expected = QStringLiteral("5 frames/s \u00b7 load %1 % \u00b7 1 bad checksums \u00b7 5 noise bytes");
        QCOMPARE(loadLineText(), expected.arg(QStringLiteral("31.1"))); // 65 × 11.5 / 2400 = 31.15 %
        // 65 bytes × 10 bits / 9600 baud = 6.77 %
        setLineSettings(QStringLiteral("9600"), QStringLiteral("8"), QStringLiteral("none"), QStringLiteral("1"));
        QCOMPARE(loadLineText(), expected.arg(QStringLiteral("6.8")));
        QCOMPARE(nodesView()->model()->rowCount(), 4); // the good frames' nodes

        clearList();
        QCOMPARE(nodesView()->model()->rowCount(), 0);
        tickInsight();
        QCOMPARE(loadLineText(), QStringLiteral("0 frames/s \u00b7 load 0.0 % \u00b7 0 bad checksums \u00b7 0 noise bytes"));
        bus->session()->load({bus->session()->prepare(statusFrame(0xC3, 1), wallClockUs() - 100000, BusRecord::Received)});
        tickInsight();
        QCOMPARE(nodeColumn(NodeTableModel::Node), QStringList{"0000C3"});
        QCOMPARE(nodeColumn(NodeTableModel::Frames), QStringList{"1"});

        // An opened log: the load over its span, and rates and silence at
        // its last time rather than now (by now, years later, every node
        // would be silent and at 0 frames/s).
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        const qint64 base = kLogBaseUs;
        QVERIFY(writeLog(path, {logged(statusFrame(0xA1, 1), base), logged(statusFrame(0xA1, 2), base + kSecond / 2),
                                logged(statusFrame(0xC3, 3), base + kSecond),
                                logged(withBadChecksum(statusFrame(0xD4, 4)), base + 3 * kSecond / 2),
                                noise(QByteArray::fromHex("00FF00FF"), base + 2 * kSecond)}));
        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
        tickInsight();
        // 4 frames over 2 s and the first frame's 12.5 ms on the wire: 1.99 frames/s;
        // 52 bytes × 10 bits / 9600 baud = 54.17 ms of 2012.5 ms: 2.69 %.
        QCOMPARE(loadLineText(), QStringLiteral("over the log: 2.0 frames/s \u00b7 load 2.7 % \u00b7 1 bad checksums "
                                            "\u00b7 4 noise bytes"));
        QCOMPARE(nodesView()->model()->rowCount(), 2);
        QCOMPARE(nodeColumn(NodeTableModel::Rate), QStringList({"0.2", "0.1"}));
        QCOMPARE(greyRows(), QVector<bool>({false, false}));
        auto *silentAfter = find<QSpinBox>(QStringLiteral("spinBoxSilentAfter"));
        silentAfter->setValue(1);
        // 0000A1 last heard 1.5 s before the log's end, 0000C3 1 s.
        QCOMPARE(greyRows(), QVector<bool>({true, false}));
        silentAfter->setValue(10);
    }

    // "Replay…" is for a connected port; its row shows only while replaying,
    // with Pause and Resume (what they hold back: replaytooltest). At 100×,
    // frames 20 s apart come 0.2 s apart; they reach the far end in order,
    // byte for byte, and show as TX rows; noise and events of the log are
    // not played.
    void replayThroughPort()
    {
        QVERIFY(!button(QStringLiteral("buttonReplay"))->isEnabled());
        QVERIFY(replayRow()->isHidden());
        connectTo(device->path);
        clearList();
        auto *speed = find<QDoubleSpinBox>(QStringLiteral("doubleSpinBoxReplaySpeed"));
        speed->setValue(100);
        const QByteArray first = statusFrame(0xA1, 1);
        const QByteArray second = withBadChecksum(statusFrame(0xB2, 2));
        const QByteArray third = statusFrame(0xC3, 3);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("replay.log"));
        QVERIFY(writeLog(path, {eventRecord(kLogBaseUs, QStringLiteral("Connected to /dev/ttyX")),
                                logged(first, kLogBaseUs), logged(second, kLogBaseUs + 20 * kSecond, BusRecord::Sent),
                                noise(QByteArray::fromHex("00FF"), kLogBaseUs + 30 * kSecond),
                                logged(third, kLogBaseUs + 40 * kSecond)}));
        answerFileDialog(path);
        click(QStringLiteral("buttonReplay"));
        QVERIFY(replayRow()->isVisibleTo(page));
        QCOMPARE(find<QLabel>(QStringLiteral("labelReplay"))->text(), QStringLiteral("Replaying replay.log"));
        QCOMPARE(message(), QStringLiteral("Replaying 3 frames of ") + path);
        QCOMPARE(device->read(12), first);
        QPushButton *pause = button(QStringLiteral("buttonReplayPause"));
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(pause->text(), QStringLiteral("Resume"));
        QTest::mouseClick(pause, Qt::LeftButton);
        QCOMPARE(pause->text(), QStringLiteral("Pause"));
        QCOMPARE(device->read(24, 4000), QByteArray(second + third));
        QTRY_VERIFY(replayRow()->isHidden());
        speed->setValue(1);
        QCOMPARE(message(), QStringLiteral("Replayed 3 frames of ") + path);
        QTRY_COMPARE(rowTexts(), QStringList({QStringLiteral("TX ok ") + frameToHexText(first),
                                              QStringLiteral("TX bad ") + frameToHexText(second),
                                              QStringLiteral("TX ok ") + frameToHexText(third)}));
        QCOMPARE(device->read(1, 300), QByteArray());
        click(QStringLiteral("buttonConnect"));
        QVERIFY(!button(QStringLiteral("buttonReplay"))->isEnabled());
    }

private:
    QWidget *replayRow() const { return find(QStringLiteral("widgetReplay")); }

    QVector<bool> greyRows() const
    {
        QVector<bool> grey;
        for (int row = 0; row < nodesView()->model()->rowCount(); ++row)
            grey << (textColour(*nodesView()->model(), row, NodeTableModel::Node) == QColor(Qt::gray));
        return grey;
    }

    void setLineSettings(const QString &baud, const QString &dataBits, const QString &parity, const QString &stopBits)
    {
        find<QComboBox>(QStringLiteral("comboBoxBaud"))->setEditText(baud);
        find<QComboBox>(QStringLiteral("comboBoxDataBits"))->setCurrentText(dataBits);
        find<QComboBox>(QStringLiteral("comboBoxParity"))->setCurrentText(parity);
        find<QComboBox>(QStringLiteral("comboBoxStopBits"))->setCurrentText(stopBits);
    }
};

QTEST_MAIN(BusPageInsightTest)
#include "buspageinsighttest.moc"
