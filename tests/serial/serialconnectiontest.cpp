// The serial connection on pseudo-terminals made by the test: the test plays
// the device on the master side while the connection holds the slave side.
// How received bytes become frames and noise, however they are cut, is
// checked through the Bus page (buslayouttest), which reads by this class.
// Ports that cannot be opened are made here too: files that are no terminal,
// terminals held by another program, lock files in the system's lock folder.

#include "codec/frame.h"
#include "serial/serialconnection.h"
#include "ptypair.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace {

QByteArray sampleFrame(int i)
{
    const QByteArray data(i % (kMaxDataBytes + 1), char(i * 7));
    return packFrame(quint8(i), i % 2, quint8(kFrameOverheadBytes + data.size()), 2, 0, 0x1A2B3C + i, 1, data);
}

// `count` frames of 11 bytes, each its own.
QByteArray shortFrames(int count)
{
    QByteArray all;
    all.reserve(count * kFrameOverheadBytes);
    for (int i = 0; i < count; ++i)
        all += packFrame(quint8(i), false, kFrameOverheadBytes, 2, 0, quint32(i + 1), 1, QByteArray());
    return all;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(11);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
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
    QElapsedTimer timer;
    timer.start();
    while (items.size() < count && timer.elapsed() < 5000) {
        QTest::qWait(5);
        items += connection.takeReceived();
    }
    return items;
}

SerialSettings settingsFor(const QString &port)
{
    SerialSettings settings;
    settings.port = port;
    settings.gapMs = 50;
    return settings;
}

// Whether process `pid` has `path` open (after symbolic links).
bool holdsOpen(qint64 pid, const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QStringList entries = fds.entryList(QDir::Files | QDir::System);
    for (const QString &fd : entries) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == device)
            return true;
    }
    return false;
}

// What stands in the way of opening a port, made for one test row and taken
// away afterwards.
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
        if (holder.state() != QProcess::NotRunning) {
            ::kill(pid_t(holder.processId()), SIGTERM);
            if (!holder.waitForFinished(5000)) {
                ::kill(pid_t(holder.processId()), SIGKILL);
                holder.waitForFinished(5000);
            }
        }
        if (!lockFile.isEmpty())
            QFile::remove(lockFile);
    }

    QString inDir(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }

    // A program that keeps `path` open; true once it does.
    bool hold(const QString &program, const QStringList &arguments, const QString &path)
    {
        holder.start(program, arguments);
        if (!holder.waitForStarted(5000))
            return false;
        QElapsedTimer waited;
        waited.start();
        while (!holdsOpen(holder.processId(), path) && waited.elapsed() < 10000
               && holder.state() == QProcess::Running)
            QTest::qWait(10);
        return holdsOpen(holder.processId(), path);
    }

    bool holdInShell(const QString &path)
    {
        return hold(QStringLiteral("sh"), {"-c", "exec sleep 60 <>\"$0\"", path}, path);
    }

    bool link()
    {
        port = inDir("port-link");
        return QFile::link(pty.path, port);
    }

    // A lock file of the pty naming `pid`, in text or as a binary int. The
    // pty is new, so a lock file of its name is one left behind.
    bool lock(const QString &name, qint64 pid, bool binary)
    {
        lockFile = QStringLiteral("/run/lock/") + name;
        QFile file(lockFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const qint32 value = qint32(pid);
        file.write(binary ? QByteArray(reinterpret_cast<const char *>(&value), 4)
                          : QByteArray::number(pid).rightJustified(10, ' ') + '\n');
        return true;
    }
    // Lock names as Qt forms them (pts_5) and as UUCP programs do (5).
    QString qtLockName() const { return QStringLiteral("LCK..") + pty.path.mid(5).replace('/', '_'); }
    QString baseLockName() const { return QStringLiteral("LCK..") + QFileInfo(pty.path).fileName(); }

    // A process number that is no longer in use.
    qint64 endedProcess()
    {
        QProcess ended;
        ended.start(QStringLiteral("true"), QStringList());
        if (!ended.waitForStarted(5000))
            return 0;
        const qint64 pid = ended.processId();
        ended.waitForFinished(5000);
        return pid;
    }

    bool make(const QString &kind);
};

