// The frame splitter on made-up streams: frames found by length and checksum
// however the stream is cut, frames with a bad checksum told apart where their
// end is clear, 0x00 bytes kept out of frames, noise reported and never
// dropped.

#include "codec/frame.h"
#include "codec/framesplitter.h"
#include "busframes.h"

#include <QtTest>

#include <algorithm>

namespace {

constexpr int kGapMs = 100;

int announcedAt(const QByteArray &s, int at)
{
    return quint8(~quint8(s.at(at + 1))) & 0x1F;
}

// Whether the last two of the `length` bytes at `at` are the checksum of the others.
bool sumHolds(const QByteArray &s, int at, int length)
{
    const char *candidate = s.constData() + at;
    return frameChecksum(QByteArray::fromRawData(candidate, length - 2))
        == quint16(quint8(candidate[length - 2]) << 8 | quint8(candidate[length - 1]));
}

bool allZero(const QByteArray &s, int at, int length)
{
    return std::all_of(s.constBegin() + at, s.constBegin() + at + length, [](char c) { return c == 0; });
}

// Whether 0x00 bytes from `at` on lead to a candidate that ends at `end` too.
bool zerosBeforeCandidate(const QByteArray &s, int at, int end)
{
    for (int k = at + 1; end - k >= kFrameOverheadBytes && s.at(k - 1) == 0; ++k) {
        if (announcedAt(s, k) == end - k)
            return true;
    }
    return false;
}

// One frame as it must come out: "offset ok|bad hex".
QString describe(quint64 offset, bool ok, const QByteArray &bytes)
{
    const QString verdict = ok ? QStringLiteral("ok") : QStringLiteral("bad");
    return QStringLiteral("%1 %2 %3").arg(offset).arg(verdict, frameToHexText(bytes));
}

struct Stream
{
    QByteArray bytes;
    QStringList frames;        // valid and bad, described, in order
    QVector<int> frameStarts;  // of all frames, in order
    QVector<int> frameEnds;
    QVector<bool> frameOk;
    QVector<int> validStarts;
    QVector<int> gaps;         // the line falls silent before these offsets
    QVector<int> expectedAt;   // where a frame is expected: the start, after valid frames and gaps
    QByteArray noise;          // all bytes outside frames
};

bool sortedHas(const QVector<int> &v, int x)
{
    return std::binary_search(v.begin(), v.end(), x);
}

// Builds a stream step by step: frames, frames with one byte flipped, noise,
// 0x00 bytes before frames, runs of 0x00 and gaps. A step that the rules
// would cut otherwise than meant (a chance frame or bad frame in noise, a bad
// frame that a chance candidate before it would take over, a frame led by 0x00
// right after a bad frame, which gives way to the one after its zeros) is
// drawn again, so every frame and bad frame put in must come out as such, and
// nothing else.
class StreamMaker
{
public:
    explicit StreamMaker(quint32 seed) : m_random(seed) { m_s.expectedAt << 0; }

    Stream make(int steps)
    {
        for (int step = 0; step < steps; ++step) {
            const bool last = step == steps - 1;
            const Mark saved = mark();
            const int from = qMax(0, int(m_s.bytes.size()) - kMaxFrameBytes);
            drawStep(last);
            while (!cutAsMeant(from, last)) {
                rollBack(saved);
                drawStep(last);
            }
        }
        for (int k = 0, at = 0; k <= m_s.frameStarts.size(); ++k) {
            const int end = k < m_s.frameStarts.size() ? m_s.frameStarts.at(k) : int(m_s.bytes.size());
            m_s.noise += m_s.bytes.mid(at, end - at);
            at = k < m_s.frameEnds.size() ? m_s.frameEnds.at(k) : end;
        }
        return m_s;
    }

private:
    // What the stream holds before a step, so that a step drawn again is
    // dropped without copying the stream.
    struct Mark
    {
        int bytes, frames, validStarts, gaps, expectedAt;
    };
    Mark mark() const
    {
        return {int(m_s.bytes.size()), int(m_s.frames.size()), int(m_s.validStarts.size()), int(m_s.gaps.size()),
                int(m_s.expectedAt.size())};
    }
    void rollBack(const Mark &m)
    {
        m_s.bytes.truncate(m.bytes);
        m_s.frames.erase(m_s.frames.begin() + m.frames, m_s.frames.end());
        m_s.frameStarts.resize(m.frames);
        m_s.frameEnds.resize(m.frames);
        m_s.frameOk.resize(m.frames);
        m_s.validStarts.resize(m.validStarts);
        m_s.gaps.resize(m.gaps);
        m_s.expectedAt.resize(m.expectedAt);
    }

