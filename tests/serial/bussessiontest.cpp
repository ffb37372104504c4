// The bus session on pseudo-terminals made by the test: the test plays the
// devices on the master side. Here are the session's rules: what becomes a
// record, how it is counted, echoes, pausing, recording and repeating. The
// Bus page's tests only check that the page shows what the session hands out.

#include "capture/capturefile.h"
#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "serial/bussession.h"
#include "busframes.h"
#include "ptypair.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kCatalogue = QStringLiteral(KWN_SOURCE_DIR "/xml");

SerialSettings settingsFor(const QString &port)
{
    SerialSettings settings;
    settings.port = port;
    settings.gapMs = 30;
    return settings;
}

// Collects what the session hands out; the events of the port only when
// asked.
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
                             ++batches;
                         });
    }
    bool waitFor(int count, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (records.size() < count && timer.elapsed() < timeoutMs)
            QTest::qWait(5);
        return records.size() >= count;
    }
    QStringList kinds() const
    {
        QStringList texts;
        for (const BusRecord &record : records) {
            if (record.kind == BusRecord::Noise)
                texts << QStringLiteral("noise ") + frameToHexText(record.bytes);
            else if (record.kind == BusRecord::Event)
                texts << QStringLiteral("event ") + record.values;
            else
                texts << directionText(record.kind) + (record.checksumOk ? QStringLiteral(" ok ") : QStringLiteral(" bad "))
                             + frameToHexText(record.bytes);
        }
        return texts;
    }
    QVector<BusRecord> records;
    int batches = 0;
};

QString frameRow(const char *kind, const QByteArray &bytes)
{
    return QLatin1String(kind) + QLatin1Char(' ') + frameToHexText(bytes);
}

} // namespace

class BusSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // What the devices write becomes records, in order, counted; the bytes
    // are cut wherever the pieces fall.
    void arrivals_data()
    {
        const QByteArray a = statusFrame(0x000001, 10);
        const QByteArray b = statusFrame(0x000005, 20);
        const QByteArray bad = withBadChecksum(statusFrame(0x000007, 30));
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QList<int>>("counts"); // received, bad checksums, noise runs, noise bytes
        QTest::newRow("two frames in one piece")
            << QList<QByteArray>{a + b} << QStringList{frameRow("RX ok", a), frameRow("RX ok", b)}
            << QList<int>{2, 0, 0, 0};
        QTest::newRow("a frame cut in three")
            << QList<QByteArray>{a.left(3), a.mid(3, 4), a.mid(7)} << QStringList{frameRow("RX ok", a)}
            << QList<int>{1, 0, 0, 0};
        QTest::newRow("noise before a frame")
            << QList<QByteArray>{QByteArray::fromHex("A1B2C3") + a}
            << QStringList{QStringLiteral("noise A1B2C3"), frameRow("RX ok", a)} << QList<int>{1, 0, 1, 3};
        QTest::newRow("one noise byte")
            << QList<QByteArray>{QByteArray::fromHex("A1") + a}
            << QStringList{QStringLiteral("noise A1"), frameRow("RX ok", a)} << QList<int>{1, 0, 1, 1};
        QTest::newRow("bad checksum between frames")
            << QList<QByteArray>{a + bad + b}
            << QStringList{frameRow("RX ok", a), frameRow("RX bad", bad), frameRow("RX ok", b)}
            << QList<int>{3, 1, 0, 0};
        QTest::newRow("bad checksum at the end, ended by the gap")
            << QList<QByteArray>{a + bad} << QStringList{frameRow("RX ok", a), frameRow("RX bad", bad)}
            << QList<int>{2, 1, 0, 0};
    }
    void arrivals()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(QStringList, expected);
        QFETCH(QList<int>, counts);
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session);
        QVERIFY2(session.open(settingsFor(pty.path)), qPrintable(session.errorText()));
        for (const QByteArray &piece : pieces) {
            QVERIFY(pty.write(piece));
            QTest::qWait(5);
        }
        got.waitFor(expected.size());
        QTest::qWait(100); // nothing more comes
        QCOMPARE(got.kinds(), expected);
        const BusCounters counters = session.counters();
        QCOMPARE(QList<int>({int(counters.received), int(counters.badChecksums), int(counters.noiseRuns),
                             int(counters.noiseBytes)}),
                 counts);
        // Every record comes prepared: its texts decoded.
        for (const BusRecord &record : got.records)
            QVERIFY(!columnText(record, ColumnValues).isEmpty());
    }

    // Ten thousand frames written in random pieces come out whole and in
    // order. (The gap is long: a writer held up by a busy machine must not
    // make a real pause on the line.)
    void tenThousandFramesInOrder()
    {
        const QVector<QByteArray> frames = bundledFrames(10000, 14);
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session);
        SerialSettings settings = settingsFor(pty.path);
        settings.gapMs = 2000;
        QVERIFY(session.open(settings));
        const QByteArray all = concat(frames);
        QRandomGenerator random(7);
        for (qsizetype done = 0; done < all.size();) {
            const qsizetype size = qMin<qsizetype>(all.size() - done, random.bounded(1, 4000));
            QVERIFY(pty.write(all.mid(done, size)));
            done += size;
        }
        QVERIFY(got.waitFor(10000, 30000));
        QTest::qWait(100);
        QCOMPARE(got.records.size(), 10000);
        for (int i = 0; i < frames.size(); ++i)
            QVERIFY2(got.records.at(i).kind == BusRecord::Received && got.records.at(i).bytes == frames.at(i),
                     qPrintable(QStringLiteral("frame %1").arg(i)));
        QCOMPARE(session.counters().received, quint64(10000));
        QVERIFY(got.batches < 10000); // handed out in batches
    }

    // Frames read in one piece keep their spacing on the line: each one's
    // time is when its last byte came, the bytes after it taken off at the
    // line's byte time; Δ is in µs.
    void framesInOnePieceSpacedByByteTime_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("parity");
        QTest::addColumn<QString>("stopBits");
        QTest::addColumn<qint64>("deltaUs"); // two frames of 12 bytes
        QTest::newRow("9600 8N1") << 9600 << "none" << "1" << qint64(12500);
        QTest::newRow("9600 8N2") << 9600 << "none" << "2" << qint64(13750);
        QTest::newRow("19200 8N1") << 19200 << "none" << "1" << qint64(6250);
        QTest::newRow("4800 8N1") << 4800 << "none" << "1" << qint64(25000);
    }
    void framesInOnePieceSpacedByByteTime()
    {
        QFETCH(int, baud);
        QFETCH(QString, parity);
        QFETCH(QString, stopBits);
        QFETCH(qint64, deltaUs);
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session);
        SerialSettings settings = settingsFor(pty.path);
        settings.baudRate = baud;
        settings.parity = parity;
        settings.stopBits = stopBits;
        QVERIFY(session.open(settings));
        const QByteArray a = statusFrame(1, 1);
        const QByteArray b = statusFrame(2, 2);
        QCOMPARE(a.size() + b.size(), 24);
        QVERIFY(pty.write(a + b));
        QVERIFY(got.waitFor(2));
        session.close();
        QCOMPARE(got.kinds(), QStringList({frameRow("RX ok", a), frameRow("RX ok", b)}));
        QCOMPARE(got.records.at(0).deltaUs, -1);
        QVERIFY2(qAbs(got.records.at(1).deltaUs - deltaUs) <= 1,
                 qPrintable(QString::number(got.records.at(1).deltaUs)));
        QCOMPARE(got.records.at(1).timeUs - got.records.at(0).timeUs, got.records.at(1).deltaUs);
    }

    // Δ is to the previous frame (noise and events have none), and Clear
    // starts again.
    void deltas()
    {
        BusSession session(kCatalogue);
        Collector got(session, true);
        const QByteArray a = statusFrame(1, 1);
        QVector<BusRecord> log{session.prepare(a, 1000000, BusRecord::Received), BusRecord(),
                               eventRecord(1200000, QStringLiteral("Disconnected")),
                               session.prepare(a, 1250001, BusRecord::Sent)};
        log[1].kind = BusRecord::Noise;
        log[1].bytes = QByteArray(2, 'x');
        log[1].timeUs = 1100000;
        session.load(log);
        session.clear();
        session.load({session.prepare(a, 5000000, BusRecord::Received)});
        QCOMPARE(got.records.size(), 5);
        QCOMPARE(got.records.at(0).deltaUs, -1);
        QCOMPARE(got.records.at(1).deltaUs, -1);
        QCOMPARE(got.records.at(2).deltaUs, -1);
        QCOMPARE(got.records.at(3).deltaUs, 250001);
        QCOMPARE(got.records.at(4).deltaUs, -1);
        QCOMPARE(session.counters().received, quint64(1));
    }

    // The Values column holds the parameters, after the status only when
    // the decoding was not a success; the whole single line stays for its
    // tool tip. Decoded once per distinct frame, the same every time.
    void valuesColumn_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("statusShown");
        // QX-Drive 40 (node type 2), Set Obstacle Sensitivity (0x21).
        QTest::newRow("decoded") << packFrame(0x21, false, 12, 2, 0, 0x000001, 0x000002, QByteArray(1, '\x02'))
                                 << "Sensitivity=High" << false;
        // Lumen Relay (node type 5), Switch Channel (0x30): Channel, State.
        QTest::newRow("two parameters") << packFrame(0x30, false, 13, 5, 0, 0x000001, 0x000002, QByteArray::fromHex("0201"))
                                        << "Channel=2, State=On" << false;
        QTest::newRow("uncomplete") << packFrame(0x30, false, 12, 5, 0, 0x000001, 0x000002, QByteArray::fromHex("03"))
                                    << "Frame is uncomplete. | Channel=3" << true;
        QTest::newRow("unknown message") << packFrame(0x7E, false, 11, 2, 0, 0x000001, 0x000002, QByteArray())
                                         << "Frame not decoded because message is unknown." << true;
        QTest::newRow("no product") << statusFrame(1, 1) << "No product found for the node type set in this frame."
                                    << true;
        // A bad checksum is said first, decoded or not.
        QByteArray badSum = packFrame(0x21, false, 12, 2, 0, 0x000001, 0x000002, QByteArray(1, '\x02'));
        badSum[badSum.size() - 1] = char(badSum.at(badSum.size() - 1) ^ 1);
        QTest::newRow("bad checksum") << badSum << "bad checksum | Sensitivity=High" << true;
        QByteArray badUncomplete = packFrame(0x30, false, 12, 5, 0, 0x000001, 0x000002, QByteArray::fromHex("03"));
        badUncomplete[badUncomplete.size() - 2] = char(badUncomplete.at(badUncomplete.size() - 2) ^ 1);
        QTest::newRow("bad checksum, uncomplete")
            << badUncomplete << "bad checksum | Frame is uncomplete. | Channel=3" << true;
    }
    void valuesColumn()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, shown);
        QFETCH(bool, statusShown);
        BusSession session(kCatalogue);
        for (int time : {1000, 2000}) {
            const BusRecord record = session.prepare(frame, time, BusRecord::Received);
            QCOMPARE(record.shownValues, shown);
            QCOMPARE(record.statusShown, statusShown);
            QCOMPARE(columnText(record, ColumnValues), shown);
            // The line holds the same texts, and more.
            for (const QString &part : shown.split(QStringLiteral(" | "))) {
                if (part != QLatin1String("bad checksum"))
                    QVERIFY2(record.values.contains(part), qPrintable(record.values));
            }
            QVERIFY(record.values.size() > shown.size());
            QCOMPARE(columnToolTip(record, ColumnValues), record.values);
        }
    }

    // Opening, closing and losing the port are event rows, after what
    // arrived before them; counted apart from frames, recorded as comment
    // lines that read back as events.
    void portEvents()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("events.log"));
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session, true);
        QVERIFY(session.startRecording(path));
        QVERIFY(session.open(settingsFor(pty.path)));
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(2));
        session.close();
        const QStringList expected{QStringLiteral("event Connected to ") + pty.path, frameRow("RX ok", frame),
                                   QStringLiteral("event Disconnected")};
        QCOMPARE(got.kinds(), expected);
        QCOMPARE(got.records.at(1).deltaUs, -1); // the first frame
        for (const BusRecord &record : got.records) {
            QVERIFY(record.timeUs > 0);
            QVERIFY(!columnText(record, ColumnValues).isEmpty());
        }
        QCOMPARE(session.counters().received, quint64(1));
        QCOMPARE(session.counters().events, quint64(2));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        const QList<QByteArray> lines = written.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(QRegularExpression(QStringLiteral("^# \\d{4}-\\d\\d-\\d\\dT[0-9:.]+Z event: Connected to "))
                     .match(QString::fromUtf8(lines.at(0))).hasMatch(),
                 lines.at(0).constData());
        QVERIFY(lines.at(2).endsWith(" event: Disconnected"));
        file.seek(0);
        const QVector<BusLogEntry> entries = readBusLog(file).entries;
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(0).kind, BusRecord::Event);
        QCOMPARE(entries.at(0).text, QStringLiteral("Connected to ") + pty.path);
        QCOMPARE(entries.at(0).timeUs, got.records.at(0).timeUs / 1000 * 1000); // recorded to the millisecond
        QCOMPARE(entries.at(2).text, QStringLiteral("Disconnected"));
    }

    // A port that goes away leaves the connection-lost text as an event.
    void lostPortEvent()
    {
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session, true);
        QVERIFY(session.open(settingsFor(pty.path)));
        pty.closeMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!session.isOpen(), 5000);
        QVERIFY(!session.errorText().isEmpty());
        QCOMPARE(got.kinds(), QStringList({QStringLiteral("event Connected to ") + pty.path,
                                           QStringLiteral("event ") + session.errorText()}));
        QCOMPARE(session.counters().events, quint64(2));
    }

    // A caller printing frames its own way gets no event rows.
    void noEventsWithoutTexts()
    {
        PtyPair pty;
        BusSession session(kCatalogue);
        session.setPreparingTexts(false);
        Collector got(session, true);
        QVERIFY(session.open(settingsFor(pty.path)));
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(1));
        session.close();
        QCOMPARE(got.kinds(), QStringList{frameRow("RX ok", frame)});
        QCOMPARE(session.counters().events, quint64(0));
    }

    // Records loaded from a log count as they would have live.
    void loadCounts()
    {
        BusSession session(kCatalogue);
        BusRecord noise;
        noise.kind = BusRecord::Noise;
        noise.bytes = QByteArray(3, 'x');
        session.load({session.prepare(statusFrame(1, 1), 1, BusRecord::Received),
                      session.prepare(withBadChecksum(statusFrame(1, 2)), 2, BusRecord::Received),
                      session.prepare(statusFrame(2, 1), 3, BusRecord::Sent), noise});
        const BusCounters counters = session.counters();
        QCOMPARE(counters.received, quint64(2));
        QCOMPARE(counters.sent, quint64(1));
        QCOMPARE(counters.badChecksums, quint64(1));
        QCOMPARE(counters.noiseRuns, quint64(1));
        QCOMPARE(counters.noiseBytes, quint64(3));
    }

    // What we send shows once, as TX, even when the adapter reads it back.
    void echoShownOnce()
    {
        PtyPair pty;
        BusSession session(kCatalogue);
        Collector got(session);
        QVERIFY(session.open(settingsFor(pty.path)));
        const QByteArray frame = statusFrame(0x000009, 7);
        QCOMPARE(session.send(frame), QString());
        QCOMPARE(pty.read(frame.size()), frame);
        QVERIFY(pty.write(frame)); // the echo
        QVERIFY(got.waitFor(1));
        QTest::qWait(150);
        QCOMPARE(got.kinds(), QStringList{frameRow("TX ok", frame)});
        QCOMPARE(session.counters().sent, quint64(1));
        QCOMPARE(session.counters().received, quint64(0));
        QCOMPARE(session.counters().echoes, quint64(1));
        // The same frame again, with nothing sent: a frame of another node.
        QVERIFY(pty.write(frame));
        QVERIFY(got.waitFor(2));
        QCOMPARE(got.kinds().last(), frameRow("RX ok", frame));
    }

    // Nothing goes out when the port is closed, and only whole frames go
    // out when it is open.
    void sendRefused_data()
    {
        const QByteArray good = statusFrame(1, 1);
        QTest::addColumn<bool>("open");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("closed") << false << good << "Not connected";
        QTest::newRow("eleven zero bytes") << true << QByteArray(11, '\0') << "Not sent: all bytes are zero";
        QTest::newRow("bytes after the frame") << true << good + QByteArray(2, '\x11') << "Not sent: the length byte";
        QTest::newRow("wrong checksum") << true << withBadChecksum(good) << "Not sent: the checksum is wrong";
        QTest::newRow("too long") << true << QByteArray(5000, 'A') << "Not sent: a frame is 11 to 31 bytes";
    }
    void sendRefused()
    {
        QFETCH(bool, open);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        PtyPair pty;
        BusSession session(kCatalogue);
        if (open)
            QVERIFY(session.open(settingsFor(pty.path)));
        QVERIFY2(session.send(bytes).startsWith(reason), qPrintable(session.send(bytes)));
        QVERIFY(session.startRepeat(bytes, 10).startsWith(reason));
        QVERIFY(!session.isRepeating());
        QCOMPARE(pty.read(1, 100), QByteArray());
    }

    // Bytes as given (the command line's --raw) go out whatever they are.
    void sendAsGiven()
    {
        PtyPair pty;
        BusSession session(kCatalogue);
        QVERIFY(session.open(settingsFor(pty.path)));
        const QByteArray zeros(11, '\0');
        QVERIFY(!session.send(zeros).isEmpty());
        QCOMPARE(session.send(zeros, BusSession::SendCheck::AsGiven), QString());
        QCOMPARE(pty.read(zeros.size()), zeros);
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
        session.feedCapture(concat({statusFrame(1, 0), statusFrame(1, 1), statusFrame(1, 2), statusFrame(1, 3),
                                    statusFrame(1, 4)}).constData(),
                            5 * 12, 1000, 50);
        QCOMPARE(got.records.size(), 0);
        QCOMPARE(session.counters().received, quint64(5));
        QCOMPARE(session.counters().droppedWhilePaused, quint64(2));
        QCOMPARE(session.heldCount(), 3);
        session.setPaused(false);
        QCOMPARE(got.records.size(), 3);
        QCOMPARE(got.records.first().bytes, statusFrame(1, 2));
        session.stopRecording();
        QFile file(dir.filePath(QStringLiteral("r.log")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(readBusLog(file).entries.size(), 5);
    }

    // Recording replaces the file, stops when asked, and stops by itself,
    // saying why, when the file cannot be written or is removed; a name
    // ending in ".pcap" is recorded as a capture, under the same rules.
    void recording_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("capture");
        for (bool capture : {false, true}) {
            const char *kind = capture ? "capture, " : "log, ";
            QTest::newRow(QByteArray(kind + QByteArray("stopped by hand")).constData()) << "" << capture;
            QTest::newRow(QByteArray(kind + QByteArray("disk full")).constData()) << "/dev/full" << capture;
            QTest::newRow(QByteArray(kind + QByteArray("file removed")).constData()) << "remove" << capture;
        }
    }
    void recording()
    {
        QFETCH(QString, fault);
        QFETCH(bool, capture);
        QTemporaryDir dir;
        const QString name = capture ? QStringLiteral("r.pcap") : QStringLiteral("r.log");
        QString path = fault == QLatin1String("/dev/full") ? fault : dir.filePath(name);
        if (fault == QLatin1String("/dev/full") && capture) {
            // A capture's name that leads to a disk that is always full.
            path = dir.filePath(name);
            QVERIFY(QFile::link(fault, path));
        }
        if (fault.isEmpty()) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("2026-01-01T00:00:00.000Z RX OLD LINE\n");
        }
        BusSession session(kCatalogue);
        QSignalSpy changed(&session, &BusSession::recordingChanged);
        QVERIFY(session.startRecording(path));
        QVERIFY(session.isRecording());
        const QByteArray frame = statusFrame(1, 1);
        if (fault == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
            QTest::qWait(1100); // the file is looked for once a second
        }
        session.feedCapture(frame.constData(), frame.size(), 1000, 50);
        if (fault.isEmpty())
            session.stopRecording();
        QVERIFY(!session.isRecording());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toBool(), false);
        const QString reason = changed.at(1).at(1).toString();
        QCOMPARE(reason.isEmpty(), fault.isEmpty());
        if (!fault.isEmpty()) {
            QVERIFY2(reason.startsWith(QStringLiteral("Recording to %1 stopped: ").arg(path)), qPrintable(reason));
            const QString expected = fault == QLatin1String("remove") ? QStringLiteral("the file was removed or replaced")
                                                                      : QStringLiteral("No space left on device");
            QVERIFY2(reason.endsWith(expected), qPrintable(reason));
        } else if (capture) {
            const capture::CaptureRead read = capture::readCapture(path);
            QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
            QCOMPARE(read.records.size(), 1);
            QCOMPARE(read.records.at(0).kind, BusRecord::Received);
            QCOMPARE(read.records.at(0).timeUs, qint64(1000) * 1000);
            QCOMPARE(read.records.at(0).bytes, frame);
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), busLogLineOf(session.prepare(frame, 1000 * 1000, BusRecord::Received)));
        }
    }

    // Repeating sends at once and then at the interval, until stopped or
    // the port goes away.
    void repeat()
    {
        PtyPair pty;
        BusSession session(kCatalogue);
        QSignalSpy repeating(&session, &BusSession::repeatingChanged);
        QVERIFY(session.open(settingsFor(pty.path)));
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
    }

    // A raw capture fed to the session gives what the port gives for the
    // same bytes.
    void captureMatchesPort()
    {
        QRandomGenerator random(7);
        QVector<QByteArray> parts = bundledFrames(60, 11);
        for (int i = 5; i < parts.size(); i += 9)
            parts[i] = withBadChecksum(parts.at(i));
        parts.insert(20, randomBytes(random, 7));
        const QByteArray stream = concat(parts);

        BusSession fromCapture(kCatalogue);
        Collector captured(fromCapture);
        fromCapture.feedCapture(stream.constData(), stream.size(), 1000, 50);
        fromCapture.finishCapture();

        PtyPair pty;
        BusSession fromPort(kCatalogue);
        Collector live(fromPort);
        QVERIFY(fromPort.open(settingsFor(pty.path)));
        for (int at = 0; at < stream.size(); at += 17)
            QVERIFY(pty.write(stream.mid(at, 17)));
        live.waitFor(captured.records.size());
        QTest::qWait(100);
        QCOMPARE(live.kinds(), captured.kinds());
        QCOMPARE(fromPort.counters().badChecksums, fromCapture.counters().badChecksums);
    }
};

QTEST_GUILESS_MAIN(BusSessionTest)
#include "bussessiontest.moc"