bool Obstacle::make(const QString &kind)
{
    port = pty.path;
    if (kind == QLatin1String("regular file")) {
        port = inDir("capture.log");
        QFile file(port);
        return file.open(QIODevice::WriteOnly) && file.write("F0 EF\n") == 6;
    }
    if (kind == QLatin1String("directory")) {
        port = dir.path();
        return true;
    }
    if (kind == QLatin1String("null")) {
        port = QStringLiteral("/dev/null");
        return true;
    }
    if (kind == QLatin1String("fifo")) {
        port = inDir("fifo");
        return ::mkfifo(QFile::encodeName(port).constData(), 0600) == 0;
    }
    if (kind == QLatin1String("dangling link")) {
        port = inDir("gone");
        return QFile::link(inDir("ttyKWN-none"), port);
    }
    if (kind == QLatin1String("child"))
        return holdInShell(pty.path);
    if (kind == QLatin1String("link, child"))
        return holdInShell(pty.path) && link();
    if (kind == QLatin1String("child by link"))
        return link() && holdInShell(port);
    if (kind == QLatin1String("monitor"))
        return hold(QStringLiteral(KWN_CLI_PATH), {"monitor", "--port", pty.path}, pty.path);
    if (kind == QLatin1String("link, monitor"))
        return hold(QStringLiteral(KWN_CLI_PATH), {"monitor", "--port", pty.path}, pty.path) && link();
    if (kind == QLatin1String("connection") || kind == QLatin1String("link, connection")) {
        first.reset(new SerialConnection);
        return first->open(settingsFor(pty.path)) && (kind == QLatin1String("connection") || link());
    }
    if (kind == QLatin1String("connection by link")) {
        first.reset(new SerialConnection);
        return link() && first->open(settingsFor(port)) && !(port = pty.path).isEmpty();
    }
    const bool binary = kind.endsWith(QLatin1String("binary"));
    if (kind.startsWith(QLatin1String("live lock"))) {
        holder.start(QStringLiteral("sleep"), {"60"});
        return holder.waitForStarted(5000) && lock(binary ? baseLockName() : qtLockName(), holder.processId(), binary);
    }
    if (kind.startsWith(QLatin1String("stale lock"))) {
        const qint64 pid = endedProcess();
        return pid > 0 && lock(qtLockName(), pid, binary);
    }
    return false;
}

} // namespace

class SerialConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void sendsFramesWithTheirTime();
    void farEndClosedIsReported();
    void unreadItemsStopTheReading_data();
    void unreadItemsStopTheReading();
    void heldUpReaderKeepsFramesWhole();
    void byteTime_data();
    void byteTime();
    void framesReadTogetherKeepTheirSpacing_data();
    void framesReadTogetherKeepTheirSpacing();
    void openIsRefused_data();
    void openIsRefused();
    void staleLockIsNoObstacle_data();
    void staleLockIsNoObstacle();
    void exclusiveModeLeftBehindIsNoObstacle();
};

void SerialConnectionTest::sendsFramesWithTheirTime()
{
    PtyPair pty;
    SerialConnection connection;
    QVERIFY(connection.open(settingsFor(pty.path)));
    QSignalSpy sent(&connection, &SerialConnection::sent);
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(connection.send(sampleFrame(5)));
    QVERIFY(connection.send(sampleFrame(6)));
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(sent.at(0).at(0).toByteArray(), sampleFrame(5));
    QCOMPARE(sent.at(1).at(0).toByteArray(), sampleFrame(6));
    QVERIFY(sent.at(0).at(1).toLongLong() >= before * 1000);
    QCOMPARE(pty.read(sampleFrame(5).size() + sampleFrame(6).size()), sampleFrame(5) + sampleFrame(6));
    connection.close();
    QVERIFY(!connection.send(sampleFrame(7)));
}