    QByteArray frame()
    {
        const int dataBytes = int(m_random.bounded(kMaxDataBytes + 1));
        return randomFrameWithData(m_random, quint8(m_random.bounded(256)), dataBytes);
    }
    QByteArray bad() { return withOneByteFlipped(m_random, frame()); }
    QByteArray noise(int maxLength) { return randomBytes(m_random, int(m_random.bounded(maxLength + 1))); }

    void addNoise(const QByteArray &bytes) { m_s.bytes += bytes; }
    void addFrame(const QByteArray &bytes, bool ok)
    {
        const int at = m_s.bytes.size();
        m_s.frames << describe(quint64(at), ok, bytes);
        m_s.frameStarts << at;
        m_s.frameEnds << at + bytes.size();
        m_s.frameOk << ok;
        if (ok)
            m_s.validStarts << at;
        m_s.bytes += bytes;
        // A bad frame is told by the frame after it, so that one is not expected.
        if (ok)
            m_s.expectedAt << at + bytes.size();
    }
    void addGap()
    {
        m_s.gaps << m_s.bytes.size();
        if (!sortedHas(m_s.expectedAt, m_s.bytes.size()))
            m_s.expectedAt << m_s.bytes.size();
    }

    // 0x00 bytes, after a little noise or none, then a frame; often the frame's
    // first byte read as a length byte makes the zeros and the frame a valid
    // candidate too. Right where a frame is expected, that candidate is the frame.
    void addZerosThenFrame()
    {
        const QByteArray before = m_random.bounded(2) ? QByteArray() : noise(3);
        const int zeros = 1 + int(m_random.bounded(3));
        const bool match = m_random.bounded(2);
        int dataBytes = int(m_random.bounded(kMaxDataBytes));
        quint8 msgId = quint8(m_random.bounded(256));
        if (match && zeros == 1)
            msgId = quint8((msgId & 0xE0) | (kFrameOverheadBytes + dataBytes + 1));
        else if (match)
            dataBytes = kMaxDataBytes - zeros;
        const QByteArray joined = QByteArray(zeros, '\0') + randomFrameWithData(m_random, msgId, dataBytes);
        addNoise(before);
        if (before.isEmpty() && announcedAt(joined, 0) == joined.size()) {
            addFrame(joined, true);
            return;
        }
        addNoise(joined.left(zeros));
        addFrame(joined.mid(zeros), true);
    }

    // Appends one step. Every step starts where a frame is expected.
    void drawStep(bool last)
    {
        switch (last ? 8 + m_random.bounded(2) : m_random.bounded(8)) {
        case 0: case 1: case 2: case 8:
            addNoise(m_random.bounded(4) == 0 ? noise(40) : QByteArray());
            addFrame(frame(), true);
            break;
        case 3: // alternating: a bad frame, then a frame
            addFrame(bad(), false);
            addFrame(frame(), true);
            break;
        case 4: // a bad frame, then silence
            addFrame(bad(), false);
            addGap();
            return;
        case 5:
            addZerosThenFrame();
            break;
        case 6: // a line held low, then a frame
            addNoise(QByteArray(31 + int(m_random.bounded(40)), '\0'));
            addFrame(frame(), true);
            break;
        case 7: // two bad frames in a row: the first is noise
            addNoise(bad());
            addFrame(bad(), false);
            addFrame(frame(), true);
            break;
        case 9: // a bad frame at the end
            addFrame(bad(), false);
            return;
        }
        if (!last && m_random.bounded(10) == 0)
            addGap();
    }

    int frameIndexAtOrBefore(int at) const
    {
        return int(std::upper_bound(m_s.frameStarts.begin(), m_s.frameStarts.end(), at) - m_s.frameStarts.begin()) - 1;
    }

    bool validStartIn(int from, int to) const
    {
        const auto next = std::lower_bound(m_s.validStarts.begin(), m_s.validStarts.end(), from);
        return next != m_s.validStarts.end() && *next < to;
    }

