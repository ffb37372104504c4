// Where a plot's line breaks, where its ticks fall, and the unit of a
// parameter's description: numbers worked out by hand.

#include "codec/plotshape.h"

#include <QTest>

class PlotShapeTest : public QObject
{
    Q_OBJECT

private slots:
    void gaps_data()
    {
        QTest::addColumn<QVector<qint64>>("times");
        QTest::addColumn<double>("gap");
        QTest::newRow("one point") << QVector<qint64>{5} << 0.0;
        // Spacings 1 s, 1 s, 150 s, 1 s, 1 s: the median is 1 s.
        QTest::newRow("a silence of 150 s")
            << QVector<qint64>{0, 1000000, 2000000, 152000000, 153000000, 154000000} << 10.0;
        // 20 ms apart: ten times is 0.2 s, under the second at least.
        QTest::newRow("fast") << QVector<qint64>{0, 20000, 40000, 60000} << 1.0;
        QTest::newRow("one time") << QVector<qint64>{7, 7, 7} << 1.0;
    }
    void gaps()
    {
        QFETCH(QVector<qint64>, times);
        QTEST(gapSeconds(times), "gap");
    }

    void split()
    {
        const QVector<QPointF> points{{0, 1}, {1, 2}, {2, 3}, {152, 4}, {153, 5}, {300, 6}};
        const QVector<QVector<QPointF>> parts = splitAtGaps(points, 10);
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts.at(0), (QVector<QPointF>{{0, 1}, {1, 2}, {2, 3}}));
        QCOMPARE(parts.at(1), (QVector<QPointF>{{152, 4}, {153, 5}}));
        QCOMPARE(parts.at(2), (QVector<QPointF>{{300, 6}}));
        QCOMPARE(splitAtGaps(points, 0).size(), 1);
        QCOMPARE(splitAtGaps({}, 10).size(), 0);
    }

    void ticks_data()
    {
        QTest::addColumn<double>("span");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("decimals");
        // The spans that gave 58.120 and 116.239: 290.6 s in five is 58.1: 100.
        QTest::newRow("290.6 s") << 290.6 << 100.0 << 0;
        QTest::newRow("4 s") << 4.0 << 1.0 << 0;
        QTest::newRow("154 s") << 154.0 << 50.0 << 0;
        QTest::newRow("2 s") << 2.0 << 0.5 << 1;
        QTest::newRow("0.04 s") << 0.04 << 0.01 << 2;
        QTest::newRow("0.075 s") << 0.075 << 0.02 << 2;
        QTest::newRow("none") << 0.0 << 0.0 << 0;
    }
    void ticks()
    {
        QFETCH(double, span);
        QFETCH(double, step);
        QVERIFY2(qAbs(roundTickStep(span) - step) < 1e-12, qPrintable(QString::number(roundTickStep(span))));
        QTEST(tickDecimals(roundTickStep(span)), "decimals");
    }

    void units_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("unit");
        QTest::newRow("plain") << "Daylight in lux." << "lux";
        QTest::newRow("up to a comma") << "Slat angle in degrees, negative towards the inside." << "degrees";
        QTest::newRow("words") << "Temperature in tenths of a degree Celsius." << "tenths of a degree Celsius";
        QTest::newRow("none") << "Speed profile." << "";
        QTest::newRow("a sentence") << "Set in the factory when the drive was made and never changed again by anyone."
                                    << "";
        QTest::newRow("no end") << "Voltage in V" << "V";
        QTest::newRow("a hex value's tool tip") << "Offset in steps\nValue in hexa" << "steps";
    }
    void units()
    {
        QFETCH(QString, description);
        QTEST(unitOfDescription(description), "unit");
    }
};

QTEST_GUILESS_MAIN(PlotShapeTest)
#include "plotshapetest.moc"
