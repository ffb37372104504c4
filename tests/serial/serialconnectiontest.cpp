// The serial connection on pseudo-terminals made by the test: the test plays
// the device on the master side while the connection holds the slave side.
// How received bytes become frames and noise is the session's to show
// (bussessiontest). Ports that cannot be opened are made here too: files
// that are no terminal, terminals held by another program, lock files in
// the system's lock folder (tests/data/serial/refusals.table); how lock
// files are read and named, from tables (serial/lockfile-*.table).

#include "codec/frame.h"
#include "serial/portcheck.h"
#include "serial/serialconnection.h"
#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "support/tablerows.h"
#include "toolrun.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

QByteArray sampleFrame(int i)
{
    const QByteArray data(i % (kMaxDataBytes + 1), char(i * 7));
    return packFrame(quint8(i), i % 2, quint8(kFrameOverheadBytes + data.size()), 2, 0, 0x1A2B3C + i, 1, data);
}

SerialSettings settingsFor(const QString &port)
{
    SerialSettings settings;
    settings.port = port;
    settings.gapMs = 50;
    return settings;
}

qint64 sizeOf(const QVector<BusRecord> &items)
{
    qint64 size = 0;
    for (const BusRecord &item : items)
        size += item.bytes.size();
    return size;
}

// Bytes the terminal holds that no reader took yet.
int unread(const PtyPair &pty)
{
    int count = 0;
    return ::ioctl(pty.slave, FIONREAD, &count) == 0 ? count : -1;
}

// Waits until `count` items came in, or a few seconds passed.
QVector<BusRecord> receive(SerialConnection &connection, int count)
{
    QVector<BusRecord> items;
    static_cast<void>(QTest::qWaitFor([&] { return (items += connection.takeReceived()).size() >= count; }, 5000));
    return items;
}

// What stands in the way of opening a port, made for one row and taken away
// afterwards, the program it started stopped by its id.
struct Obstacle
{
    QTemporaryDir dir;
    PtyPair pty;
    QProcess holder; // a program that holds the port, or that a lock file names
    std::unique_ptr<SerialConnection> first;
    QString lockFile;
    QString port; // what the test opens

    ~Obstacle()
    {
        first.reset();
        holder.kill();
        holder.waitForFinished(5000);
        if (!lockFile.isEmpty())
            QFile::remove(lockFile);
    }
    QString inDir(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // A program that keeps `path` open; true once it does.
    bool hold(const QString &program, const QStringList &arguments, const QString &path)
    {
        holder.start(program, arguments);
        return holder.waitForStarted(5000) && waitUntilOpen(holder, QFileInfo(path).canonicalFilePath());
    }

    bool make(const QByteArray &kind, const QByteArray &heldThrough, const QByteArray &openedThrough)
    {
        const QString link = inDir("port-link");
        if ((heldThrough == "link" || openedThrough == "link") && !QFile::link(pty.path, link))
            return false;
        const QString held = heldThrough == "link" ? link : pty.path;
        port = openedThrough == "link" ? link : pty.path;
        if (kind == "file")
            return writeFile(port = inDir("capture.log"), "F0 EF\n");
        if (kind == "directory" || kind == "null")
            return !(port = kind == "null" ? QStringLiteral("/dev/null") : dir.path()).isEmpty();
        if (kind == "fifo")
            return ::mkfifo(QFile::encodeName(port = inDir("fifo")).constData(), 0600) == 0;
        if (kind == "dangling link")
            return QFile::link(inDir("ttyKWN-none"), port = inDir("gone"));
        if (kind == "child")
            return hold(QStringLiteral("sh"), {"-c", "exec sleep 60 <>\"$0\"", held}, held);
        if (kind == "monitor")
            return hold(QStringLiteral(KWN_CLI_PATH), {"monitor", "--port", held}, held);
        if (kind == "exclusive mode")
            return ::ioctl(pty.slave, TIOCEXCL) == 0;
        if (kind == "connection") {
            first.reset(new SerialConnection);
            return first->open(settingsFor(held));
        }
        // A lock file of the pty naming a process: the pty is new, so a lock
        // file of its name is one left behind.
        const bool live = kind.startsWith("live"), binary = kind.endsWith("binary");
        QProcess ended;
        QProcess &named = live ? holder : ended;
        named.start(live ? QStringLiteral("sleep") : QStringLiteral("true"), {live ? "60" : ""});
        const qint32 pid = named.waitForStarted(5000) ? qint32(named.processId()) : 0;
        ended.waitForFinished(5000);
        lockFile = QStringLiteral("/run/lock/LCK..")
            + (live && binary ? QFileInfo(pty.path).fileName() : pty.path.mid(5).replace(QLatin1Char('/'), QLatin1Char('_')));
        return pid > 0 && writeFile(lockFile, binary ? QByteArray(reinterpret_cast<const char *>(&pid), 4)
                                                     : QByteArray::number(pid).rightJustified(10, ' ') + '\n');
    }
};

} // namespace

class SerialConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    // Frames go out, told with the time they were written; the far end
    // going away is reported, the partial frame it left kept, and nothing
    // goes out after.
    void sendAndLoseTheFarEnd()
    {
        PtyPair pty;
        SerialConnection connection;
        QSignalSpy sent(&connection, &SerialConnection::sent);
        QSignalSpy errors(&connection, &SerialConnection::errorOccurred);
        QVERIFY(connection.open(settingsFor(pty.path)));
        const qint64 before = wallClockUs();
        QVERIFY(connection.send(sampleFrame(5)));
        QCOMPARE(pty.read(sampleFrame(5).size()), sampleFrame(5));
        QTRY_COMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).toByteArray(), sampleFrame(5));
        QVERIFY(sent.at(0).at(1).toLongLong() >= before);
        pty.write(sampleFrame(1) + sampleFrame(2).left(5));
        QCOMPARE(receive(connection, 1).size(), 1);
        pty.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
        QVERIFY2(errors.at(0).at(0).toString().contains("removed"), qPrintable(errors.at(0).at(0).toString()));
        QVERIFY(!connection.isOpen());
        QVERIFY(!connection.send(sampleFrame(7)));
        const QVector<BusRecord> rest = connection.takeReceived();
        QCOMPARE(rest.size(), 1);
        QCOMPARE(rest.at(0).bytes, sampleFrame(2).left(5));
    }

    // Many small items fill the waiting list by their count; random bytes,
    // few and long noise runs, by their size.
    void unreadItemsStopTheReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QVector<QByteArray> frames;
        for (int i = 0; i < SerialConnection::kMaxWaitingItems + 50000; ++i)
            frames << packFrame(quint8(i), false, kFrameOverheadBytes, 2, 0, quint32(i + 1), 1, QByteArray());
        QTest::newRow("short frames") << concat(frames);
        QRandomGenerator random(11);
        QTest::newRow("random bytes") << randomBytes(random, int(SerialConnection::kMaxWaitingBytes) + 4 * 1024 * 1024);
    }
    // A reader that takes nothing holds up the reading once the waiting list
    // is full; what the device sends meanwhile waits in the system, and
    // nothing is lost once the reader takes again.
    void unreadItemsStopTheReading()
    {
        QFETCH(QByteArray, bytes);
        PtyPair pty;
        SerialConnection connection;
        QVERIFY(connection.open(settingsFor(pty.path)));
        qsizetype written = pty.writeUntilHeld(bytes, 0, 1000);
        QTest::qWait(300); // what was written is read, as far as it will be
        QVERIFY(written < bytes.size());
        QVERIFY(unread(pty) > 0);
        QVector<BusRecord> items = connection.takeReceived();
        // Full, and then at most one read past it.
        QVERIFY(items.size() <= SerialConnection::kMaxWaitingItems
                                    + int(2 * SerialConnection::kReadBufferBytes / kFrameOverheadBytes) + 2);
        QVERIFY(sizeOf(items) <= SerialConnection::kMaxWaitingBytes + SerialConnection::kReadBufferBytes + 2 * kMaxFrameBytes);
        QElapsedTimer timer;
        timer.start();
        for (qint64 taken = sizeOf(items); taken < bytes.size() && timer.elapsed() < 30000; QTest::qWait(1)) {
            written = pty.writeUntilHeld(bytes, written, 5);
            const QVector<BusRecord> more = connection.takeReceived();
            taken += sizeOf(more);
            items += more;
        }
        QCOMPARE(connection.droppedCount(), quint64(0));
        QByteArray all;
        for (const BusRecord &item : items)
            all += item.bytes;
        QCOMPARE(all.size(), bytes.size());
        QVERIFY(all == bytes);
    }

    // Bytes that wait while the reading thread is held up (here: its event
    // loop kept busy for three gaps) did not come after a pause on the line,
    // however late they are read: frames whose halves arrive 15 ms apart
    // come out whole.
    void heldUpReaderKeepsFramesWhole()
    {
        PtyPair pty;
        SerialConnection connection;
        SerialSettings settings = settingsFor(pty.path);
        settings.gapMs = 100;
        QVERIFY(connection.open(settings));
        auto *reader = connection.findChild<QThread *>(QStringLiteral("serial"));
        QVERIFY(reader);
        auto *holder = new QObject;
        holder->moveToThread(reader);
        QStringList expected;
        QVector<BusRecord> items;
        for (int round = 0; round < 5; ++round) {
            // The reader takes the first half, and is held up at once.
            QVERIFY(pty.write(sampleFrame(20 + 4 * round).left(6)));
            QElapsedTimer held;
            held.start();
            while (unread(pty) > 0 && held.elapsed() < 5000)
                QThread::usleep(100);
            QMetaObject::invokeMethod(holder, [] { QThread::msleep(300); }, Qt::QueuedConnection);
            held.restart();
            for (int k = 0; k < 4; ++k) {
                const QByteArray frame = sampleFrame(20 + 4 * round + k);
                const int half = k == 0 ? 6 : frame.size() / 2;
                expected << QStringLiteral("RX ") + frameToHexText(frame);
                if (k > 0) {
                    QTest::qWait(15);
                    QVERIFY(pty.write(frame.left(half)));
                }
                QTest::qWait(15);
                QVERIFY(pty.write(frame.mid(half)));
            }
            QTest::qWait(int(qMax<qint64>(0, 320 - held.elapsed())));
            items += connection.takeReceived();
        }
        holder->deleteLater();
        items += receive(connection, expected.size() - items.size());
        QTest::qWait(2 * settings.gapMs);
        items += connection.takeReceived();
        QStringList got;
        for (const BusRecord &item : items)
            got << (item.kind == BusRecord::Received ? QStringLiteral("RX ") : QStringLiteral("noise ")) + frameToHexText(item.bytes);
        QCOMPARE(got, expected);
    }

    void lineSettings_data() { tablerows::addRows("serial/line-settings.table"); }
    void lineSettings()
    {
        QFETCH(QByteArrayList, cells);
        PtyPair pty;
        SerialConnection connection;
        SerialSettings settings = settingsFor(pty.path);
        settings.baudRate = cells.at(0).toInt();
        settings.dataBits = cells.at(1).toInt();
        settings.parity = QString::fromLatin1(cells.at(2));
        settings.stopBits = QString::fromLatin1(cells.at(3));
        const bool refused = !QChar::fromLatin1(cells.at(4).at(0)).isDigit();
        QCOMPARE(connection.open(settings), !refused);
        QCOMPARE(connection.errorText(), refused ? QString::fromUtf8(cells.at(4)) : QString());
        if (refused)
            return;
        const QByteArray a = packFrame(0x21, false, 12, 3, 0, 1, 2, QByteArray(1, '\1'));
        const QByteArray b = packFrame(0x21, false, 12, 3, 0, 2, 2, QByteArray(1, '\2'));
        const qint64 before = wallClockUs();
        QVERIFY(pty.write(a + b));
        const QVector<BusRecord> items = receive(connection, 2);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(1).bytes, b);
        QVERIFY2(qAbs(items.at(1).timeUs - items.at(0).timeUs - cells.at(4).toLongLong()) <= 1,
                 qPrintable(QString::number(items.at(1).timeUs - items.at(0).timeUs)));
        QVERIFY(items.at(1).timeUs >= before && items.at(1).timeUs <= wallClockUs());
    }

    void openRefused_data() { tablerows::addRows("serial/refusals.table"); }
    void openRefused()
    {
        QFETCH(QByteArrayList, cells);
        Obstacle obstacle;
        QVERIFY(obstacle.pty.ok());
        QVERIFY(obstacle.make(cells.at(0), cells.at(1), cells.at(2)));
        const QString expected = QString::fromUtf8(cells.at(3))
                                     .replace(QLatin1String("%1"), obstacle.port)
                                     .replace(QLatin1String("%2"), QString::number(obstacle.holder.processId()));
        SerialConnection connection;
        QSignalSpy changes(&connection, &SerialConnection::openChanged);
        QCOMPARE(connection.open(settingsFor(obstacle.port)), expected.isEmpty());
        QCOMPARE(connection.errorText(), expected);
        QCOMPARE(changes.count(), expected.isEmpty() ? 1 : 0);
        if (expected.isEmpty()) {
            QVERIFY(connection.send(sampleFrame(3)));
            QCOMPARE(obstacle.pty.read(sampleFrame(3).size()), sampleFrame(3));
        }
    }

    void lockFileProcess_data() { tablerows::addRows("serial/lockfile-process.table"); }
    void lockFileProcess()
    {
        QFETCH(QByteArrayList, cells);
        QCOMPARE(PortCheck::lockFileProcess(cells.at(0)), cells.at(1).toLongLong());
    }

    void lockFileNames_data() { tablerows::addRows("serial/lockfile-names.table"); }
    void lockFileNames()
    {
        QFETCH(QByteArrayList, cells);
        QCOMPARE(PortCheck::lockFileNames(QString::fromUtf8(cells.at(0))).join(QLatin1Char(' ')),
                 QString::fromUtf8(cells.at(1)));
    }
};

QTEST_GUILESS_MAIN(SerialConnectionTest)
#include "serialconnectiontest.moc"
