// The Bus page's figures in words: the counters line and the load line.
#include "bustools/busfigures.h"
#include "support/datarows.h"

#include <QtTest>

class BusFiguresTest : public QObject
{
    Q_OBJECT

private slots:
    void countersText_data() { addDataRows(QStringLiteral("bustools/counters.txt")); }
    void countersText()
    {
        QFETCH(QStringList, row);
        QVector<quint64> n;
        for (const QString &number : QString(row[0] + QLatin1Char(' ') + row[1]).split(QLatin1Char(' ')))
            n << number.toULongLong();
        CounterFigures figures;
        figures.counters.received = n[0];
        figures.counters.sent = n[1];
        figures.counters.badChecksums = n[2];
        figures.counters.noiseBytes = n[3];
        figures.counters.droppedWhilePaused = n[4];
        figures.counters.droppedUnread = n[5];
        figures.droppedFromList = n[6];
        figures.droppedFromLatest = n[7];
        figures.paused = row[2].toInt() >= 0;
        figures.waiting = qMax(0, row[2].toInt());
        QCOMPARE(::countersText(figures), row[3]);
    }

    // Live, the frames of the last second; over a log, its rate to a tenth.
    void loadText()
    {
        LoadFigures figures;
        figures.frames = 12;
        figures.framesPerSecond = 1.96;
        figures.busLoad = 6.76;
        figures.badChecksums = 1;
        figures.noiseBytes = 5;
        const QString rest = QStringLiteral(" \u00b7 load 6.8 % \u00b7 1 bad checksums \u00b7 5 noise bytes");
        QCOMPARE(::loadText(figures, false), QStringLiteral("12 frames/s") + rest);
        QCOMPARE(::loadText(figures, true), QStringLiteral("over the log: 2.0 frames/s") + rest);
    }
};

QTEST_GUILESS_MAIN(BusFiguresTest)
#include "busfigurestest.moc"
