#include "bustools/showntrace.h"

#include "codec/framereport.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"

ShownTrace::ShownTrace(BusSession *liveSession, TraceStore *liveStore, QObject *parent)
    : QObject(parent), m_liveSession(liveSession), m_liveStore(liveStore)
{
    m_liveSession->setHoldLimit(m_liveStore->capacity());
    connect(m_liveSession, &BusSession::recordsReady, this,
            [this](const QVector<BusRecord> &batch) { append(m_liveStore, batch); });
    connect(m_liveSession, &BusSession::countersChanged, this, &ShownTrace::countersChanged);
    connect(m_liveSession, &BusSession::openChanged, this, [this](bool open) {
        if (open)
            showLiveBus();
    });
}

TraceStore *ShownTrace::store() const
{
    return m_fileStore ? m_fileStore : m_liveStore;
}

BusSession *ShownTrace::session() const
{
    return m_fileSession ? m_fileSession : m_liveSession;
}

void ShownTrace::append(TraceStore *store, const QVector<BusRecord> &batch)
{
    if (store != this->store()) {
        store->append(batch);
        return;
    }
    emit appending();
    store->append(batch);
    emit appended();
}

void ShownTrace::showOpenedLog()
{
    // The log opened before goes first, and its memory with it.
    showLiveBus();
    m_fileSession = new BusSession(QStringLiteral("xml"), this);
    m_fileSession->setObjectName(QStringLiteral("fileSession"));
    m_fileStore = new TraceStore(this);
    m_fileStore->setObjectName(QStringLiteral("fileStore"));
    m_fileStore->setCapacity(TraceStore::kOpenedFileCapacity);
    m_fileStore->setWireFormat(m_liveStore->load().wireFormat());
    m_fileStore->setSingleLineMaker(
        [session = m_fileSession](const QByteArray &bytes) { return singleLineText(session->decode(bytes)); });
    TraceStore *fileStore = m_fileStore;
    connect(m_fileSession, &BusSession::recordsReady, this,
            [this, fileStore](const QVector<BusRecord> &batch) { append(fileStore, batch); });
    connect(m_fileSession, &BusSession::countersChanged, this, &ShownTrace::countersChanged);
    emit shownChanged();
}

void ShownTrace::showLiveBus()
{
    if (!m_fileStore)
        return;
    // The views let go of the opened log's store before it goes.
    TraceStore *goneStore = m_fileStore;
    BusSession *goneSession = m_fileSession;
    m_fileStore = nullptr;
    m_fileSession = nullptr;
    emit shownChanged();
    delete goneSession;
    delete goneStore;
}

void ShownTrace::clear()
{
    showLiveBus();
    m_liveSession->clear();
    m_liveStore->clear();
    emit cleared();
}

void ShownTrace::setCapacity(int records)
{
    m_liveStore->setCapacity(records);
    m_liveSession->setHoldLimit(m_liveStore->capacity());
    emit countersChanged();
}

void ShownTrace::setWireFormat(const WireFormat &format)
{
    m_liveStore->setWireFormat(format);
    if (m_fileStore)
        m_fileStore->setWireFormat(format);
}
