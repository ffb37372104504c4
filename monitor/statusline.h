#ifndef KWN_MONITOR_STATUSLINE_H
#define KWN_MONITOR_STATUSLINE_H

// The Bus page's status line: the connection state, always in sight, and
// beside it a passing message of whichever panel has something to say,
// which clears itself.

#include <QWidget>

class ElidedLabel;
class QTimer;

class StatusLine : public QWidget
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent = nullptr);

public slots:
    // The connection state: never replaced by a message.
    void showConnectionState(const QString &text, bool error);
    // A passing message; a lasting one stays until the next (a log being
    // opened says so until it is done).
    void showMessage(const QString &text, bool error, bool lasting = false);

private:
    ElidedLabel *labelStatus = nullptr;
    ElidedLabel *labelMessage = nullptr;
    QTimer *timerMessage = nullptr;
};

#endif
