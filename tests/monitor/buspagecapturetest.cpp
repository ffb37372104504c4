// The Bus page's files, logs and pcap captures: the file dialogs' filters,
// Save, Record as a capture, and Open of what it saved. (Recording logs:
// buslayouttest; files opened, whole or damaged: logtooltest; write
// errors: bussessiontest.)
#include "buspage.h"

#include "capture/recordfile.h"
#include "support/datarows.h"

class BusPageCaptureTest : public BusPageFixture
{
    Q_OBJECT

    // The records held, the events too if asked for.
    QVector<BusRecord> heldRecords(bool events) const
    {
        QVector<BusRecord> records;
        for (int i = 0; i < model()->heldCount(); ++i) {
            if (events || model()->heldRecord(i).kind != BusRecord::Event)
                records.append(model()->heldRecord(i));
        }
        return records;
    }

    // Frames (one with a bad checksum), a noise run and one sent frame
    // after the port's event.
    void fillFromDevice()
    {
        connectTo(device->path);
        QVector<QByteArray> frames = bundledFrames(50, 3);
        frames[10] = withBadChecksum(frames.at(10));
        QVERIFY(device->write(concat(frames.mid(0, 25)) + QByteArray::fromHex("1234")));
        QTest::qWait(250);
        QVERIFY(device->write(concat(frames.mid(25))));
        QTRY_COMPARE(model()->heldCount(), 52);
        bus->sending()->sendFrame(statusFrame(0x77, 7));
        QTRY_COMPARE(model()->heldCount(), 53);
    }

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void dialogFilters_data() { addDataRows(QStringLiteral("monitor/dialogfilters.txt")); }
    void dialogFilters()
    {
        QFETCH(QStringList, row);
        QStringList shown;
        answerFileDialog(QString(), QString(), &shown);
        QTest::mouseClick(button(row[0]), Qt::LeftButton);
        QCOMPARE(shown.join(QStringLiteral("; ")), row[1]);
    }

    // A bare name takes the suffix of the filter chosen; a name ending in
    // .pcap is a capture whatever the filter.
    void saveChoosesKind_data() { addDataRows(QStringLiteral("monitor/savekinds.txt")); }
    void saveChoosesKind()
    {
        QFETCH(QStringList, row);
        const QString written = row[2];
        connectTo(device->path);
        QVERIFY(device->write(statusFrame(1, 1)));
        QTRY_COMPARE(model()->heldCount(), 2);
        QTemporaryDir dir;
        answerFileDialog(dir.filePath(row[1]), row[0]);
        QTest::mouseClick(button(QStringLiteral("buttonSave")), Qt::LeftButton);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
        const QString path = dir.filePath(written);
        QCOMPARE(capture::recordFileKind(path) == capture::RecordFileKind::Capture, row[3] == QLatin1String("1"));
        // The next dialog for a bus file opens where this one was saved.
        QString opened;
        answerFileDialog(QString(), QString(), nullptr, &opened);
        QTest::mouseClick(button(QStringLiteral("buttonOpen")), Qt::LeftButton);
        QCOMPARE(opened, QDir(dir.path()).absolutePath());
    }

    // Save writes every frame, bad frame and noise run held, whatever the
    // filter, and Open reads them back with the counters (what a file keeps
    // of a record: logtooltest); a capture leaves the event out, and says so.
    void saveThenOpen_data() { addDataRows(QStringLiteral("monitor/savethenopen.txt")); }
    void saveThenOpen()
    {
        QFETCH(QStringList, row);
        const QString name = row[0], saved = row[1];
        fillFromDevice();
        const QVector<BusRecord> expected = heldRecords(name.endsWith(QLatin1String(".log")));
        field(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("TX"));
        const QString counters = label(QStringLiteral("labelCounters"));
        QVERIFY2(counters.contains(QStringLiteral("1 bad checksum,")), qPrintable(counters));
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(bus->logs()->save(path));
        QCOMPARE(message(), saved.arg(path));
        QCOMPARE(find<QLabel>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: black"));

        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
        QCOMPARE(message(), QStringLiteral("Opened %1: 51 frames, 1 noise run").arg(path));
        QCOMPARE(label(QStringLiteral("labelCounters")), counters);
        QCOMPARE(model()->heldCount(), expected.size());
        for (int k = 0; k < expected.size(); ++k) {
            QCOMPARE(model()->heldRecord(k).bytes, expected.at(k).bytes);
            QCOMPARE(model()->store()->singleLine(model()->heldRecord(k)), model()->store()->singleLine(expected.at(k)));
        }
        QCOMPARE(model()->rowCount(), 1); // the filter holds: the TX frame
    }

    // Recorded while frames arrive, flushed without waiting for the end:
    // the capture holds what the list shows, but for the events (what it
    // keeps of each: capturefiletest).
    void recordCapture()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("record.pcap"));
        QVERIFY(bus->logs()->startRecording(path));
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(60, 8);
        QVERIFY(device->write(concat(frames.mid(0, 30))));
        QTest::qWait(200);
        QVERIFY(device->write(QByteArray::fromHex("ff00") + concat(frames.mid(30))));
        QTRY_COMPARE(model()->heldCount(), 62);
        QTRY_COMPARE_WITH_TIMEOUT(int(capture::readRecordFile(path).records.size()), 61, 3000);
        QTest::mouseClick(button(QStringLiteral("buttonRecord")), Qt::LeftButton);
        const capture::RecordFileRead read = capture::readRecordFile(path);
        QCOMPARE(read.kind, capture::RecordFileKind::Capture);
        QVERIFY2(read.ok(), qPrintable(read.error));
        const QVector<BusRecord> held = heldRecords(false);
        QCOMPARE(read.records.size(), held.size());
        QCOMPARE(read.records.at(30).kind, BusRecord::Noise);
        QCOMPARE(read.records.last().timeUs, held.last().timeUs);
    }
};

QTEST_MAIN(BusPageCaptureTest)
#include "buspagecapturetest.moc"
