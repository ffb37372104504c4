// The values of a parameter over time: which frames a series takes, decoding
// each frame once, and the points drawn over a plot's columns (decimation.txt);
// where a plot's line breaks, where its ticks fall, and the unit of a
// parameter's description (plotshape.txt).

#include "codec/valueseries.h"

#include "codec/framedecoding.h"
#include "codec/plotshape.h"
#include "cataloguefiles.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

#include <QTemporaryDir>

namespace {

// Product "Ranger" (node type 3) with message "Sample" (0x30) of the given
// parameters and message "Other" (0x31) of one byte "P".
struct SampleCatalogue
{
    QTemporaryDir dir;
    std::unique_ptr<DecodeCatalogue> catalogue;

    explicit SampleCatalogue(const QByteArray &parameters)
    {
        writeProfile(dir.path(),
                     "<message name=\"Sample\" category=\"C\" msg_id=\"0x30\">" + parameters
                         + "</message><message name=\"Other\" category=\"C\" msg_id=\"0x31\">"
                           "<parameter name=\"P\" type=\"integer\" size=\"1\"/></message>",
                     "Ranger");
        catalogue.reset(new DecodeCatalogue(dir.filePath(QStringLiteral("xml"))));
    }
};

const quint32 kSource = 0x000A1B;

// A record as the bus session hands it out: header fields and checksum read.
BusRecord recordOf(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind = BusRecord::Received)
{
    BusRecord record;
    record.bytes = bytes, record.timeUs = timeUs, record.kind = kind;
    if (kind == BusRecord::Received || kind == BusRecord::Sent) {
        const FrameFields fields = unpackFrame(bytes);
        record.parsed = bytes.size() >= kFrameOverheadBytes, record.checksumOk = checksumMatches(bytes);
        record.messageId = fields.messageId, record.sourceAddress = fields.sourceAddress;
    }
    return record;
}

BusRecord sampleRecord(const QByteArray &data, qint64 timeUs, quint8 messageId = 0x30)
{
    return recordOf(deviceFrame(messageId, data, kSource), timeUs);
}

SeriesKey keyOf(const QString &parameter)
{
    return SeriesKey{kSource, QStringLiteral("Ranger"), 0x30, QStringLiteral("Sample"), parameter};
}

const QByteArray kNamed = "<parameter name=\"N\" type=\"integer\" size=\"1\"><value value=\"1\" description=\"On\"/>"
                          "<value value=\"2\" description=\"Off\"/></parameter>";

QVector<qint64> numbers(const QString &field)
{
    QVector<qint64> list;
    for (const QString &number : field.split(' ', Qt::SkipEmptyParts))
        list << number.toLongLong();
    return list;
}

} // namespace

class ValueSeriesTest : public QObject
{
    Q_OBJECT

private slots:
    // The number as read, a signed one with its sign, whatever the parameter shows.
    void numbers_data() { addDataRows(QStringLiteral("codec/rawnumbers.txt")); }
    void numbers()
    {
        QFETCH(QStringList, row);
        SampleCatalogue files(row[0].toUtf8());
        ValueExtractor extractor(*files.catalogue);
        const int index = extractor.addSeries(keyOf(QStringLiteral("P")));
        QCOMPARE(extractor.feed(sampleRecord(unescapedBytes(row[1]), 1500)), row[2] == "-" ? 0 : 1);
        const ValueSeries &series = extractor.series(index);
        if (series.isEmpty())
            return;
        QCOMPARE(series.times().constFirst(), qint64(1500));
        QCOMPARE(series.values().constFirst(), row[3].toDouble());
        QCOMPARE(series.kind(), row[0].contains("bitfield") ? SeriesKind::Bitfield
                     : row[0].contains("<value")          ? SeriesKind::Named
                                                          : SeriesKind::Number);
    }

    // A frame offers to plot the parameters whose series take it.
    void matching_data() { addDataRows(QStringLiteral("codec/seriesmatching.txt")); }
    void matching()
    {
        QFETCH(QStringList, row);
        const BusRecord::Kind kind = QVector<BusRecord::Kind>{BusRecord::Received, BusRecord::Sent, BusRecord::Noise,
                                                              BusRecord::Event}
                                         .value(QStringList{"RX", "TX", "noise", "event"}.indexOf(row[1]));
        BusRecord record = recordOf(hexBytes(row[0]), 10, kind);
        if (row[2] == "0")
            record.parsed = false, record.sourceAddress = 0, record.messageId = 0;
        SampleCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>" + kNamed);
        ValueExtractor extractor(*files.catalogue);
        const int index = extractor.addSeries(keyOf(row[3]));
        QCOMPARE(extractor.feed(QVector<BusRecord>{record}), row[4].toInt());
        QCOMPARE(extractor.series(index).size(), row[4].toInt());
        bool offered = false;
        for (const PlottableParameter &plottable : plottableParameters(files.catalogue->decodeBytes(record.bytes)))
            offered = offered || plottable.key == keyOf(row[3]);
        QVERIFY(kind == BusRecord::Noise || kind == BusRecord::Event || offered == (row[4] == "1"));
    }

