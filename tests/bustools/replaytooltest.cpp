// Replay's rules, on a session connected to a pseudo-terminal: what is
// refused unplayed, how a replay ends and what each end says, Pause too.
// (How the frames are timed: busclitest; the Replay row: buspageinsighttest.)
#include "bustools/replaytool.h"
#include "busframes.h"
#include "buslogs.h"
#include "ptysession.h"
#include "support/datarows.h"

#include <QtTest>

class ReplayToolTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        tool.reset(); // before the session it plays on
        bus.reset(new PtySession);
        tool.reset(new ReplayTool(&bus->session));
        QVERIFY(bus->open());
    }

    void refused_data() { addDataRows(QStringLiteral("bustools/replayrefused.txt")); }
    void refused()
    {
        QFETCH(QStringList, row);
        const QByteArray content = unescapedBytes(row[0]);
        const QString said = row[1];
        const QString path = dir.filePath(QStringLiteral("refused.log"));
        QVERIFY(writeFile(path, content));
        if (content.isEmpty())
            bus->session.close();
        QSignalSpy messages(tool.get(), &ReplayTool::message);
        QSignalSpy started(tool.get(), &ReplayTool::started);
        QVERIFY(!tool->start(path));
        QCOMPARE(started.count(), 0);
        QCOMPARE(messages.count(), 1);
        QCOMPARE(messages.at(0).at(0).toString(), QString(said).replace(QStringLiteral("PATH"), path));
        QVERIFY(messages.at(0).at(1).toBool());
        QCOMPARE(bus->device.read(1, 300), QByteArray());
    }

    // However it ends, it says so once, and no frame follows.
    void ends_data() { addDataRows(QStringLiteral("bustools/replayends.txt")); }
    void ends()
    {
        QFETCH(QStringList, row);
        const QString how = row[0], said = unescaped(row[1]);
        const QString path = spacedLog(3, how == QLatin1String("played") ? 20000 : 300000);
        QSignalSpy messages(tool.get(), &ReplayTool::message);
        QSignalSpy ended(tool.get(), &ReplayTool::ended);
        QVERIFY(tool->start(path));
        QCOMPARE(messages.last().at(0).toString(), QStringLiteral("Replaying 3 frames of ") + path);
        QCOMPARE(bus->device.read(12), statusFrame(0x10, 0));
        if (how == QLatin1String("stop"))
            tool->stop();
        else if (how == QLatin1String("close"))
            bus->session.close();
        else if (how == QLatin1String("lost"))
            bus->device.closeMaster();
        if (how == QLatin1String("pause")) { // the frames held back until resumed
            tool->togglePause();
            QVERIFY(tool->isPaused());
            QCOMPARE(bus->device.read(1, 700), QByteArray());
            tool->togglePause();
        }
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
        const bool error = said.startsWith(QLatin1Char('!'));
        const QString last = messages.last().at(0).toString();
        QVERIFY2(last.startsWith(said.mid(error ? 1 : 0).replace(QStringLiteral("PATH"), path)), qPrintable(last));
        QCOMPARE(messages.last().at(1).toBool(), error);
        QCOMPARE(messages.count(), 2);
        if (how == QLatin1String("played") || how == QLatin1String("pause"))
            QCOMPARE(bus->device.read(24, 4000), statusFrame(0x11, 1) + statusFrame(0x12, 2));
        if (how != QLatin1String("lost"))
            QCOMPARE(bus->device.read(1, 700), QByteArray());
    }

private:
    // A log of `count` frames (sources 0x10, 0x11, …) `spacingUs` apart.
    QString spacedLog(int count, qint64 spacingUs)
    {
        QVector<BusRecord> records;
        for (int i = 0; i < count; ++i)
            records << logged(statusFrame(quint32(0x10 + i), quint8(i)), kBaseUs + i * spacingUs);
        const QString path = dir.filePath(QStringLiteral("spaced%1.log").arg(++logs));
        return writeLog(path, records) ? path : QString();
    }

    static constexpr qint64 kBaseUs = 1709632800000000; // 2024-03-05 10:00 UTC
    QTemporaryDir dir;
    int logs = 0;
    std::unique_ptr<PtySession> bus;
    std::unique_ptr<ReplayTool> tool;
};

QTEST_GUILESS_MAIN(ReplayToolTest)
#include "replaytooltest.moc"
