// What the Bus page shows: the live bus or an opened log, each session's
// batches in its own store, Clear, the ring's size, and a port opened.
#include "busframes.h"
#include "support/shownbus.h"
#include "ptysession.h"

#include <QtTest>

class ShownTraceTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { bus.emplace(); }
    void cleanup() { bus.reset(); }

    // An opened log has a store and a session of its own; the live bus goes
    // on into its store meanwhile, unseen, and is shown again with it.
    void openedLogApart()
    {
        bus->live.load({frame(1)});
        QSignalSpy appending(&bus->shown, &ShownTrace::appending);
        QSignalSpy appended(&bus->shown, &ShownTrace::appended);
        bus->shown.showOpenedLog();
        QVERIFY(bus->shown.isShowingOpenedLog());
        QCOMPARE(bus->shown.store(), bus->shown.fileStore());
        QCOMPARE(bus->shown.session(), bus->shown.fileSession());
        bus->shown.fileSession()->load({frame(2), frame(3)});
        QCOMPARE(appending.count(), 1); // a batch of the store shown
        QCOMPARE(appended.count(), 1);
        bus->live.load({frame(4)});
        QCOMPARE(appending.count(), 1); // not of the live bus, unseen
        QCOMPARE(bus->shown.fileStore()->heldCount(), 2);
        QCOMPARE(bus->store.heldCount(), 2);
        QCOMPARE(bus->shown.session()->counters().received, quint64(2));

        QSignalSpy changed(&bus->shown, &ShownTrace::shownChanged);
        bus->shown.showOpenedLog(); // another: the first goes
        QCOMPARE(changed.count(), 2);
        QCOMPARE(bus->shown.fileStore()->heldCount(), 0);
        bus->shown.showLiveBus();
        QCOMPARE(changed.count(), 3);
        QVERIFY(!bus->shown.isShowingOpenedLog() && !bus->shown.fileSession());
        QCOMPARE(bus->shown.store(), &bus->store);
        QCOMPARE(bus->store.heldRecord(1).bytes, frame(4).bytes);
    }

    // Clear: back to the live bus, empty, its counters too. The ring's size
    // is also as much as the session holds back while paused.
    void clearAndCapacity()
    {
        bus->live.load({frame(1)});
        bus->shown.showOpenedLog();
        QSignalSpy cleared(&bus->shown, &ShownTrace::cleared);
        bus->shown.clear();
        QCOMPARE(cleared.count(), 1);
        QVERIFY(!bus->shown.isShowingOpenedLog());
        QCOMPARE(bus->store.heldCount(), 0);
        QCOMPARE(bus->live.counters().received, quint64(0));
        bus->shown.setCapacity(3);
        QCOMPARE(bus->store.capacity(), 3);
        bus->live.setPaused(true);
        bus->live.load({frame(1), frame(2), frame(3), frame(4), frame(5)});
        QCOMPARE(bus->live.heldCount(), 3);
        QCOMPARE(bus->live.counters().droppedWhilePaused, quint64(2));
    }

    void portOpenedShowsLiveBus()
    {
        PtySession port;
        ShownTrace shownOfPort(&port.session, &bus->store);
        shownOfPort.showOpenedLog();
        QVERIFY(port.open());
        QVERIFY(!shownOfPort.isShowingOpenedLog());
    }

private:
    BusRecord frame(int source)
    {
        return bus->live.prepare(statusFrame(quint32(source), 1), source * 1000, BusRecord::Received);
    }

    std::optional<ShownBus> bus;
};

QTEST_GUILESS_MAIN(ShownTraceTest)
#include "showntracetest.moc"
