#ifndef KWN_MONITOR_SENDPANEL_H
#define KWN_MONITOR_SENDPANEL_H

// The Bus page's send row over its SendTool (bustools/sendtool.h): the
// frame field, Send (Stop while repeating), "every" so many ms, and
// "Replay…" beside them, while a port is connected.

#include <QByteArray>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class SendTool;

class SendPanel : public QWidget
{
    Q_OBJECT

public:
    explicit SendPanel(SendTool *tool, QWidget *parent = nullptr);

    // Puts a frame in the send field, as spaced hex, to be looked at or
    // changed before Send.
    void putInSendField(const QByteArray &frame);

signals:
    void replayRequested();

private:
    void buildRow();
    void showRepeating(bool repeating);

    SendTool *sendTool = nullptr;
    QLineEdit *LineEditSendFrame = nullptr;
    QPushButton *buttonSend = nullptr;
    QCheckBox *checkBoxRepeat = nullptr;
    QSpinBox *spinBoxRepeatMs = nullptr;
    QPushButton *buttonReplay = nullptr;
};

#endif
