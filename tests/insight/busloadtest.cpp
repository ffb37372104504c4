// Bus load and the counts of frames, bad checksums and noise, against
// figures worked out by hand (tests/data/insight/busload*.table).

#include "insight/busload.h"
#include "support/busrecords.h"
#include "support/tablerows.h"

#include <QtTest>

namespace {

// "9600 8N1", "10000 8E2", "300 5N1.5".
WireFormat wireFormat(const QByteArray &text)
{
    const QByteArrayList parts = text.split(' ');
    WireFormat format;
    format.baudRate = parts.at(0).toInt();
    format.dataBits = parts.at(1).at(0) - '0';
    format.parity = parts.at(1).at(1) != 'N';
    format.stopBits = parts.at(1).mid(2).toDouble();
    return format;
}

QString rates(const LoadFigures &f)
{
    return QStringLiteral("%1 frames/s, %2 %").arg(f.framesPerSecond, 0, 'g', 6).arg(f.busLoad, 0, 'g', 6);
}

} // namespace

class BusLoadTest : public QObject
{
    Q_OBJECT

private slots:
    void overall_data() { tablerows::addRows("insight/busload.table"); }
    void overall()
    {
        QFETCH(QByteArrayList, cells);
        BusLoadMeter meter(wireFormat(cells.at(0)));
        meter.add(busRecords(QString::fromLatin1(cells.at(1))));
        const LoadFigures f = meter.overall();
        QCOMPARE(QStringLiteral("%1 frames, %2 bad, %3 noise bytes; %4 s, %5; %6 steps back (%7 ms)")
                     .arg(f.frames).arg(f.badChecksums).arg(f.noiseBytes).arg(f.seconds, 0, 'g', 6).arg(rates(f))
                     .arg(f.clockStepsBack).arg(f.largestStepBackUs / 1000),
                 QString::fromUtf8(cells.at(2)));
        meter.clear();
        QCOMPARE(meter.overall().frames, quint64(0));
        QCOMPARE(meter.overall().firstUs, qint64(-1));
    }

    void recent_data() { tablerows::addRows("insight/busload-recent.table"); }
    void recent()
    {
        QFETCH(QByteArrayList, cells);
        BusLoadMeter meter(wireFormat("9600 8N1"));
        const int perSecond = cells.at(0).toInt();
        for (int i = 0; i < 6 * perSecond; ++i)
            meter.add(busRecord(BusRecord::Received, qint64(i) * 1000000 / perSecond, QByteArray(10, 'x')));
        const qint64 nowUs = cells.at(1).toLongLong() * 1000;
        const LoadFigures f = cells.at(2) == "live" ? meter.live(nowUs) : meter.lastSecond(nowUs);
        QCOMPARE(rates(f), QString::fromUtf8(cells.at(3)));
        QCOMPARE(f.framesPerSecond, double(f.frames));
    }
};

QTEST_GUILESS_MAIN(BusLoadTest)
#include "busloadtest.moc"