    // Whether the rules cut the stream from `from` on as it was built. `closed`:
    // the stream ends here (else more may follow).
    bool cutAsMeant(int from, bool closed) const
    {
        const QByteArray &b = m_s.bytes;
        for (int p = from; p < b.size(); ++p) {
            const int f = frameIndexAtOrBefore(p);
            const bool inFrame = f >= 0 && p < m_s.frameEnds.at(f);
            const bool inValid = inFrame && m_s.frameOk.at(f);
            const bool badStart = inFrame && !inValid && p == m_s.frameStarts.at(f);
            const bool expected = sortedHas(m_s.expectedAt, p);
            if (inValid) {
                // Its start must not give way to a frame after its 0x00 bytes.
                if (p == m_s.frameStarts.at(f) && b.at(p) == 0 && !expected
                    && zerosBeforeCandidate(b, p, m_s.frameEnds.at(f)))
                    return false;
                continue;
            }
            const auto gap = std::upper_bound(m_s.gaps.begin(), m_s.gaps.end(), p);
            const int pieceEnd = gap != m_s.gaps.end() ? *gap : int(b.size());
            const bool pieceClosed = gap != m_s.gaps.end() || closed;
            const int length = p + 1 < pieceEnd ? announcedAt(b, p) : 0;
            if (length < kFrameOverheadBytes || p + length > pieceEnd) {
                if (badStart)
                    return false;
                continue;
            }
            if (sumHolds(b, p, length)) {
                if (allZero(b, p, length) || (b.at(p) == 0 && !expected && zerosBeforeCandidate(b, p, p + length)))
                    continue;
                return false; // a chance frame
            }
            const int end = p + length;
            const bool endsRight = (sortedHas(m_s.validStarts, end) || (end == pieceEnd && pieceClosed))
                && !validStartIn(p + 1, end);
            if (!endsRight) {
                if (badStart)
                    return false;
                continue;
            }
            // A bad frame here: only the one built, or a later start inside it.
            if (!inFrame || end != m_s.frameEnds.at(f))
                return false;
        }
        return true;
    }

    QRandomGenerator m_random;
    Stream m_s;
};

// Feeds the stream in pieces of the given sizes (cycled), all at one time but
// for a jump past the gap time before each offset in `gaps`; there `expire` is
// called first when asked.
QVector<BusRecord> split(const QByteArray &stream, const QVector<int> &pieces, const QVector<int> &gaps = {},
                         bool expireAtGaps = false, qsizetype *maxHeld = nullptr)
{
    FrameSplitter splitter(kGapMs);
    QVector<BusRecord> items;
    qint64 now = 1000;
    int at = 0;
    int nextGap = 0;
    for (int k = 0; at < stream.size(); ++k) {
        if (nextGap < gaps.size() && gaps.at(nextGap) == at) {
            now += 3 * kGapMs;
            if (expireAtGaps)
                splitter.expire(now, items);
            ++nextGap;
        }
        const int limit = nextGap < gaps.size() ? gaps.at(nextGap) : int(stream.size());
        const int size = qMin(pieces.at(k % pieces.size()), limit - at);
        splitter.feed(stream.constData() + at, size, now, items);
        at += size;
        if (maxHeld)
            *maxHeld = qMax(*maxHeld, splitter.heldBytes());
    }
    splitter.finish(items);
    return items;
}

// Checks that the items are the stream, in order, without a gap or overlap.
bool rebuildsStream(const QVector<BusRecord> &items, const QByteArray &stream)
{
    QByteArray all;
    for (const BusRecord &item : items) {
        if (item.offset != quint64(all.size()) || item.bytes.isEmpty())
            return false;
        all += item.bytes;
    }
    return all == stream;
}

// Kinds as the tables write them.
enum { GoodFrame, Noise, BadFrame };

int kindOf(const BusRecord &item)
{
    if (item.kind == BusRecord::Noise)
        return Noise;
    return item.checksumOk ? GoodFrame : BadFrame;
}

} // namespace

class FrameSplitterTest : public QObject
{
    Q_OBJECT

private slots:
    void everyFrameComesBackHoweverCut_data();
    void everyFrameComesBackHoweverCut();
    void candidates_data();
    void candidates();
    void gapTurnsPartialFrameIntoNoise();
    void itemsCarryTimeOfFirstByte();
    void noiseStreamsKeepMemoryBounded();
};

void FrameSplitterTest::everyFrameComesBackHoweverCut_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QVector<int>>("pieces");
    QTest::addColumn<bool>("expireAtGaps");
    for (quint32 seed = 1; seed <= 16; ++seed) {
        const bool expire = seed % 2 == 0;
        QTest::addRow("whole, seed %u", seed) << seed << QVector<int>{1 << 30} << expire;
        QTest::addRow("byte by byte, seed %u", seed) << seed << QVector<int>{1} << !expire;
        QTest::addRow("odd pieces, seed %u", seed) << seed << QVector<int>{3, 7, 1, 30, 2, 64, 5} << expire;
        QRandomGenerator random(seed * 77);
        QVector<int> randomPieces;
        for (int i = 0; i < 500; ++i)
            randomPieces << 1 + int(random.bounded(100));
        QTest::addRow("random pieces, seed %u", seed) << seed << randomPieces << !expire;
    }
}

