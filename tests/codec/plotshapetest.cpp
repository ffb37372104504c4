// Where a plot's line breaks, where its ticks fall, and the unit of a
// parameter's description (tests/data/codec/plotshape.txt).

#include "codec/plotshape.h"
#include "support/datarows.h"

class PlotShapeTest : public QObject
{
    Q_OBJECT

private slots:
    void shapes_data() { addDataRows(QStringLiteral("codec/plotshape.txt")); }
    void shapes()
    {
        QFETCH(QStringList, row);
        const QStringList expected = row[2].split(' ');
        if (row[0] == "gap") {
            QVector<qint64> times;
            for (const QString &time : row[1].split(' '))
                times << time.toLongLong();
            QCOMPARE(gapSeconds(times), row[2].toDouble());
        } else if (row[0] == "tick") {
            const double step = roundTickStep(row[1].toDouble());
            QVERIFY2(qAbs(step - expected[0].toDouble()) < 1e-12, qPrintable(QString::number(step)));
            QCOMPARE(tickDecimals(step), expected[1].toInt());
        } else {
            QCOMPARE(unitOfDescription(unescaped(row[1])), row[2]);
        }
    }

    void split()
    {
        const QVector<QPointF> points{{0, 1}, {1, 2}, {2, 3}, {152, 4}, {153, 5}, {300, 6}};
        const QVector<QVector<QPointF>> parts = splitAtGaps(points, 10);
        QCOMPARE(parts, (QVector<QVector<QPointF>>{{{0, 1}, {1, 2}, {2, 3}}, {{152, 4}, {153, 5}}, {{300, 6}}}));
        QCOMPARE(splitAtGaps(points, 0).size(), 1);
        QCOMPARE(splitAtGaps({}, 10).size(), 0);
    }
};

QTEST_GUILESS_MAIN(PlotShapeTest)
#include "plotshapetest.moc"
