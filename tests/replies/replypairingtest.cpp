// The pairing rule as scenarios read from tests/data/replies/scenarios.txt,
// and the delay figures worked out by hand.

#include "codec/frame.h"
#include "replies/replypairing.h"
#include "support/datarows.h"

namespace {

quint32 nodeOf(const QString &text)
{
    if (text == QLatin1String("*"))
        return kBroadcastAddress;
    if (text == QLatin1String("G"))
        return kGroupAddress;
    return text.toUInt();
}

// "12 A2>1": a frame at 12 ms, a reply from node 2 to node 1.
BusRecord frameOf(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QChar kind = parts.value(1).at(0);
    const QStringList route = parts.value(1).mid(1).split(QLatin1Char('>'));
    BusRecord record;
    record.timeUs = parts.value(0).toLongLong() * 1000;
    record.parsed = true;
    record.checksumOk = kind != QLatin1Char('B');
    record.messageKnown = kind != QLatin1Char('U');
    record.slaveMessage = kind == QLatin1Char('A') || kind == QLatin1Char('B');
    record.sourceAddress = nodeOf(route.value(0));
    record.destinationAddress = nodeOf(route.value(1));
    return record;
}

QString settledText(const PairedRequest &request)
{
    QString text = QString::number(request.timeUs / 1000);
    for (const PairedReply &reply : request.replies)
        text += QLatin1Char('+') + QString::number(reply.delayUs / 1000);
    return request.replies.isEmpty() ? text + QLatin1Char('-') : text;
}

} // namespace

class ReplyPairingTest : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();
    void delayFigures_data();
    void delayFigures();
};

// Each row: settings, frames, the requests settled and the unsolicited and dropped counts.
void ReplyPairingTest::scenario_data()
{
    addDataRows(QStringLiteral("replies/scenarios.txt"));
}

void ReplyPairingTest::scenario()
{
    QFETCH(QStringList, row);
    const QString settings = row[0], frames = row[1], requests = row[2], counts = row[3];
    ReplyPairing pairing;
    const QStringList setting = settings.split(QLatin1Char(' '));
    if (setting.first() == QLatin1String("timeout"))
        pairing.setTimeoutUs(setting.value(1).toLongLong() * 1000);
    else if (setting.first() == QLatin1String("hold"))
        pairing.setMaxHeld(setting.value(1).toInt());
    QStringList settled;
    quint64 answered = 0;
    quint64 unanswered = 0;
    pairing.setSettledHandler([&](const PairedRequest &request) {
        settled << settledText(request);
        ++(request.answered() ? answered : unanswered);
    });
    quint64 sequence = 0;
    for (const QString &frame : frames.split(QLatin1Char(','))) {
        const PairingStep step = pairing.add(frameOf(frame), ++sequence);
        // A reply names its request by the number it was given.
        if (step.kind == PairingStep::Answered || step.kind == PairingStep::Joined)
            QVERIFY(step.request > 0 && step.request < sequence);
    }
    pairing.finish();
    QCOMPARE(settled.isEmpty() ? QStringLiteral("none") : settled.join(QLatin1Char(' ')), requests);
    const ReplyStatistics &statistics = pairing.statistics();
    QCOMPARE(QStringLiteral("%1 %2").arg(statistics.unsolicited()).arg(statistics.dropped()), counts);
    QCOMPARE(statistics.overall().answered, answered);
    QCOMPARE(statistics.overall().unanswered(), unanswered);
    QCOMPARE(pairing.held(), 0);
}

// Delays in µs; median, 95th percentile and maximum worked out by hand:
// nearest rank, each rounded down to three significant digits but the maximum.
void ReplyPairingTest::delayFigures_data()
{
    QTest::addColumn<QVector<qint64>>("delays");
    QTest::addColumn<QVector<qint64>>("figures");
    QTest::newRow("none") << QVector<qint64>{} << QVector<qint64>{-1, -1, -1};
    QTest::newRow("one") << QVector<qint64>{12345} << QVector<qint64>{12300, 12300, 12345};
    QTest::newRow("two: the lower is the median") << QVector<qint64>{20000, 10000}
                                                  << QVector<qint64>{10000, 20000, 20000};
    // 20 delays of 1..20 ms: rank 10 and rank 19.
    QVector<qint64> twenty;
    for (int ms = 20; ms >= 1; --ms)
        twenty << ms * 1000;
    QTest::newRow("twenty") << twenty << QVector<qint64>{10000, 19000, 20000};
    QTest::newRow("steps") << QVector<qint64>{999, 1001, 1009, 999999, 59999999}
                           << QVector<qint64>{1000, 59900000, 59999999};
}

void ReplyPairingTest::delayFigures()
{
    QFETCH(QVector<qint64>, delays);
    QFETCH(QVector<qint64>, figures);
    DelaySummary summary;
    for (const qint64 us : delays)
        summary.add(us);
    QCOMPARE((QVector<qint64>{summary.percentileUs(50), summary.percentileUs(95), summary.maxUs()}), figures);
}

QTEST_GUILESS_MAIN(ReplyPairingTest)
#include "replypairingtest.moc"
