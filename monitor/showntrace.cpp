#include "monitor/showntrace.h"

#include "codec/framereport.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/pagestyle.h"

ShownTrace::ShownTrace(BusSession *liveSession, TraceStore *liveStore, QObject *parent)
    : QObject(parent), m_liveSession(liveSession), m_liveStore(liveStore)
{
    connect(m_liveSession, &BusSession::countersChanged, this, &ShownTrace::countersChanged);
}

TraceStore *ShownTrace::store() const
{
    return m_fileStore ? m_fileStore : m_liveStore;
}

BusSession *ShownTrace::session() const
{
    return m_fileSession ? m_fileSession : m_liveSession;
}

void ShownTrace::showOpenedLog()
{
    // The log opened before goes first, and its memory with it.
    showLiveBus();
    m_fileSession = named(new BusSession(QStringLiteral("xml"), this), QStringLiteral("fileSession"));
    m_fileStore = named(new TraceStore(this), QStringLiteral("fileStore"));
    m_fileStore->setCapacity(TraceStore::kOpenedFileCapacity);
    m_fileStore->setWireFormat(m_liveStore->load().wireFormat());
    m_fileStore->setSingleLineMaker(
        [session = m_fileSession](const QByteArray &bytes) { return singleLineText(session->decode(bytes)); });
    connect(m_fileSession, &BusSession::recordsReady, this, &ShownTrace::fileRecordsReady);
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

void ShownTrace::setWireFormat(const WireFormat &format)
{
    m_liveStore->setWireFormat(format);
    if (m_fileStore)
        m_fileStore->setWireFormat(format);
}
