#ifndef KWN_BUSTOOLS_REPLAYTOOL_H
#define KWN_BUSTOOLS_REPLAYTOOL_H

// The Bus page's Replay, without its widgets: the frames of a log or
// capture, read as `kwn-frame replay` reads them (serial/replayfile.h),
// written onto the connected port by a Replayer with their logged spacing,
// faster or slower, once or in a loop. It says what it does in passing
// messages and ends, saying why, when the last frame is out, when stopped,
// when a frame cannot be written, or when the port is closed or lost.

#include <QObject>
#include <QString>

class BusSession;
class Replayer;

class ReplayTool : public QObject
{
    Q_OBJECT

public:
    explicit ReplayTool(BusSession *session, QObject *parent = nullptr);

    // False after saying why: not connected, or the file is not replayed.
    bool start(const QString &path);
    // Ends the replay under way and says so.
    void stop();
    void togglePause();
    bool isPaused() const;
    void setSpeed(double speed);
    void setLoop(bool loop);
    // Of the replay under way or the last one.
    QString path() const { return replayPath; }
    int frameCount() const;

signals:
    void message(const QString &text, bool error);
    void started();
    void ended();
    // Frames written of frameCount(), in this pass.
    void progress(int written);

private:
    void end(const QString &text, bool error);

    BusSession *busSession = nullptr;
    Replayer *replayer = nullptr;
    QString replayPath;
};

#endif
