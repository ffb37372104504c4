#include "codec/framesplitter.h"

#include "codec/frame.h"

#include <cstring>

namespace {

// Length announced by a candidate whose first byte is at `p`.
inline int announcedLength(const uchar *p)
{
    return quint8(~p[1]) & 0x1F;
}

// Running sums of the bytes scanned (frameChecksum's sum, kept as it goes),
// so that the checksum of any candidate costs the same whatever its length:
// sum(from, to) = P(to) - P(from), with the last 64 prefix sums kept (every
// lookup stays within two frames of the furthest one).
class PrefixSums
{
public:
    explicit PrefixSums(const uchar *bytes) : m_bytes(bytes) { m_ring[0] = 0; }

    quint32 at(qsizetype k)
    {
        if (m_filled < k) {
            qsizetype filled = m_filled;
            quint32 sum = m_ring[filled & 63];
            do {
                sum += m_bytes[filled];
                m_ring[++filled & 63] = sum;
            } while (filled < k);
            m_filled = filled;
        }
        return m_ring[k & 63];
    }

    // Sum of the bytes [from, to), not wrapped: 0 only when they are all 0x00.
    quint32 sum(qsizetype from, qsizetype to)
    {
        const quint32 last = at(to);
        return last - at(from);
    }

    bool checksumHolds(qsizetype from, int length)
    {
        const qsizetype end = from + length - 2;
        return ::checksumHolds(sum(from, end), m_bytes + end);
    }

private:
    const uchar *m_bytes;
    quint32 m_ring[64];
    qsizetype m_filled = 0;
};

// The decisions of one scan over the held bytes and a new chunk.
class Candidates
{
public:
    Candidates(const uchar *bytes, qsizetype expected) : m_bytes(bytes), m_sums(bytes), m_expected(expected) {}

    // Where a frame is expected (right after the last valid frame or a gap),
    // -1 if not here.
    qsizetype expected() const { return m_expected; }
    void setExpected(qsizetype at) { m_expected = at; }

    // The first frame from `i` on: its start, with its length in `length`.
    // With `length` 0, none: the start of the first candidate that runs past
    // `size` (when more bytes may come), or `size`.
    qsizetype nextFrame(qsizetype i, qsizetype size, bool final, int *length)
    {
        const uchar *bytes = m_bytes;
        while (i < size) {
            if (i + 1 >= size) {
                if (!final)
                    break;
                ++i;
                continue;
            }
            const int announced = announcedLength(bytes + i);
            if (announced < kFrameOverheadBytes) {
                ++i;
                continue;
            }
            if (i + announced > size) {
                if (!final)
                    break;
                ++i;
                continue;
            }
            if (validFrameAt(i, announced)) {
                *length = announced;
                return i;
            }
            ++i;
        }
        *length = 0;
        return i;
    }

    // A complete candidate of `length` bytes at `at` is taken as a frame: its
    // checksum holds, it is not a break (all 0x00), and, unless a frame is
    // expected at `at`, it does not swallow 0x00 bytes in front of a frame
    // that ends at the same place.
    bool validFrameAt(qsizetype at, int length)
    {
        if (!m_sums.checksumHolds(at, length))
            return false;
        const qsizetype end = at + length;
        if (m_bytes[at] != 0)
            return true;
        if (m_sums.sum(at, end) == 0)
            return false;
        return at == m_expected || !zerosBeforeFrameEndingAt(at, end);
    }

    // Earliest start in [from, end) of a candidate that ends exactly at `end`
    // and fails only its checksum; -1 when there is none.
    qsizetype badFrameEndingAt(qsizetype from, qsizetype end)
    {
        for (qsizetype s = qMax(from, end - kMaxFrameBytes); s <= end - kFrameOverheadBytes; ++s) {
            if (announcedLength(m_bytes + s) == end - s && !m_sums.checksumHolds(s, int(end - s)))
                return s;
        }
        return -1;
    }

private:
    // Whether 0x00 bytes from `at` on are followed by a candidate announcing
    // the same end. Its sum and checksum are those of the candidate at `at`,
    // so it holds too; it is the frame, and the zeros are noise.
    bool zerosBeforeFrameEndingAt(qsizetype at, qsizetype end)
    {
        for (qsizetype k = at + 1; end - k >= kFrameOverheadBytes && m_bytes[k - 1] == 0; ++k) {
            if (announcedLength(m_bytes + k) == end - k)
                return true;
        }
        return false;
    }

