#include "app/qtsingleapplication.h"
#include "app/singleinstancepeer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>
#include <QWidget>
#include <QtTest>

#include <memory>

namespace {

const QString kHandOver = QStringLiteral("Navrel application already running");
const int kProcessWait = 30000;

QtSingleApplication *app()
{
    return static_cast<QtSingleApplication *>(QCoreApplication::instance());
}

QString uniqueIdentity()
{
    return QStringLiteral("singleinstancetest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Sends from a thread of its own: the owner answers from this thread's event
// loop, which a send from here would block.
bool sendFromThread(const SingleInstancePeer &peer, const QString &message, int timeout)
{
    bool acknowledged = false;
    std::unique_ptr<QThread> thread(QThread::create([&] { acknowledged = peer.sendMessage(message, timeout); }));
    thread->start();
    QElapsedTimer clock;
    clock.start();
    while (!thread->isFinished() && clock.elapsed() < timeout + 5000)
        QTest::qWait(10);
    if (!thread->wait(5000))
        qFatal("sender thread hangs");
    return acknowledged;
}

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // The class itself, in this process (whose application object is one).
    void ownership_data();
    void ownership();
    void handOverIsAcknowledged();
    void activation_data();
    void activation();
    void noAcknowledgementWhileOwnerIsBusy();
    void strayConnections_data();
    void strayConnections();

    // The tool, as separate processes.
    void secondStartHandsOver();
    void copyElsewhereRunsSideBySide();
    void killedOwnerDoesNotBlock();
    void noDisplay();

private:
    void startTool(QProcess &process, const QString &program);
    bool waitUntilServing(QProcess &process, const QString &program);
    void stop(QProcess &process);

    QTemporaryDir workDir;
};

void SingleInstanceTest::init()
{
    app()->setActivationWindow(nullptr, false);
    QVERIFY(workDir.isValid());
}

void SingleInstanceTest::ownership_data()
{
    QTest::addColumn<bool>("sameIdentity");
    QTest::addColumn<bool>("client");

    QTest::newRow("identity of the running application") << true << true;
    QTest::newRow("an identity nobody holds") << false << false;
}

void SingleInstanceTest::ownership()
{
    QFETCH(bool, sameIdentity);
    QFETCH(bool, client);

    QVERIFY(!app()->isRunning());
    SingleInstancePeer peer(sameIdentity ? app()->id() : uniqueIdentity());
    QCOMPARE(peer.isClient(), client);
    if (!client) {
        // Now it owns that identity in turn.
        SingleInstancePeer later(peer.identity());
        QVERIFY(later.isClient());
    }
}

void SingleInstanceTest::handOverIsAcknowledged()
{
    QWidget window;
    window.show();
    app()->setActivationWindow(&window, true);
    QCOMPARE(app()->activationWindow(), &window);
    const QWidgetList windowsBefore = QApplication::topLevelWidgets();

    QSignalSpy received(app(), SIGNAL(messageReceived(const QString &)));
    SingleInstancePeer later(app()->id());
    QVERIFY(later.isClient());
    QVERIFY(sendFromThread(later, kHandOver, 5000));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.first().first().toString(), kHandOver);
    // The text is not shown anywhere.
    QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);

    // Every start hands over, not only the first.
    QVERIFY(sendFromThread(later, QStringLiteral("once more"), 5000));
    QCOMPARE(received.count(), 2);
}

void SingleInstanceTest::activation_data()
{
    QTest::addColumn<Qt::WindowStates>("before");
    QTest::addColumn<bool>("activateOnMessage");
    QTest::addColumn<Qt::WindowStates>("after");

    QTest::newRow("minimised") << Qt::WindowStates(Qt::WindowMinimized) << true
                               << Qt::WindowStates(Qt::WindowNoState);
    QTest::newRow("minimised from maximised") << Qt::WindowStates(Qt::WindowMinimized | Qt::WindowMaximized) << true
                                              << Qt::WindowStates(Qt::WindowMaximized);
    QTest::newRow("minimised from full screen") << Qt::WindowStates(Qt::WindowMinimized | Qt::WindowFullScreen)
                                                << true << Qt::WindowStates(Qt::WindowFullScreen);
    QTest::newRow("maximised") << Qt::WindowStates(Qt::WindowMaximized) << true
                               << Qt::WindowStates(Qt::WindowMaximized);
    QTest::newRow("not asked to activate") << Qt::WindowStates(Qt::WindowMinimized) << false
                                           << Qt::WindowStates(Qt::WindowMinimized);
}

void SingleInstanceTest::activation()
{
    QFETCH(Qt::WindowStates, before);
    QFETCH(bool, activateOnMessage);
    QFETCH(Qt::WindowStates, after);

    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setWindowState(before);
    QCOMPARE(window.windowState(), before);
    app()->setActivationWindow(&window, activateOnMessage);

    SingleInstancePeer later(app()->id());
    QVERIFY(sendFromThread(later, kHandOver, 5000));
    QCOMPARE(window.windowState(), after);
    if (activateOnMessage)
        QTRY_COMPARE(QApplication::activeWindow(), &window);
}

void SingleInstanceTest::noAcknowledgementWhileOwnerIsBusy()
{
    // This thread owns the identity and is not running its event loop while it
    // sends, just as an owner still building its window.
    SingleInstancePeer later(app()->id());
    QVERIFY(!later.sendMessage(kHandOver, 300));
    // Let the owner drain what arrived meanwhile.
    QTest::qWait(100);
}

