#include "codec/valueseries.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "cataloguefiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

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

QByteArray frameOf(const QByteArray &data, quint8 messageId = 0x30, quint32 source = kSource, quint8 nodeType = 3)
{
    return packFrame(messageId, false, quint8(data.size() + kFrameOverheadBytes), nodeType, 0, source, 0x000001, data);
}

// A record as the bus session hands it out: header fields and checksum read.
BusRecord recordOf(const QByteArray &bytes, qint64 timeUs, BusRecord::Kind kind = BusRecord::Received)
{
    BusRecord record;
    record.bytes = bytes;
    record.timeUs = timeUs;
    record.kind = kind;
    if (kind == BusRecord::Received || kind == BusRecord::Sent) {
        const FrameFields fields = unpackFrame(bytes);
        record.parsed = bytes.size() >= kFrameOverheadBytes;
        record.checksumOk = checksumMatches(bytes);
        record.messageId = fields.messageId;
        record.sourceAddress = fields.sourceAddress;
    }
    return record;
}

SeriesKey keyOf(const QString &parameter, quint8 messageId = 0x30, const QString &message = QStringLiteral("Sample"))
{
    SeriesKey key;
    key.sourceAddress = kSource;
    key.device = QStringLiteral("Ranger");
    key.messageId = messageId;
    key.message = message;
    key.parameter = parameter;
    return key;
}

const QByteArray kNamed = "<parameter name=\"N\" type=\"integer\" size=\"1\"><value value=\"1\" description=\"On\"/>"
                          "<value value=\"2\" description=\"Off\"/></parameter>";

} // namespace

class ValueSeriesTest : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void matching_data();
    void matching();
    void namesOfValues();
    void eachFrameDecodedOnce();
    void decimation_data();
    void decimation();
    void decimationKeepsEachColumnsExtremes();
    void steps();
};

void ValueSeriesTest::numbers_data()
{
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("number");
    QTest::addColumn<int>("kind");
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    const int number = int(SeriesKind::Number);
    QTest::newRow("unsigned") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"2\"/>") << hex("2c01")
                              << 300.0 << number;
    QTest::newRow("unsigned, size 4") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"4\"/>")
                                      << hex("ffffffff") << 4294967295.0 << number;
    QTest::newRow("signed") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\" sign=\"signed\"/>")
                            << hex("fb") << -5.0 << number;
    QTest::newRow("hexa") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"2\" input_format=\"hexa\"/>")
                          << hex("ab0c") << 3243.0 << number;
    QTest::newRow("signed hexa")
        << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"2\" sign=\"signed\" input_format=\"hexa\"/>")
        << hex("feff") << -2.0 << number;
    QTest::newRow("bitfield") << QByteArray("<parameter name=\"P\" type=\"bitfield\" size=\"2\"><value value=\"0\" "
                                            "description=\"A\"/></parameter>")
                              << hex("f202") << 754.0 << int(SeriesKind::Bitfield);
    QTest::newRow("named") << QByteArray(kNamed).replace("\"N\"", "\"P\"") << hex("02") << 2.0 << int(SeriesKind::Named);
    QTest::newRow("named, no entry") << QByteArray(kNamed).replace("\"N\"", "\"P\"") << hex("07") << 7.0
                                     << int(SeriesKind::Named);
    QTest::newRow("signed named") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\" sign=\"signed\">"
                                                "<value value=\"-1\" description=\"Minus one\"/></parameter>")
                                  << hex("ff") << -1.0 << int(SeriesKind::Named);
    // Named by the catalogue, though the name reads as the number: still names.
    QTest::newRow("named by its own number") << QByteArray("<parameter name=\"P\" type=\"integer\" size=\"1\">"
                                                           "<value value=\"16\" description=\"10\"/></parameter>")
                                             << hex("10") << 16.0 << int(SeriesKind::Named);
    QTest::newRow("after a string") << QByteArray("<parameter name=\"S\" type=\"string\" size=\"2\"/>"
                                                  "<parameter name=\"P\" type=\"integer\" size=\"1\"/>")
                                    << QByteArray("42\x09") << 9.0 << number;
}

