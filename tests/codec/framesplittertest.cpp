// The frame splitter on made-up streams: frames found by length and
// checksum however the stream is cut, noise reported and never dropped.

#include "codec/frame.h"
#include "codec/framesplitter.h"
#include "busframes.h"

#include <QtTest>

namespace {

QByteArray frameOf(QRandomGenerator &random)
{
    const quint8 msgId = quint8(random.bounded(256));
    return randomFrame(random, msgId, quint8(random.bounded(16)));
}

// Whether a frame (of any length the stream allows) starts at `at`.
bool frameStartsAt(const QByteArray &stream, int at)
{
    if (at + 1 >= stream.size())
        return false;
    const int length = quint8(~quint8(stream.at(at + 1))) & 0x1F;
    if (length < kFrameOverheadBytes || at + length > stream.size())
        return false;
    const QByteArray candidate = stream.mid(at, length);
    return frameChecksum(candidate.left(length - 2)) == quint16(quint8(candidate.at(length - 2)) << 8 | quint8(candidate.at(length - 1)));
}

struct Stream
{
    QByteArray bytes;
    QVector<QByteArray> frames;
    QByteArray noise;
};

// Frames with random noise between them. A noise run that happens to start a
// valid frame (with the bytes after it) is drawn again, so every frame put in
// must come out.
Stream randomStream(quint32 seed, int frameCount)
{
    QRandomGenerator random(seed);
    Stream s;
    for (int i = 0; i < frameCount; ++i) {
        const QByteArray frame = frameOf(random);
        const int noiseLength = random.bounded(4) == 0 ? int(random.bounded(40)) : 0;
        QByteArray noise;
        for (;;) {
            noise = randomBytes(random, noiseLength);
            const QByteArray joined = noise + frame;
            bool clean = true;
            for (int at = 0; clean && at < noiseLength; ++at)
                clean = !frameStartsAt(joined, at);
            if (clean)
                break;
        }
        s.bytes += noise + frame;
        s.noise += noise;
        s.frames << frame;
    }
    return s;
}

// Feeds the stream in pieces of the given sizes (cycled), all at one time.
QVector<SplitItem> split(const QByteArray &stream, const QVector<int> &pieces, qsizetype *maxHeld = nullptr)
{
    FrameSplitter splitter;
    QVector<SplitItem> items;
    int at = 0;
    for (int k = 0; at < stream.size(); ++k) {
        const int size = qMin(pieces.at(k % pieces.size()), int(stream.size()) - at);
        splitter.feed(stream.constData() + at, size, 1000, items);
        at += size;
        if (maxHeld)
            *maxHeld = qMax(*maxHeld, splitter.heldBytes());
    }
    splitter.finish(items);
    return items;
}

} // namespace

class FrameSplitterTest : public QObject
{
    Q_OBJECT

private slots:
    void everyFrameComesBackHoweverCut_data();
    void everyFrameComesBackHoweverCut();
    void rejectedCandidates_data();
    void rejectedCandidates();
    void gapTurnsPartialFrameIntoNoise();
    void itemsCarryTimeOfFirstByte();
    void noiseStreamsKeepMemoryBounded();
};

void FrameSplitterTest::everyFrameComesBackHoweverCut_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QVector<int>>("pieces");
    for (quint32 seed : {1u, 2u, 3u}) {
        QTest::addRow("whole, seed %u", seed) << seed << QVector<int>{1 << 30};
        QTest::addRow("byte by byte, seed %u", seed) << seed << QVector<int>{1};
        QTest::addRow("odd pieces, seed %u", seed) << seed << QVector<int>{3, 7, 1, 30, 2, 64, 5};
        QRandomGenerator random(seed * 77);
        QVector<int> randomPieces;
        for (int i = 0; i < 500; ++i)
            randomPieces << 1 + int(random.bounded(100));
        QTest::addRow("random pieces, seed %u", seed) << seed << randomPieces;
    }
}

// Property: whatever the noise and however the stream is cut, the frames come
// back in order, none invented, and frames and noise together are the stream.
void FrameSplitterTest::everyFrameComesBackHoweverCut()
{
    QFETCH(quint32, seed);
    QFETCH(QVector<int>, pieces);
    const Stream stream = randomStream(seed, 3000);
    const QVector<SplitItem> items = split(stream.bytes, pieces);

    QVector<QByteArray> frames;
    QByteArray noise;
    QByteArray all;
    for (const SplitItem &item : items) {
        QCOMPARE(item.offset, quint64(all.size()));
        QVERIFY(!item.bytes.isEmpty());
        all += item.bytes;
        if (item.kind == SplitItem::Frame)
            frames << item.bytes;
        else
            noise += item.bytes;
    }
    QCOMPARE(all, stream.bytes);
    QCOMPARE(frames.size(), stream.frames.size());
    QCOMPARE(frames, stream.frames);
    QCOMPARE(noise, stream.noise);
}

