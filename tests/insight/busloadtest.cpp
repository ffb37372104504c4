// Bus load and the counts of frames, bad checksums and noise, against
// figures worked out by hand.

#include "insight/busload.h"

#include <QtTest>

namespace {

constexpr qint64 kSecond = 1000000;

BusRecord frameAt(qint64 timeUs, int bytes, bool checksumOk = true)
{
    BusRecord record;
    record.kind = BusRecord::Received;
    record.timeUs = timeUs;
    record.bytes = QByteArray(bytes, '\x55');
    record.parsed = true;
    record.checksumOk = checksumOk;
    return record;
}

BusRecord noiseAt(qint64 timeUs, int bytes)
{
    BusRecord record = frameAt(timeUs, bytes);
    record.kind = BusRecord::Noise;
    record.parsed = false;
    return record;
}

WireFormat format(qint32 baud, int dataBits, bool parity, double stopBits)
{
    WireFormat f;
    f.baudRate = baud;
    f.dataBits = dataBits;
    f.parity = parity;
    f.stopBits = stopBits;
    return f;
}

} // namespace

Q_DECLARE_METATYPE(WireFormat)

class BusLoadTest : public QObject
{
    Q_OBJECT

private slots:
    void bitsPerByte_data();
    void bitsPerByte();
    void overall_data();
    void overall();
    void lastSecond_data();
    void lastSecond();
};

void BusLoadTest::bitsPerByte_data()
{
    QTest::addColumn<WireFormat>("wire");
    QTest::addColumn<double>("bits");
    QTest::newRow("8N1") << format(9600, 8, false, 1) << 10.0;
    QTest::newRow("8E1") << format(9600, 8, true, 1) << 11.0;
    QTest::newRow("7E1") << format(9600, 7, true, 1) << 10.0;
    QTest::newRow("8N2") << format(9600, 8, false, 2) << 11.0;
    QTest::newRow("5N1.5") << format(9600, 5, false, 1.5) << 7.5;
}

void BusLoadTest::bitsPerByte()
{
    QFETCH(WireFormat, wire);
    QFETCH(double, bits);
    QCOMPARE(wire.bitsPerByte(), bits);
    // Ten bytes of 8N1 at 9600 baud: 100 bits, 10416.67 µs.
    QCOMPARE(wire.wireTimeUs(10), 10 * bits * 1e6 / 9600);
}

void BusLoadTest::overall_data()
{
    QTest::addColumn<QVector<BusRecord>>("records");
    QTest::addColumn<WireFormat>("wire");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<quint64>("bad");
    QTest::addColumn<quint64>("noise");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("framesPerSecond");
    QTest::addColumn<double>("load");
    QTest::addColumn<int>("stepsBack");
    QTest::addColumn<int>("largestStepBackMs");

    // Ten 10-byte frames at 9600 8N1, 100 ms apart: 1000 bits over
    // 0.9 s + the first frame's 100 bits (10.4167 ms) = 0.9104167 s,
    // 1000 / 9600 / 0.9104167 = 11.4416 %.
    QVector<BusRecord> spaced;
    for (int i = 0; i < 10; ++i)
        spaced << frameAt(i * 100000, 10);
    QTest::newRow("10 frames, 100 ms apart") << spaced << format(9600, 8, false, 1) << quint64(10) << quint64(0)
                                             << quint64(0) << 0.9 + 100.0 / 9600 << 10 / (0.9 + 100.0 / 9600)
                                             << 100.0 * (1000.0 / 9600) / (0.9 + 100.0 / 9600) << 0 << 0;
    // Back to back at 10000 baud 8N1: 10 ms each, the line full.
    QVector<BusRecord> full;
    for (int i = 0; i < 5; ++i)
        full << frameAt(10000 + i * 10000, 10);
    QTest::newRow("back to back") << full << format(10000, 8, false, 1) << quint64(5) << quint64(0) << quint64(0)
                                  << 0.05 << 100.0 << 100.0 << 0 << 0;
    // The same with 8E2: 12 bits a byte, so 120 bits do not fit in 10 ms.
    QTest::newRow("back to back, 8E2") << full << format(10000, 8, true, 2) << quint64(5) << quint64(0)
                                       << quint64(0) << 0.052 << 5 / 0.052 << 100.0 * 0.06 / 0.052 << 0 << 0;
    // Noise counts on the wire, not as frames; a bad frame is a frame.
    QVector<BusRecord> mixed{frameAt(0, 20), noiseAt(500000, 30), frameAt(1000000, 20, false),
                             eventRecord(1500000, QStringLiteral("Disconnected"))};
    QTest::newRow("noise and a bad frame") << mixed << format(1000, 8, false, 1) << quint64(2) << quint64(1)
                                           << quint64(30) << 1.2 << 2 / 1.2 << 100.0 * 0.7 / 1.2 << 0 << 0;
    QVector<BusRecord> untimed{frameAt(-1, 10), frameAt(-1, 10)};
    QTest::newRow("no times") << untimed << format(9600, 8, false, 1) << quint64(2) << quint64(0) << quint64(0)
                              << 0.0 << 0.0 << 0.0 << 0 << 0;
    // At 1000 baud 8N1 a byte takes 10 ms. The clock set back 2 s: the span
    // runs from the earliest frame (1 s, its 20 bytes 0.2 s before) to the
    // latest (3 s), 2.2 s; 50 bytes take 0.5 s of it.
    QVector<BusRecord> setBack{frameAt(2000000, 10), frameAt(3000000, 10), frameAt(1000000, 20),
                               frameAt(1500000, 10)};
    QTest::newRow("clock set back") << setBack << format(1000, 8, false, 1) << quint64(4) << quint64(0)
                                    << quint64(0) << 2.2 << 4 / 2.2 << 100.0 * 0.5 / 2.2 << 1 << 2000;
    // A frame told of 100 ms late is no step of the clock: 0.1 s + 2 s.
    QVector<BusRecord> late{frameAt(0, 10), frameAt(1000000, 10), frameAt(900000, 10), frameAt(2000000, 10)};
    QTest::newRow("told of late") << late << format(1000, 8, false, 1) << quint64(4) << quint64(0) << quint64(0)
                                  << 2.1 << 4 / 2.1 << 100.0 * 0.4 / 2.1 << 0 << 0;
}

