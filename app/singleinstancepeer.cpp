#include "app/singleinstancepeer.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QtEndian>

#if defined(Q_OS_WIN)
#include <QtGlobal>
#else
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

int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? -1 : int(qMin<qint64>(left, 0x7fffffff));
}

} // namespace

SingleInstancePeer::SingleInstancePeer(const QString &identity, QObject *parent)
    : QObject(parent), id(identity), serverName(serverNameOf(identity)),
      lockFile(new QLockFile(lockFilePathOf(identity)))
{
    // The owner holds the lock for its whole life, so age says nothing; only a
    // dead owner (checked by process id) makes the lock stale.
    lockFile->setStaleLockTime(0);
    if (!lockFile->tryLock(0)) {
        // A lock we cannot even create (temporary folder not writable, ...) must
        // not keep the tool from starting: then it simply runs on its own.
        client = lockFile->error() == QLockFile::LockFailedError;
        return;
    }

    // A socket left behind by a killed owner would make listen() fail.
    QLocalServer::removeServer(serverName);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(serverName))
        connect(server, SIGNAL(newConnection()), this, SLOT(on_server_newConnection()));
}

SingleInstancePeer::~SingleInstancePeer() = default;

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

QString SingleInstancePeer::serverNameOf(const QString &identity)
{
    const QByteArray key = (identity + QLatin1Char('\n') + userLogon()).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24);
    return QStringLiteral("qtsingleapp-") + QString::fromLatin1(hash);
}

QString SingleInstancePeer::lockFilePathOf(const QString &identity)
{
    return QDir(QDir::tempPath()).filePath(serverNameOf(identity) + QStringLiteral(".lock"));
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
