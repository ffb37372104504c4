#ifndef KWN_MONITOR_SENDPANEL_H
#define KWN_MONITOR_SENDPANEL_H

// The Bus page's send row: a frame typed or put there, sent once or every
// so many ms (the session does the repeating; while it repeats, Send stops
// it), and "Replay…" beside it, while a port is connected.

#include <QByteArray>
#include <QWidget>

class BusSession;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class SendPanel : public QWidget
{
    Q_OBJECT

public:
    explicit SendPanel(BusSession *session, QWidget *parent = nullptr);

    // Puts a frame in the send field, as spaced hex, to be looked at or
    // changed before Send.
    void putInSendField(const QByteArray &frame);

signals:
    void message(const QString &text, bool error);
    // Send once: the page sends it, as it does the Encode page's frames.
    void sendRequested(const QByteArray &frame);
    void replayRequested();

private slots:
    void on_buttonSend_clicked(bool checked);
    void on_checkBoxRepeat_toggled(bool checked);
    void on_busSession_repeatingChanged(bool repeating);

private:
    // The frame in the send field, or empty after showing why there is none.
    QByteArray frameToSend();
    void showMessage(const QString &text, bool error) { emit message(text, error); }

    BusSession *busSession = nullptr;
    QLineEdit *LineEditSendFrame = nullptr;
    QPushButton *buttonSend = nullptr;
    QCheckBox *checkBoxRepeat = nullptr;
    QSpinBox *spinBoxRepeatMs = nullptr;
    QPushButton *buttonReplay = nullptr;
};

#endif
