#ifndef KWN_APP_SINGLEINSTANCEPEER_H
#define KWN_APP_SINGLEINSTANCEPEER_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#if defined(Q_OS_WIN)
class QLocalServer;
class QLockFile;
#else
class QSocketNotifier;
#endif

// One end of the single-instance hand-over. The first process to construct a
// peer for an identity takes a lock file and serves a local socket; every later
// one finds the lock taken (isClient) and can send that first process a text,
// which it acknowledges. Both live in a folder that only the user can enter
// and are named after the identity and the user's logon, so that other users
// can neither take the names first nor answer in the owner's place. Without
// such a folder the peer runs on its own: never a client, serving nothing.
// On Unix the socket is served with the system's calls, so that the tool
// needs no network library for it.
class SingleInstancePeer : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstancePeer(const QString &identity, QObject *parent = nullptr);
    ~SingleInstancePeer() override;

    // The identity of an executable file: its full canonical path.
    static QString identityOf(const QString &executablePath);
    // The folder of the lock files and sockets of the current user, made when
    // missing: XDG_RUNTIME_DIR when it is ours and closed to others, else
    // userFolderIn(the temporary folder). Empty, with the reason in `problem`,
    // when that folder is not a folder of ours closed to everyone else.
    static QString privateFolder(QString *problem = nullptr);
    // The user's own folder within a shared folder such as /tmp.
    static QString userFolderIn(const QString &parent);
    // File name of the socket of an identity and the current user.
    static QString baseNameOf(const QString &identity);
    // Name of the local socket served for an identity by the current user (a
    // path in privateFolder(), empty without one).
    static QString serverNameOf(const QString &identity);
    // Path of the lock file kept for an identity by the current user.
    static QString lockFilePathOf(const QString &identity);

    QString identity() const;
    // True when another process owns the identity.
    bool isClient() const;
    // Delivers a text to the owning process; true once it has acknowledged it
    // within timeout milliseconds. Uses no state of the peer but its names, so
    // it may be called from any thread.
    bool sendMessage(const QString &message, int timeout) const;

signals:
    void messageReceived(const QString &message);

private slots:
    void on_server_newConnection();
    void on_connection_readyRead();

private:
    // Takes the lock of the identity at `path`; false when another process
    // holds it (then isClient()) or it cannot be taken at all.
    bool takeLock(const QString &path);

    QString id;
    QString serverName;
#if defined(Q_OS_WIN)
    std::unique_ptr<QLockFile> lockFile;
    QLocalServer *server = nullptr;
#else
    // A connection of a later start, until its text is complete.
    struct Connection
    {
        int descriptor;
        QSocketNotifier *notifier;
        QByteArray received;
    };
    // Listens on serverName; false when it cannot.
    bool listen();
    void closeConnection(std::size_t index);

    int serverDescriptor = -1;
    QSocketNotifier *serverNotifier = nullptr;
    std::vector<Connection> connections;
    // The lock: an advisory lock on a file in the private folder, held for the
    // owner's whole life and released by the system when the owner ends in any
    // way, so a killed owner leaves nothing that blocks the next start.
    QString lockPath;
    int lockDescriptor = -1;
#endif
    bool client = false;
};

#endif
