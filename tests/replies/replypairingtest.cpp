// The pairing rule as scenarios read from tests/data/replies/scenarios.txt,
// and the delay figures of tests/data/replies/delayfigures.txt.

#include "codec/frame.h"
#include "replies/replypairing.h"
#include "support/datarows.h"
#include "support/replyrecords.h"

namespace {

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
    // Each row: settings, frames, the requests settled and the unsolicited and dropped counts.
    void scenario_data() { addDataRows(QStringLiteral("replies/scenarios.txt")); }
    void scenario()
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
            const PairingStep step = pairing.add(replyRecord(frame), ++sequence);
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
    void delayFigures_data() { addDataRows(QStringLiteral("replies/delayfigures.txt")); }
    void delayFigures()
    {
        QFETCH(QStringList, row);
        DelaySummary summary;
        for (const QString &us : row[0].split(QLatin1Char(' '), Qt::SkipEmptyParts))
            summary.add(us.toLongLong());
        const QString figures =
            QStringLiteral("%1 %2 %3").arg(summary.percentileUs(50)).arg(summary.percentileUs(95)).arg(summary.maxUs());
        QCOMPARE(figures, row[1]);
    }
};

QTEST_GUILESS_MAIN(ReplyPairingTest)
#include "replypairingtest.moc"