// The number as read, a signed one with its sign, whatever the parameter shows.
void ValueSeriesTest::numbers()
{
    QFETCH(QByteArray, parameter);
    QFETCH(QByteArray, data);
    QFETCH(double, number);
    QFETCH(int, kind);
    SampleCatalogue files(parameter);
    ValueExtractor extractor(*files.catalogue);
    const int index = extractor.addSeries(keyOf(QStringLiteral("P")));
    QCOMPARE(extractor.feed(recordOf(frameOf(data), 1500)), 1);
    const ValueSeries &series = extractor.series(index);
    QCOMPARE(series.size(), 1);
    QCOMPARE(series.times().constFirst(), qint64(1500));
    QCOMPARE(series.values().constFirst(), number);
    QCOMPARE(int(series.kind()), kind);
}

void ValueSeriesTest::matching_data()
{
    QTest::addColumn<BusRecord>("record");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<int>("points");
    const QByteArray data = QByteArray::fromHex("0501");
    const QByteArray good = frameOf(data);
    QTest::newRow("its frame") << recordOf(good, 10) << "P" << 1;
    QTest::newRow("its frame, sent") << recordOf(good, 10, BusRecord::Sent) << "P" << 1;
    QTest::newRow("its second parameter") << recordOf(good, 10) << "N" << 1;
    QTest::newRow("no such parameter") << recordOf(good, 10) << "Q" << 0;
    QTest::newRow("other source") << recordOf(frameOf(data, 0x30, 0x000A1C), 10) << "P" << 0;
    QTest::newRow("other message, same parameter name") << recordOf(frameOf(data, 0x31), 10) << "P" << 0;
    QTest::newRow("other device") << recordOf(frameOf(data, 0x30, kSource, 4), 10) << "P" << 0;
    QByteArray bad = good;
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x11);
    QTest::newRow("bad checksum") << recordOf(bad, 10) << "P" << 0;
    BusRecord badUnparsed = recordOf(bad, 10);
    badUnparsed.parsed = false;
    QTest::newRow("bad checksum, header not read") << badUnparsed << "P" << 0;
    BusRecord bare = recordOf(good, 10);
    bare.parsed = false;
    bare.sourceAddress = 0;
    bare.messageId = 0;
    QTest::newRow("its frame, header not read") << bare << "P" << 1;
    QTest::newRow("cut short: parameter missing") << recordOf(frameOf(data.left(1)), 10) << "N" << 0;
    QTest::newRow("noise") << recordOf(good, 10, BusRecord::Noise) << "P" << 0;
    QTest::newRow("event") << recordOf(good, 10, BusRecord::Event) << "P" << 0;
    QTest::newRow("too short to be a frame") << recordOf(good.left(8), 10) << "P" << 0;
}

// A series takes the frames of its source, device and message that decode,
// and only those; a frame offers to plot the parameters whose series take it.
void ValueSeriesTest::matching()
{
    QFETCH(BusRecord, record);
    QFETCH(QString, parameter);
    QFETCH(int, points);
    SampleCatalogue files("<parameter name=\"P\" type=\"integer\" size=\"1\"/>" + kNamed);
    ValueExtractor extractor(*files.catalogue);
    const int index = extractor.addSeries(keyOf(parameter));
    QCOMPARE(extractor.feed(QVector<BusRecord>{record}), points);
    QCOMPARE(extractor.series(index).size(), points);
    // A frame's plottable parameters are those whose series take it.
    if (record.kind == BusRecord::Received || record.kind == BusRecord::Sent) {
        bool offered = false;
        for (const PlottableParameter &plottable : plottableParameters(files.catalogue->decodeBytes(record.bytes)))
            offered = offered || plottable.key == keyOf(parameter);
        QCOMPARE(offered, points > 0);
    }
}

