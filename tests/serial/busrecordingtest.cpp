// Saving the records held: a log, or a capture by a name ending in ".pcap",
// and what is said of it.

#include "capture/recordfile.h"
#include "serial/busrecording.h"
#include "busframes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

BusRecord recordOf(BusRecord::Kind kind, qint64 timeUs, const QByteArray &bytes)
{
    BusRecord record;
    record.kind = kind;
    record.timeUs = timeUs;
    record.bytes = bytes;
    return record;
}

} // namespace

class BusRecordingTest : public QObject
{
    Q_OBJECT

private slots:
    // The file holds every record (a capture all but the events), and the
    // message says what was saved; a file that cannot be written is said
    // in the same words for both kinds.
    void saveRecords_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<QString>("message");
        QTest::newRow("log") << "bus.log" << "" << "Saved 2 frames and 1 noise run to %1";
        QTest::newRow("capture, the event left out")
            << "bus.pcap" << "" << "Saved 2 frames and 1 noise run to %1; 1 event left out: a capture holds no events";
        QTest::newRow("log on a full disk") << "full.log" << "/dev/full" << "Cannot write %1: No space left on device";
        QTest::newRow("capture on a full disk")
            << "full.pcap" << "/dev/full" << "Cannot write %1: No space left on device";
        QTest::newRow("capture through a link to nothing")
            << "gone.pcap" << "nothing-here" << "Cannot write %1: %1 is a link to a file that does not exist";
    }
    void saveRecords()
    {
        QFETCH(QString, name);
        QFETCH(QString, linkTo);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (!linkTo.isEmpty())
            QVERIFY(QFile::link(linkTo.startsWith(QLatin1Char('/')) ? linkTo : dir.filePath(linkTo), path));
        const qint64 start = qint64(1767225600) * 1000000; // 2026-01-01
        const QVector<QByteArray> frames = bundledFrames(2, 5);
        const QVector<BusRecord> records{recordOf(BusRecord::Received, start, frames.at(0)),
                                         eventRecord(start + 1000, QStringLiteral("Connected to ttyS9")),
                                         recordOf(BusRecord::Noise, start + 2000, QByteArray::fromHex("a5a5")),
                                         recordOf(BusRecord::Sent, start + 3000, frames.at(1))};

        const SavedRecords saved = ::saveRecords(
            path, {records.size(), [&records](int i) -> const BusRecord & { return records.at(i); }}, false);
        QCOMPARE(saved.message, message.arg(path));
        QCOMPARE(saved.ok, linkTo.isEmpty());
        if (!saved.ok)
            return;
        const capture::RecordFileRead read = capture::readRecordFile(path);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(read.kind == capture::RecordFileKind::Capture, saved.capture);
        QVector<BusRecord> expected = records;
        if (saved.capture)
            expected.removeAt(1);
        QCOMPARE(read.records.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(read.records.at(i).kind, expected.at(i).kind);
            QCOMPARE(read.records.at(i).timeUs, expected.at(i).timeUs);
            QCOMPARE(read.records.at(i).bytes, expected.at(i).bytes);
        }
    }
};

QTEST_GUILESS_MAIN(BusRecordingTest)
#include "busrecordingtest.moc"