void SingleInstanceTest::strayConnections_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("dropped");

    QTest::newRow("connects and leaves") << QByteArray() << false;
    QTest::newRow("half a length") << QByteArray("\x00\x00", 2) << false;
    QTest::newRow("shorter than announced") << QByteArray("\x00\x00\x00\x0a" "abc", 7) << false;
    QTest::newRow("announces 4 GiB") << QByteArray("\xff\xff\xff\xff" "abc", 7) << true;
    QTest::newRow("announces 64 KiB and 1") << QByteArray("\x00\x01\x00\x01", 4) << true;
}

void SingleInstanceTest::strayConnections()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, dropped);

    QSignalSpy received(app(), SIGNAL(messageReceived(const QString &)));
    QLocalSocket socket;
    socket.connectToServer(SingleInstancePeer::serverNameOf(app()->id()));
    QVERIFY(socket.waitForConnected(5000));
    if (!bytes.isEmpty()) {
        socket.write(bytes);
        QVERIFY(socket.waitForBytesWritten(5000));
    }
    if (dropped)
        QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
    else
        QTest::qWait(100);
    QCOMPARE(socket.bytesAvailable(), 0);
    socket.abort();
    QTest::qWait(50);
    QCOMPARE(received.count(), 0);

    // The owner still serves a proper hand-over afterwards.
    SingleInstancePeer later(app()->id());
    QVERIFY(sendFromThread(later, kHandOver, 5000));
    QCOMPARE(received.count(), 1);
}

void SingleInstanceTest::startTool(QProcess &process, const QString &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workDir.path());
    process.setProgram(program);
    process.start();
    QVERIFY2(process.waitForStarted(kProcessWait), qPrintable(process.errorString()));
}

// True once the process serves hand-overs for the identity of program, that
// is once it owns the identity.
bool SingleInstanceTest::waitUntilServing(QProcess &process, const QString &program)
{
    const QString name = SingleInstancePeer::serverNameOf(SingleInstancePeer::identityOf(program));
    QElapsedTimer clock;
    clock.start();
    while (process.state() == QProcess::Running && clock.elapsed() < kProcessWait) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QTest::qWait(50);
    }
    return false;
}

void SingleInstanceTest::stop(QProcess &process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kProcessWait);
    }
}

void SingleInstanceTest::secondStartHandsOver()
{
    const QString tool = QStringLiteral(KWN_APP_PATH);
    QProcess first;
    startTool(first, tool);
    QVERIFY(waitUntilServing(first, tool));

    for (int start = 2; start <= 3; ++start) {
        QProcess later;
        startTool(later, tool);
        QVERIFY(later.waitForFinished(kProcessWait));
        QCOMPARE(later.exitStatus(), QProcess::NormalExit);
        QCOMPARE(later.exitCode(), 0);
        QVERIFY(later.readAllStandardOutput().isEmpty());
        QCOMPARE(first.state(), QProcess::Running);
    }
    stop(first);
}

void SingleInstanceTest::copyElsewhereRunsSideBySide()
{
    const QString tool = QStringLiteral(KWN_APP_PATH);
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString copy = elsewhere.filePath(QStringLiteral("kwn-frame-builder"));
    QVERIFY(QFile::copy(tool, copy));

    QProcess first;
    startTool(first, tool);
    QVERIFY(waitUntilServing(first, tool));
    QProcess other;
    startTool(other, copy);
    QVERIFY(waitUntilServing(other, copy));
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(other.state(), QProcess::Running);
    stop(first);
    stop(other);
}

void SingleInstanceTest::killedOwnerDoesNotBlock()
{
    const QString tool = QStringLiteral(KWN_APP_PATH);
    const QString identity = SingleInstancePeer::identityOf(tool);
    QProcess first;
    startTool(first, tool);
    QVERIFY(waitUntilServing(first, tool));
    first.kill();
    QVERIFY(first.waitForFinished(kProcessWait));
    // Killed, it leaves its lock behind.
    QVERIFY(QFile::exists(SingleInstancePeer::lockFilePathOf(identity)));

    QProcess next;
    startTool(next, tool);
    QVERIFY(waitUntilServing(next, tool));
    QCOMPARE(next.state(), QProcess::Running);

    QProcess later;
    startTool(later, tool);
    QVERIFY(later.waitForFinished(kProcessWait));
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(next.state(), QProcess::Running);
    stop(next);
}

void SingleInstanceTest::noDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(workDir.path());
    tool.start(QStringLiteral(KWN_APP_PATH), QStringList());
    QVERIFY(tool.waitForFinished(kProcessWait));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 1);
    const QString message = QString::fromLocal8Bit(tool.readAllStandardError());
    QCOMPARE(message.count(QLatin1Char('\n')), 1);
    QVERIFY2(message.startsWith(QStringLiteral("No graphical display is available")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("xvfb-run -a ")), qPrintable(message));
    QVERIFY(tool.readAllStandardOutput().isEmpty());
#else
    QSKIP("Only X11 and Wayland desktops need a display variable");
#endif
}

// The test's application object is the class under test, under an identity of
// its own so that nothing else can own it.
int main(int argc, char *argv[])
{
    QtSingleApplication application(uniqueIdentity(), argc, argv);
    application.setAttribute(Qt::AA_Use96Dpi, true);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "singleinstancetest.moc"
