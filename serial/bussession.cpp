#include "serial/bussession.h"

#include "capture/recordwriter.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "filter/recordfilter.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>

namespace {

// A sent frame is kept a while past the echo window, so that a late batch
// still finds it.
const qint64 kKeepSentMs = 1000;
// How often a recording checks that its file is still where it was made.
const qint64 kRecordCheckMs = 1000;

qint64 nowUs()
{
    return wallClockUs();
}

} // namespace

BusSession::BusSession(const QString &catalogueFolder, QObject *parent)
    : QObject(parent), m_catalogue(catalogueFolder), m_decoder(m_catalogue)
{
    m_connection = new SerialConnection(this);
    m_connection->setObjectName(QStringLiteral("connection"));
    m_batchTimer = new QTimer(this);
    m_batchTimer->setObjectName(QStringLiteral("batchTimer"));
    m_batchTimer->setSingleShot(true);
    m_batchTimer->setInterval(kBatchIntervalMs);
    m_repeatTimer = new QTimer(this);
    m_repeatTimer->setObjectName(QStringLiteral("repeatTimer"));
    m_repeatTimer->setTimerType(Qt::PreciseTimer);

    connect(m_connection, &SerialConnection::received, this, &BusSession::scheduleBatch);
    connect(m_connection, &SerialConnection::sent, this, &BusSession::onSent);
    connect(m_connection, &SerialConnection::drained, this, &BusSession::drained);
    connect(m_connection, &SerialConnection::errorOccurred, this, &BusSession::onLost);
    connect(m_batchTimer, &QTimer::timeout, this, &BusSession::takeArrivals);
    connect(m_repeatTimer, &QTimer::timeout, this, &BusSession::onRepeat);
}

BusSession::~BusSession()
{
    stopRecording();
    m_connection->close();
}

// --- The port ---------------------------------------------------------------

bool BusSession::open(const SerialSettings &settings)
{
    close();
    if (!m_connection->open(settings)) {
        m_error = m_connection->errorText();
        return false;
    }
    m_error.clear();
    emit openChanged(true);
    addEvent(QStringLiteral("Connected to %1").arg(settings.port));
    return true;
}

void BusSession::close()
{
    stopRepeat();
    if (!m_connection->isOpen())
        return;
    // What arrived before the port closed still counts.
    m_connection->close();
    flush();
    addEvent(QStringLiteral("Disconnected"));
    m_sentRecently.clear();
    stopRecording();
    emit openChanged(false);
}

bool BusSession::isOpen() const
{
    return m_connection->isOpen();
}

QString BusSession::errorText() const
{
    return m_error;
}

SerialSettings BusSession::settings() const
{
    return m_connection->settings();
}

void BusSession::onLost(const QString &text)
{
    m_error = text;
    stopRepeat();
    flush();
    addEvent(text);
    m_sentRecently.clear();
    stopRecording();
    emit connectionLost(text);
    emit openChanged(false);
}

// An event row, in the list and in the recording, after what arrived
// before it. A caller that prints frames its own way gets none.
void BusSession::addEvent(const QString &text)
{
    if (!m_preparingTexts)
        return;
    QVector<BusRecord> batch{eventRecord(nowUs(), text)};
    deliver(batch, true);
}

// --- Arrivals ---------------------------------------------------------------

void BusSession::scheduleBatch()
{
    if (!m_batchTimer->isActive())
        m_batchTimer->start();
}

void BusSession::setBatchIntervalMs(int ms)
{
    m_batchTimer->setInterval(qMax(1, ms));
}

void BusSession::flush()
{
    m_batchTimer->stop();
    takeArrivals();
}

BusRecord BusSession::prepare(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind)
{
    if (!m_preparingTexts) {
        BusRecord bare;
        bare.bytes = bytes;
        bare.timeUs = timeUs;
        bare.kind = kind;
        bare.parsed = bytes.size() >= kFrameOverheadBytes && bytes.size() <= kMaxFrameBytes;
        bare.checksumOk = bare.parsed && checksumMatches(bytes);
        return bare;
    }
    return m_decoder.record(bytes, timeUs, kind);
}

FrameReport BusSession::decode(const QByteArray &bytes)
{
    return m_catalogue.decodeBytes(bytes);
}

bool BusSession::takeEcho(const QByteArray &bytes, qint64 timeUs)
{
    for (int i = 0; i < m_sentRecently.size(); ++i) {
        const SentFrame &sent = m_sentRecently.at(i);
        if (sent.bytes == bytes && qAbs(timeUs - sent.timeUs) <= kEchoWindowMs * 1000) {
            m_sentRecently.remove(i);
            return true;
        }
    }
    return false;
}

