// The send row's rules, on a session connected to a pseudo-terminal: Send
// once, "every" ticked with and without a frame in the field, and what
// stops a repeat. (The row's widgets: buslayouttest.)
#include "bustools/sendtool.h"
#include "busframes.h"
#include "ptysession.h"
#include "support/datarows.h"

#include <QtTest>

class SendToolTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        bus.reset(new PtySession);
        QVERIFY(bus->open());
    }
    void cleanup() { bus.reset(); }

    void rules_data() { addDataRows(QStringLiteral("bustools/sendrules.txt")); }
    void rules()
    {
        QFETCH(QStringList, row);
        const QString steps = row[0], said = unescaped(row[4]);
        const bool repeating = row[1] == QLatin1String("1"), ticked = row[2] == QLatin1String("1");
        const int written = row[3].toInt();
        const QByteArray frame = statusFrame(0xAB, 1);
        SendTool tool(&bus->session);
        tool.setIntervalMs(20);
        QSignalSpy messages(&tool, &SendTool::message);
        QSignalSpy unticked(&tool, &SendTool::repeatChanged);
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            if (step == QLatin1String("tick"))
                tool.setRepeat(true, frameToHexText(frame));
            else if (step == QLatin1String("tick-empty"))
                tool.setRepeat(true, QStringLiteral(" "));
            else if (step == QLatin1String("send"))
                tool.send(frameToHexText(frame));
            else if (step == QLatin1String("send-bad"))
                tool.send(QStringLiteral("12 34"));
            else if (step == QLatin1String("close"))
                bus->session.close();
        }
        QCOMPARE(bus->session.isRepeating(), repeating);
        QCOMPARE(tool.repeat(), ticked);
        // Unticked by the tool exactly when it was ticked and is no more.
        QCOMPARE(unticked.count(), steps.startsWith(QLatin1String("tick")) && !ticked ? 1 : 0);
        if (repeating) {
            QCOMPARE(bus->device.read(3 * frame.size()), frame + frame + frame);
        } else {
            if (written >= 0)
                QCOMPARE(bus->device.read(written * frame.size(), 500), frame.repeated(written));
            else
                bus->device.read(1 << 16, 50); // what was under way
            QCOMPARE(bus->device.read(1, 100), QByteArray());
        }
        const QString last = messages.isEmpty() ? QString() : messages.last().at(0).toString();
        const bool error = !messages.isEmpty() && messages.last().at(1).toBool();
        QCOMPARE(error, said.startsWith(QLatin1Char('!')));
        QVERIFY2(said.isEmpty() ? last.isEmpty() : last.startsWith(said.mid(error ? 1 : 0)), qPrintable(last));
        if (said == QLatin1String("Sending "))
            QCOMPARE(messages.first().at(0).toString(),
                     QStringLiteral("Sending %1 every 20 ms").arg(frameToHexText(frame)));
    }

    // A frame sent once, as the Encode page sends it: what became of it.
    void sendFrameSaysHowItWent()
    {
        SendTool tool(&bus->session);
        QSignalSpy results(&tool, &SendTool::sendResult);
        const QByteArray frame = statusFrame(0xAC, 2);
        tool.sendFrame(frame);
        QCOMPARE(bus->device.read(frame.size()), frame);
        tool.sendFrame(frame.left(5));
        bus->session.close();
        tool.sendFrame(frame);
        QCOMPARE(results.count(), 3);
        QCOMPARE(results.at(0).at(0).toString(), QStringLiteral("Sent ") + frameToHexText(frame));
        QVERIFY(!results.at(0).at(1).toBool());
        QVERIFY(results.at(1).at(0).toString().startsWith(QStringLiteral("Not sent: ")));
        QCOMPARE(results.at(2).at(0).toString(), QStringLiteral("Not connected: connect to a port to send"));
        QVERIFY(results.at(1).at(1).toBool() && results.at(2).at(1).toBool());
    }

private:
    std::unique_ptr<PtySession> bus;
};

QTEST_GUILESS_MAIN(SendToolTest)
#include "sendtooltest.moc"