// Reconnecting afterwards is checked on the Bus page (buslayouttest).
void SerialConnectionTest::farEndClosedIsReported()
{
    PtyPair pty;
    SerialConnection connection;
    QSignalSpy errors(&connection, &SerialConnection::errorOccurred);
    QVERIFY(connection.open(settingsFor(pty.path)));
    pty.write(sampleFrame(1) + sampleFrame(2).left(5));
    QCOMPARE(receive(connection, 1).size(), 1);
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QVERIFY2(errors.at(0).at(0).toString().contains("removed"), qPrintable(errors.at(0).at(0).toString()));
    QVERIFY(!connection.isOpen());
    // The partial frame is not lost.
    const QVector<BusRecord> rest = connection.takeReceived();
    QCOMPARE(rest.size(), 1);
    QCOMPARE(rest.at(0).bytes, sampleFrame(2).left(5));
}

void SerialConnectionTest::unreadItemsStopTheReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Many small items: the count fills the list. Random bytes make few and
    // long noise runs: their size fills it.
    QTest::newRow("short frames") << shortFrames(SerialConnection::kMaxWaitingItems + 50000);
    QTest::newRow("random bytes") << randomBytes(SerialConnection::kMaxWaitingBytes + 4 * 1024 * 1024);
}

// A reader that takes nothing holds up the reading once the waiting list is
// full, in items or in bytes; what the device sends meanwhile waits in the
// system, and nothing is lost once the reader takes again.
void SerialConnectionTest::unreadItemsStopTheReading()
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
    const int itemBound = SerialConnection::kMaxWaitingItems
                          + int(2 * SerialConnection::kReadBufferBytes / kFrameOverheadBytes) + 2;
    const qint64 byteBound = SerialConnection::kMaxWaitingBytes + SerialConnection::kReadBufferBytes
                             + 2 * kMaxFrameBytes;
    QVERIFY2(items.size() <= itemBound, qPrintable(QString::number(items.size())));
    QVERIFY2(sizeOf(items) <= byteBound, qPrintable(QString::number(sizeOf(items))));

    QElapsedTimer timer;
    timer.start();
    qint64 taken = sizeOf(items);
    while (taken < bytes.size() && timer.elapsed() < 30000) {
        written = pty.writeUntilHeld(bytes, written, 5);
        QVector<BusRecord> more = connection.takeReceived();
        taken += sizeOf(more);
        items += more;
        QTest::qWait(1);
    }
    QCOMPARE(connection.droppedCount(), quint64(0));
    QCOMPARE(taken, qint64(bytes.size()));
    QByteArray all;
    all.reserve(bytes.size());
    for (const BusRecord &item : items)
        all += item.bytes;
    QVERIFY(all == bytes);
}

// Bytes that wait while the reading thread is held up (here: its event loop
// kept busy for three gaps) did not come after a pause on the line, however
// late they are read: frames whose halves arrive 15 ms apart come out whole.
void SerialConnectionTest::heldUpReaderKeepsFramesWhole()
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

    QVector<QByteArray> frames;
    for (int i = 0; i < 20; ++i)
        frames << sampleFrame(20 + i);
    QVector<BusRecord> items;
    for (int round = 0; round < 5; ++round) {
        // The reader takes the first half, and is held up at once.
        const QByteArray first = frames.at(4 * round);
        QVERIFY(pty.write(first.left(6)));
        QElapsedTimer held;
        held.start();
        while (unread(pty) > 0 && held.elapsed() < 5000)
            QThread::usleep(100);
        QMetaObject::invokeMethod(holder, [] { QThread::msleep(300); }, Qt::QueuedConnection);
        held.restart();
        QTest::qWait(15);
        QVERIFY(pty.write(first.mid(6)));
        for (int k = 1; k < 4; ++k) {
            const QByteArray frame = frames.at(4 * round + k);
            QTest::qWait(15);
            QVERIFY(pty.write(frame.left(frame.size() / 2)));
            QTest::qWait(15);
            QVERIFY(pty.write(frame.mid(frame.size() / 2)));
        }
        QTest::qWait(int(qMax<qint64>(0, 320 - held.elapsed())));
        items += connection.takeReceived();
    }
    holder->deleteLater();
    items += receive(connection, frames.size() - items.size());
    QTest::qWait(2 * settings.gapMs);
    items += connection.takeReceived();
    QStringList got;
    for (const BusRecord &item : items)
        got << (item.kind == BusRecord::Received ? QStringLiteral("frame ") : QStringLiteral("noise "))
                   + frameToHexText(item.bytes);
    QStringList expected;
    for (const QByteArray &frame : frames)
        expected << QStringLiteral("frame ") + frameToHexText(frame);
    QCOMPARE(got, expected);
}

