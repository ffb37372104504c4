// The bus session on pseudo-terminals made by the test: the test plays the
// devices on the master side. Here are the session's rules: what becomes a
// record, how it is counted, echoes, pausing, recording and repeating, and
// saving the records held (serial/save-records.table). The Bus page's tests
// only check that the page shows what the session hands out.

#include "capture/recordfile.h"
#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "serial/busrecording.h"
#include "serial/bussession.h"
#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "support/busrecords.h"
#include "support/tablerows.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kCatalogue = QStringLiteral(KWN_SOURCE_DIR "/xml");

QString counts(const BusSession &session)
{
    const BusCounters c = session.counters();
    return QStringLiteral("%1 received, %2 sent, %3 bad, %4 noise runs (%5 bytes), %6 echoes, %7 dropped while "
                          "paused, %8 events")
        .arg(c.received).arg(c.sent).arg(c.badChecksums).arg(c.noiseRuns).arg(c.noiseBytes).arg(c.echoes)
        .arg(c.droppedWhilePaused).arg(c.events);
}

QString frameRow(const char *kind, const QByteArray &bytes)
{
    return QLatin1String(kind) + QLatin1Char(' ') + QString::fromLatin1(bytes.toHex().toUpper());
}

// Collects what the session hands out; the events of the port only when asked.
struct Collector
{
    explicit Collector(BusSession &session, bool withEvents = false)
    {
        QObject::connect(&session, &BusSession::recordsReady, &session,
                         [this, withEvents](const QVector<BusRecord> &batch) {
                             for (const BusRecord &record : batch) {
                                 if (withEvents || record.kind != BusRecord::Event)
                                     records += record;
                             }
                         });
    }
    bool waitFor(int count) { return QTest::qWaitFor([&] { return records.size() >= count; }, 5000); }
    QStringList kinds() const
    {
        QStringList texts;
        for (const BusRecord &r : records) {
            texts << (r.kind == BusRecord::Noise   ? frameRow("noise", r.bytes)
                      : r.kind == BusRecord::Event ? QString(QStringLiteral("event ") + r.values)
                                                   : directionText(r.kind) + QLatin1Char(' ')
                                                         + frameRow(r.checksumOk ? "ok" : "bad", r.bytes));
        }
        return texts;
    }
    QVector<qint64> deltas() const
    {
        QVector<qint64> all;
        for (const BusRecord &r : records)
            all << r.deltaUs;
        return all;
    }
    QVector<BusRecord> records;
};

// A session on a pseudo-terminal of the test's, what it hands out collected.
struct Live
{
    PtyPair pty;
    BusSession session{kCatalogue};
    Collector got;

    explicit Live(bool withEvents = false) : got(session, withEvents) {}
    bool open(int gapMs = 30)
    {
        SerialSettings settings;
        settings.port = pty.path;
        settings.gapMs = gapMs;
        return session.open(settings);
    }
};

} // namespace

class BusSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // What the devices write becomes records, in order, counted, each
    // prepared with its texts; the bytes are cut wherever the pieces fall.
    void arrivals_data() { tablerows::addRows("serial/arrivals.table"); }
    void arrivals()
    {
        QFETCH(QByteArrayList, cells);
        const QStringList expected = QString::fromLatin1(cells.at(1)).split(QStringLiteral("; "));
        Live live;
        auto &[pty, session, got] = live;
        QVERIFY2(live.open(), qPrintable(session.errorText()));
        for (const QByteArray &piece : cells.at(0).split(' ')) {
            QVERIFY(pty.write(QByteArray::fromHex(piece)));
            QTest::qWait(5);
        }
        got.waitFor(expected.size());
        QTest::qWait(100); // nothing more comes
        QCOMPARE(got.kinds(), expected);
        QCOMPARE(counts(session), QString::fromLatin1(cells.at(2)));
        for (const BusRecord &record : got.records)
            QVERIFY(!columnText(record, ColumnValues).isEmpty());
    }

    // Records loaded from a log count as they would have live; Δ is to the
    // previous frame (noise and events have none), and Clear starts again.
    void loadedRecords()
    {
        BusSession session(kCatalogue);
        Collector got(session, true);
        const QByteArray a = statusFrame(1, 1);
        session.load({session.prepare(a, 1000000, BusRecord::Received), busRecord(BusRecord::Noise, 1100000, "xxx"),
                      eventRecord(1200000, QStringLiteral("Disconnected")),
                      session.prepare(withBadChecksum(a), 1250001, BusRecord::Received),
                      session.prepare(a, 1300000, BusRecord::Sent)});
        QCOMPARE(counts(session), QStringLiteral("2 received, 1 sent, 1 bad, 1 noise runs (3 bytes), 0 echoes, "
                                                 "0 dropped while paused, 1 events"));
        session.clear();
        session.load({session.prepare(a, 5000000, BusRecord::Received)});
        QCOMPARE(got.deltas(), (QVector<qint64>{-1, -1, -1, 250001, 49999, -1}));
        QCOMPARE(session.counters().received, quint64(1));
    }

    // The Values column holds the parameters, after the status only when
    // the decoding was not a success; the whole single line stays for its
    // tool tip. Decoded once per distinct frame, the same every time.
    void valuesColumn_data() { tablerows::addRows("serial/values-column.table"); }
    void valuesColumn()
    {
        QFETCH(QByteArrayList, cells);
        const QString shown = QString::fromUtf8(cells.at(1));
        BusSession session(kCatalogue);
        for (int time : {1000, 2000}) {
            const BusRecord record = session.prepare(QByteArray::fromHex(cells.at(0)), time, BusRecord::Received);
            QCOMPARE(columnText(record, ColumnValues), shown);
            QCOMPARE(record.statusShown, cells.at(2) == "red");
            // The line holds the same texts, and more.
            QVERIFY2(record.values.contains(shown.split(QStringLiteral(" | ")).last()), qPrintable(record.values));
            QVERIFY(record.values.size() > shown.size());
            QCOMPARE(columnToolTip(record, ColumnValues), record.values);
        }
    }

    // Opening, closing and losing the port are event rows, after what
    // arrived before them; counted apart from frames, recorded as comment
    // lines that read back as events, to the millisecond.
    void portEvents()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("events.log"));
        Live live(true);
        auto &[pty, session, got] = live;
        QVERIFY(session.startRecording(path));
        QVERIFY(live.open());
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(2));
        session.close();
        QCOMPARE(got.kinds(), QStringList({QStringLiteral("event Connected to ") + pty.path, frameRow("RX ok", frame),
                                           QStringLiteral("event Disconnected")}));
        QCOMPARE(got.deltas(), (QVector<qint64>{-1, -1, -1}));
        QCOMPARE(counts(session), QStringLiteral("1 received, 0 sent, 0 bad, 0 noise runs (0 bytes), 0 echoes, "
                                                 "0 dropped while paused, 2 events"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QVector<BusLogEntry> entries = readBusLog(file).entries;
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0).kind, BusRecord::Event);
        QCOMPARE(entries.at(0).text, QStringLiteral("Connected to ") + pty.path);
        QCOMPARE(entries.at(0).timeUs, got.records.at(0).timeUs / 1000 * 1000);
        QCOMPARE(entries.at(2).text, QStringLiteral("Disconnected"));
        // A caller printing frames its own way gets no event rows.
        session.setPreparingTexts(false);
        QVERIFY(live.open());
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(4));
        session.close();
        QCOMPARE(got.kinds().mid(3), QStringList{frameRow("RX ok", frame)});
        QCOMPARE(session.counters().events, quint64(2));
    }

    // What we send shows once, as TX, even when the adapter reads it back
    // (within 200 ms); the same frame again, when its echo came already or
    // later than an echo comes, is another node's.
    void echoShownOnce()
    {
        Live live;
        auto &[pty, session, got] = live;
        QVERIFY(live.open());
        const QByteArray frame = statusFrame(0x000009, 7);
        // The echo; the same frame again at once, its echo come already.
        QCOMPARE(session.send(frame), QString());
        QCOMPARE(pty.read(frame.size()), frame);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(1));
        QTest::qWait(100);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(2));
        // Read back later than an echo comes.
        QCOMPARE(session.send(frame), QString());
        QCOMPARE(pty.read(frame.size()), frame);
        QTest::qWait(500);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(4));
        QTest::qWait(100);
        QCOMPARE(got.kinds(), QStringList({frameRow("TX ok", frame), frameRow("RX ok", frame), frameRow("TX ok", frame),
                                           frameRow("RX ok", frame)}));
        QCOMPARE(counts(session), QStringLiteral("2 received, 2 sent, 0 bad, 0 noise runs (0 bytes), 1 echoes, "
                                                 "0 dropped while paused, 1 events"));
    }

    // Nothing goes out when the port is closed, and only whole frames go
    // out when it is open, unless the bytes are to go as given (--raw).
    void sendRefused_data() { tablerows::addRows("serial/send-refused.table"); }
    void sendRefused()
    {
        QFETCH(QByteArrayList, cells);
        const QByteArray bytes = QByteArray::fromHex(cells.at(1));
        Live live;
        auto &[pty, session, got] = live;
        QVERIFY(cells.at(0) == "closed" || live.open());
        QVERIFY2(session.send(bytes).startsWith(QString::fromUtf8(cells.at(2))), qPrintable(session.send(bytes)));
        QVERIFY(session.startRepeat(bytes, 10).startsWith(QString::fromUtf8(cells.at(2))));
        QVERIFY(!session.isRepeating());
        QCOMPARE(pty.read(1, 100), QByteArray());
        if (session.isOpen()) {
            QCOMPARE(session.send(bytes, BusSession::SendCheck::AsGiven), QString());
            QCOMPARE(pty.read(bytes.size()), bytes);
        }
    }

    // Paused: nothing is handed out, everything is counted and recorded;
    // at most the hold limit waits, the oldest dropped and counted.
    void pauseHoldsBack()
    {
        QTemporaryDir dir;
        BusSession session(kCatalogue);
        Collector got(session);
        session.setHoldLimit(3);
        QVERIFY(session.startRecording(dir.filePath(QStringLiteral("r.log"))));
        session.setPaused(true);
        const QByteArray frames = concat({statusFrame(1, 0), statusFrame(1, 1), statusFrame(1, 2), statusFrame(1, 3),
                                          statusFrame(1, 4)});
        session.feedCapture(frames.constData(), int(frames.size()), 1000, 50);
        QCOMPARE(got.records.size(), 0);
        QCOMPARE(counts(session), QStringLiteral("5 received, 0 sent, 0 bad, 0 noise runs (0 bytes), 0 echoes, "
                                                 "2 dropped while paused, 0 events"));
        QCOMPARE(session.heldCount(), 3);
        session.setPaused(false);
        QCOMPARE(got.records.size(), 3);
        QCOMPARE(got.records.first().bytes, statusFrame(1, 2));
        session.stopRecording();
        QCOMPARE(readFile(dir.filePath(QStringLiteral("r.log"))).count('\n'), 5);
    }

    // Recording replaces the file, stops when asked, and stops by itself,
    // saying why, when the file cannot be written or is removed; a name
    // ending in ".pcap" is recorded as a capture, under the same rules.
    void recording_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("name");
        for (const char *name : {"r.log", "r.pcap"}) {
            QTest::addRow("%s, stopped by hand", name) << "" << name;
            QTest::addRow("%s, disk full", name) << "No space left on device" << name;
            QTest::addRow("%s, file removed", name) << "the file was removed or replaced" << name;
        }
    }
    void recording()
    {
        QFETCH(QString, fault);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        // A file that leads to a disk that is always full; else one to replace.
        QVERIFY(fault.startsWith(QLatin1String("No space")) ? QFile::link(QStringLiteral("/dev/full"), path)
                                                             : writeFile(path, "2026-01-01T00:00:00.000Z RX OLD LINE\n"));
        BusSession session(kCatalogue);
        QSignalSpy changed(&session, &BusSession::recordingChanged);
        QVERIFY(session.startRecording(path));
        QVERIFY(session.isRecording());
        if (fault.startsWith(QLatin1String("the file"))) {
            QVERIFY(QFile::remove(path));
            QTest::qWait(1100); // the file is looked for once a second
        }
        const QByteArray frame = statusFrame(1, 1);
        session.feedCapture(frame.constData(), int(frame.size()), 1000, 50);
        if (fault.isEmpty())
            session.stopRecording();
        QVERIFY(!session.isRecording());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toBool(), false);
        QCOMPARE(changed.at(1).at(1).toString(),
                 fault.isEmpty() ? QString() : QStringLiteral("Recording to %1 stopped: %2").arg(path, fault));
        if (!fault.isEmpty())
            return;
        const capture::RecordFileRead read = capture::readRecordFile(path); // the old line gone
        QVERIFY2(read.ok() && read.refusedLines == 0, qPrintable(read.error));
        QCOMPARE(read.kind == capture::RecordFileKind::Capture, name.endsWith(QLatin1String(".pcap")));
        QCOMPARE(busRecordsText(read.records), QStringLiteral("rx@1000000:") + QString::fromLatin1(frame.toHex().toUpper()));
    }

    // Repeating sends at once and then at the interval, until stopped or
    // the port goes away, which leaves the connection-lost text as an event.
    void repeat()
    {
        Live live(true);
        auto &[pty, session, got] = live;
        QSignalSpy repeating(&session, &BusSession::repeatingChanged);
        QVERIFY(live.open());
        const QByteArray frame = statusFrame(3, 3);
        QCOMPARE(session.startRepeat(frame, 20), QString());
        QVERIFY(session.isRepeating());
        QCOMPARE(pty.read(3 * frame.size()), frame + frame + frame);
        session.stopRepeat();
        QCOMPARE(repeating.count(), 2);
        pty.read(frame.size(), 50); // one may have been on its way
        QCOMPARE(pty.read(1, 150), QByteArray());
        QCOMPARE(session.startRepeat(frame, 20), QString());
        pty.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!session.isOpen(), 5000);
        QVERIFY(!session.isRepeating());
        QVERIFY(!session.errorText().isEmpty());
        QCOMPARE(got.kinds().last(), QStringLiteral("event ") + session.errorText());
        QCOMPARE(session.counters().events, quint64(2));
    }

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

QTEST_GUILESS_MAIN(BusSessionTest)
#include "bussessiontest.moc"
