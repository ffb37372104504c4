#ifndef KWN_APP_QTSINGLEAPPLICATION_H
#define KWN_APP_QTSINGLEAPPLICATION_H

#include <QApplication>
#include <QPointer>

class QWidget;
class SingleInstancePeer;

// An application object that runs once per identity and user logon. By default
// the identity is the executable file's full path, so a copy of the executable
// elsewhere runs independently. A later start learns from isRunning() that
// another process owns the identity and hands over with sendMessage().
class QtSingleApplication : public QApplication
{
    Q_OBJECT

public:
    // A Qt 5 application always has its graphical user interface; the flag is
    // accepted for the usual signature and must be true.
    QtSingleApplication(int &argc, char **argv, bool GUIenabled = true);
    // An explicit identity instead of the executable's path.
    QtSingleApplication(const QString &id, int &argc, char **argv);
    ~QtSingleApplication() override;

    QString id() const;
    bool isRunning() const;
    bool sendMessage(const QString &message, int timeout = 5000);

    void setActivationWindow(QWidget *w, bool activateOnMessage = true);
    QWidget *activationWindow() const;

public slots:
    void activateWindow();

signals:
    void messageReceived(const QString &message);

private:
    void startPeer(const QString &id);

    SingleInstancePeer *peer = nullptr;
    QPointer<QWidget> actWin;
};

#endif
