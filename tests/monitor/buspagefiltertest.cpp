// The Bus page's filter field read as an expression: the page selects what
// `kwn-frame decode --filter` selects on one log, a refused expression says
// what is wrong and leaves the rows alone, and the trigger that pauses the
// list after a matching frame and N more while the counters go on.
#include "buspage.h"

#include "toolrun.h"

namespace {

// "RX 0F…": a frame as the comparison with the command line reads it.
QString rowKey(const BusRecord &record)
{
    return directionText(record.kind) + QLatin1Char(' ') + QString::fromLatin1(record.bytes.toHex().toUpper());
}

} // namespace

class BusPageFilterTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Parameters read from the bytes, the header, bad checksums and frames
    // without the fields, the decoded status line: the rows the command
    // line selects, and Latest's among them.
    void pageSelectsWhatDecodeSelects()
    {
        const QString expression = QStringLiteral("[Position] > 40 or direction == \"TX\" && source & 1 "
                                                  "or status contains \"length\"");
        const QString path = mixedLog();
        QVERIFY(!path.isEmpty());
        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
        const int held = model()->heldCount();
        field(QStringLiteral("LineEditFilter"))->setText(expression);
        QVERIFY(field(QStringLiteral("LineEditFilter"))->styleSheet().contains(QStringLiteral("border")));

        const ToolRun run = runTool(QStringLiteral(KWN_CLI_PATH),
                                    {QStringLiteral("decode"), QStringLiteral("--json"), QStringLiteral("--filter"),
                                     expression, QStringLiteral("--input"), path},
                                    QStringLiteral(KWN_SOURCE_DIR));
        QVERIFY2(run.exitCode == 0 || run.exitCode == 1, run.err.constData());
        QStringList cli;
        for (const QByteArray &line : run.out.split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            cli << object.value(QStringLiteral("direction")).toString() + QLatin1Char(' ')
                       + object.value(QStringLiteral("bytes")).toString().toUpper();
        }
        QStringList page;
        for (int row = 0; row < model()->rowCount(); ++row)
            page << rowKey(*model()->recordAt(row));
        QVERIFY(!page.isEmpty() && page.size() < held);
        QCOMPARE(page, cli);
        QCOMPARE(find<QLabel>(QStringLiteral("labelFilterCount"))->text(),
                 QStringLiteral("%1 of %2").arg(page.size()).arg(held));
        // Latest follows: every row it shows is one the expression selects.
        auto *latest = bus->findChild<LatestMessageModel *>(QStringLiteral("latestModel"));
        QVERIFY(latest->rowCount() > 0 && latest->rowCount() < latest->entryCount());
        for (int row = 0; row < latest->rowCount(); ++row)
            QVERIFY(cli.contains(rowKey(*latest->recordAt(row))));
    }

    // Half an expression says what is wrong and where, and the rows stay
    // as the last filter chose them; words stay words.
    void refusedExpressionLeavesTheRows()
    {
        QVERIFY(bus->logs()->open(mixedLog()));
        QTRY_VERIFY(!bus->logs()->isOpening());
        QLineEdit *filter = field(QStringLiteral("LineEditFilter"));
        filter->setText(QStringLiteral("[Position] > 40"));
        const int shown = model()->rowCount();
        filter->setText(QStringLiteral("[Position] >"));
        QCOMPARE(model()->rowCount(), shown);
        QVERIFY(filter->styleSheet().contains(QStringLiteral("#d0302a")));
        const QString expected = QStringLiteral("Filter: expected a value after \">\" at column 13");
        QCOMPARE(filter->toolTip(), expected);
        QCOMPARE(message(), expected);

        filter->setText(QStringLiteral("-noise"));
        QVERIFY(filter->styleSheet().isEmpty());
        QVERIFY(model()->rowCount() > shown);
        for (int row = 0; row < model()->rowCount(); ++row)
            QVERIFY(model()->recordAt(row)->kind != BusRecord::Noise);
    }

    // The list pauses after the matching frame and two more; the frames
    // after them are held and counted, and come when the pause ends.
    void triggerPausesAfterTheMatchAndNMore()
    {
        connectTo(device->path);
        clearList();
        field(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("source == \"000007\""));
        find<QSpinBox>(QStringLiteral("spinBoxPauseAfter"))->setValue(2);
        find<QCheckBox>(QStringLiteral("checkBoxPauseOnMatch"))->setChecked(true);
        QVector<QByteArray> frames;
        for (quint32 source : {1, 2, 7, 3, 4, 5, 6})
            frames << packFrame(0x01, false, 12, 0, 2, source, 0x000000, QByteArray(1, 1)); // Move down
        QVERIFY(device->write(concat(frames.mid(0, 4))));
        QTRY_COMPARE(model()->heldCount(), 4);
        QCOMPARE(model()->rowCount(), 1);
        QVERIFY(!button(QStringLiteral("buttonPause"))->isChecked());
        QVERIFY(device->write(concat(frames.mid(4))));
        QTRY_VERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("7 received")));
        QVERIFY(button(QStringLiteral("buttonPause"))->isChecked());
        QCOMPARE(model()->heldCount(), 5);
        QCOMPARE(model()->heldRecord(4).bytes, frames.at(4));

        click(QStringLiteral("buttonPause"));
        QTRY_COMPARE(model()->heldCount(), 7);
        QCOMPARE(model()->heldRecord(6).bytes, frames.at(6));
    }

private:
    // Frames of every bundled message with random data, some sent, some
    // with a bad checksum, among noise runs and events.
    QString mixedLog()
    {
        QRandomGenerator random(31);
        QVector<BusRecord> records;
        records << eventRecord(kLogBaseUs, QStringLiteral("Connected to /dev/ttyTEST0"));
        const QVector<QByteArray> frames = bundledFrames(600, 31);
        for (int i = 0; i < frames.size(); ++i) {
            const qint64 time = kLogBaseUs + (i + 1) * 1000;
            QByteArray frame = frames.at(i);
            if (i % 7 == 3)
                frame = withOneByteFlipped(random, frame);
            records << logged(frame, time, i % 5 == 1 ? BusRecord::Sent : BusRecord::Received);
            if (i % 50 == 10)
                records << logged(QByteArray::fromHex("0102f0"), time + 500, BusRecord::Noise);
        }
        const QString path = logDir.filePath(QStringLiteral("mixed%1.log").arg(++logs));
        return writeLog(path, records) ? path : QString();
    }

    QTemporaryDir logDir;
    int logs = 0;
};

QTEST_MAIN(BusPageFilterTest)
#include "buspagefiltertest.moc"
