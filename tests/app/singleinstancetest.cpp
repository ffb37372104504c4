#include "app/qtsingleapplication.h"
#include "app/singleinstancepeer.h"
#include "support/datarows.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>
#include <QtTest>

#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTool = QStringLiteral(KWN_APP_PATH);
const int kProcessWait = 30000;

// A started tool, stopped when the test leaves its scope.
struct Tool : QProcess { ~Tool() override { kill(); waitForFinished(); } };

QtSingleApplication *app() { return static_cast<QtSingleApplication *>(qApp); }

mode_t modeOf(const QString &path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// Another user for otherUserCannotBlockOrHijack: takes the lock file of every
// path given, in folders open to all, and with "answer" also listens on each
// path and acknowledges every hand-over, printing what it receives.
int actAsOtherUser(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(2);
    std::vector<std::unique_ptr<QLockFile>> locks;
    for (const QString &path : arguments.mid(1)) {
        const QString folder = QFileInfo(path).path();
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
        locks.emplace_back(new QLockFile(path + QStringLiteral(".lock")));
        locks.back()->tryLock(0);
        if (arguments.first() != QLatin1String("answer"))
            continue;
        auto *server = new QLocalServer(&application);
        server->setSocketOptions(QLocalServer::WorldAccessOption);
        server->listen(path);
        QObject::connect(server, &QLocalServer::newConnection, [server] {
            QLocalSocket *socket = server->nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, [socket] {
                const QByteArray text = socket->readAll().mid(4);
                std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
                std::fflush(stdout);
                socket->write("ack");
                socket->flush();
            });
        });
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    QTimer::singleShot(60000, &application, &QCoreApplication::quit);
    return application.exec();
}

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
        QSignalSpy received(app(), &QtSingleApplication::messageReceived);
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

    // Where the lock file and socket live: only in a folder of ours that
    // others cannot enter; else each start runs on its own.
    void privateFolder_data() { addDataRows(QStringLiteral("app/privatefolders.txt")); }
    void privateFolder()
    {
        QFETCH(QStringList, row);
        const QString runtime = row[0], ownFolder = row[1], chosen = row[2];
        QTemporaryDir root;
        const QString runtimePath = root.filePath("run"), tempPath = root.filePath("tmp");
        QVERIFY(QDir().mkpath(runtimePath) && QDir().mkpath(tempPath) && QDir().mkpath(root.filePath("elsewhere")));
        QCOMPARE(::chmod(QFile::encodeName(runtimePath).constData(), runtime == "open" ? 0777 : 0700), 0);
        const QString own = SingleInstancePeer::userFolderIn(tempPath);
        if (ownFolder == "open")
            QVERIFY(QDir().mkpath(own) && ::chmod(QFile::encodeName(own).constData(), 0777) == 0);
        if (ownFolder == "link")
            QVERIFY(::chmod(QFile::encodeName(root.filePath("elsewhere")).constData(), 0700) == 0
                    && QFile::link(root.filePath("elsewhere"), own));
        // The environment of this row, put back as it was when the row ends.
        const auto put = [](const char *name, const QByteArray &value) { value.isEmpty() ? qunsetenv(name) : qputenv(name, value); };
        const auto restore = qScopeGuard([put, temp = qgetenv("TMPDIR"), run = qgetenv("XDG_RUNTIME_DIR")] {
            put("TMPDIR", temp);
            put("XDG_RUNTIME_DIR", run);
        });
        put("TMPDIR", QFile::encodeName(tempPath));
        put("XDG_RUNTIME_DIR", runtime.isEmpty() ? QByteArray() : QFile::encodeName(runtimePath));

        QString problem;
        const QString folder = SingleInstancePeer::privateFolder(&problem);
        QCOMPARE(folder, chosen == "runtime" ? runtimePath : chosen == "own" ? own : QString());
        QCOMPARE(problem.isEmpty(), !chosen.isEmpty());
        if (chosen == "own")
            QCOMPARE(modeOf(own), mode_t(S_IFDIR | 0700));
        const QString identity = QStringLiteral("privatefolder-%1").arg(QCoreApplication::applicationPid());
        SingleInstancePeer first(identity), second(identity);
        QVERIFY(!first.isClient());
        QCOMPARE(second.isClient(), !chosen.isEmpty()); // without a folder each runs on its own
        if (!chosen.isEmpty()) {
            QCOMPARE(QFileInfo(SingleInstancePeer::lockFilePathOf(identity)).path(), folder);
            QCOMPARE(modeOf(SingleInstancePeer::lockFilePathOf(identity)), mode_t(S_IFREG | 0600));
        }
    }

    // Another local user takes the names a start would use first: the lock
    // file alone (a) or with a socket that answers the hand-over (b). The
    // start must neither wait and give up nor hand its text over.
    void otherUserCannotBlockOrHijack_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("lock file taken first") << false;
        QTest::newRow("socket answering") << true;
    }

    void otherUserCannotBlockOrHijack()
    {
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            QSKIP("Acting as a second user needs root and setpriv; privateFolder checks the folder instead");
        QFETCH(bool, answer);
        QTemporaryDir shared; // a /tmp of our own, open to all as /tmp is
        QCOMPARE(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
        // Every name that anyone can compute for the tool: straight in the
        // shared folder, and in the folder a start of ours would make there.
        const QString base = SingleInstancePeer::baseNameOf(SingleInstancePeer::identityOf(kTool));
        const QStringList names{QDir(shared.path()).filePath(base),
                                QDir(SingleInstancePeer::userFolderIn(shared.path())).filePath(base)};
        Tool other;
        other.start(QStringLiteral("setpriv"), QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                                          QCoreApplication::applicationFilePath(), "--other-user",
                                                          answer ? "answer" : "lock"} + names);
        QVERIFY(other.waitForReadyRead(kProcessWait));
        QCOMPARE(other.readLine(), QByteArray("ready\n"));

        Tool start;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), shared.path());
        environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        start.setProcessEnvironment(environment);
        start.start(kTool, QStringList());
        QString complaint;
        QTRY_VERIFY_WITH_TIMEOUT((complaint += QString::fromLocal8Bit(start.readAllStandardError())).contains("belongs to another user")
                                     || start.state() == QProcess::NotRunning, kProcessWait);
        QVERIFY2(complaint.contains(SingleInstancePeer::userFolderIn(shared.path()) + " belongs to another user; running on its own"),
                 qPrintable(complaint));
        QTest::qWait(500);
        QCOMPARE(start.state(), QProcess::Running); // its own window, at once
        QCOMPARE(other.readAllStandardOutput(), QByteArray()); // and the other user heard nothing
    }

    void noDisplay()
    {
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
    if (argc > 2 && qstrcmp(argv[1], "--other-user") == 0)
        return actAsOtherUser(argc, argv);
    QtSingleApplication application(QStringLiteral("singleinstancetest-%1").arg(QCoreApplication::applicationPid()), argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "singleinstancetest.moc"
