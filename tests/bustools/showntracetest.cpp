// What the Bus page shows: the live bus or an opened log, each session's
// batches in its own store, Clear, the ring's size, and a port opened.
#include "bustools/showntrace.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "busframes.h"
#include "ptysession.h"

#include <QSignalSpy>
#include <QtTest>

class ShownTraceTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        live.reset(new BusSession(QStringLiteral(KWN_SOURCE_DIR "/xml")));
        store.reset(new TraceStore);
        shown.reset(new ShownTrace(live.get(), store.get()));
    }
    void cleanup()
    {
        shown.reset();
        store.reset();
        live.reset();
    }

    // An opened log has a store and a session of its own; the live bus goes
    // on into its store meanwhile, unseen, and is shown again with it.
    void openedLogApart()
    {
        live->load({frame(1)});
        QSignalSpy appending(shown.get(), &ShownTrace::appending);
        QSignalSpy appended(shown.get(), &ShownTrace::appended);
        shown->showOpenedLog();
        QVERIFY(shown->isShowingOpenedLog());
        QCOMPARE(shown->store(), shown->fileStore());
        QCOMPARE(shown->session(), shown->fileSession());
        shown->fileSession()->load({frame(2), frame(3)});
        QCOMPARE(appending.count(), 1); // a batch of the store shown
        QCOMPARE(appended.count(), 1);
        live->load({frame(4)});
        QCOMPARE(appending.count(), 1); // not of the live bus, unseen
        QCOMPARE(shown->fileStore()->heldCount(), 2);
        QCOMPARE(store->heldCount(), 2);
        QCOMPARE(shown->session()->counters().received, quint64(2));

        QSignalSpy changed(shown.get(), &ShownTrace::shownChanged);
        shown->showOpenedLog(); // another: the first goes
        QCOMPARE(changed.count(), 2);
        QCOMPARE(shown->fileStore()->heldCount(), 0);
        shown->showLiveBus();
        QCOMPARE(changed.count(), 3);
        QVERIFY(!shown->isShowingOpenedLog() && !shown->fileSession());
        QCOMPARE(shown->store(), store.get());
        QCOMPARE(store->heldRecord(1).bytes, frame(4).bytes);
    }

    // Clear: back to the live bus, empty, its counters too.
    void clear()
    {
        live->load({frame(1)});
        shown->showOpenedLog();
        QSignalSpy cleared(shown.get(), &ShownTrace::cleared);
        shown->clear();
        QCOMPARE(cleared.count(), 1);
        QVERIFY(!shown->isShowingOpenedLog());
        QCOMPARE(store->heldCount(), 0);
        QCOMPARE(live->counters().received, quint64(0));
    }

    // The ring's size is also as much as the session holds back while paused.
    void capacity()
    {
        shown->setCapacity(3);
        QCOMPARE(store->capacity(), 3);
        live->setPaused(true);
        live->load({frame(1), frame(2), frame(3), frame(4), frame(5)});
        QCOMPARE(live->heldCount(), 3);
        QCOMPARE(live->counters().droppedWhilePaused, quint64(2));
    }

    void portOpenedShowsLiveBus()
    {
        PtySession bus;
        ShownTrace shownOfPort(&bus.session, store.get());
        shownOfPort.showOpenedLog();
        QVERIFY(bus.open());
        QVERIFY(!shownOfPort.isShowingOpenedLog());
    }

private:
    BusRecord frame(int source) const
    {
        return live->prepare(statusFrame(quint32(source), 1), source * 1000, BusRecord::Received);
    }

    std::unique_ptr<BusSession> live;
    std::unique_ptr<TraceStore> store;
    std::unique_ptr<ShownTrace> shown;
};

QTEST_GUILESS_MAIN(ShownTraceTest)
#include "showntracetest.moc"
