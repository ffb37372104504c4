#include "app/qtsingleapplication.h"

#include "app/singleinstancepeer.h"

#include <QWidget>

QtSingleApplication::QtSingleApplication(int &argc, char **argv, bool GUIenabled)
    : QApplication(argc, argv)
{
    Q_ASSERT(GUIenabled);
    Q_UNUSED(GUIenabled)
    startPeer(SingleInstancePeer::identityOf(applicationFilePath()));
}

QtSingleApplication::QtSingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
{
    startPeer(id);
}

QtSingleApplication::~QtSingleApplication() = default;

void QtSingleApplication::startPeer(const QString &id)
{
    peer = new SingleInstancePeer(id, this);
    connect(peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::messageReceived);
}

QString QtSingleApplication::id() const
{
    return peer->identity();
}

bool QtSingleApplication::isRunning() const
{
    return peer->isClient();
}

bool QtSingleApplication::sendMessage(const QString &message, int timeout)
{
    return peer->sendMessage(message, timeout);
}

void QtSingleApplication::setActivationWindow(QWidget *w, bool activateOnMessage)
{
    actWin = w;
    disconnect(peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::activateWindow);
    if (activateOnMessage)
        connect(peer, &SingleInstancePeer::messageReceived, this, &QtSingleApplication::activateWindow);
}

QWidget *QtSingleApplication::activationWindow() const
{
    return actWin;
}

void QtSingleApplication::activateWindow()
{
    if (!actWin)
        return;
    // Undo only the minimising: a maximised or full-screen window stays so.
    actWin->setWindowState(actWin->windowState() & ~Qt::WindowMinimized);
    actWin->raise();
    actWin->activateWindow();
}