    const uchar *m_bytes;
    PrefixSums m_sums;
    qsizetype m_expected;
};

// The earliest of the scanned positions [from, scanned) whose candidate may
// still end at a frame not yet seen or at a gap (it reaches `scanned` or
// beyond); `scanned` when there is none.
qsizetype earliestOpenStart(const uchar *bytes, qsizetype from, qsizetype scanned)
{
    for (qsizetype s = qMax(from, scanned - kMaxFrameBytes); s < scanned; ++s) {
        const int length = announcedLength(bytes + s);
        if (length >= kFrameOverheadBytes && s + length >= scanned)
            return s;
    }
    return scanned;
}

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

void FrameSplitter::feed(const char *data, qsizetype size, qint64 nowMs, QVector<BusRecord> &out)
{
    if (size <= 0)
        return;
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

void FrameSplitter::expire(qint64 nowMs, QVector<BusRecord> &out)
{
    if (nowMs - m_lastMs < m_gapMs)
        return;
    finish(out);
}

void FrameSplitter::finish(QVector<BusRecord> &out)
{
    if (!m_held.isEmpty()) {
        const QByteArray held = m_held;
        scan(reinterpret_cast<const uchar *>(held.constData()), held.size(), m_lastMs, true, out);
    }
    // Whatever comes next starts afresh: a frame is expected at once.
    m_expectedOffset = streamOffset();
}

// `bytes` are the held bytes followed by new ones that arrived at `nowMs`.
// `final`: no byte follows (a gap or the end), so a candidate running past
// the end is noise and one ending right at the end may be a bad frame.
void FrameSplitter::scan(const uchar *bytes, qsizetype size, qint64 nowMs, bool final, QVector<BusRecord> &out)
{
    const quint64 base = m_heldOffset;
    auto emitItem = [&](BusRecord::Kind kind, qsizetype from, qsizetype to, bool checksumOk = true) {
        BusRecord item;
        item.kind = kind;
        item.checksumOk = kind == BusRecord::Received && checksumOk;
        item.bytes = QByteArray(reinterpret_cast<const char *>(bytes + from), int(to - from));
        item.timeUs = timeAt(from, nowMs) * 1000;
        item.offset = base + quint64(from);
        out.append(std::move(item));
    };
    const bool expectedHere = m_expectedOffset >= base && m_expectedOffset - base < quint64(size);
    Candidates candidates(bytes, expectedHere ? qsizetype(m_expectedOffset - base) : -1);
    // The noise run [from, to) ends at a frame or at the end of the input:
    // its tail may be a frame with a bad checksum.
    auto emitRun = [&](qsizetype from, qsizetype to) {
        const qsizetype bad = candidates.badFrameEndingAt(from, to);
        const qsizetype noiseEnd = bad < 0 ? to : bad;
        if (noiseEnd > from)
            emitItem(BusRecord::Noise, from, noiseEnd);
        if (bad >= 0)
            emitItem(BusRecord::Received, bad, to, false);
    };

    qsizetype noiseStart = 0;
    qsizetype i = m_noiseHeld;
    for (;;) {
        int length = 0;
        const qsizetype at = candidates.nextFrame(i, size, final, &length);
        if (length == 0) {
            i = at;
            break;
        }
        if (at > noiseStart)
            emitRun(noiseStart, at);
        emitItem(BusRecord::Received, at, at + length);
        i = at + length;
        noiseStart = i;
        candidates.setExpected(i);
    }
    if (candidates.expected() >= 0)
        m_expectedOffset = base + quint64(candidates.expected());

    if (final) {
        if (size > noiseStart)
            emitRun(noiseStart, size);
        noiseStart = size;
    } else if (size - noiseStart >= 2 * kMaxFrameBytes) {
        // Noise goes out once two frames' worth is held, all but the bytes
        // that may still start a bad frame; the rest waits, so that a trickle
        // of noise does not come out byte by byte.
        const qsizetype open = earliestOpenStart(bytes, noiseStart, i);
        emitItem(BusRecord::Noise, noiseStart, open);
        noiseStart = open;
    }

    // Keep [noiseStart, size): noise that may still start a bad frame, a
    // shorter noise run, and the partial frame.
    const qsizetype keep = size - noiseStart;
    qint64 times[2 * kMaxFrameBytes];
    for (qsizetype k = 0; k < keep; ++k)
        times[k] = timeAt(noiseStart + k, nowMs);
    QByteArray kept(reinterpret_cast<const char *>(bytes + noiseStart), int(keep));
    m_held = kept;
    std::memcpy(m_heldTimes, times, sizeof(qint64) * size_t(keep));
    m_noiseHeld = i - noiseStart;
    m_heldOffset = base + quint64(noiseStart);
}
