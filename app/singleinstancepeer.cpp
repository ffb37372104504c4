#include "app/singleinstancepeer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QtEndian>

#include <cstdio>

#if defined(Q_OS_WIN)
#include <QLockFile>
#include <QtGlobal>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A hand-over is one length-prefixed UTF-8 text; the owner answers with this.
const QByteArray kAck = QByteArrayLiteral("ack");
// Hand-over texts are a sentence; anything far longer is not ours.
const quint32 kMaxMessageSize = 64 * 1024;

QString userLogon()
{
#if defined(Q_OS_WIN)
    return qEnvironmentVariable("USERDOMAIN") + QLatin1Char('\\') + qEnvironmentVariable("USERNAME");
#else
    return QString::number(::getuid());
#endif
}

#if !defined(Q_OS_WIN)
// Whether `path` is a folder (not a link to one) of the effective user that
// no one else may write to, or, with `closed`, enter at all.
bool isOwnFolder(const QString &path, bool closed, QString *problem)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        *problem = path + QStringLiteral(" cannot be made or examined");
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *problem = path + QStringLiteral(" is not a folder");
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        *problem = path + QStringLiteral(" belongs to another user");
        return false;
    }
    if (info.st_mode & (closed ? mode_t(S_IRWXG | S_IRWXO) : mode_t(S_IWGRP | S_IWOTH))) {
        *problem = path + QStringLiteral(" is open to other users");
        return false;
    }
    return true;
}
#endif

// The socket of an identity: a file in the private folder; on Windows a pipe
// name, which pipes keep per logon session anyway.
QString socketName(const QString &folder, const QString &baseName)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(folder)
    return baseName;
#else
    return QDir(folder).filePath(baseName);
#endif
}

int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? -1 : int(qMin<qint64>(left, 0x7fffffff));
}

} // namespace

SingleInstancePeer::SingleInstancePeer(const QString &identity, QObject *parent)
    : QObject(parent), id(identity)
{
    QString problem;
    const QString folder = privateFolder(&problem);
    if (folder.isEmpty()) {
        // Handing over through a folder that someone else controls would let
        // them block every start or receive the hand-over: run on our own.
        const QString text = QCoreApplication::applicationName() + QStringLiteral(": ") + problem
            + QStringLiteral("; running on its own, without handing over to another start.\n");
        std::fputs(text.toLocal8Bit().constData(), stderr);
        return;
    }
    serverName = socketName(folder, baseNameOf(identity));
    if (!takeLock(QDir(folder).filePath(baseNameOf(identity) + QStringLiteral(".lock"))))
        return;

    // A socket left behind by a killed owner would make listen() fail.
    QLocalServer::removeServer(serverName);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(serverName))
        connect(server, SIGNAL(newConnection()), this, SLOT(on_server_newConnection()));
}

SingleInstancePeer::~SingleInstancePeer()
{
#if !defined(Q_OS_WIN)
    if (lockDescriptor >= 0) {
        // Removed while still held: a start that opened the file meanwhile
        // finds, once it holds the lock, that the name is no longer its file.
        ::unlink(QFile::encodeName(lockPath).constData());
        ::close(lockDescriptor);
    }
#endif
}

bool SingleInstancePeer::takeLock(const QString &path)
{
    // A lock we cannot even create (folder not writable, ...) must not keep
    // the tool from starting: then it simply runs on its own.
#if defined(Q_OS_WIN)
    lockFile.reset(new QLockFile(path));
    // The owner holds the lock for its whole life, so age says nothing; only a
    // dead owner (checked by process id) makes the lock stale.
    lockFile->setStaleLockTime(0);
    if (!lockFile->tryLock(0)) {
        client = lockFile->error() == QLockFile::LockFailedError;
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
#else
    // Nothing is written to the file and nothing waits for the disk: the lock
    // itself is the whole record of ownership.
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        const int descriptor = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0)
            return false;
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            client = errno == EWOULDBLOCK;
            ::close(descriptor);
            return false;
        }
        // The file may have been removed by the owner that just ended, after
        // it was opened here: then the lock is on a file nobody else can find.
        struct stat held, named;
        if (::fstat(descriptor, &held) == 0 && ::lstat(name.constData(), &named) == 0 && held.st_dev == named.st_dev
            && held.st_ino == named.st_ino) {
            ::fchmod(descriptor, 0600);
            lockPath = path;
            lockDescriptor = descriptor;
            return true;
        }
        ::close(descriptor);
    }
