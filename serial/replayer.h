#ifndef KWN_SERIAL_REPLAYER_H
#define KWN_SERIAL_REPLAYER_H

// Plays the frames of a log back onto the bus through a session, with the
// log's spacing divided by a speed factor: the first frame at once, each
// later one when its time since the first, over the speed, has passed since
// the start. Every frame is timed against the start (and the moments the
// speed changed or a pause ended), never against the frame before, so that
// late timer ticks do not add up. Frames that fall due together go out
// together. Pause, resume, stop, a loop and the speed can be changed while
// it runs; `progress` says how far it is. It ends once the last frame has
// left the port, never before. A pass of a loop takes at least the time its
// frames take on the line, so that a loop never writes faster than the
// line carries.

#include "codec/busrecord.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

class BusSession;
class QTimer;

class Replayer : public QObject
{
    Q_OBJECT

public:
    static constexpr double kMinSpeed = 0.1;
    static constexpr double kMaxSpeed = 100;
    // A longer pause between two frames of a log (a clock set in between)
    // is played as this long.
    static constexpr qint64 kMaxGapUs = 24LL * 3600 * 1000000;

    enum class Only { Both, Received, Sent };

    explicit Replayer(BusSession *session, QObject *parent = nullptr);

    // The frames of `records` to play, in order: noise and events are passed
    // over, and so are frames of the other direction when `only` names one.
    // A record without a time (below 0), or one earlier than the frame
    // before, goes right after that frame; one later than kMaxGapUs after
    // it, kMaxGapUs after it. Stops a replay under way.
    void setRecords(const QVector<BusRecord> &records, Only only = Only::Both);
    int frameCount() const { return m_frames.size(); }
    // Pauses the last setRecords shortened to kMaxGapUs.
    int gapsShortened() const { return m_gapsShortened; }

    // kMinSpeed to kMaxSpeed (clamped); 1 is the logged pace. A change
    // while running holds from where the replay is, without a jump.
    void setSpeed(double speed);
    double speed() const { return m_speed; }
    // At the end, start again from the first frame, right after the last.
    void setLoop(bool loop) { m_loop = loop; }
    bool loops() const { return m_loop; }

    // From the first frame; false when there is nothing to play.
    bool start();
    void pause();
    void resume();
    void stop();
    bool isRunning() const { return m_running; }
    bool isPaused() const { return m_paused; }
    // Frames written in this pass, and passes completed.
    int position() const { return m_position; }
    int passes() const { return m_passes; }

    // Where frame `index` falls, in µs after the first at speed 1.
    qint64 offsetUs(int index) const { return m_frames.at(index).offsetUs; }
    // From the first frame of a pass of a loop to the first of the next, in
    // µs at this speed: the frames' spacing, or the time their bytes take
    // on the line at the session's settings when that is longer.
    qint64 passUs() const;

signals:
    void progress(int written, int total);
    // The last frame has left the port and no loop follows.
    void finished();
    // The session refused a frame or could not write it (the port closed,
    // went away or took nothing for long); stopped.
    void failed(const QString &text);

private:
    struct Frame
    {
        qint64 offsetUs = 0;
        QByteArray bytes;
    };
    qint64 dueNs(int index) const;
    void reanchor(qint64 nowNs);
    void tick();
    void schedule(qint64 nowNs);
    void onDrained(const QString &error);

    BusSession *m_session;
    QTimer *m_timer;
    QVector<Frame> m_frames;
    QElapsedTimer m_clock;
    qint64 m_anchorNs = 0;       // clock time at which ...
    qint64 m_anchorOffsetUs = 0; // ... this point of the log is due
    qint64 m_pausedNs = 0;
    double m_speed = 1;
    int m_position = 0;
    int m_passes = 0;
    int m_gapsShortened = 0;
    qint64 m_passBytes = 0;
    bool m_loop = false;
    bool m_running = false;
    bool m_paused = false;
    bool m_draining = false; // the last frame is written; waiting for it to leave
};

#endif
