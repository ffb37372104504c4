#ifndef KWN_SERIAL_BUSSESSION_H
#define KWN_SERIAL_BUSSESSION_H

// One live bus session, with no widgets: the connection and its splitter,
// decoding through the shared catalogue, the echo of what we sent, the
// counters, holding back while paused, recording and repeated sending.
// Whoever shows the bus (the Bus page, `kwn-frame monitor`) takes the
// prepared records from `recordsReady`, in batches at most every
// kBatchIntervalMs, and tells the session what the user asked for.

#include "codec/busrecord.h"
#include "codec/busrecorddecoder.h"
#include "codec/framereport.h"
#include "serial/serialconnection.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QVector>

#include <functional>
#include <memory>

class QTimer;
class RecordFilter;
namespace capture {
class RecordWriter;
}

struct BusCounters
{
    quint64 received = 0;     // frames read from the bus, bad ones included, echoes left out
    quint64 sent = 0;         // frames written
    quint64 badChecksums = 0; // frames whose checksum does not hold
    quint64 noiseRuns = 0;
    quint64 noiseBytes = 0;
    quint64 echoes = 0;       // frames read back that were ours
    quint64 droppedWhilePaused = 0;
    quint64 droppedUnread = 0; // the connection's waiting list overflowed
    quint64 events = 0;        // connected, disconnected, connection lost
};

class BusSession : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBatchIntervalMs = 40;
    // A received frame equal to one we wrote this recently is its echo.
    static constexpr qint64 kEchoWindowMs = 200;

    explicit BusSession(const QString &catalogueFolder, QObject *parent = nullptr);
    ~BusSession() override;

    // --- The port ---------------------------------------------------------
    // False: errorText() says why. Opened, an event row "Connected to PORT"
    // follows; closed, "Disconnected"; lost, the connection-lost text.
    bool open(const SerialSettings &settings);
    // Delivers what was read before the port closed; stops repeating and recording.
    void close();
    bool isOpen() const;
    QString errorText() const;
    SerialSettings settings() const;

    // --- Other sources ----------------------------------------------------
    // Bytes of a raw capture, as if read from the port at `timeMs`; `finishCapture`
    // ends it. Delivered at once, not batched.
    void feedCapture(const char *data, qsizetype size, qint64 timeMs, int gapMs);
    void finishCapture();
    // Records read from a log: counted, given their Δ, and delivered like
    // live ones (not recorded again).
    void load(QVector<BusRecord> records);

    // --- Sending ----------------------------------------------------------
    // What send() lets through: whole frames only, or any bytes (a device
    // tried with a broken frame, on the command line's --raw).
    enum class SendCheck { WholeFrame, AsGiven };
    // Empty when the frame is queued; else why it was not sent.
    QString send(const QByteArray &frame, SendCheck check = SendCheck::WholeFrame);
    // `drained` follows once every frame sent so far has left the port,
    // after the frameSent of each; with why not, when it could not.
    void drain();
    // Sends now and every `intervalMs`; empty, or why it did not start.
    QString startRepeat(const QByteArray &frame, int intervalMs);
    void stopRepeat();
    bool isRepeating() const;
    QByteArray repeatedFrame() const { return m_repeatFrame; }

    // --- The view's side --------------------------------------------------
    // While paused, records are held back (at most holdLimit, the oldest
    // dropped and counted) and still counted and recorded.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    int heldCount() const { return m_held.size(); }
    void setHoldLimit(int records) { m_holdLimit = qMax(1, records); }
    // A trigger: once a live frame (received or sent) passes `matches`,
    // the session pauses after that frame and `framesAfter` more, as
    // setPaused(true) does, and says so with pausedChanged. Armed again
    // when the pause ends; an empty function takes it away.
    using RecordTest = std::function<bool(const BusRecord &record)>;
    void setPauseTrigger(RecordTest matches, int framesAfter);
    // Forgets the counters, what is held, the Δ reference and a match the
    // trigger met.
    void clear();
    BusCounters counters() const;

    // --- Recording --------------------------------------------------------
    // Every record from now on goes to the file, which is replaced: a pcap
    // capture when the name ends in ".pcap" (events left out), else a log.
    // False: errorText() says why.
    bool startRecording(const QString &path);
    void stopRecording();
    bool isRecording() const { return bool(m_record.writer); }
    // Times recorded to the µs rather than the millisecond. Default false.
    void setPreciseLogs(bool precise) { m_preciseLogs = precise; }
    bool preciseLogs() const { return m_preciseLogs; }
    QString recordingPath() const { return m_record.path; }
    // Frames (received, sent, bad ones too) written by the recording under way
    // or the last one.
    quint64 recordedFrames() const { return m_record.frames; }

    // False: records carry their time, kind, bytes and checksum only, for a
    // caller that prints frames its own way (the command line), and no
    // event rows are made. Default true.
    void setPreparingTexts(bool preparing) { m_preparingTexts = preparing; }

    // How often arrivals are handed out: kBatchIntervalMs unless set. A view
    // that draws every batch wants fewer, larger batches.
    void setBatchIntervalMs(int ms);

    // A frame decoded into a record, its texts prepared (decoded once per
    // distinct frame).
    BusRecord prepare(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind);

    // The filter of a view's rows, `text` read as words or as an expression
    // over the session's catalogue (filter/recordfilter.h).
    std::shared_ptr<RecordFilter> rowFilter(const QString &text);

    // A frame decoded in full with the session's catalogue, for a view that
    // shows one frame in detail.
    FrameReport decode(const QByteArray &bytes);

    // Takes and delivers what arrived, without waiting for the batch timer.
    void flush();