// A named-value series knows the names it met for its axis; a number the
// catalogue does not name gives a point but no name.
void ValueSeriesTest::namesOfValues()
{
    SampleCatalogue files(kNamed);
    ValueExtractor extractor(*files.catalogue);
    const int index = extractor.addSeries(keyOf(QStringLiteral("N")));
    QVector<BusRecord> batch;
    for (const char *value : {"01", "02", "07", "01"})
        batch << recordOf(frameOf(QByteArray::fromHex(value)), 100 * batch.size());
    QCOMPARE(extractor.feed(batch), 4);
    const ValueSeries &series = extractor.series(index);
    QCOMPARE(series.kind(), SeriesKind::Named);
    QCOMPARE(series.values(), (QVector<double>{1, 2, 7, 1}));
    QCOMPARE(series.times(), (QVector<qint64>{0, 100, 200, 300}));
    QMap<qint64, QString> names;
    names.insert(1, QStringLiteral("On"));
    names.insert(2, QStringLiteral("Off"));
    QCOMPARE(series.names(), names);
}

// A frame seen again is not decoded again; the cache stays bounded.
void ValueSeriesTest::eachFrameDecodedOnce()
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
        batch << recordOf(frameOf(QByteArray(1, char(i % 3))), i);
    QCOMPARE(extractor.feed(batch), 300);
    QCOMPARE(calls, 3);
    QCOMPARE(extractor.decodedCount(), quint64(3));
    // Frames of another message are not decoded at all.
    extractor.feed(recordOf(frameOf(QByteArray(1, 5), 0x31), 400));
    QCOMPARE(calls, 3);
    // More distinct frames than the cache holds still all give their points.
    batch.clear();
    for (int i = 0; i < ValueExtractor::kCacheLimit + 10; ++i)
        batch << recordOf(frameOf(QByteArray::fromHex("0000") + QByteArray::number(i)), 1000 + i);
    SampleCatalogue wide("<parameter name=\"P\" type=\"integer\" size=\"1\"/>");
    ValueExtractor second(*wide.catalogue);
    second.addSeries(keyOf(QStringLiteral("P")));
    QCOMPARE(second.feed(batch), batch.size());
    QCOMPARE(second.feed(batch), batch.size());
}

void ValueSeriesTest::decimation_data()
{
    QTest::addColumn<QVector<qint64>>("times");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QVector<int>>("kept"); // indices of the points drawn

    QTest::newRow("none") << QVector<qint64>{} << QVector<double>{} << qint64(0) << qint64(10) << 5 << true
                          << QVector<int>{};
    QTest::newRow("single point") << QVector<qint64>{4} << QVector<double>{7} << qint64(0) << qint64(10) << 5 << true
                                  << QVector<int>{0};
    QTest::newRow("single point, range of one µs") << QVector<qint64>{4} << QVector<double>{7} << qint64(4)
                                                   << qint64(4) << 3 << true << QVector<int>{0};
    QTest::newRow("all equal: first and last") << QVector<qint64>{0, 1, 2, 3, 4, 5} << QVector<double>(6, 3.0)
                                               << qint64(0) << qint64(5) << 1 << true << QVector<int>{0, 5};
    QTest::newRow("first, max, min, last in order")
        << QVector<qint64>{0, 1, 2, 3, 4} << QVector<double>{1, 9, -4, 2, 5} << qint64(0) << qint64(4) << 1 << true
        << QVector<int>{0, 1, 2, 4};
    QTest::newRow("min before max") << QVector<qint64>{0, 1, 2, 3, 4} << QVector<double>{1, -4, 2, 9, 5} << qint64(0)
                                    << qint64(4) << 1 << true << QVector<int>{0, 1, 3, 4};
    QTest::newRow("per column") << QVector<qint64>{0, 1, 2, 3, 10, 11, 12, 13}
                                << QVector<double>{5, 1, 8, 5, 0, -3, 6, 0} << qint64(0) << qint64(19) << 2 << true
                                << QVector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("middle dropped") << QVector<qint64>{0, 1, 2, 3, 4, 5} << QVector<double>{5, 1, 3, 2, 8, 5}
                                    << qint64(0) << qint64(9) << 1 << true << QVector<int>{0, 1, 4, 5};
    QTest::newRow("neighbours outside the range") << QVector<qint64>{0, 10, 20, 30, 40}
                                                  << QVector<double>{1, 2, 3, 4, 5} << qint64(15) << qint64(35) << 4
                                                  << true << QVector<int>{1, 2, 3, 4};
    QTest::newRow("nothing in range, the line across")
        << QVector<qint64>{0, 100} << QVector<double>{1, 2} << qint64(40) << qint64(60) << 10 << true
        << QVector<int>{0, 1};
    QTest::newRow("no columns") << QVector<qint64>{0, 1} << QVector<double>{1, 2} << qint64(0) << qint64(1) << 0
                                << true << QVector<int>{};
    QTest::newRow("range backwards") << QVector<qint64>{0, 1} << QVector<double>{1, 2} << qint64(1) << qint64(0) << 4
                                     << true << QVector<int>{};
    // Out of order: every point is looked at and put in the column of its
    // time; what is kept is drawn in the series' own order.
    QTest::newRow("unsorted times") << QVector<qint64>{30, 0, 20, 50, 10, 40}
                                    << QVector<double>{1, 2, 3, 4, 5, 6} << qint64(0) << qint64(39) << 4 << false
                                    << QVector<int>{0, 1, 2, 4};
    QTest::newRow("unsorted, one column") << QVector<qint64>{30, 0, 20, 10} << QVector<double>{1, 2, 9, 0}
                                          << qint64(0) << qint64(39) << 1 << false << QVector<int>{0, 2, 3};
}

