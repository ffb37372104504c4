#include "app/singleinstancepeer.h"

#include "app/localsocket.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <QtEndian>

#include <cstdio>

#if defined(Q_OS_WIN)
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QtGlobal>
#else
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

QByteArray handOverFrame(const QString &message)
{
    const QByteArray text = message.toUtf8();
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(text.size()), frame.data());
    return frame + text;
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
        // Said under the executable's name, as the tool's other complaints are.
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        const QString text = program + QStringLiteral(": ") + problem
            + QStringLiteral("; running on its own, without handing over to another start.\n");
        std::fputs(text.toLocal8Bit().constData(), stderr);
        return;
    }
    serverName = socketName(folder, baseNameOf(identity));
    if (!takeLock(QDir(folder).filePath(baseNameOf(identity) + QStringLiteral(".lock"))))
        return;

#if defined(Q_OS_WIN)
    // A socket left behind by a killed owner would make listen() fail.
    QLocalServer::removeServer(serverName);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(serverName))
        connect(server, &QLocalServer::newConnection, this, &SingleInstancePeer::on_server_newConnection);
#else
    listen();
#endif
}

SingleInstancePeer::~SingleInstancePeer()
{
#if !defined(Q_OS_WIN)
    while (!connections.empty())
        closeConnection(connections.size() - 1);
    // The socket goes while the lock is still held, so that it is never a
    // later owner's socket that is removed.
    if (serverDescriptor >= 0) {
        ::close(serverDescriptor);
        ::unlink(QFile::encodeName(serverName).constData());
    }
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
            // Who holds it, in the lines QLockFile reads, so that a build that
            // still uses QLockFile can tell a lock left by a killed owner.
            const QByteArray owner = QByteArray::number(QCoreApplication::applicationPid()) + '\n'
                + QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n'
                + QSysInfo::machineHostName().toUtf8() + '\n';
            const bool noted = ::ftruncate(descriptor, 0) == 0
                && ::write(descriptor, owner.constData(), size_t(owner.size())) == ssize_t(owner.size());
            Q_UNUSED(noted) // the lock holds without the note
            lockPath = path;
            lockDescriptor = descriptor;
            return true;
        }
        ::close(descriptor);
    }
#endif
}

#if !defined(Q_OS_WIN)
bool SingleInstancePeer::listen()
{
    sockaddr_un address;
    if (!socketAddress(serverName, &address))
        return false;
    const int descriptor = openSocket();
    if (descriptor < 0)
        return false;
    // A socket left behind by a killed owner would make bind() fail. The new
    // one is open to the user alone from the start; the process-wide mask is
    // changed only for that moment, while no other thread of ours makes files.
    ::unlink(address.sun_path);
    const mode_t mask = ::umask(0077);
    const bool bound = ::bind(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::listen(descriptor, 50) != 0) {
        ::close(descriptor);
        return false;
    }
    serverDescriptor = descriptor;
    serverNotifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(serverNotifier, &QSocketNotifier::activated, this, &SingleInstancePeer::on_server_newConnection);
    return true;
}

void SingleInstancePeer::closeConnection(std::size_t index)
{
    delete connections[index].notifier;
    ::close(connections[index].descriptor);
    connections.erase(connections.begin() + std::ptrdiff_t(index));
}
#endif

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
#if defined(Q_OS_WIN)
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

    const QByteArray frame = handOverFrame(message);
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
#else
    const QDeadlineTimer deadline(timeout);
    sockaddr_un address;
    if (!socketAddress(serverName, &address))
        return false;
    int descriptor;
    // The owner takes its lock a moment before it listens: keep trying until
    // the time is up.
    for (;;) {
        descriptor = openSocket();
        if (descriptor < 0)
            return false;
        if (::connect(descriptor, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            break;
        ::close(descriptor);
        if (deadline.hasExpired())
            return false;
        QThread::msleep(quint64(qBound(1, remainingMs(deadline), 50)));
    }

    const QByteArray frame = handOverFrame(message);
    int written = 0;
    while (written < frame.size()) {
        const ssize_t sent = ::send(descriptor, frame.constData() + written, size_t(frame.size() - written), kNoSignal);
        if (sent > 0)
            written += int(sent);
        else if (!(sent < 0 && (errno == EINTR || (errno == EAGAIN && waitFor(descriptor, POLLOUT, deadline)))))
            break;
    }
    QByteArray answer;
    while (written == frame.size() && answer.size() < kAck.size()) {
        char buffer[16];
        const ssize_t got = ::recv(descriptor, buffer, sizeof buffer, 0);
        if (got > 0)
            answer.append(buffer, int(got));
        else if (!(got < 0 && (errno == EINTR || (errno == EAGAIN && waitFor(descriptor, POLLIN, deadline)))))
            break;
    }
    ::close(descriptor);
    return answer.startsWith(kAck);
#endif
}

void SingleInstancePeer::on_server_newConnection()
{
#if defined(Q_OS_WIN)
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, &SingleInstancePeer::on_connection_readyRead);
        // Data may have arrived before the connections above existed.
        if (socket->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, &SingleInstancePeer::on_connection_readyRead, Qt::QueuedConnection);
    }
#else
    for (;;) {
        const int descriptor = ::accept(serverDescriptor, nullptr, nullptr);
        if (descriptor < 0) {
            if (errno == EINTR)
                continue;
            return; // none left waiting
        }
        makeNonBlocking(descriptor);
        auto *notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &SingleInstancePeer::on_connection_readyRead);
        connections.push_back({descriptor, notifier, QByteArray()});
    }
#endif
}

void SingleInstancePeer::on_connection_readyRead()
{
#if defined(Q_OS_WIN)
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
#else
    // Read what every connection has waiting and serve each whose text is
    // complete; one that announces more than a hand-over ever is, is dropped.
    for (std::size_t i = connections.size(); i-- > 0;) {
        Connection &connection = connections[i];
        bool ended = false;
        for (;;) {
            char buffer[4096];
            const ssize_t got = ::recv(connection.descriptor, buffer, sizeof buffer, 0);
            if (got > 0) {
                connection.received.append(buffer, int(got));
                if (connection.received.size() > 4 + int(kMaxMessageSize))
                    break;
            } else if (!(got < 0 && errno == EINTR)) {
                ended = got == 0 || errno != EAGAIN;
                break;
            }
        }
        if (connection.received.size() >= 4) {
            const quint32 size = qFromBigEndian<quint32>(connection.received.constData());
            if (size > kMaxMessageSize) {
                closeConnection(i);
                continue;
            }
            if (connection.received.size() >= 4 + int(size)) {
                const QString message = QString::fromUtf8(connection.received.constData() + 4, int(size));
                ::send(connection.descriptor, kAck.constData(), size_t(kAck.size()), kNoSignal);
                closeConnection(i);
                emit messageReceived(message);
                continue;
            }
        }
        if (ended)
            closeConnection(i);
    }
#endif
}