signals:
    void recordsReady(const QVector<BusRecord> &batch);
    void countersChanged();
    // The session paused or went on, asked or by the trigger.
    void pausedChanged(bool paused);
    void openChanged(bool open);
    // The port went away (device removed); the session is closed.
    void connectionLost(const QString &text);
    // Recording started or stopped; `reason` says why when it stopped by itself.
    void recordingChanged(bool recording, const QString &reason);
    void repeatingChanged(bool repeating);
    // A frame was written to the bus.
    void frameSent(const QByteArray &frame, qint64 timeUs);
    // All written, as asked by drain(); `error` empty when it was.
    void drained(const QString &error);

private:
    struct SentFrame
    {
        QByteArray bytes;
        qint64 timeUs = 0;
    };

    void takeArrivals();
    void scheduleBatch();
    void addSplit(QVector<BusRecord> &items, QVector<BusRecord> &batch);
    bool takeEcho(const QByteArray &bytes, qint64 timeUs);
    void addEvent(const QString &text);
    void count(const BusRecord &record);
    void stamp(QVector<BusRecord> &batch);
    void deliver(QVector<BusRecord> &batch, bool live);
    int triggerEnd(const QVector<BusRecord> &batch);
    void pauseOnTrigger(QVector<BusRecord> &batch);
    void writeRecorded(const QVector<BusRecord> &records);
    void failRecording(const QString &reason);
    void onSent(const QByteArray &frame, qint64 timeUs);
    void onLost(const QString &text);
    void onRepeat();

    SerialConnection *m_connection = nullptr;
    QTimer *m_batchTimer = nullptr;
    QTimer *m_repeatTimer = nullptr;
    DecodeCatalogue m_catalogue;
    BusRecordDecoder m_decoder;
    QVector<SentFrame> m_sentRecently; // for matching their echo
    QVector<BusRecord> m_sentWaiting;  // written since the last batch
    QVector<BusRecord> m_held;         // while paused
    FrameSplitter m_captureSplitter;
    QVector<BusRecord> m_items;        // reused
    BusCounters m_counters;
    QString m_error;
    QByteArray m_repeatFrame;
    struct Recording
    {
        std::unique_ptr<capture::RecordWriter> writer;
        QString path;
        QElapsedTimer sinceCheck; // since the file was last looked for
        quint64 frames = 0;
    };
    Recording m_record;
    qint64 m_lastFrameUs = 0;
    bool m_haveLastFrame = false;
    bool m_paused = false;
    bool m_preparingTexts = true;
    bool m_preciseLogs = false;
    int m_holdLimit = 100000;
    struct PauseTrigger
    {
        RecordTest matches;
        int framesAfter = 0;
        int toPause = -1; // frames still to come after a match; -1: no match yet
    };
    PauseTrigger m_trigger;
};

#endif