#endif
}

QString SingleInstancePeer::identityOf(const QString &executablePath)
{
    const QFileInfo info(executablePath);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = info.absoluteFilePath();
#if defined(Q_OS_WIN)
    // One file, whatever case the path was typed in.
    path = path.toLower();
#endif
    return path;
}

QString SingleInstancePeer::userFolderIn(const QString &parent)
{
    QString name = userLogon();
    name.replace(QLatin1Char('\\'), QLatin1Char('-'));
    return QDir(parent).filePath(QStringLiteral("kwn-frame-builder-") + name);
}

QString SingleInstancePeer::privateFolder(QString *problem)
{
    QString why;
#if defined(Q_OS_WIN)
    // The temporary folder of a Windows logon is the user's own.
    const QString folder = userFolderIn(QDir::tempPath());
    if (!QDir().mkpath(folder))
        why = folder + QStringLiteral(" cannot be made");
#else
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && isOwnFolder(runtime, false, &why))
        return runtime;
    // In a shared folder anyone could make our folder first: it is used only
    // if it turns out to be ours and closed, whoever made it.
    const QString folder = userFolderIn(QDir::tempPath());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    why.clear();
    isOwnFolder(folder, true, &why);
#endif
    if (problem)
        *problem = why;
    return why.isEmpty() ? folder : QString();
}

QString SingleInstancePeer::baseNameOf(const QString &identity)
{
    const QByteArray key = (identity + QLatin1Char('\n') + userLogon()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("qtsingleapp-") + QString::fromLatin1(hash);
}

QString SingleInstancePeer::serverNameOf(const QString &identity)
{
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : socketName(folder, baseNameOf(identity));
}

QString SingleInstancePeer::lockFilePathOf(const QString &identity)
{
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(baseNameOf(identity) + QStringLiteral(".lock"));
}

QString SingleInstancePeer::identity() const
{
    return id;
}

bool SingleInstancePeer::isClient() const
{
    return client;
}

bool SingleInstancePeer::sendMessage(const QString &message, int timeout) const
{
    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    // The owner takes its lock a moment before it listens: keep trying until
    // the time is up.
    for (;;) {
        socket.connectToServer(serverName);
        if (socket.waitForConnected(remainingMs(deadline)))
            break;
        if (deadline.hasExpired())
            return false;
        socket.abort();
        QThread::msleep(quint64(qBound(1, remainingMs(deadline), 50)));
    }

    const QByteArray text = message.toUtf8();
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(text.size()), frame.data());
    frame += text;
    socket.write(frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    while (socket.bytesAvailable() < kAck.size()) {
        if (!socket.waitForReadyRead(remainingMs(deadline)))
            return false;
    }
    const bool acknowledged = socket.read(kAck.size()) == kAck;
    socket.disconnectFromServer();
    return acknowledged;
}

void SingleInstancePeer::on_server_newConnection()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, SIGNAL(disconnected()), socket, SLOT(deleteLater()));
        connect(socket, SIGNAL(readyRead()), this, SLOT(on_connection_readyRead()));
        // Data may have arrived before the connections above existed.
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, "on_connection_readyRead", Qt::QueuedConnection);
    }
}

void SingleInstancePeer::on_connection_readyRead()
{
    // Serve every connection with a complete text waiting; the queued call
    // above has no sender, so look at all of them.
    const QList<QLocalSocket *> sockets = server->findChildren<QLocalSocket *>();
    for (QLocalSocket *socket : sockets) {
        if (socket->property("kwnServed").toBool() || socket->bytesAvailable() < 4)
            continue;
        char header[4];
        socket->peek(header, 4);
        const quint32 size = qFromBigEndian<quint32>(header);
        if (size > kMaxMessageSize) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (socket->bytesAvailable() < 4 + qint64(size))
            continue;
        socket->read(4);
        const QString message = QString::fromUtf8(socket->read(size));
        socket->setProperty("kwnServed", true);
        socket->write(kAck);
        socket->flush();
        socket->disconnectFromServer();
        emit messageReceived(message);
    }
}
