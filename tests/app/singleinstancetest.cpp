#include "app/qtsingleapplication.h"
#include "app/singleinstancepeer.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <QtTest>

namespace {

const QString kTool = QStringLiteral(KWN_APP_PATH);
const int kProcessWait = 30000;

// A started tool, stopped when the test leaves its scope.
struct Tool : QProcess { ~Tool() override { kill(); waitForFinished(); } };

QtSingleApplication *app() { return static_cast<QtSingleApplication *>(qApp); }

} // namespace

class SingleInstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void handOverRestoresWindow()
    {
        QWidget window;
        window.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
        window.show();
        app()->setActivationWindow(&window, true);
        const QWidgetList windows = QApplication::topLevelWidgets();
        QSignalSpy received(app(), SIGNAL(messageReceived(const QString &)));
        // A stray announcing 4 GiB, far too long for a hand-over text: the owner hangs up at once.
        QLocalSocket stray;
        stray.connectToServer(SingleInstancePeer::serverNameOf(app()->id()));
        QVERIFY(stray.waitForConnected(5000));
        stray.write("\xff\xff\xff\xff" "abc");
        QTRY_COMPARE(stray.state(), QLocalSocket::UnconnectedState);
        QVERIFY(received.isEmpty());

        bool acknowledged = false; // a later start sends from a thread of its own: this one must serve it
        QScopedPointer<QThread> later(QThread::create([&] {
            acknowledged = SingleInstancePeer(app()->id()).sendMessage(QStringLiteral("Navrel application already running"), 5000);
        }));
        later->start();
        QTRY_VERIFY_WITH_TIMEOUT(later->isFinished(), 10000);
        QVERIFY(acknowledged);
        QCOMPARE(window.windowState(), Qt::WindowStates(Qt::WindowMaximized)); // only the minimised state is cleared
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::topLevelWidgets(), windows); // the text is shown nowhere
    }

    void laterStarts_data()
    {
        QTest::addColumn<bool>("copy");
        QTest::addColumn<bool>("killFirst");

        QTest::newRow("same file hands over") << false << false;
        QTest::newRow("copy in another folder runs beside") << true << false;
        QTest::newRow("start after SIGKILL becomes first") << false << true;
    }

    void laterStarts()
    {
        QFETCH(bool, copy);
        QFETCH(bool, killFirst);
        QTemporaryDir elsewhere;
        const QString program = copy ? elsewhere.filePath(QStringLiteral("kwn-frame-builder")) : kTool;
        QVERIFY(!copy || QFile::copy(kTool, program));
        Tool first, second, third;
        start(first, kTool, true);
        if (killFirst) {
            first.kill();
            QVERIFY(first.waitForFinished(kProcessWait));
            QVERIFY(QFile::exists(SingleInstancePeer::lockFilePathOf(SingleInstancePeer::identityOf(kTool)))); // left behind
        }
        start(second, program, copy || killFirst);
        if (copy || killFirst)
            start(third, program, false);
        QCOMPARE(first.state(), killFirst ? QProcess::NotRunning : QProcess::Running);
    }

    void noDisplay()
    {
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
        QSKIP("Only X11 and Wayland desktops need a display variable");
#endif
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        Tool tool;
        tool.setProcessEnvironment(environment);
        tool.start(kTool, QStringList());
        QVERIFY(tool.waitForFinished(kProcessWait));
        QCOMPARE(tool.exitCode(), 1);
        const QString message = QString::fromLocal8Bit(tool.readAllStandardError());
        QVERIFY2(message.startsWith(QStringLiteral("No graphical display is available")) && message.contains(QStringLiteral("xvfb-run -a ")),
                 qPrintable(message));
    }

private:
    // Starts program; unless it is to end at once, waits until it owns its identity.
    void start(QProcess &process, const QString &program, bool owner)
    {
        process.start(program, QStringList());
        QVERIFY2(process.waitForStarted(kProcessWait), qPrintable(process.errorString()));
        if (!owner) {
            QVERIFY(process.waitForFinished(kProcessWait));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 0); // 0 only once the owner acknowledged the hand-over
            return;
        }
        const QString name = SingleInstancePeer::serverNameOf(SingleInstancePeer::identityOf(program));
        QLocalSocket probe;
        QTRY_VERIFY_WITH_TIMEOUT((probe.abort(), probe.connectToServer(name), probe.waitForConnected(200)), kProcessWait);
        QCOMPARE(process.state(), QProcess::Running);
    }
};

// The application object is the class under test, under an identity nothing else can own.
int main(int argc, char *argv[])
{
    QtSingleApplication application(QStringLiteral("singleinstancetest-%1").arg(QCoreApplication::applicationPid()), argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "singleinstancetest.moc"
