// The Bus page's figures in words: the counters line and the load line.
#include "bustools/busfigures.h"

#include <QtTest>

class BusFiguresTest : public QObject
{
    Q_OBJECT

private slots:
    void countersText_data()
    {
        QTest::addColumn<QVector<quint64>>("counts"); // received, sent, bad, noise bytes, dropped while paused, unread
        QTest::addColumn<QVector<quint64>>("dropped"); // from the list, from Latest
        QTest::addColumn<int>("waiting");              // held back while paused; -1: not paused
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << QVector<quint64>{0, 0, 0, 0, 0, 0} << QVector<quint64>{0, 0} << -1
                                     << "0 received, 0 sent, 0 bad checksums, 0 bytes of noise";
        QTest::newRow("one of each") << QVector<quint64>{7, 2, 1, 1, 0, 0} << QVector<quint64>{0, 0} << -1
                                     << "7 received, 2 sent, 1 bad checksum, 1 byte of noise";
        QTest::newRow("dropped, three ways") << QVector<quint64>{9, 0, 0, 0, 3, 4} << QVector<quint64>{2, 0} << -1
                                             << "9 received, 0 sent, 0 bad checksums, 0 bytes of noise, "
                                                "9 older dropped";
        QTest::newRow("dropped from Latest") << QVector<quint64>{9, 0, 0, 0, 0, 0} << QVector<quint64>{0, 5} << -1
                                             << "9 received, 0 sent, 0 bad checksums, 0 bytes of noise, "
                                                "5 dropped from Latest";
        QTest::newRow("paused") << QVector<quint64>{9, 0, 0, 2, 1, 0} << QVector<quint64>{0, 0} << 6
                                << "9 received, 0 sent, 0 bad checksums, 2 bytes of noise, 1 older dropped "
                                   "(paused, 6 waiting)";
    }
    void countersText()
    {
        QFETCH(QVector<quint64>, counts);
        QFETCH(QVector<quint64>, dropped);
        QFETCH(int, waiting);
        QFETCH(QString, text);
        CounterFigures figures;
        figures.counters.received = counts.at(0);
        figures.counters.sent = counts.at(1);
        figures.counters.badChecksums = counts.at(2);
        figures.counters.noiseBytes = counts.at(3);
        figures.counters.droppedWhilePaused = counts.at(4);
        figures.counters.droppedUnread = counts.at(5);
        figures.droppedFromList = dropped.at(0);
        figures.droppedFromLatest = dropped.at(1);
        figures.paused = waiting >= 0;
        figures.waiting = qMax(0, waiting);
        QCOMPARE(::countersText(figures), text);
    }

    // Live, the frames of the last second; over a log, its rate to a tenth.
    void loadText_data()
    {
        QTest::addColumn<bool>("overLog");
        QTest::addColumn<QString>("text");
        QTest::newRow("live") << false << "12 frames/s \u00b7 load 6.8 % \u00b7 1 bad checksums \u00b7 5 noise bytes";
        QTest::newRow("over the log")
            << true << "over the log: 2.0 frames/s \u00b7 load 6.8 % \u00b7 1 bad checksums \u00b7 5 noise bytes";
    }
    void loadText()
    {
        QFETCH(bool, overLog);
        QFETCH(QString, text);
        LoadFigures figures;
        figures.frames = 12;
        figures.framesPerSecond = 1.96;
        figures.busLoad = 6.76;
        figures.badChecksums = 1;
        figures.noiseBytes = 5;
        QCOMPARE(::loadText(figures, overLog), text);
    }
};

QTEST_GUILESS_MAIN(BusFiguresTest)
#include "busfigurestest.moc"