void BusLoadTest::overall()
{
    QFETCH(QVector<BusRecord>, records);
    QFETCH(WireFormat, wire);
    BusLoadMeter meter(wire);
    meter.add(records);
    const LoadFigures figures = meter.overall();
    QTEST(figures.frames, "frames");
    QTEST(figures.badChecksums, "bad");
    QTEST(figures.noiseBytes, "noise");
    QFETCH(double, seconds);
    QFETCH(double, framesPerSecond);
    QFETCH(double, load);
    QVERIFY2(qAbs(figures.seconds - seconds) < 1e-9, qPrintable(QString::number(figures.seconds, 'f', 9)));
    QVERIFY2(qAbs(figures.framesPerSecond - framesPerSecond) < 1e-6, qPrintable(QString::number(figures.framesPerSecond)));
    QVERIFY2(qAbs(figures.busLoad - load) < 1e-6, qPrintable(QString::number(figures.busLoad, 'f', 6)));
    QTEST(int(figures.clockStepsBack), "stepsBack");
    QTEST(int(figures.largestStepBackUs / 1000), "largestStepBackMs");
    meter.clear();
    QCOMPARE(meter.overall().frames, quint64(0));
    QCOMPARE(meter.overall().firstUs, qint64(-1));
}

void BusLoadTest::lastSecond_data()
{
    QTest::addColumn<int>("perSecond");   // 10-byte frames a second, spread evenly
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<quint64>("frames");
    QTest::addColumn<double>("load");
    QTest::addColumn<bool>("live");

    // 9600 8N1: 96 frames of 100 bits fill a second.
    QTest::newRow("96 a second: full") << 96 << qint64(5990) << quint64(96) << 100.0 << false;
    QTest::newRow("48 a second: half") << 48 << qint64(5990) << quint64(48) << 50.0 << false;
    QTest::newRow("stopped a second ago") << 48 << qint64(7000) << quint64(0) << 0.0 << false;
    // Live, the second ends at the newest frame (5.989583 s) while it is
    // less than 300 ms old: the frames still on their way are not missed.
    QTest::newRow("live, 60 ms on") << 96 << qint64(6050) << quint64(96) << 100.0 << true;
    QTest::newRow("live, 210 ms on") << 96 << qint64(6200) << quint64(96) << 100.0 << true;
    // Later it ends 300 ms before now: the second up to 6.8 s, to the
    // 10 ms (5.81 s on), holds 9 frames of 48 a second (5.812500 s to 5.979167 s).
    QTest::newRow("live, a second on") << 48 << qint64(7100) << quint64(9) << 9.375 << true;
    QTest::newRow("live, stopped") << 48 << qint64(7500) << quint64(0) << 0.0 << true;
}

void BusLoadTest::lastSecond()
{
    QFETCH(int, perSecond);
    QFETCH(qint64, nowMs);
    BusLoadMeter meter(format(9600, 8, false, 1));
    // Six seconds of traffic, 0 to 5.99 s.
    for (int i = 0; i < 6 * perSecond; ++i)
        meter.add(frameAt(qint64(i) * kSecond / perSecond, 10));
    QFETCH(bool, live);
    const LoadFigures figures = live ? meter.live(nowMs * 1000) : meter.lastSecond(nowMs * 1000);
    QTEST(figures.frames, "frames");
    QFETCH(double, load);
    QVERIFY2(qAbs(figures.busLoad - load) < 1e-9, qPrintable(QString::number(figures.busLoad, 'f', 6)));
    QCOMPARE(figures.framesPerSecond, double(figures.frames));
}

QTEST_GUILESS_MAIN(BusLoadTest)
#include "busloadtest.moc"
