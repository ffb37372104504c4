// Saving the records held: a log, or a capture by a name ending in ".pcap",
// and what is said of it (tests/data/serial/save-records.table).

#include "capture/recordfile.h"
#include "serial/busrecording.h"
#include "support/busrecords.h"
#include "support/tablerows.h"

#include <QTemporaryDir>
#include <QtTest>

class BusRecordingTest : public QObject
{
    Q_OBJECT

private slots:
    void saveRecords_data() { tablerows::addRows("serial/save-records.table"); }
    void saveRecords()
    {
        QFETCH(QByteArrayList, cells);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(cells.at(0)));
        const QString linkTo = QString::fromLatin1(cells.at(1));
        if (!linkTo.isEmpty())
            QVERIFY(QFile::link(linkTo.startsWith(QLatin1Char('/')) ? linkTo : dir.filePath(linkTo), path));
        // From 2026-01-01.
        const QString frames = QStringLiteral("rx@1767225600000000:F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20 "
                                              "event@1767225600001000 noise@1767225600002000:A5A5 "
                                              "tx@1767225600003000:FCF2FDFEFFFFFDFFFFB4FE0A94");
        const QVector<BusRecord> records = busRecords(frames);
        const SavedRecords saved = ::saveRecords(
            path, {records.size(), [&records](int i) -> const BusRecord & { return records.at(i); }}, false);
        QCOMPARE(saved.message, QString::fromUtf8(cells.at(2)).arg(path));
        QCOMPARE(saved.ok, linkTo.isEmpty());
        if (!saved.ok)
            return;
        const capture::RecordFileRead read = capture::readRecordFile(path);
        QVERIFY2(read.ok(), qPrintable(read.error));
        QCOMPARE(read.kind == capture::RecordFileKind::Capture, saved.capture);
        QCOMPARE(busRecordsText(read.records),
                 saved.capture ? QString(frames).remove(QStringLiteral("event@1767225600001000 ")) : frames);
    }
};

QTEST_GUILESS_MAIN(BusRecordingTest)
#include "busrecordingtest.moc"