void FrameSplitterTest::rejectedCandidates_data()
{
    const QByteArray good = packFrame(0x41, false, 13, 2, 0, 0x123456, 1, QByteArray("\x05\x06", 2));
    QByteArray badSum = good;
    badSum[badSum.size() - 1] = char(badSum.at(badSum.size() - 1) ^ 1);
    QByteArray shortLength = good;
    shortLength[1] = char(~quint8(10)); // announces 10 bytes: below the header and checksum

    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QVector<int>>("kinds"); // per item: 0 frame, 1 noise
    QTest::addColumn<QVector<int>>("sizes");
    QTest::newRow("bad checksum in a run") << good + badSum + good << QVector<int>{0, 1, 0}
                                           << QVector<int>{13, 13, 13};
    QTest::newRow("length below 11") << shortLength + good << QVector<int>{1, 0} << QVector<int>{13, 13};
    QTest::newRow("0xFF filler") << QByteArray(5, '\xFF') + good + QByteArray(3, '\xFF')
                                 << QVector<int>{1, 0, 1} << QVector<int>{5, 13, 3};
    QTest::newRow("truncated frame then frames")
        << good.left(9) + good + good << QVector<int>{1, 0, 0} << QVector<int>{9, 13, 13};
}

void FrameSplitterTest::rejectedCandidates()
{
    QFETCH(QByteArray, stream);
    QFETCH(QVector<int>, kinds);
    QFETCH(QVector<int>, sizes);
    for (const QVector<int> &pieces : {QVector<int>{1 << 30}, QVector<int>{1}}) {
        const QVector<SplitItem> items = split(stream, pieces);
        QVector<int> gotKinds, gotSizes;
        for (const SplitItem &item : items) {
            gotKinds << int(item.kind);
            gotSizes << item.bytes.size();
        }
        QCOMPARE(gotKinds, kinds);
        QCOMPARE(gotSizes, sizes);
    }
}

void FrameSplitterTest::gapTurnsPartialFrameIntoNoise()
{
    const QByteArray frame = packFrame(0x10, true, 20, 3, 0, 0xABCDEF, 2, QByteArray(9, '\x33'));
    FrameSplitter splitter(100);
    QVector<SplitItem> items;
    splitter.feed(frame.constData(), 12, 5000, items);
    splitter.expire(5099, items);
    QVERIFY(items.isEmpty());
    splitter.expire(5100, items);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.at(0).kind, SplitItem::Noise);
    QCOMPARE(items.at(0).bytes, frame.left(12));
    QCOMPARE(splitter.heldBytes(), 0);

    // Without a call to expire, bytes after the gap still start afresh.
    items.clear();
    splitter.feed(frame.constData(), 7, 6000, items);
    splitter.feed(frame.constData(), frame.size(), 6200, items);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).bytes, frame.left(7));
    QCOMPARE(items.at(1).kind, SplitItem::Frame);
    QCOMPARE(items.at(1).offset, quint64(12 + 7));
}

void FrameSplitterTest::itemsCarryTimeOfFirstByte()
{
    const QByteArray frame = packFrame(0x10, false, 12, 3, 0, 0xABCDEF, 2, QByteArray(1, '\x01'));
    FrameSplitter splitter;
    QVector<SplitItem> items;
    splitter.feed("\x00\x01", 2, 100, items);
    splitter.feed(frame.constData(), 4, 110, items);
    splitter.feed(frame.constData() + 4, frame.size() - 4, 120, items);
    splitter.finish(items);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).kind, SplitItem::Noise);
    QCOMPARE(items.at(0).timeMs, qint64(100));
    QCOMPARE(items.at(1).timeMs, qint64(110));
    QCOMPARE(items.at(1).offset, quint64(2));
}

void FrameSplitterTest::noiseStreamsKeepMemoryBounded()
{
    QRandomGenerator random(9);
    for (const QByteArray &stream : {randomBytes(random, 1 << 20), QByteArray(1 << 20, '\xFF')}) {
        qsizetype maxHeld = 0;
        const QVector<SplitItem> items = split(stream, {1, 5, 300, 4096}, &maxHeld);
        QVERIFY2(maxHeld < 2 * kMaxFrameBytes, qPrintable(QString::number(maxHeld)));
        qsizetype total = 0;
        for (const SplitItem &item : items)
            total += item.bytes.size();
        QCOMPARE(total, stream.size());
    }
}

QTEST_APPLESS_MAIN(FrameSplitterTest)
#include "framesplittertest.moc"
