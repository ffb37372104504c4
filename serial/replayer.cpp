#include "serial/replayer.h"

#include "serial/bussession.h"

#include <QTimer>

#include <cmath>

Replayer::Replayer(BusSession *session, QObject *parent) : QObject(parent), m_session(session)
{
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timer"));
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &Replayer::tick);
    connect(m_session, &BusSession::drained, this, &Replayer::onDrained);
}

void Replayer::setRecords(const QVector<BusRecord> &records, Only only)
{
    stop();
    m_frames.clear();
    m_gapsShortened = 0;
    m_passBytes = 0;
    qint64 lastUs = -1;
    qint64 offset = 0;
    for (const BusRecord &record : records) {
        if (record.kind != BusRecord::Received && record.kind != BusRecord::Sent)
            continue;
        if ((only == Only::Received && record.kind != BusRecord::Received)
            || (only == Only::Sent && record.kind != BusRecord::Sent))
            continue;
        // Each frame is placed after the frame before, by the time between
        // them: a log's times may span more than the clock can count.
        if (record.timeUs >= 0) {
            if (lastUs >= 0 && record.timeUs > lastUs) {
                const qint64 gapUs = record.timeUs - lastUs;
                m_gapsShortened += gapUs > kMaxGapUs ? 1 : 0;
                offset = qMin(offset + qMin(gapUs, kMaxGapUs), kMaxGapUs * 1000000);
            }
            lastUs = lastUs < 0 ? record.timeUs : qMax(lastUs, record.timeUs);
        }
        m_frames.append(Frame{offset, record.bytes});
        m_passBytes += record.bytes.size();
    }
}

void Replayer::setSpeed(double speed)
{
    const double clamped = qBound(kMinSpeed, speed, kMaxSpeed);
    if (m_running && !m_paused) {
        const qint64 now = m_clock.nsecsElapsed();
        reanchor(now);
        m_speed = clamped;
        schedule(now);
        return;
    }
    m_speed = clamped;
}

// The point of the log that is due now becomes the anchor, so that a new
// speed holds from here on.
void Replayer::reanchor(qint64 nowNs)
{
    m_anchorOffsetUs += qint64(std::floor(double(nowNs - m_anchorNs) / 1000.0 * m_speed));
    m_anchorNs = nowNs;
}

// Bounded far below where the clock's count would overflow: a day's pause
// at the slowest speed in a long log still comes out in order.
qint64 Replayer::dueNs(int index) const
{
    const double afterNs = std::ceil(double(m_frames.at(index).offsetUs - m_anchorOffsetUs) * 1000.0 / m_speed);
    return m_anchorNs + qint64(qBound(-4e18, afterNs, 4e18));
}

qint64 Replayer::passUs() const
{
    if (m_frames.isEmpty())
        return 0;
    const double spanUs = double(m_frames.last().offsetUs - m_frames.first().offsetUs) / m_speed;
    const double wireUs = double(m_passBytes) * m_session->settings().byteTimeUs();
    return qint64(std::ceil(qMin(qMax(spanUs, wireUs), 4e15)));
}

bool Replayer::start()
{
    stop();
    if (m_frames.isEmpty())
        return false;
    m_clock.start();
    m_anchorNs = 0;
    m_anchorOffsetUs = m_frames.first().offsetUs;
    m_position = 0;
    m_passes = 0;
    m_running = true;
    tick();
    return true;
}

void Replayer::pause()
{
    if (!m_running || m_paused)
        return;
    m_paused = true;
    m_pausedNs = m_clock.nsecsElapsed();
    m_timer->stop();
}

void Replayer::resume()
{
    if (!m_running || !m_paused)
        return;
    m_paused = false;
    // The time paused is left out: the anchor moves on by as much.
    m_anchorNs += m_clock.nsecsElapsed() - m_pausedNs;
    tick();
}

void Replayer::stop()
{
    m_timer->stop();
    m_running = false;
    m_paused = false;
    m_draining = false;
}

void Replayer::onDrained(const QString &error)
{
    if (!m_running || !m_draining)
        return;
    stop();
    if (error.isEmpty())
        emit finished();
    else
        emit failed(error);
}

void Replayer::tick()
{
    if (!m_running || m_paused || m_draining)
        return;
    const qint64 now = m_clock.nsecsElapsed();
    const int total = m_frames.size();
    while (m_position < total && dueNs(m_position) <= now) {
        const QString refused = m_session->send(m_frames.at(m_position).bytes, BusSession::SendCheck::AsGiven);
        if (!refused.isEmpty()) {
            stop();
            emit failed(refused);
            return;
        }
        ++m_position;
        emit progress(m_position, total);
        if (m_position == total) {
            ++m_passes;
            if (!m_loop) {
                // Finished once it has left the port: never within start().
                m_draining = true;
                m_session->drain();
                return;
            }
            // The next pass starts a pass after this one did, on the clock
            // of the frames just written rather than on now: no sooner than
            // the line has carried them, so that a log whose frames all
            // share one time does not flood the port.
            m_anchorNs = dueNs(0) + passUs() * 1000;
            m_anchorOffsetUs = m_frames.first().offsetUs;
            m_position = 0;
            break;
        }
    }
    schedule(m_clock.nsecsElapsed());
}

void Replayer::schedule(qint64 nowNs)
{
    if (!m_running || m_paused || m_position >= m_frames.size())
        return;
    // Whole milliseconds, rounded up: a tick that comes early finds nothing
    // due and waits again, so that no frame goes before its time.
    const qint64 waitNs = qMax<qint64>(0, dueNs(m_position) - nowNs);
    m_timer->start(int(qMin<qint64>((waitNs + 999999) / 1000000, 24LL * 3600 * 1000)));
}
