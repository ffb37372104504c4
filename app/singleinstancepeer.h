#ifndef KWN_APP_SINGLEINSTANCEPEER_H
#define KWN_APP_SINGLEINSTANCEPEER_H

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One end of the single-instance hand-over. The first process to construct a
// peer for an identity takes a lock file and serves a local socket; every later
// one finds the lock taken (isClient) and can send that first process a text,
// which it acknowledges. Both names live in the temporary folder and are
// derived from the identity and the user's logon, so that other users and
// other identities never meet.
class SingleInstancePeer : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstancePeer(const QString &identity, QObject *parent = nullptr);
    ~SingleInstancePeer() override;

    // The identity of an executable file: its full canonical path.
    static QString identityOf(const QString &executablePath);
    // Name of the local socket served for an identity by the current user.
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
    QString id;
    QString serverName;
    std::unique_ptr<QLockFile> lockFile;
    QLocalServer *server = nullptr;
    bool client = false;
};

#endif