// Property: whatever the stream holds and however it is cut, the frames and
// bad frames come back in order and at their offsets, none invented, and
// frames, bad frames and noise together are the stream.
void FrameSplitterTest::everyFrameComesBackHoweverCut()
{
    QFETCH(quint32, seed);
    QFETCH(QVector<int>, pieces);
    QFETCH(bool, expireAtGaps);
    const Stream stream = StreamMaker(seed).make(3000);
    const QVector<BusRecord> items = split(stream.bytes, pieces, stream.gaps, expireAtGaps);

    QVERIFY(rebuildsStream(items, stream.bytes));
    QStringList frames;
    QByteArray noise;
    for (const BusRecord &item : items) {
        if (item.kind == BusRecord::Received)
            frames << describe(item.offset, item.checksumOk, item.bytes);
        else
            noise += item.bytes;
    }
    for (int k = 0; k < qMin(frames.size(), stream.frames.size()); ++k)
        QCOMPARE(frames.at(k), stream.frames.at(k));
    QCOMPARE(frames.size(), stream.frames.size());
    QCOMPARE(noise, stream.noise);
    // The mix is what the rows are about: every case is there, the 0x00 ones
    // both ways (a frame that takes the 0x00 in front where a frame is
    // expected, a 0x00 left as noise elsewhere).
    int zeroLed = 0, zeroLeftOut = 0;
    for (int k = 0; k < stream.frameStarts.size(); ++k) {
        const int at = stream.frameStarts.at(k), end = stream.frameEnds.at(k);
        if (!stream.frameOk.at(k))
            continue;
        if (stream.bytes.at(at) == 0 && zerosBeforeCandidate(stream.bytes, at, end))
            ++zeroLed;
        if (at > 0 && stream.bytes.at(at - 1) == 0 && announcedAt(stream.bytes, at - 1) == end - at + 1)
            ++zeroLeftOut;
    }
    QVERIFY(zeroLed > 20);
    QVERIFY(zeroLeftOut > 20);
    QVERIFY(stream.frames.filter(QStringLiteral(" bad ")).size() > 100);
    QVERIFY(stream.gaps.size() > 100);
}