void SerialConnectionTest::openIsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected"); // %1: the port as given, %2: the process that a lock names
    const QString notSerial = QStringLiteral("%1 is not a serial port.");
    const QString inUse = QStringLiteral("Port %1 is in use by another program.");
    const QString locked = QStringLiteral("Port %1 is locked by process %2.");
    QTest::newRow("regular file") << "regular file" << notSerial;
    QTest::newRow("directory") << "directory" << notSerial;
    QTest::newRow("/dev/null") << "null" << notSerial;
    QTest::newRow("FIFO without a writer") << "fifo" << notSerial;
    QTest::newRow("link to nothing") << "dangling link" << QStringLiteral("No such port: %1.");
    QTest::newRow("pty held by a child") << "child" << inUse;
    QTest::newRow("link to a pty held by a child") << "link, child" << inUse;
    QTest::newRow("pty held by a child through a link") << "child by link" << inUse;
    QTest::newRow("pty held by a monitor") << "monitor" << inUse;
    QTest::newRow("link to a pty held by a monitor") << "link, monitor" << inUse;
    QTest::newRow("pty held by a second connection") << "connection" << inUse;
    QTest::newRow("link to a pty held by a second connection") << "link, connection" << inUse;
    QTest::newRow("pty held by a second connection through a link") << "connection by link" << inUse;
    QTest::newRow("lock file naming a running process") << "live lock" << locked;
    QTest::newRow("binary lock file naming a running process") << "live lock binary" << locked;
}

void SerialConnectionTest::openIsRefused()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    Obstacle obstacle;
    QVERIFY(obstacle.pty.ok());
    QVERIFY2(obstacle.make(kind), qPrintable(kind));
    SerialConnection connection;
    QSignalSpy changes(&connection, &SerialConnection::openChanged);
    QVERIFY(!connection.open(settingsFor(obstacle.port)));
    expected.replace(QLatin1String("%1"), obstacle.port)
        .replace(QLatin1String("%2"), QString::number(obstacle.holder.processId()));
    QCOMPARE(connection.errorText(), expected);
    QVERIFY(!connection.isOpen());
    QCOMPARE(changes.count(), 0);
}

// A lock file whose process has ended guards nothing; Qt takes over only one
// in its own text form.
void SerialConnectionTest::staleLockIsNoObstacle_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text") << "stale lock";
    QTest::newRow("binary") << "stale lock binary";
}

void SerialConnectionTest::staleLockIsNoObstacle()
{
    QFETCH(QString, kind);
    Obstacle obstacle;
    QVERIFY(obstacle.pty.ok());
    QVERIFY(obstacle.make(kind));
    SerialConnection connection;
    QVERIFY2(connection.open(settingsFor(obstacle.port)), qPrintable(connection.errorText()));
    QVERIFY(connection.send(sampleFrame(3)));
    QCOMPARE(obstacle.pty.read(sampleFrame(3).size()), sampleFrame(3));
}

