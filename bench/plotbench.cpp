// A plot of 1,000,000 points, under the offscreen platform: taking the
// points from frames, decimating them per pixel column, and drawing the
// whole window (decimation, the chart's lines and the grab of its pixels),
// then again zoomed in on a tenth.
//
//   plotbench [points]       default 1,000,000

#include "benchutil.h"
#include "charts/plotwindow.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "codec/valueseries.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>

#include <cmath>
#include <cstdio>

namespace {

const quint32 kSource = 0x000A1B;
const qint64 kStartUs = 1765000000000000;

bool writeCatalogue(const QString &folder)
{
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/p.xml"));
    return file.open(QIODevice::WriteOnly)
        && file.write("<profiles_def><profile product=\"Ranger\" revision=\"1\" node_type=\"3\"/>"
                      "<message name=\"Sample\" category=\"C\" msg_id=\"0x30\">"
                      "<parameter name=\"Position\" type=\"integer\" size=\"2\" sign=\"signed\"/>"
                      "</message></profiles_def>")
        > 0;
}

// A record as the session gives it, the header read.
BusRecord sampleRecord(int i)
{
    // A slow wave with a ripple: a few thousand distinct frames.
    const qint16 value = qint16(1000 * std::sin(i / 5000.0) + (i * 7919) % 41);
    QByteArray data;
    data.append(char(quint16(value) & 0xFF)).append(char(quint16(value) >> 8));
    BusRecord record;
    record.bytes = packFrame(0x30, false, 13, 3, 0, kSource, 1, data);
    record.timeUs = kStartUs + qint64(i) * 1000;
    record.parsed = true;
    record.checksumOk = true;
    record.messageId = 0x30;
    record.sourceAddress = kSource;
    return record;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int points = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("xml"));
    if (!writeCatalogue(folder))
        return 2;
    DecodeCatalogue catalogue(folder);
    SeriesKey key;
    key.sourceAddress = kSource;
    key.device = QStringLiteral("Ranger");
    key.messageId = 0x30;
    key.message = QStringLiteral("Sample");
    key.parameter = QStringLiteral("Position");

    PlotWindow window([&catalogue](const QByteArray &bytes) { return catalogue.decodeBytes(bytes); });
    window.addSeries(key, SeriesKind::Number);
    window.resize(1200, 700);
    window.show();
    QApplication::processEvents();

    const BenchFigures take = measure(1, [&] {
        QVector<BusRecord> batch;
        batch.reserve(10000);
        for (int i = 0; i < points; ++i) {
            batch.append(sampleRecord(i));
            if (batch.size() == 10000 || i == points - 1) {
                window.addRecords(batch);
                batch.clear();
            }
        }
    });
    std::printf("%d points in the series\n", window.seriesData(0).size());
    reportInfo("plot: take 1,000,000 points from frames", take, 3000);

    const ValueSeries &series = window.seriesData(0);
    const BenchFigures decimation = measure(9, [&] {
        decimate(series.times(), series.values(), series.times().constFirst(), series.times().constLast(), 1100,
                 series.times().constFirst());
    });
    bool ok = report("plot: decimate 1,000,000 points to 1100 columns", decimation, 100);

    const BenchFigures whole = measure(5, [&] {
        window.refresh();
        window.grab();
    });
    std::printf("%d points drawn of %d\n", window.line(0)->count(), series.size());
    ok = report("plot: draw 1,000,000 points (refresh and grab)", whole, 1000) && ok;

    const qint64 from = series.times().constFirst();
    const qint64 span = series.times().constLast() - from;
    int step = 0;
    const BenchFigures zoomed = measure(5, [&] {
        const qint64 at = from + span / 10 * (step++ % 9);
        window.setViewUs(at, at + span / 10);
        window.refresh();
        window.grab();
    });
    ok = report("plot: draw a tenth of them, zoomed in", zoomed, 1000) && ok;
    return ok ? 0 : 1;
}
