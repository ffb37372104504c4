// The frame splitter: its rules (codec/splitter.txt), the same items however a
// random stream is cut, little held whatever comes, and the times and gaps.

#include "codec/frame.h"
#include "codec/framesplitter.h"
#include "busframes.h"
#include "support/datarows.h"

namespace {

constexpr int kGapMs = 100;

// Feeds the stream in pieces of the given sizes (cycled), each 1 ms short of the
// gap time after the last but exactly the gap time before each offset in `gaps`;
// `expire` is called before each piece when asked.
QVector<BusRecord> split(const QByteArray &stream, const QVector<int> &pieces, const QVector<int> &gaps = {},
                         bool expireAtGaps = false, qsizetype *maxHeld = nullptr)
{
    FrameSplitter splitter(kGapMs);
    QVector<BusRecord> items;
    qint64 now = 1000;
    for (int k = 0, at = 0, nextGap = 0; at < stream.size(); ++k) {
        const bool gap = nextGap < gaps.size() && gaps.at(nextGap) == at;
        nextGap += gap ? 1 : 0;
        now += gap ? kGapMs : kGapMs - 1;
        if (expireAtGaps)
            splitter.expire(now, items);
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

// A long stream of everything a line carries; `sure` gets the offsets of frames
// nothing before can take over (after a maximal frame's length of frames and
// 0xFF filler, or a gap).
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
