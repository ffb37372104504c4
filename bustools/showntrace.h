#ifndef KWN_BUSTOOLS_SHOWNTRACE_H
#define KWN_BUSTOOLS_SHOWNTRACE_H

// What the Bus page shows: the live bus (the page's session and its store)
// or, while one is open, a log apart from it, with a store of its own (room
// for TraceStore::kOpenedFileCapacity records) and a session of its own,
// which counts and times its records as the live one does the bus's. Each
// session's batches go into its own store here, so the live bus goes on
// into its store while a log is shown; connecting a port shows the live bus
// again. The panels ask this which store and session to show.

#include "codec/busrecord.h"

#include <QObject>
#include <QVector>

class BusSession;
class TraceStore;
struct WireFormat;

class ShownTrace : public QObject
{
    Q_OBJECT

public:
    ShownTrace(BusSession *liveSession, TraceStore *liveStore, QObject *parent = nullptr);

    // The opened log's while it is shown, else the live bus's.
    TraceStore *store() const;
    BusSession *session() const;
    BusSession *liveSession() const { return m_liveSession; }
    TraceStore *liveStore() const { return m_liveStore; }
    // Null while the live bus is shown.
    BusSession *fileSession() const { return m_fileSession; }
    TraceStore *fileStore() const { return m_fileStore; }
    bool isShowingOpenedLog() const { return m_fileStore != nullptr; }

    // A new store and session for a log being opened, shown in place of the
    // live bus (or of the log opened before, which goes first).
    void showOpenedLog();
    // Back to the live bus; the opened log's records are let go.
    void showLiveBus();
    // Empties the live bus's store and counters, and shows it.
    void clear();
    // The live store's ring size (TraceStore::kDefaultCapacity unless set),
    // which is also as much as the live session holds back while paused.
    // Empties the store.
    void setCapacity(int records);
    // Of the live store and the opened log's.
    void setWireFormat(const WireFormat &format);

signals:
    // The store and session shown are others now.
    void shownChanged();
    // Around a batch going into the store shown: a view of it keeps its
    // place or follows the new records.
    void appending();
    void appended();
    // The counters of the session shown (or the live one's) changed.
    void countersChanged();
    // clear() emptied the live bus.
    void cleared();

private:
    void append(TraceStore *store, const QVector<BusRecord> &batch);

    BusSession *m_liveSession = nullptr;
    TraceStore *m_liveStore = nullptr;
    BusSession *m_fileSession = nullptr;
    TraceStore *m_fileStore = nullptr;
};

#endif
