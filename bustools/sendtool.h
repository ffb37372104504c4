#ifndef KWN_BUSTOOLS_SENDTOOL_H
#define KWN_BUSTOOLS_SENDTOOL_H

// The Bus page's sending, without its widgets: a frame sent once (the
// Encode page's Send comes here too), or the frame typed in the send field
// sent once or every so many ms, which the session repeats. "every" ticked
// with a frame in the field starts at once; ticked with the field empty, it
// waits for Send; while it repeats, Send stops it. The port closing, or the
// session stopping the repeat, unticks it.

#include <QByteArray>
#include <QObject>
#include <QString>

class BusSession;

class SendTool : public QObject
{
    Q_OBJECT

public:
    explicit SendTool(BusSession *session, QObject *parent = nullptr);

    BusSession *session() const { return busSession; }

    // Writes the frame once; sendResult says how it went.
    void sendFrame(const QByteArray &frame);
    // Send, with `text` in the field.
    void send(const QString &text);
    // "every" ticked or unticked, with `text` in the field.
    void setRepeat(bool repeat, const QString &text);
    bool repeat() const { return repeatTicked; }
    void setIntervalMs(int ms) { intervalMs = ms; }

signals:
    // A passing message: why nothing was sent, or what is repeated.
    void message(const QString &text, bool error);
    // What became of a frame given to sendFrame, in words.
    void sendResult(const QString &text, bool error);
    // The field's text read as a frame, or not.
    void textChecked(bool frame);
    // "every" unticked here: by Send, the port or the session.
    void repeatChanged(bool repeat);

private:
    // The frame of the text, or empty after saying why there is none.
    QByteArray frameOf(const QString &text);
    void startRepeat(const QByteArray &frame);
    void untick();

    BusSession *busSession = nullptr;
    int intervalMs = 1000;
    bool repeatTicked = false;
};

#endif
