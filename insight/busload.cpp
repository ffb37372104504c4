#include "insight/busload.h"

BusLoadMeter::BusLoadMeter(const WireFormat &format) : m_format(format) {}

void BusLoadMeter::add(const BusRecord &record)
{
    if (record.kind == BusRecord::Event)
        return;
    const quint64 bytes = quint64(record.bytes.size());
    const bool noise = record.kind == BusRecord::Noise;
    const bool bad = !noise && record.parsed && !record.checksumOk;
    m_total.bytes += bytes;
    if (noise) {
        m_total.noiseBytes += bytes;
    } else {
        ++m_total.frames;
        if (bad)
            ++m_total.badChecksums;
    }
    const qint64 time = record.timeUs;
    if (time < 0)
        return;
    if (m_total.firstUs < 0 || time < m_total.firstUs) {
        m_total.firstUs = time;
        m_firstBytes = bytes;
    }
    m_total.lastUs = qMax(m_total.lastUs, time);
    if (m_previousUs - time > kClockStepBackUs) {
        ++m_total.clockStepsBack;
        m_total.largestStepBackUs = qMax(m_total.largestStepBackUs, m_previousUs - time);
    }
    m_previousUs = time;
    m_recentBytes.add(time, bytes);
    if (noise) {
        m_recentNoise.add(time, bytes);
    } else {
        m_recentFrames.add(time);
        if (bad)
            m_recentBad.add(time);
    }
}

void BusLoadMeter::add(const QVector<BusRecord> &records)
{
    for (const BusRecord &record : records)
        add(record);
}

void BusLoadMeter::clear()
{
    m_total = LoadFigures();
    m_firstBytes = 0;
    m_previousUs = -1;
    m_recentFrames.clear();
    m_recentBytes.clear();
    m_recentBad.clear();
    m_recentNoise.clear();
}

LoadFigures BusLoadMeter::overall() const
{
    LoadFigures figures = m_total;
    if (figures.firstUs < 0)
        return figures;
    const double spanUs = double(figures.lastUs - figures.firstUs) + m_format.wireTimeUs(m_firstBytes);
    figures.seconds = spanUs / 1e6;
    if (spanUs > 0) {
        figures.framesPerSecond = double(figures.frames) / figures.seconds;
        figures.busLoad = 100.0 * m_format.wireTimeUs(figures.bytes) / spanUs;
    }
    return figures;
}

LoadFigures BusLoadMeter::lastSecond(qint64 nowUs) const
{
    LoadFigures figures;
    figures.frames = m_recentFrames.sum(nowUs);
    figures.badChecksums = m_recentBad.sum(nowUs);
    figures.noiseBytes = m_recentNoise.sum(nowUs);
    figures.bytes = m_recentBytes.sum(nowUs);
    figures.firstUs = nowUs - m_recentFrames.windowUs();
    figures.lastUs = nowUs;
    figures.seconds = 1;
    figures.framesPerSecond = double(figures.frames);
    figures.busLoad = 100.0 * m_format.wireTimeUs(figures.bytes) / 1e6;
    return figures;
}

LoadFigures BusLoadMeter::live(qint64 nowUs) const
{
    return lastSecond(qMin(nowUs, qMax(m_total.lastUs, nowUs - kLiveLagUs)));
}
