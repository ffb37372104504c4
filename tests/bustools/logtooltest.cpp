// The Bus page's logs: what an opened file's closing message says, captures
// opened whole or damaged, Cancel and what stops an opening, and what
// recording says. (Saving: the
// session's writer, bussessiontest; the log buttons: buslayouttest.)
#include "bustools/logtool.h"
#include "capture/capturefile.h"
#include "busframes.h"
#include "support/shownbus.h"
#include "buslogs.h"
#include "support/datarows.h"

#include <QtTest>

class LogToolTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        bus.emplace();
        tool.emplace(&bus->shown);
    }
    void cleanup() { tool.reset(), bus.reset(); }

    void opened_data() { addDataRows(QStringLiteral("bustools/opened.txt")); }
    void opened()
    {
        QFETCH(QStringList, row);
        const QByteArray content = unescapedBytes(row[0]);
        const QString said = unescaped(row[1]);
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(content == "MISSING" || writeFile(path, content));
        QSignalSpy messages(&*tool, &LogTool::message);
        QSignalSpy opening(&*tool, &LogTool::openingChanged);
        QCOMPARE(tool->open(path), content != "MISSING");
        QTRY_VERIFY(!tool->isOpening());
        QCOMPARE(opening.count(), content == "MISSING" ? 0 : 2);
        const bool error = said.startsWith(QLatin1Char('!'));
        const QString last = messages.last().at(0).toString();
        QVERIFY2(last.startsWith(said.mid(error ? 1 : 0).replace(QStringLiteral("PATH"), path)), qPrintable(last));
        QCOMPARE(messages.last().at(1).toBool(), error);
        QVERIFY(bus->shown.isShowingOpenedLog());
        // Times before 1970 stay as they were.
        if (content.contains("noise"))
            QCOMPARE(bus->shown.fileStore()->heldRecord(0).timeUs, qint64(-14182940000) * 1000);
    }

    // A capture opens by its content, whatever its name; a damaged one keeps
    // what came before the damage and says the reader's error.
    void openCapture_data() { addDataRows(QStringLiteral("bustools/opencapture.txt")); }
    void openCapture()
    {
        QFETCH(QStringList, row);
        const QString name = row[0], damage = row[1];
        const int kept = row[2].toInt();
        const qint64 start = qint64(1767225600) * 1000000 + 123457; // 2026-01-01, with µs
        const QVector<BusRecord> made{logged(statusFrame(1, 1), start),
                                      logged(statusFrame(2, 2), start + 10, BusRecord::Sent),
                                      noise(QByteArray::fromHex("a5a5a5"), start + 2000),
                                      logged(withBadChecksum(statusFrame(3, 3)), start + 3001),
                                      logged(statusFrame(4, 4), start + 5000)};
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + name);
        capture::CaptureWriter writer;
        QVERIFY(writer.open(path));
        for (const BusRecord &record : made)
            QVERIFY(writer.write(record));
        QVERIFY(writer.write(eventRecord(start + 6000, QStringLiteral("Disconnected"))));
        QVERIFY(writer.close());
        QByteArray bytes = readFile(path);
        if (damage == QLatin1String("cut"))
            bytes.chop(3);
        else if (damage == QLatin1String("direction"))
            bytes[24 + 2 * 16 + 1 + statusFrame(1, 1).size() + 1 + statusFrame(2, 2).size() + 16] = 7;
        QVERIFY(writeFile(path, bytes));
        const QString readerError = capture::readCapture(path).error;
        QCOMPARE(readerError.isEmpty(), damage.isEmpty());

        QSignalSpy messages(&*tool, &LogTool::message);
        QVERIFY(tool->open(path));
        QTRY_VERIFY(!tool->isOpening());
        const TraceStore *opened = bus->shown.fileStore();
        QCOMPARE(opened->heldCount(), kept);
        for (int k = 0; k < kept; ++k) {
            QCOMPARE(opened->heldRecord(k).kind, made.at(k).kind);
            QCOMPARE(opened->heldRecord(k).timeUs, made.at(k).timeUs);
            QCOMPARE(opened->heldRecord(k).bytes, made.at(k).bytes);
        }
        const QString said = QString(row[3]).replace(QStringLiteral("PATH"), path);
        QCOMPARE(messages.last().at(0).toString(), QString(said).replace(QStringLiteral("ERROR"), readerError));
        QCOMPARE(messages.last().at(1).toBool(), !damage.isEmpty());
        QCOMPARE(bus->shown.session()->counters().received, row[4].toULongLong());
        QCOMPARE(bus->shown.session()->counters().sent, quint64(1));
    }

    // Cancelled, or the live bus shown again, an opening stops where it is
    // and says so; while it runs, another is refused.
    void stopped_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("cancelled") << true;
        QTest::newRow("live bus shown") << false;
    }
    void stopped()
    {
        QFETCH(bool, cancelled);
        const QString path = dir.filePath(QStringLiteral("long.log"));
        QVERIFY(writeFile(path, QByteArray(frameToHexText(statusFrame(5, 5)).toLatin1() + '\n').repeated(20000)));
        QSignalSpy messages(&*tool, &LogTool::message);
        QVERIFY(tool->open(path));
        QVERIFY(!tool->open(path));
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("A log is being opened: cancel it first"));
        QMetaObject::Connection once;
        once = connect(&*tool, &LogTool::openProgress, this, [&] {
            disconnect(once);
            if (cancelled)
                tool->cancelOpening();
            else
                bus->shown.showLiveBus();
        });
        QTRY_VERIFY(!tool->isOpening());
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Stopped opening %1: 4096 frames").arg(path));
        if (cancelled)
            QCOMPARE(bus->shown.fileStore()->heldCount(), 4096);
    }

    void recording()
    {
        const QString path = dir.filePath(QStringLiteral("record.log"));
        QSignalSpy messages(&*tool, &LogTool::message);
        QSignalSpy recording(&*tool, &LogTool::recordingChanged);
        QVERIFY(tool->startRecording(path));
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Recording to ") + path);
        QCOMPARE(tool->recordingText(), QStringLiteral("\u25cf Recording record.log: 0 frames"));
        tool->stopRecording();
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Recording to %1 stopped").arg(path));
        QVERIFY(!tool->startRecording(dir.filePath(QStringLiteral("no/such/folder.log"))));
        QVERIFY(messages.last().at(1).toBool());
        QCOMPARE(recording.count(), 3);
        QCOMPARE(recording.at(0).at(0).toBool(), true);
        QCOMPARE(recording.at(2).at(0).toBool(), false);
    }

private:
    QTemporaryDir dir;
    std::optional<ShownBus> bus;
    std::optional<LogTool> tool;
};

QTEST_GUILESS_MAIN(LogToolTest)
#include "logtooltest.moc"
