#include "codec/framesplitter.h"

#include "codec/frame.h"

#include <cstring>

namespace {

// Length announced by a candidate whose first byte is at `p`.
inline int announcedLength(const uchar *p)
{
    return quint8(~p[1]) & 0x1F;
}

// Running sums of the bytes scanned, so that the checksum of any candidate
// costs the same whatever its length: sum(from, to) = P(to) - P(from), with
// the last 64 prefix sums kept (a candidate spans at most 31 bytes).
class PrefixSums
{
public:
    explicit PrefixSums(const uchar *bytes) : m_bytes(bytes) { m_ring[0] = 0; }

    quint32 at(qsizetype k)
    {
        while (m_filled < k) {
            m_ring[(m_filled + 1) & 63] = m_ring[m_filled & 63] + m_bytes[m_filled];
            ++m_filled;
        }
        return m_ring[k & 63];
    }

    bool checksumHolds(qsizetype from, int length)
    {
        const qsizetype end = from + length - 2;
        const quint32 sum = at(end) - at(from);
        return quint16(sum) == quint16(m_bytes[end] << 8 | m_bytes[end + 1]);
    }

private:
    const uchar *m_bytes;
    quint32 m_ring[64];
    qsizetype m_filled = 0;
};

} // namespace

FrameSplitter::FrameSplitter(int gapMs) : m_gapMs(gapMs) {}

void FrameSplitter::setGapMs(int gapMs)
{
    m_gapMs = gapMs;
}

qint64 FrameSplitter::timeAt(qsizetype index, qint64 nowMs) const
{
    return index < m_held.size() ? m_heldTimes[index] : nowMs;
}

void FrameSplitter::feed(const char *data, qsizetype size, qint64 nowMs, QVector<SplitItem> &out)
{
    if (size <= 0)
        return;
    if (!m_held.isEmpty() && nowMs - m_lastMs >= m_gapMs)
        expire(nowMs, out);
    m_lastMs = nowMs;
    if (m_held.isEmpty()) {
        scan(reinterpret_cast<const uchar *>(data), size, nowMs, false, out);
        return;
    }
    m_work.resize(0);
    m_work.append(m_held);
    m_work.append(data, int(size));
    scan(reinterpret_cast<const uchar *>(m_work.constData()), m_work.size(), nowMs, false, out);
}

void FrameSplitter::expire(qint64 nowMs, QVector<SplitItem> &out)
{
    if (m_held.isEmpty() || nowMs - m_lastMs < m_gapMs)
        return;
    finish(out);
}

void FrameSplitter::finish(QVector<SplitItem> &out)
{
    if (m_held.isEmpty())
        return;
    const QByteArray held = m_held;
    scan(reinterpret_cast<const uchar *>(held.constData()), held.size(), m_lastMs, true, out);
}

// `bytes` are the held bytes followed by new ones that arrived at `nowMs`.
// `final`: no byte follows, so a candidate running past the end is noise.
void FrameSplitter::scan(const uchar *bytes, qsizetype size, qint64 nowMs, bool final, QVector<SplitItem> &out)
{
    const quint64 base = m_heldOffset;
    auto emitItem = [&](SplitItem::Kind kind, qsizetype from, qsizetype to) {
        SplitItem item;
        item.kind = kind;
        item.bytes = QByteArray(reinterpret_cast<const char *>(bytes + from), int(to - from));
        item.timeMs = timeAt(from, nowMs);
        item.offset = base + quint64(from);
        out.append(std::move(item));
    };

    PrefixSums sums(bytes);
    qsizetype noiseStart = 0;
    qsizetype i = m_noiseHeld;
    while (i < size) {
        if (i + 1 >= size) {
            if (!final)
                break;
            ++i;
            continue;
        }
        const int length = announcedLength(bytes + i);
        if (length < kFrameOverheadBytes) {
            ++i;
            continue;
        }
        if (i + length > size) {
            if (!final)
                break;
            ++i;
            continue;
        }
        if (sums.checksumHolds(i, length)) {
            if (i > noiseStart)
                emitItem(SplitItem::Noise, noiseStart, i);
            emitItem(SplitItem::Frame, i, i + length);
            i += length;
            noiseStart = i;
            continue;
        }
        ++i;
    }

    // Noise as long as a frame goes out now; a shorter run waits for more,
    // so that a trickle of noise does not come out byte by byte.
    if (final || i - noiseStart >= kMaxFrameBytes) {
        if (i > noiseStart)
            emitItem(SplitItem::Noise, noiseStart, i);
        noiseStart = i;
    }

    // Keep [noiseStart, size): the short noise run and the partial frame.
    const qsizetype keep = size - noiseStart;
    qint64 times[64];
    for (qsizetype k = 0; k < keep; ++k)
        times[k] = timeAt(noiseStart + k, nowMs);
    QByteArray kept(reinterpret_cast<const char *>(bytes + noiseStart), int(keep));
    m_held = kept;
    std::memcpy(m_heldTimes, times, sizeof(qint64) * size_t(keep));
    m_noiseHeld = i - noiseStart;
    m_heldOffset = base + quint64(noiseStart);
}