void SerialConnectionTest::byteTime_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<double>("byteUs");
    QTest::newRow("9600 8N1") << 9600 << 8 << "none" << "1" << 1e7 / 9600;
    QTest::newRow("1200 8E2") << 1200 << 8 << "even" << "2" << 12e6 / 1200;
    QTest::newRow("19200 7O1") << 19200 << 7 << "odd" << "1" << 10e6 / 19200;
    QTest::newRow("300 5N1.5") << 300 << 5 << "none" << "1.5" << 7.5e6 / 300;
    QTest::newRow("115200 8M1") << 115200 << 8 << "mark" << "1" << 11e6 / 115200;
}

void SerialConnectionTest::byteTime()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(QString, parity);
    QFETCH(QString, stopBits);
    QFETCH(double, byteUs);
    SerialSettings settings;
    settings.baudRate = baud;
    settings.dataBits = dataBits;
    settings.parity = parity;
    settings.stopBits = stopBits;
    QCOMPARE(settings.byteTimeUs(), byteUs);
}

// Frames that come in one read are stamped by when their last byte came:
// each one the bytes after it, at the line's byte time, before the read.
void SerialConnectionTest::framesReadTogetherKeepTheirSpacing_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<double>("byteUs");
    QTest::newRow("9600 8N1") << 9600 << "none" << "1" << 1e7 / 9600;
    QTest::newRow("1200 8N1") << 1200 << "none" << "1" << 1e7 / 1200;
    QTest::newRow("115200 8N1") << 115200 << "none" << "1" << 1e7 / 115200;
}

void SerialConnectionTest::framesReadTogetherKeepTheirSpacing()
{
    QFETCH(int, baud);
    QFETCH(QString, parity);
    QFETCH(QString, stopBits);
    QFETCH(double, byteUs);
    PtyPair pty;
    SerialConnection connection;
    SerialSettings settings = settingsFor(pty.path);
    settings.baudRate = baud;
    settings.parity = parity;
    settings.stopBits = stopBits;
    QCOMPARE(settings.byteTimeUs(), byteUs);
    QVERIFY(connection.open(settings));
    QByteArray burst;
    for (int i = 1; i <= 5; ++i)
        burst += sampleFrame(i);
    const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1000;
    QVERIFY(pty.write(burst));
    const QVector<BusRecord> items = receive(connection, 5);
    QCOMPARE(items.size(), 5);
    for (int i = 0; i < 5; ++i)
        QVERIFY(items.at(i).timeUs >= before - 5 * 31 * qint64(byteUs));
    for (int i = 1; i < 5; ++i) {
        const double spacing = double(items.at(i).timeUs - items.at(i - 1).timeUs);
        QVERIFY2(qAbs(spacing - items.at(i).bytes.size() * byteUs) <= 1.0,
                 qPrintable(QStringLiteral("frame %1: %2 us after the one before").arg(i).arg(spacing)));
    }
}

// A program that ends without closing its port (killed) leaves the terminal
// in exclusive mode while something else keeps it open (socat, the device's
// end here): nobody uses it, and the next program may have it.
void SerialConnectionTest::exclusiveModeLeftBehindIsNoObstacle()
{
    PtyPair pty;
    QCOMPARE(::ioctl(pty.slave, TIOCEXCL), 0);
    SerialConnection connection;
    QVERIFY2(connection.open(settingsFor(pty.path)), qPrintable(connection.errorText()));
    // Held here now, it is in use for a second connection all the same.
    SerialConnection second;
    QVERIFY(!second.open(settingsFor(pty.path)));
    QVERIFY2(second.errorText().contains(QLatin1String("in use")), qPrintable(second.errorText()));
    connection.close();
    QVERIFY2(second.open(settingsFor(pty.path)), qPrintable(second.errorText()));
}

QTEST_GUILESS_MAIN(SerialConnectionTest)
#include "serialconnectiontest.moc"