void FrameSplitterTest::candidates_data()
{
    const QByteArray good = packFrame(0x41, false, 13, 2, 0, 0x123456, 1, QByteArray("\x05\x06", 2));
    QByteArray badSum = good;
    badSum[badSum.size() - 1] = char(badSum.at(badSum.size() - 1) ^ 1);
    QByteArray badData = good;
    badData[9] = char(badData.at(9) ^ 0x40);
    QByteArray shortLength = good;
    shortLength[1] = char(~quint8(10)); // announces 10 bytes: below the header and checksum
    // Its first byte, read as a length byte, announces 14: with a 0x00 in
    // front, the 14 bytes hold as well.
    const QByteArray oneMore = packFrame(0x4E, false, 13, 2, 0, 0x123456, 1, QByteArray("\x05\x06", 2));
    // Message 0xFF goes out as 0x00; node types 0 and 12 make its third byte
    // announce 12, so its last 12 bytes hold as well.
    const QByteArray zeroLed = packFrame(0xFF, false, 13, 0, 12, 0x123456, 1, QByteArray("\x05\x06", 2));
    const QByteArray ff(5, '\xFF');
    const QByteArray zero(1, '\0');
    // Announces 15 bytes, which end where the input or the second frame ends.
    const QByteArray announces15("\xAA\xF0", 2);
    // Announces 16 bytes: its own two, a 13-byte bad frame and the 0x00 after it.
    const QByteArray announces16("\xAA\xEF", 2);

    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QVector<int>>("gaps");
    QTest::addColumn<QVector<int>>("kinds");
    QTest::addColumn<QVector<int>>("sizes");
    const QVector<int> none;
    QTest::newRow("bad checksum between frames")
        << good + badSum + good << none << QVector<int>{GoodFrame, BadFrame, GoodFrame} << QVector<int>{13, 13, 13};
    QTest::newRow("bad data byte between frames")
        << good + badData + good << none << QVector<int>{GoodFrame, BadFrame, GoodFrame} << QVector<int>{13, 13, 13};
    QTest::newRow("bad frame first") << badData + good << none << QVector<int>{BadFrame, GoodFrame}
                                     << QVector<int>{13, 13};
    QTest::newRow("bad frame at the end") << good + badData << none << QVector<int>{GoodFrame, BadFrame}
                                          << QVector<int>{13, 13};
    QTest::newRow("bad frame ended by a gap") << good + badData + good << QVector<int>{26}
                                              << QVector<int>{GoodFrame, BadFrame, GoodFrame}
                                              << QVector<int>{13, 13, 13};
    QTest::newRow("bad frame alone, then a gap and filler")
        << badSum + ff << QVector<int>{13} << QVector<int>{BadFrame, Noise} << QVector<int>{13, 5};
    QTest::newRow("bad frame ending in noise") << good + badData + ff + good << none
                                               << QVector<int>{GoodFrame, Noise, GoodFrame}
                                               << QVector<int>{13, 18, 13};
    QTest::newRow("two bad frames in a row") << good + badData + badSum + good << none
                                             << QVector<int>{GoodFrame, Noise, BadFrame, GoodFrame}
                                             << QVector<int>{13, 13, 13, 13};
    QTest::newRow("two bad starts end at a frame: the earliest")
        << announces15 + badData + good << none << QVector<int>{BadFrame, GoodFrame} << QVector<int>{15, 13};
    QTest::newRow("frame inside a would-be bad frame at the end")
        << announces15 + good << none << QVector<int>{Noise, GoodFrame} << QVector<int>{2, 13};
    QTest::newRow("frame inside a would-be bad frame before a frame")
        << announces15 + good + good << none << QVector<int>{Noise, GoodFrame, GoodFrame}
        << QVector<int>{2, 13, 13};
    QTest::newRow("partial frame at a gap") << good.left(9) + good << QVector<int>{9}
                                            << QVector<int>{Noise, GoodFrame} << QVector<int>{9, 13};
    QTest::newRow("length below 11") << shortLength + good << none << QVector<int>{Noise, GoodFrame}
                                     << QVector<int>{13, 13};
    QTest::newRow("0xFF filler") << ff + good + ff.left(3) << none << QVector<int>{Noise, GoodFrame, Noise}
                                 << QVector<int>{5, 13, 3};
    QTest::newRow("truncated frame then frames")
        << good.left(9) + good + good << none << QVector<int>{Noise, GoodFrame, GoodFrame} << QVector<int>{9, 13, 13};
    QTest::newRow("0x00 before a frame, after filler")
        << ff + zero + oneMore << none << QVector<int>{Noise, GoodFrame} << QVector<int>{6, 13};
    QTest::newRow("0x00 before a frame, after a bad frame")
        << good + badData + zero + oneMore << none << QVector<int>{GoodFrame, Noise, GoodFrame}
        << QVector<int>{13, 14, 13};
    // A bad frame is told by the frame at its end, so that frame is not
    // expected there: its 0x00 gives way, and the bad frame no longer ends at
    // a frame.
    QTest::newRow("frame led by 0x00, after a bad frame")
        << good + badData + zeroLed << none << QVector<int>{GoodFrame, Noise, GoodFrame}
        << QVector<int>{13, 14, 12};
    QTest::newRow("frame led by 0x00, after a bad frame: a longer one takes the 0x00")
        << good + announces16 + badData + zeroLed << none << QVector<int>{GoodFrame, BadFrame, GoodFrame}
        << QVector<int>{13, 16, 12};
    QTest::newRow("frame led by 0x00, after filler")
        << ff + zeroLed << none << QVector<int>{Noise, GoodFrame} << QVector<int>{6, 12};
    QTest::newRow("frame led by 0x00, right after a frame")
        << good + zeroLed << none << QVector<int>{GoodFrame, GoodFrame} << QVector<int>{13, 13};
    QTest::newRow("frame led by 0x00, first") << zeroLed << none << QVector<int>{GoodFrame} << QVector<int>{13};
    QTest::newRow("frame led by 0x00, after a gap")
        << ff + zeroLed << QVector<int>{5} << QVector<int>{Noise, GoodFrame} << QVector<int>{5, 13};
    QTest::newRow("0x00 and frame, right after a frame")
        << good + zero + oneMore << none << QVector<int>{GoodFrame, GoodFrame} << QVector<int>{13, 14};
    QTest::newRow("31 zeros") << QByteArray(31, '\0') << none << QVector<int>{Noise} << QVector<int>{31};
    QTest::newRow("31 zeros after a frame") << good + QByteArray(31, '\0') << none
                                            << QVector<int>{GoodFrame, Noise} << QVector<int>{13, 31};
    QTest::newRow("31 zeros before a gap") << QByteArray(31, '\0') + good << QVector<int>{31}
                                           << QVector<int>{Noise, GoodFrame} << QVector<int>{31, 13};
    QTest::newRow("line held low, then a frame") << QByteArray(40, '\0') + good << none
                                                 << QVector<int>{Noise, GoodFrame} << QVector<int>{40, 13};
}