void ValueSeriesTest::decimation()
{
    QFETCH(QVector<qint64>, times);
    QFETCH(QVector<double>, values);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, columns);
    QFETCH(bool, sorted);
    QFETCH(QVector<int>, kept);
    const qint64 origin = 2;
    QVector<QPointF> expected;
    for (int i : kept)
        expected << QPointF(double(times.at(i) - origin) / 1e6, values.at(i));
    QCOMPARE(decimate(times, values, from, to, columns, origin, sorted), expected);
}

// Many random points: at most four per column and the two neighbours, and
// each column's smallest and largest value, and the first and last point, drawn.
void ValueSeriesTest::decimationKeepsEachColumnsExtremes()
{
    QRandomGenerator random(7);
    QVector<qint64> times;
    QVector<double> values;
    qint64 t = 0;
    for (int i = 0; i < 20000; ++i) {
        t += random.bounded(1, 50);
        times << t;
        values << double(random.bounded(-1000, 1000));
    }
    const int columns = 37;
    const qint64 from = times.constFirst();
    const qint64 to = times.constLast();
    const QVector<QPointF> points = decimate(times, values, from, to, columns, 0);
    QVERIFY(points.size() <= 4 * columns + 2);
    QVERIFY(points.size() >= 2 * columns);
    QCOMPARE(points.constFirst(), QPointF(double(from) / 1e6, values.constFirst()));
    QCOMPARE(points.constLast(), QPointF(double(to) / 1e6, values.constLast()));
    for (int i = 1; i < points.size(); ++i)
        QVERIFY(points.at(i).x() >= points.at(i - 1).x());
    const double scale = double(columns) / (double(to) - double(from) + 1.0);
    const auto columnOf = [&](qint64 time) { return int(double(time - from) * scale); };
    for (int column = 0; column < columns; ++column) {
        double low = 1e9, high = -1e9, drawnLow = 1e9, drawnHigh = -1e9;
        for (int i = 0; i < times.size(); ++i) {
            if (columnOf(times.at(i)) == column) {
                low = qMin(low, values.at(i));
                high = qMax(high, values.at(i));
            }
        }
        for (const QPointF &p : points) {
            if (columnOf(qRound64(p.x() * 1e6)) == column) {
                drawnLow = qMin(drawnLow, p.y());
                drawnHigh = qMax(drawnHigh, p.y());
            }
        }
        QCOMPARE(drawnLow, low);
        QCOMPARE(drawnHigh, high);
    }
}

void ValueSeriesTest::steps()
{
    const QVector<QPointF> points{{0, 1}, {1, 2}, {2, 2}, {3, 0}};
    QCOMPARE(stepPoints(points), (QVector<QPointF>{{0, 1}, {1, 1}, {1, 2}, {2, 2}, {3, 2}, {3, 0}}));
    QCOMPARE(stepPoints({}), QVector<QPointF>{});
}

QTEST_GUILESS_MAIN(ValueSeriesTest)
#include "valueseriestest.moc"
