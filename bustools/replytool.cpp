#include "bustools/replytool.h"

#include "bustools/showntrace.h"
#include "codec/framedecoding.h"
#include "serial/serialconnection.h"
#include "trace/tracestore.h"

#include <QTimer>

namespace {

// The replies of a request are looked for this many rows on at most.
const quint64 kMostRowsScanned = 1000000;

QString quoted(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

ReplyTool::ReplyTool(ShownTrace *shown, QObject *parent)
    : QObject(parent), m_shown(shown), m_pairing(qint64(kDefaultTimeoutMs) * 1000)
{
    m_pairing.setSettledHandler([this](const PairedRequest &request) { settled(request); });
    m_liveTimer = new QTimer(this);
    m_liveTimer->setObjectName(QStringLiteral("liveTimer"));
    m_liveTimer->setInterval(200);
    connect(m_liveTimer, &QTimer::timeout, this, [this] { advanceTo(wallClockUs() - kLiveLagUs); });
    connect(shown, &ShownTrace::shownChanged, this, [this] {
        m_logRead = false;
        follow(m_shown->store());
        pairAgain();
    });
    follow(shown->store());
    pairAgain();
}

void ReplyTool::follow(TraceStore *store)
{
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    connect(store, &TraceStore::appended, this, [this](quint64 firstSeq, int count, int) {
        onAppended(firstSeq, count);
    });
    connect(store, &TraceStore::cleared, this, &ReplyTool::onCleared);
}

void ReplyTool::setTimeoutMs(int ms)
{
    const qint64 us = qint64(qBound(1, ms, kMaxTimeoutMs)) * 1000;
    if (us == m_pairing.timeoutUs())
        return;
    m_pairing.setTimeoutUs(us);
    pairAgain();
}

// Every record held, from the start, by the rule of now.
void ReplyTool::pairAgain()
{
    m_pairing.clear();
    m_rows.clear();
    m_firstSeq = m_store->firstSeq();
    m_rows.resize(size_t(m_store->heldCount()));
    for (quint64 seq = m_firstSeq; seq < m_store->endSeq(); ++seq)
        take(*m_store->record(seq), seq);
    if (m_logRead)
        m_pairing.finish();
    m_rowsChanged = m_tableChanged = true;
    m_answered.clear();
    announce();
    followLiveTime();
}

void ReplyTool::onAppended(quint64 firstSeq, int count)
{
    if (m_firstSeq + m_rows.size() != firstSeq) {
        m_rows.clear();
        m_firstSeq = firstSeq;
    }
    m_rows.resize(m_rows.size() + size_t(count));
    for (quint64 seq = firstSeq; seq < firstSeq + quint64(count); ++seq) {
        // A batch larger than the ring keeps only its newest.
        if (const BusRecord *record = m_store->record(seq))
            take(*record, seq);
    }
    trimTo(m_store->firstSeq());
    announce();
    followLiveTime();
}

void ReplyTool::onCleared()
{
    m_pairing.clear();
    m_rows.clear();
    m_firstSeq = m_store->endSeq();
    m_rowsChanged = m_tableChanged = true;
    announce();
}

void ReplyTool::take(const BusRecord &record, quint64 sequence)
{
    const PairingStep step = m_pairing.add(record, sequence);
    switch (step.kind) {
    case PairingStep::Ignored:
        return;
    case PairingStep::Opened:
        rowAt(sequence)->delayUs = kWaiting;
        break;
    case PairingStep::Unsolicited:
        rowAt(sequence)->delayUs = kUnsolicited;
        break;
    case PairingStep::Answered:
    case PairingStep::Joined: {
        Row *reply = rowAt(sequence);
        reply->delayUs = qint32(step.delayUs);
        reply->back = quint32(sequence - step.request);
        Row *request = rowAt(step.request);
        if (request && request->delayUs < 0) {
            request->delayUs = qint32(step.delayUs);
            m_answered.append(step.request);
        }
        break;
    }
    }
    m_rowsChanged = true;
}

void ReplyTool::settled(const PairedRequest &request)
{
    m_tableChanged = true;
    Row *row = rowAt(request.sequence);
    if (row && !request.answered()) {
        row->delayUs = kNoReply;
        m_rowsChanged = true;
    }
}

void ReplyTool::advanceTo(qint64 nowUs)
{
    m_pairing.advanceTo(nowUs);
    announce();
    if (m_pairing.held() == 0)
        m_liveTimer->stop();
}

void ReplyTool::finishLog()
{
    if (!m_shown->isShowingOpenedLog())
        return;
    m_logRead = true;
    m_pairing.finish();
    announce();
}

// Requests wait for replies on the live bus: its time moves on by the clock.
void ReplyTool::followLiveTime()
{
    if (!m_shown->isShowingOpenedLog() && m_pairing.held() > 0) {
        if (!m_liveTimer->isActive())
            m_liveTimer->start();
    } else {
        m_liveTimer->stop();
    }
}

void ReplyTool::announce()
{
    if (!m_answered.isEmpty()) {
        emit requestsAnswered(m_answered);
        m_answered.clear();
    }
    if (m_rowsChanged) {
        m_rowsChanged = false;
        emit rowsChanged();
    }
    if (m_tableChanged) {
        m_tableChanged = false;
        emit tableChanged();
    }
}

void ReplyTool::trimTo(quint64 firstSeq)
{
    while (!m_rows.empty() && m_firstSeq < firstSeq) {
        m_rows.pop_front();
        ++m_firstSeq;
    }
}

ReplyTool::Row *ReplyTool::rowAt(quint64 sequence)
{
    return sequence - m_firstSeq < m_rows.size() ? &m_rows[size_t(sequence - m_firstSeq)] : nullptr;
}

const ReplyTool::Row *ReplyTool::rowAt(quint64 sequence) const
{
    return sequence - m_firstSeq < m_rows.size() ? &m_rows[size_t(sequence - m_firstSeq)] : nullptr;
}

ReplyTool::RowReply ReplyTool::rowReply(quint64 sequence) const
{
    RowReply reply;
    const Row *row = rowAt(sequence);
    if (!row)
        return reply;
    switch (row->delayUs) {
    case kNoDelay:
        break;
    case kWaiting:
        reply.kind = RowKind::Waiting;
        break;
    case kNoReply:
        reply.kind = RowKind::NoReply;
        break;
    case kUnsolicited:
        reply.kind = RowKind::Unsolicited;
        break;
    default:
        reply.kind = row->back ? RowKind::Reply : RowKind::Answered;
        reply.delayUs = row->delayUs;
    }
    return reply;
}

// --- Links between rows ---------------------------------------------------------

// "Get Motor Status, 000001 → 3A0C51 at 12:00:00.000000"
QString ReplyTool::rowText(quint64 sequence) const
{
    const BusRecord *record = m_store->record(sequence);
    if (!record)
        return QString();
    return QStringLiteral("%1, %2 at %3")
        .arg(record->message, routeText(record->sourceAddress, record->destinationAddress),
             timeOfDayText(record->timeUs));
}

QVector<ReplyTool::Link> ReplyTool::linksOf(quint64 sequence) const
{
    QVector<Link> links;
    const Row *row = rowAt(sequence);
    if (!row)
        return links;
    if (row->back) {
        const quint64 request = sequence - row->back;
        links.append({QStringLiteral("Reply to %1, %2 ms before")
                          .arg(rowText(request).isEmpty() ? QStringLiteral("a request no longer held") : rowText(request),
                               deltaText(row->delayUs)),
                      request, m_store->record(request) != nullptr});
        return links;
    }
    if (row->delayUs == kNoReply)
        links.append({QStringLiteral("No reply within %1 ms").arg(timeoutMs()), 0, false});
    if (row->delayUs < 0)
        return links;
    // Its replies came within the timeout after it, each pointing back to it.
    const BusRecord *asked = m_store->record(sequence);
    const qint64 until = asked ? asked->timeUs + m_pairing.timeoutUs() : 0;
    const quint64 last = qMin<quint64>(m_firstSeq + m_rows.size(), sequence + kMostRowsScanned);
    for (quint64 seq = sequence + 1; seq < last; ++seq) {
        const Row &later = m_rows[size_t(seq - m_firstSeq)];
        if (later.back == seq - sequence) {
            links.append({QStringLiteral("Reply %1, %2 ms after").arg(rowText(seq), deltaText(later.delayUs)), seq,
                          true});
        } else if (const BusRecord *record = m_store->record(seq); record && record->timeUs > until
                                                                   && record->kind != BusRecord::Event) {
            break;
        }
    }
    return links;
}

// --- The Replies table ----------------------------------------------------------

QString ReplyTool::cellText(int row, int column) const
{
    const ReplyGroup &group = m_pairing.statistics().group(row);
    auto ms = [](qint64 us) { return us < 0 ? QString() : deltaText(us); };
    switch (column) {
    case Node:
        return addressingModeOf(group.destination) == AddressingMode::PointToPoint
                   ? nodeIdText(group.destination)
                   : addressingModeName(group.destination);
    case Device:
        return group.device;
    case Message:
        return group.message;
    case Median:
        return ms(group.delays.percentileUs(50));
    case Percentile95:
        return ms(group.delays.percentileUs(95));
    case Maximum:
        return ms(group.delays.maxUs());
    default:
        return QString::number(cellNumber(row, column));
    }
}

qint64 ReplyTool::cellNumber(int row, int column) const
{
    const ReplyGroup &group = m_pairing.statistics().group(row);
    switch (column) {
    case Node:
        return group.destination;
    case Requests:
        return qint64(group.requests);
    case Answered:
        return qint64(group.answered);
    case Unanswered:
        return qint64(group.unanswered());
    case Median:
        return group.delays.percentileUs(50);
    case Percentile95:
        return group.delays.percentileUs(95);
    case Maximum:
        return group.delays.maxUs();
    default:
        return 0;
    }
}

bool ReplyTool::cellAlarm(int row, int column) const
{
    return column == Unanswered && m_pairing.statistics().group(row).unanswered() > 0;
}

QString ReplyTool::filterText(int row) const
{
    const ReplyGroup &group = m_pairing.statistics().group(row);
    return QStringLiteral("destination == %1 and message == %2")
        .arg(quoted(nodeIdText(group.destination)), quoted(group.message));
}