    // A named-value series knows the names it met for its axis; a number the
    // catalogue does not name gives a point but no name.
    void namesOfValues()
    {
        SampleCatalogue files(kNamed);
        ValueExtractor extractor(*files.catalogue);
        const int index = extractor.addSeries(keyOf(QStringLiteral("N")));
        QVector<BusRecord> batch;
        for (const char *value : {"01", "02", "07", "01"})
            batch << sampleRecord(QByteArray::fromHex(value), 100 * batch.size());
        QCOMPARE(extractor.feed(batch), 4);
        const ValueSeries &series = extractor.series(index);
        QCOMPARE(series.values(), (QVector<double>{1, 2, 7, 1}));
        QCOMPARE(series.times(), (QVector<qint64>{0, 100, 200, 300}));
        QCOMPARE(series.names(), (QMap<qint64, QString>{{1, QStringLiteral("On")}, {2, QStringLiteral("Off")}}));
    }

    // A frame seen again is not decoded again; the cache stays bounded.
    void eachFrameDecodedOnce()
    {
        SampleCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
        int calls = 0;
        ValueExtractor extractor([&](const QByteArray &bytes) {
            ++calls;
            return files.catalogue->decodeBytes(bytes);
        });
        extractor.addSeries(keyOf(QStringLiteral("P")));
        QVector<BusRecord> batch;
        for (int i = 0; i < 300; ++i)
            batch << sampleRecord(QByteArray(1, char(i % 3)), i);
        QCOMPARE(extractor.feed(batch), 300);
        QCOMPARE(calls, 3);
        QCOMPARE(extractor.decodedCount(), quint64(3));
        // Frames of another message are not decoded at all.
        extractor.feed(sampleRecord(QByteArray(1, 5), 400, 0x31));
        QCOMPARE(calls, 3);
        // More distinct frames than the cache holds still all give their points.
        batch.clear();
        for (int i = 0; i < ValueExtractor::kCacheLimit + 10; ++i)
            batch << sampleRecord(QByteArray::fromHex("0000") + QByteArray::number(i), 1000 + i);
        ValueExtractor second(*files.catalogue);
        second.addSeries(keyOf(QStringLiteral("P")));
        QCOMPARE(second.feed(batch), batch.size());
        QCOMPARE(second.feed(batch), batch.size());
    }

    void decimation_data() { addDataRows(QStringLiteral("codec/decimation.txt")); }
    void decimation()
    {
        QFETCH(QStringList, row);
        const QVector<qint64> times = ::numbers(row[0]), values = ::numbers(row[1]);
        QVector<double> doubles;
        QVector<QPointF> expected;
        for (qint64 value : values)
            doubles << double(value);
        for (qint64 i : ::numbers(row[6]))
            expected << QPointF(double(times.at(int(i)) - 2) / 1e6, doubles.at(int(i)));
        QCOMPARE(decimate(times, doubles, row[2].toLongLong(), row[3].toLongLong(), row[4].toInt(), 2, row[5] == "1"),
                 expected);
    }

    // Lines in steps, each value held until the next point; lines broken at gaps.
    void stepsAndGaps()
    {
        const QVector<QPointF> steps{{0, 1}, {1, 2}, {2, 2}, {3, 0}};
        QCOMPARE(stepPoints(steps), (QVector<QPointF>{{0, 1}, {1, 1}, {1, 2}, {2, 2}, {3, 2}, {3, 0}}));
        QCOMPARE(stepPoints({}), QVector<QPointF>{});
        const QVector<QPointF> points{{0, 1}, {1, 2}, {2, 3}, {152, 4}, {153, 5}, {300, 6}};
        QCOMPARE(splitAtGaps(points, 10),
                 (QVector<QVector<QPointF>>{{{0, 1}, {1, 2}, {2, 3}}, {{152, 4}, {153, 5}}, {{300, 6}}}));
        QCOMPARE(splitAtGaps(points, 0).size(), 1);
        QCOMPARE(splitAtGaps({}, 10).size(), 0);
    }

    void shapes_data() { addDataRows(QStringLiteral("codec/plotshape.txt")); }
    void shapes()
    {
        QFETCH(QStringList, row);
        const QStringList expected = row[2].split(' ');
        if (row[0] == "gap") {
            QCOMPARE(gapSeconds(::numbers(row[1])), row[2].toDouble());
        } else if (row[0] == "tick") {
            const double step = roundTickStep(row[1].toDouble());
            QVERIFY2(qAbs(step - expected[0].toDouble()) < 1e-12, qPrintable(QString::number(step)));
            QCOMPARE(tickDecimals(step), expected[1].toInt());
        } else {
            QCOMPARE(unitOfDescription(unescaped(row[1])), row[2]);
        }
    }
};

QTEST_GUILESS_MAIN(ValueSeriesTest)
#include "valueseriestest.moc"
