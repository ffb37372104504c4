// The Bus page's opened log, apart from the live bus: its own store (room
// for TraceStore::kOpenedFileCapacity records) and its own session, which
// counts and times its records; the list, Latest and Nodes show it while
// it is open. The live bus goes on into the page's own store meanwhile.

#include "monitor/buslayout.h"

#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "monitor/nodetablemodel.h"
#include "serial/buslogloader.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/pagestyle.h"

TraceStore *BusLayout::shownStore() const
{
    return fileStore ? fileStore : traceStore;
}

BusSession *BusLayout::shownSession() const
{
    return fileSession ? fileSession : busSession;
}

void BusLayout::showOpenedLog()
{
    // The log opened before goes first, and its memory with it.
    showLiveBus();
    fileSession = named(new BusSession(QStringLiteral("xml"), this), QStringLiteral("fileSession"));
    fileStore = named(new TraceStore(this), QStringLiteral("fileStore"));
    fileStore->setCapacity(TraceStore::kOpenedFileCapacity);
    fileStore->setWireFormat(traceStore->load().wireFormat());
    connect(fileSession, &BusSession::recordsReady, this,
            [this](const QVector<BusRecord> &batch) { appendToList(fileStore, batch); });
    connect(fileSession, &BusSession::countersChanged, this, &BusLayout::showCounters);
    frameModel->setStore(fileStore);
    latestModel->setStore(fileStore);
    nodeModel->setStore(fileStore);
    showCounters();
}

void BusLayout::showLiveBus()
{
    logLoader->cancel();
    if (!fileStore)
        return;
    frameModel->setStore(traceStore);
    latestModel->setStore(traceStore);
    nodeModel->setStore(traceStore);
    delete fileSession;
    delete fileStore;
    fileSession = nullptr;
    fileStore = nullptr;
    insightOfLog = false;
    showCounters();
    showInsight();
}