// Noise goes on as the splitter made it; frames are decoded, but for the
// echoes of ours.
void BusSession::addSplit(QVector<BusRecord> &items, QVector<BusRecord> &batch)
{
    batch.reserve(batch.size() + items.size());
    for (BusRecord &item : items) {
        if (item.kind == BusRecord::Noise) {
            batch.append(std::move(item));
            continue;
        }
        if (takeEcho(item.bytes, item.timeUs)) {
            ++m_counters.echoes;
            continue;
        }
        BusRecord record = prepare(item.bytes, item.timeUs, BusRecord::Received);
        record.offset = item.offset;
        batch.append(std::move(record));
    }
}

void BusSession::takeArrivals()
{
    QVector<BusRecord> batch;
    batch.swap(m_sentWaiting);
    QVector<BusRecord> received = m_connection->takeReceived();
    addSplit(received, batch);
    m_counters.droppedUnread = m_connection->droppedCount();
    // Echoes come back within the window or not at all.
    const qint64 now = nowUs();
    m_sentRecently.erase(std::remove_if(m_sentRecently.begin(), m_sentRecently.end(),
                                        [now](const SentFrame &sent) { return now - sent.timeUs > kKeepSentMs * 1000; }),
                         m_sentRecently.end());
    if (batch.isEmpty()) {
        writeRecorded(batch);
        return;
    }
    // Sent frames join the received ones in time order.
    std::stable_sort(batch.begin(), batch.end(),
                     [](const BusRecord &a, const BusRecord &b) { return a.timeUs < b.timeUs; });
    deliver(batch, true);
}

void BusSession::onSent(const QByteArray &frame, qint64 timeUs)
{
    m_sentRecently.append({frame, timeUs});
    m_sentWaiting.append(prepare(frame, timeUs, BusRecord::Sent));
    scheduleBatch();
    emit frameSent(frame, timeUs);
}

void BusSession::feedCapture(const char *data, qsizetype size, qint64 timeMs, int gapMs)
{
    if (m_captureSplitter.gapMs() != gapMs)
        m_captureSplitter.setGapMs(gapMs);
    m_items.resize(0);
    m_captureSplitter.feed(data, size, timeMs, m_items);
    QVector<BusRecord> batch;
    addSplit(m_items, batch);
    deliver(batch, true);
}

void BusSession::finishCapture()
{
    m_items.resize(0);
    m_captureSplitter.finish(m_items);
    m_captureSplitter = FrameSplitter(m_captureSplitter.gapMs());
    QVector<BusRecord> batch;
    addSplit(m_items, batch);
    deliver(batch, true);
}

void BusSession::load(QVector<BusRecord> records)
{
    deliver(records, false);
}

void BusSession::count(const BusRecord &record)
{
    switch (record.kind) {
    case BusRecord::Noise:
        ++m_counters.noiseRuns;
        m_counters.noiseBytes += quint64(record.bytes.size());
        return;
    case BusRecord::Event:
        ++m_counters.events;
        return;
    case BusRecord::Sent:
        ++m_counters.sent;
        break;
    case BusRecord::Received:
        ++m_counters.received;
        break;
    }
    if (record.parsed && !record.checksumOk)
        ++m_counters.badChecksums;
}

// Δ to the previous frame (noise and events have none), so that every view
// takes the records as they are.
void BusSession::stamp(QVector<BusRecord> &batch)
{
    for (BusRecord &record : batch) {
        if (record.kind == BusRecord::Received || record.kind == BusRecord::Sent) {
            record.deltaUs = m_haveLastFrame ? qMax(qint64(0), record.timeUs - m_lastFrameUs) : -1;
            m_lastFrameUs = record.timeUs;
            m_haveLastFrame = true;
        }
        count(record);
    }
}

// The frames of a live batch up to the one after which the trigger pauses,
// as a count of records; -1 when it does not in this batch.
int BusSession::triggerEnd(const QVector<BusRecord> &batch)
{
    for (int i = 0; i < batch.size(); ++i) {
        const BusRecord &r = batch.at(i);
        if (r.kind != BusRecord::Received && r.kind != BusRecord::Sent)
            continue;
        if (m_trigger.toPause < 0) {
            if (!m_trigger.matches(r))
                continue;
            m_trigger.toPause = m_trigger.framesAfter;
        } else {
            --m_trigger.toPause;
        }
        if (m_trigger.toPause == 0)
            return i + 1;
    }
    return -1;
}

// Delivers the records up to the last frame the trigger awaits and pauses;
// the rest stay in the batch, to be held.
void BusSession::pauseOnTrigger(QVector<BusRecord> &batch)
{
    const int end = triggerEnd(batch);
    if (end < 0)
        return;
    m_trigger.toPause = -1;
    emit recordsReady(batch.mid(0, end));
    batch.remove(0, end);
    m_paused = true;
    emit pausedChanged(true);
}

