// The frame splitter: its rules on made-up streams (tests/data/codec/
// splitter.txt, of splitter-pieces.txt); on long random streams the same
// items however the stream is cut, every frame after clean filler found, and
// little held whatever comes; the times and gaps of a live line.

#include "codec/frame.h"
#include "codec/framesplitter.h"
#include "busframes.h"
#include "support/datarows.h"

namespace {

constexpr int kGapMs = 100;

// Feeds the stream in pieces of the given sizes (cycled), all at one time but
// for a jump past the gap time before each offset in `gaps`; there `expire` is
// called first when asked. The most held between calls goes to `maxHeld`.
QVector<BusRecord> split(const QByteArray &stream, const QVector<int> &pieces, const QVector<int> &gaps = {},
                         bool expireAtGaps = false, qsizetype *maxHeld = nullptr)
{
    FrameSplitter splitter(kGapMs);
    QVector<BusRecord> items;
    qint64 now = 1000;
    for (int k = 0, at = 0, nextGap = 0; at < stream.size(); ++k) {
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

// "G13", "B13", "N5" per item, a noise run cut by the feeding as one; empty
// when the items are not the stream, in order, without a gap or overlap.
QStringList itemsText(const QVector<BusRecord> &items, const QByteArray &stream, bool offsets = false)
{
    QStringList texts;
    QByteArray all;
    bool noise = false;
    for (const BusRecord &item : items) {
        if (item.offset != quint64(all.size()) || item.bytes.isEmpty())
            return {};
        all += item.bytes;
        const QString kind = item.kind == BusRecord::Noise ? "N" : item.checksumOk ? "G" : "B";
        if (noise && kind == "N") {
            const QString last = texts.takeLast();
            texts << "N" + QString::number(last.section('@', 0, 0).mid(1).toInt() + item.bytes.size())
                    + (offsets ? '@' + last.section('@', 1) : QString());
        } else
            texts << kind + QString::number(item.bytes.size()) + (offsets ? "@" + QString::number(item.offset) : QString());
        noise = kind == "N";
    }
    return all == stream ? texts : QStringList();
}

// A long stream of everything a line carries: frames, frames with one byte
// changed, 0x00 before frames, 0xFF filler, a line held low, noise, frames cut
// by a gap. `sure` gets the offsets of the frames that nothing before them can
// take over: after nothing but frames and 0xFF filler (which never starts a
// frame) for a maximal frame's length, or since a gap.
QByteArray randomStream(quint32 seed, QVector<int> &gaps, QVector<int> &sure)
{
    QRandomGenerator random(seed);
    QByteArray s;
    int unsureEnd = 0;
    const auto frame = [&random] { return randomFrameWithData(random, quint8(random.bounded(255)), int(random.bounded(21))); };
    const auto unsure = [&](const QByteArray &bytes) {
        s += bytes;
        unsureEnd = s.size();
    };
    for (int step = 0; step < 3000; ++step) {
        switch (random.bounded(9)) {
        case 3: // a bad frame, then a frame
        case 4: // a bad frame, then silence
            unsure(withOneByteFlipped(random, frame()));
            break;
        case 5:
            unsure(QByteArray(1 + int(random.bounded(3)), '\0'));
            break;
        case 6:
            unsure(QByteArray(31 + int(random.bounded(40)), '\0'));
            break;
        case 7:
            unsure(randomBytes(random, int(random.bounded(41))));
            break;
        case 8:
            unsure(frame().left(1 + int(random.bounded(10))));
            gaps << s.size();
            break;
        default:
            s += QByteArray(int(random.bounded(3)) * int(random.bounded(20)), '\xFF');
        }
        if (random.bounded(10) == 0 && (gaps.isEmpty() || gaps.last() != s.size()))
            gaps << s.size();
        if (s.size() - unsureEnd >= kMaxFrameBytes || (!gaps.isEmpty() && gaps.last() >= unsureEnd))
            sure << s.size();
        s += frame();
    }
    return s;
}

} // namespace

class FrameSplitterTest : public QObject
{
    Q_OBJECT

private slots:
    void rules_data() { addDataRows(QStringLiteral("codec/splitter.txt")); }
    void rules()
    {
        QFETCH(QStringList, row);
        QMap<QString, QByteArray> pieces;
        for (const QStringList &piece : readDataRows(QStringLiteral("codec/splitter-pieces.txt")))
            pieces.insert(piece[0], hexBytes(piece[1]));
        QByteArray stream;
        for (const QString &piece : row[0].split(' ')) {
            const QByteArray bytes = pieces.value(piece.section(QRegularExpression("[:*]"), 0, 0));
            QVERIFY2(!bytes.isEmpty(), qPrintable(piece));
            stream += piece.contains(':') ? bytes.left(piece.section(':', 1).toInt())
                                          : bytes.repeated(qMax(1, piece.section('*', 1).toInt()));
        }
        QVector<int> gaps;
        for (const QString &gap : row[1].split(' ', Qt::SkipEmptyParts))
            gaps << gap.toInt();
        for (const QVector<int> &cut : {QVector<int>{1 << 30}, QVector<int>{1}, QVector<int>{5, 2}}) {
            for (bool expireAtGaps : {false, true})
                QCOMPARE(itemsText(split(stream, cut, gaps, expireAtGaps), stream).join(' '), row[2]);
        }
    }

    // Property: however a stream is cut, the same items come out as when it
    // is fed whole, and they are the stream; the frames nothing can take
    // over are among them.
    void sameItemsHoweverCut_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 8; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void sameItemsHoweverCut()
    {
        QFETCH(quint32, seed);
        QVector<int> gaps, sure;
        const QByteArray stream = randomStream(seed, gaps, sure);
        const QStringList whole = itemsText(split(stream, {1 << 30}, gaps), stream, true);
        QVERIFY(!whole.isEmpty());
        QRandomGenerator random(seed * 77);
        QVector<int> randomPieces;
        for (int i = 0; i < 500; ++i)
            randomPieces << 1 + int(random.bounded(100));
        for (const QVector<int> &cut : {QVector<int>{1}, QVector<int>{3, 7, 1, 30, 2, 64, 5}, randomPieces}) {
            for (bool expireAtGaps : {false, true}) {
                const QStringList items = itemsText(split(stream, cut, gaps, expireAtGaps), stream, true);
                for (int k = 0; k < qMin(items.size(), whole.size()); ++k)
                    QCOMPARE(items.at(k), whole.at(k));
                QCOMPARE(items.size(), whole.size());
            }
        }
        const QString all = whole.join(' ') + ' ';
        for (int at : sure) {
            const int length = quint8(~quint8(stream.at(at + 1))) & 0x1F;
            QVERIFY2(all.contains(QStringLiteral("G%1@%2 ").arg(length).arg(at)), qPrintable(QString::number(at)));
        }
        // The mix is what the rows are about.
        QVERIFY(sure.size() > 1000 && whole.filter(QRegularExpression("^B")).size() > 100 && gaps.size() > 300);
    }

    // Noise of every kind, fed in pieces: what is held stays under two maximal frames.
    void noiseStreamsKeepMemoryBounded()
    {
        QRandomGenerator random(9);
        QByteArray badFrames;
        while (badFrames.size() < (1 << 20))
            badFrames += withOneByteFlipped(random, randomFrameWithData(random, 0x42, int(random.bounded(21))));
        for (const QByteArray &stream : {randomBytes(random, 1 << 20), QByteArray(1 << 20, '\xFF'),
                                         QByteArray(1 << 20, '\0'), badFrames}) {
            qsizetype maxHeld = 0;
            QVERIFY(!itemsText(split(stream, {1, 5, 300, 4096}, {}, false, &maxHeld), stream).isEmpty());
            QVERIFY2(maxHeld < 2 * kMaxFrameBytes, qPrintable(QString::number(maxHeld)));
        }
    }

    void gapTurnsPartialFrameIntoNoise()
    {
        const QByteArray frame = packFrame(0x10, true, 20, 3, 0, 0xABCDEF, 2, QByteArray(9, '\x33'));
        FrameSplitter splitter(100);
        QVector<BusRecord> items;
        splitter.feed(frame.constData(), 12, 5000, items);
        splitter.expire(5099, items);
        QVERIFY(items.isEmpty());
        splitter.expire(5100, items);
        QCOMPARE(itemsText(items, frame.left(12)), QStringList{"N12"});
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

    void itemsCarryTimeOfFirstByte()
    {
        const QByteArray frame = packFrame(0x10, false, 12, 3, 0, 0xABCDEF, 2, QByteArray(1, '\x01'));
        FrameSplitter splitter;
        QVector<BusRecord> items;
        splitter.feed("\x00\x01", 2, 100, items);
        splitter.feed(frame.constData(), 4, 110, items);
        splitter.feed(frame.constData() + 4, frame.size() - 4, 120, items);
        splitter.finish(items);
        QCOMPARE(itemsText(items, QByteArray("\x00\x01", 2) + frame, true), (QStringList{"N2@0", "G12@2"}));
        QCOMPARE(items.at(0).timeUs, qint64(100000));
        QCOMPARE(items.at(1).timeUs, qint64(110000));
    }
};

QTEST_GUILESS_MAIN(FrameSplitterTest)
#include "framesplittertest.moc"
