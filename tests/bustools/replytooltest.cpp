// The replies of the Bus page's rows: the pairing over the store shown, each
// row's delay, the links between rows and the Replies table, as scenarios.
#include "bustools/replytool.h"
#include "bustools/showntrace.h"
#include "codec/frame.h"
#include "serial/bussession.h"
#include "serial/serialconnection.h"
#include "trace/tracestore.h"
#include "support/datarows.h"
#include "support/replyrecords.h"

#include <QtTest>

namespace {

// Each row's reply, as the scenarios write it.
QString rowsText(const ReplyTool &tool, const TraceStore &store)
{
    QStringList rows;
    for (quint64 seq = store.firstSeq(); seq < store.endSeq(); ++seq) {
        const ReplyTool::RowReply reply = tool.rowReply(seq);
        const QString ms = QString::number(reply.delayUs / 1000);
        const QString texts[] = {QStringLiteral("-"), QStringLiteral("w"), ms, QStringLiteral("n"), 'r' + ms,
                                 QStringLiteral("u")};
        rows << texts[int(reply.kind)];
    }
    return rows.join(QLatin1Char(' '));
}

// "0:1,2": the rows the first row links to.
QString linksText(const ReplyTool &tool, const TraceStore &store)
{
    QStringList rows;
    for (quint64 seq = store.firstSeq(); seq < store.endSeq(); ++seq) {
        QStringList linked;
        for (const ReplyTool::Link &link : tool.linksOf(seq)) {
            if (link.linked)
                linked << QString::number(link.sequence - store.firstSeq());
        }
        if (!linked.isEmpty())
            rows << QStringLiteral("%1:%2").arg(seq - store.firstSeq()).arg(linked.join(QLatin1Char(',')));
    }
    return rows.join(QLatin1Char(' '));
}

} // namespace

class ReplyToolTest : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data() { addDataRows(QStringLiteral("bustools/replyscenarios.txt")); }
    void scenario()
    {
        QFETCH(QStringList, row);
        const int timeoutMs = row[0].toInt();
        const QString frames = row[1];
        const int advanceMs = row[2].toInt();
        const QString rows = row[3], links = row[4], table = unescaped(row[5]);
        BusSession session(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        TraceStore store;
        ShownTrace shown(&session, &store);
        ReplyTool tool(&shown);
        tool.setTimeoutMs(timeoutMs);
        // Live records came a moment ago, by the wall clock.
        const qint64 originUs = advanceMs == -2 ? wallClockUs() - ReplyTool::kLiveLagUs - 50000 : 0;
        QVector<BusRecord> batch;
        for (const QString &frame : frames.split(QLatin1Char(';')))
            batch << replyRecord(frame, originUs);
        // The last frame comes in a batch of its own, as a live bus gives them.
        store.append(batch.mid(0, batch.size() - 1));
        store.append(batch.mid(batch.size() - 1));
        if (advanceMs >= 0)
            tool.advanceTo(originUs + advanceMs * 1000);
        if (advanceMs == -2)
            QTRY_COMPARE_WITH_TIMEOUT(rowsText(tool, store), rows, 2000);
        QCOMPARE(rowsText(tool, store), rows);
        QCOMPARE(linksText(tool, store), links);
        QStringList cells;
        for (int column : {ReplyTool::Node, ReplyTool::Requests, ReplyTool::Answered, ReplyTool::Unanswered,
                           ReplyTool::Median, ReplyTool::Percentile95, ReplyTool::Maximum})
            cells << tool.cellText(0, column);
        QCOMPARE(cells.join(QLatin1Char(' ')), table);
        QCOMPARE(tool.cellAlarm(0, ReplyTool::Unanswered), table.split(QLatin1Char(' ')).value(3) != "0");
    }

    // Rows the ring drops leave; an opened log is paired whole, apart from
    // the live bus, and settles at its end.
    void droppedRowsAndOpenedLog()
    {
        BusSession session(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        TraceStore store;
        ShownTrace shown(&session, &store);
        shown.setCapacity(2);
        ReplyTool tool(&shown);
        store.append({replyRecord("0 Q1>2"), replyRecord("1 Q1>3")});
        store.append({replyRecord("2 A2>1")});
        QCOMPARE(rowsText(tool, store), QStringLiteral("w r2"));
        QCOMPARE(tool.linksOf(store.firstSeq() + 1).value(0).linked, false); // its request is gone

        shown.showOpenedLog();
        QCOMPARE(rowsText(tool, *shown.store()), QString());
        shown.fileSession()->load({replyRecord("0 Q1>2"), replyRecord("3 Q1>5")});
        QCOMPARE(rowsText(tool, *shown.store()), QStringLiteral("w w"));
        tool.finishLog();
        QCOMPARE(rowsText(tool, *shown.store()), QStringLiteral("n n"));
        QCOMPARE(tool.filterText(1), QStringLiteral("destination == \"000005\" and message == \"Get Motor Status\""));
    }
};

QTEST_GUILESS_MAIN(ReplyToolTest)
#include "replytooltest.moc"