void BusSession::deliver(QVector<BusRecord> &batch, bool live)
{
    if (batch.isEmpty())
        return;
    stamp(batch);
    if (live)
        writeRecorded(batch);
    if (live && !m_paused && m_trigger.matches)
        pauseOnTrigger(batch);
    if (m_paused) {
        m_held += batch;
        const int excess = m_held.size() - m_holdLimit;
        if (excess > 0) {
            m_held.remove(0, excess);
            m_counters.droppedWhilePaused += quint64(excess);
        }
    } else {
        emit recordsReady(batch);
    }
    emit countersChanged();
}

// --- The view's side ----------------------------------------------------------

void BusSession::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    m_trigger.toPause = -1;
    if (!paused && !m_held.isEmpty()) {
        QVector<BusRecord> held;
        held.swap(m_held);
        emit recordsReady(held);
    }
    emit pausedChanged(paused);
    emit countersChanged();
}

void BusSession::setPauseTrigger(RecordTest matches, int framesAfter)
{
    m_trigger.matches = std::move(matches);
    m_trigger.framesAfter = qMax(0, framesAfter);
    m_trigger.toPause = -1;
}

std::shared_ptr<RecordFilter> BusSession::rowFilter(const QString &text)
{
    return std::make_shared<RecordFilter>(text, m_catalogue);
}

void BusSession::clear()
{
    flush();
    m_held.clear();
    m_counters = BusCounters();
    m_haveLastFrame = false;
    m_trigger.toPause = -1; // a match before the clear is forgotten
    emit countersChanged();
}

BusCounters BusSession::counters() const
{
    BusCounters counters = m_counters;
    counters.droppedUnread = m_connection->droppedCount();
    return counters;
}

// --- Sending ----------------------------------------------------------------

QString BusSession::send(const QByteArray &frame, SendCheck check)
{
    if (!m_connection->isOpen())
        return QStringLiteral("Not connected: connect to a port to send");
    // Only whole frames go on the bus from here; test bytes go through
    // `kwn-frame send --raw`.
    const QString problem = check == SendCheck::WholeFrame ? frameProblem(frame) : QString();
    if (!problem.isEmpty())
        return QStringLiteral("Not sent: ") + problem;
    if (!m_connection->send(frame))
        return m_connection->errorText();
    return QString();
}

void BusSession::drain()
{
    m_connection->drain();
}

QString BusSession::startRepeat(const QByteArray &frame, int intervalMs)
{
    const QString problem = send(frame);
    if (!problem.isEmpty())
        return problem;
    m_repeatFrame = frame;
    const bool was = m_repeatTimer->isActive();
    m_repeatTimer->start(qMax(1, intervalMs));
    if (!was)
        emit repeatingChanged(true);
    return QString();
}

void BusSession::stopRepeat()
{
    if (!m_repeatTimer->isActive())
        return;
    m_repeatTimer->stop();
    emit repeatingChanged(false);
}

bool BusSession::isRepeating() const
{
    return m_repeatTimer->isActive();
}

void BusSession::onRepeat()
{
    if (!m_connection->isOpen() || !m_connection->send(m_repeatFrame))
        stopRepeat();
}

// --- Recording ----------------------------------------------------------------

bool BusSession::startRecording(const QString &path)
{
    stopRecording();
    using capture::RecordWriter;
    QString error;
    std::unique_ptr<RecordWriter> writer = RecordWriter::open(
        path, capture::isCapturePath(path) ? RecordWriter::Kind::Capture : RecordWriter::Kind::Log,
        RecordWriter::Opening::Chosen, &error);
    if (!writer) {
        m_error = QStringLiteral("Cannot record to %1: %2").arg(path, capture::writeProblem(error, path));
        return false;
    }
    m_record.writer = std::move(writer);
    m_record.path = path;
    m_record.frames = 0;
    m_record.sinceCheck.restart();
    emit recordingChanged(true, QString());
    return true;
}

void BusSession::stopRecording()
{
    if (!m_record.writer)
        return;
    m_record.writer->close();
    m_record.writer.reset();
    emit recordingChanged(false, QString());
}

void BusSession::failRecording(const QString &reason)
{
    m_record.writer->close();
    m_record.writer.reset();
    emit recordingChanged(false, QStringLiteral("Recording to %1 stopped: %2").arg(m_record.path, reason));
}

// Each batch goes to the disk as it comes, so that a write error shows at
// once and a recording is never more than a batch behind.
void BusSession::writeRecorded(const QVector<BusRecord> &records)
{
    if (!m_record.writer)
        return;
    if (!m_record.writer->write(records, m_preciseLogs)) {
        failRecording(capture::writeProblem(m_record.writer->errorText(), m_record.path));
        return;
    }
    m_record.frames = m_record.writer->counts().frames;
    if (m_record.sinceCheck.elapsed() >= kRecordCheckMs) {
        m_record.sinceCheck.restart();
        if (m_record.writer->gone())
            failRecording(QStringLiteral("the file was removed or replaced"));
    }
}
