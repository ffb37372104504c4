// The replies of the Bus page's rows: the pairing over the store shown, each
// row's delay, the links between rows and the Replies table, as scenarios.
#include "bustools/replytool.h"
#include "bustools/showntrace.h"
#include "codec/frame.h"
#include "serial/bussession.h"
#include "serial/serialconnection.h"
#include "trace/tracestore.h"

#include <QtTest>

namespace {

// "12 Q1>2": at 12 ms a request from node 1 to node 2 (A: a reply; * is all).
BusRecord recordOf(const QString &text, qint64 originUs)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QStringList route = parts.value(1).mid(1).split(QLatin1Char('>'));
    auto node = [](const QString &id) { return id == QLatin1String("*") ? kBroadcastAddress : id.toUInt(); };
    BusRecord record;
    record.timeUs = originUs + parts.value(0).toLongLong() * 1000;
    record.parsed = record.checksumOk = record.messageKnown = true;
    record.slaveMessage = parts.value(1).startsWith(QLatin1Char('A'));
    record.device = QStringLiteral("QX-Drive 40");
    record.message = record.slaveMessage ? QStringLiteral("Post Motor Status") : QStringLiteral("Get Motor Status");
    record.sourceAddress = node(route.value(0));
    record.destinationAddress = node(route.value(1));
    return record;
}

// Each row's reply: - none, w waiting, n no reply, u unsolicited, 5 answered
// after 5 ms, r5 a reply 5 ms after its request.
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

// "0:1,2": the rows the first row links to, by their place.
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
    void scenario_data()
    {
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("frames");
        QTest::addColumn<int>("advanceMs"); // -1: none; -2: the live clock's timer
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("links");
        QTest::addColumn<QString>("table"); // the first row: node, requests, answered, unanswered, median, p95, max

        QTest::newRow("prompt") << 1000 << "0 Q1>2; 5 A2>1" << -1 << "5 r5" << "0:1 1:0"
                                << "000002 1 1 0 5.000 5.000 5.000";
        QTest::newRow("late") << 1000 << "0 Q1>2; 1500 A2>1" << -1 << "n u" << "" << "000002 1 0 1   ";
        QTest::newRow("late, a longer timeout") << 2000 << "0 Q1>2; 1500 A2>1" << -1 << "1500 r1500" << "0:1 1:0"
                                                << "000002 1 1 0 1500.000 1500.000 1500.000";
        QTest::newRow("interleaved") << 1000 << "0 Q1>2; 1 Q1>3; 5 A3>1; 6 A2>1" << -1 << "6 4 r4 r6"
                                     << "0:3 1:2 2:1 3:0" << "000002 1 1 0 6.000 6.000 6.000";
        QTest::newRow("missing") << 1000 << "0 Q1>2; 10 Q1>3" << 1100 << "n n" << "" << "000002 1 0 1   ";
        QTest::newRow("waiting") << 1000 << "0 Q1>2; 10 Q1>3" << 500 << "w w" << "" << "000002 0 0 0   ";
        QTest::newRow("unsolicited") << 1000 << "0 A2>1; 3 Q1>2; 4 A3>1" << 2000 << "u n u" << ""
                                     << "000002 1 0 1   ";
        QTest::newRow("broadcast, several replies")
            << 1000 << "0 Q1>*; 3 A2>1; 7 A3>1; 8 A2>4" << 2000 << "3 r3 r7 u" << "0:1,2 1:0 2:0"
            << "Broadcast 1 1 0 3.000 3.000 3.000";
        QTest::newRow("live, a silent bus") << 100 << "0 Q1>2; 10 A2>1; 20 Q1>2" << -2 << "10 r10 n" << "0:1 1:0"
                                            << "000002 2 1 1 10.000 10.000 10.000";
    }

    void scenario()
    {
        QFETCH(int, timeoutMs);
        QFETCH(QString, frames);
        QFETCH(int, advanceMs);
        QFETCH(QString, rows);
        QFETCH(QString, links);
        QFETCH(QString, table);
        BusSession session(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        TraceStore store;
        ShownTrace shown(&session, &store);
        ReplyTool tool(&shown);
        tool.setTimeoutMs(timeoutMs);
        // Live records came a moment ago, by the wall clock.
        const qint64 originUs = advanceMs == -2 ? wallClockUs() - ReplyTool::kLiveLagUs - 50000 : 0;
        QVector<BusRecord> batch;
        for (const QString &frame : frames.split(QLatin1Char(';')))
            batch << recordOf(frame, originUs);
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
        store.append({recordOf("0 Q1>2", 0), recordOf("1 Q1>3", 0)});
        store.append({recordOf("2 A2>1", 0)});
        QCOMPARE(rowsText(tool, store), QStringLiteral("w r2"));
        QCOMPARE(tool.linksOf(store.firstSeq() + 1).value(0).linked, false); // its request is gone

        shown.showOpenedLog();
        QCOMPARE(rowsText(tool, *shown.store()), QString());
        shown.fileSession()->load({recordOf("0 Q1>2", 0), recordOf("3 Q1>5", 0)});
        QCOMPARE(rowsText(tool, *shown.store()), QStringLiteral("w w"));
        tool.finishLog();
        QCOMPARE(rowsText(tool, *shown.store()), QStringLiteral("n n"));
        QCOMPARE(tool.filterText(1), QStringLiteral("destination == \"000005\" and message == \"Get Motor Status\""));
    }
};

QTEST_GUILESS_MAIN(ReplyToolTest)
#include "replytooltest.moc"