void FrameSplitterTest::candidates()
{
    QFETCH(QByteArray, stream);
    QFETCH(QVector<int>, gaps);
    QFETCH(QVector<int>, kinds);
    QFETCH(QVector<int>, sizes);
    for (const QVector<int> &pieces : {QVector<int>{1 << 30}, QVector<int>{1}, QVector<int>{5, 2}}) {
        for (bool expireAtGaps : {false, true}) {
            const QVector<BusRecord> items = split(stream, pieces, gaps, expireAtGaps);
            QVERIFY(rebuildsStream(items, stream));
            QVector<int> gotKinds, gotSizes;
            for (const BusRecord &item : items) {
                // Noise cut by the feeding is one run.
                if (item.kind == BusRecord::Noise && !gotKinds.isEmpty() && gotKinds.last() == Noise) {
                    gotSizes.last() += item.bytes.size();
                    continue;
                }
                gotKinds << kindOf(item);
                gotSizes << item.bytes.size();
            }
            QCOMPARE(gotKinds, kinds);
            QCOMPARE(gotSizes, sizes);
        }
    }
}

void FrameSplitterTest::gapTurnsPartialFrameIntoNoise()
{
    const QByteArray frame = packFrame(0x10, true, 20, 3, 0, 0xABCDEF, 2, QByteArray(9, '\x33'));
    FrameSplitter splitter(100);
    QVector<BusRecord> items;
    splitter.feed(frame.constData(), 12, 5000, items);
    splitter.expire(5099, items);
    QVERIFY(items.isEmpty());
    splitter.expire(5100, items);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.at(0).kind, BusRecord::Noise);
    QCOMPARE(items.at(0).bytes, frame.left(12));
    QCOMPARE(splitter.heldBytes(), 0);

    // Without a call to expire, bytes after the gap still start afresh.
    items.clear();
    splitter.feed(frame.constData(), 7, 6000, items);
    splitter.feed(frame.constData(), frame.size(), 6200, items);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).bytes, frame.left(7));
    QCOMPARE(items.at(1).kind, BusRecord::Received);
    QCOMPARE(items.at(1).offset, quint64(12 + 7));
}

void FrameSplitterTest::itemsCarryTimeOfFirstByte()
{
    const QByteArray frame = packFrame(0x10, false, 12, 3, 0, 0xABCDEF, 2, QByteArray(1, '\x01'));
    FrameSplitter splitter;
    QVector<BusRecord> items;
    splitter.feed("\x00\x01", 2, 100, items);
    splitter.feed(frame.constData(), 4, 110, items);
    splitter.feed(frame.constData() + 4, frame.size() - 4, 120, items);
    splitter.finish(items);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).kind, BusRecord::Noise);
    QCOMPARE(items.at(0).timeUs, qint64(100000));
    QCOMPARE(items.at(1).timeUs, qint64(110000));
    QCOMPARE(items.at(1).offset, quint64(2));
}

void FrameSplitterTest::noiseStreamsKeepMemoryBounded()
{
    QRandomGenerator random(9);
    QByteArray badFrames;
    while (badFrames.size() < (1 << 20))
        badFrames += withOneByteFlipped(random, randomFrameWithData(random, 0x42, int(random.bounded(21))));
    const QByteArray streams[] = {randomBytes(random, 1 << 20), QByteArray(1 << 20, '\xFF'),
                                  QByteArray(1 << 20, '\0'), badFrames};
    for (const QByteArray &stream : streams) {
        qsizetype maxHeld = 0;
        const QVector<BusRecord> items = split(stream, {1, 5, 300, 4096}, {}, false, &maxHeld);
        QVERIFY2(maxHeld < 2 * kMaxFrameBytes, qPrintable(QString::number(maxHeld)));
        QVERIFY(rebuildsStream(items, stream));
    }
}

QTEST_APPLESS_MAIN(FrameSplitterTest)
#include "framesplittertest.moc"
