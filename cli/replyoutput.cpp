#include "cli/replyoutput.h"

#include "cli/commands.h"
#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace cli {

namespace {

// Milliseconds to the µs: "12.500"; "-" for none (-1).
QString msText(qint64 us)
{
    return us < 0 ? QStringLiteral("-") : QString::number(double(us) / 1000, 'f', 3);
}

QJsonValue msValue(qint64 us)
{
    return us < 0 ? QJsonValue() : QJsonValue(double(us) / 1000);
}

const char *modeText(quint32 destination)
{
    static const char *const modes[] = {"P2P", "Group", "Broadcast"};
    return modes[int(addressingModeOf(destination))];
}

// The longest device and message names of the catalogue.
QPair<int, int> longestNames(DecodeCatalogue &catalogue)
{
    int device = 0;
    int message = 0;
    catalogue.refresh();
    for (int pair = 0; pair < 256; ++pair) {
        const DeviceCatalogue::Device *found = catalogue.deviceOf(quint8(pair >> 4), quint8(pair & 0x0F));
        if (!found)
            continue;
        device = qMax(device, int(found->product.size()));
        for (const MessageDefinition &m : found->messages)
            message = qMax(message, int(m.name.size()));
    }
    return {device, message};
}

const QStringList &rowHeading()
{
    static const QStringList heading{QStringLiteral("Time"),       QStringLiteral("Source"),
                                     QStringLiteral("Destination"), QStringLiteral("Device"),
                                     QStringLiteral("Request"),    QStringLiteral("Reply from"),
                                     QStringLiteral("After ms"),   QStringLiteral("Reply")};
    return heading;
}

QJsonObject groupJson(const ReplyGroup &group)
{
    QJsonObject json;
    json.insert(QStringLiteral("requests"), double(group.requests));
    json.insert(QStringLiteral("answered"), double(group.answered));
    json.insert(QStringLiteral("unanswered"), double(group.unanswered()));
    json.insert(QStringLiteral("medianMs"), msValue(group.delays.percentileUs(50)));
    json.insert(QStringLiteral("p95Ms"), msValue(group.delays.percentileUs(95)));
    json.insert(QStringLiteral("maxMs"), msValue(group.delays.maxUs()));
    return json;
}

QStringList groupCells(const ReplyGroup &group)
{
    return {askedText(group.destination),
            group.device,
            group.message,
            QString::number(group.requests),
            QString::number(group.answered),
            QString::number(group.unanswered()),
            msText(group.delays.percentileUs(50)),
            msText(group.delays.percentileUs(95)),
            msText(group.delays.maxUs())};
}

} // namespace

QString askedText(quint32 destination)
{
    if (destination == kGroupAddress)
        return QStringLiteral("Group");
    if (destination == kBroadcastAddress)
        return QStringLiteral("Broadcast");
    return nodeIdText(destination);
}

RequestRows::RequestRows(DecodeCatalogue &catalogue, bool precise) : m_precise(precise)
{
    widen(m_widths, rowHeading());
    const QPair<int, int> names = longestNames(catalogue);
    widen(m_widths, {busLogTimeUs(0, precise), QString(6, QLatin1Char(' ')), askedText(kBroadcastAddress),
                     QString(names.first, QLatin1Char(' ')), QString(names.second, QLatin1Char(' ')), QString(),
                     msText(ReplyPairing::kMaxTimeoutUs)});
}

QByteArray RequestRows::heading() const
{
    return alignedLine(rowHeading(), m_widths).toUtf8();
}

QByteArray RequestRows::rows(const PairedRequest &request) const
{
    QStringList cells{busLogTimeUs(request.timeUs, m_precise), nodeIdText(request.source),
                      askedText(request.destination), request.device, request.message};
    if (request.replies.isEmpty())
        return alignedLine(cells + QStringList{QStringLiteral("-"), QStringLiteral("-"), QStringLiteral("no reply")},
                           m_widths)
            .toUtf8();
    QString text;
    for (const PairedReply &reply : request.replies) {
        text += alignedLine(cells + QStringList{nodeIdText(reply.source), msText(reply.delayUs), reply.message},
                            m_widths);
        // The request's cells once, on the first reply's line.
        cells = QStringList{QString(), QString(), QString(), QString(), QString()};
    }
    return text.toUtf8();
}

QByteArray RequestRows::jsonLine(const PairedRequest &request, bool precise)
{
    QJsonArray replies;
    for (const PairedReply &reply : request.replies) {
        QJsonObject json;
        json.insert(QStringLiteral("time"), busLogTimeUs(reply.timeUs, precise));
        json.insert(QStringLiteral("source"), nodeIdText(reply.source));
        json.insert(QStringLiteral("message"), reply.message);
        json.insert(QStringLiteral("afterMs"), msValue(reply.delayUs));
        replies.append(json);
    }
    QJsonObject json;
    json.insert(QStringLiteral("time"), busLogTimeUs(request.timeUs, precise));
    json.insert(QStringLiteral("source"), nodeIdText(request.source));
    json.insert(QStringLiteral("destination"), nodeIdText(request.destination));
    json.insert(QStringLiteral("mode"), QLatin1String(modeText(request.destination)));
    json.insert(QStringLiteral("device"), request.device);
    json.insert(QStringLiteral("message"), request.message);
    json.insert(QStringLiteral("replies"), replies);
    return QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject replySectionJson(const ReplyStatistics &statistics, qint64 timeoutUs)
{
    QJsonObject json = groupJson(statistics.overall());
    json.insert(QStringLiteral("timeoutMs"), msValue(timeoutUs));
    json.insert(QStringLiteral("unsolicited"), double(statistics.unsolicited()));
    if (statistics.dropped() > 0)
        json.insert(QStringLiteral("dropped"), double(statistics.dropped()));
    if (statistics.requestsLeftOut() > 0)
        json.insert(QStringLiteral("byMessageLeftOut"), double(statistics.requestsLeftOut()));
    QJsonArray groups;
    for (const int index : statistics.byNode()) {
        const ReplyGroup &group = statistics.group(index);
        QJsonObject row = groupJson(group);
        row.insert(QStringLiteral("node"), askedText(group.destination));
        row.insert(QStringLiteral("device"), group.device);
        row.insert(QStringLiteral("message"), group.message);
        groups.append(row);
    }
    json.insert(QStringLiteral("byMessage"), groups);
    return json;
}

QString replySectionText(const ReplyStatistics &statistics, qint64 timeoutUs)
{
    const ReplyGroup overall = statistics.overall();
    const auto ms = [](qint64 us) { return us < 0 ? QStringLiteral("-") : msText(us) + QStringLiteral(" ms"); };
    QVector<QStringList> totals{
        {QStringLiteral("Reply timeout"), QString::number(double(timeoutUs) / 1000) + QStringLiteral(" ms")},
        {QStringLiteral("Requests"), QString::number(overall.requests)},
        {QStringLiteral("Answered"), QString::number(overall.answered)},
        {QStringLiteral("Unanswered"), QString::number(overall.unanswered())},
        {QStringLiteral("Unsolicited"), QString::number(statistics.unsolicited())},
        {QStringLiteral("Median delay"), ms(overall.delays.percentileUs(50))},
        {QStringLiteral("95th percentile"), ms(overall.delays.percentileUs(95))},
        {QStringLiteral("Maximum delay"), ms(overall.delays.maxUs())},
    };
    if (statistics.dropped() > 0) {
        totals.append({QStringLiteral("Dropped"),
                       QStringLiteral("%1 request(s), too many waiting for replies").arg(statistics.dropped())});
    }
    if (statistics.requestsLeftOut() > 0) {
        totals.append({QStringLiteral("Left out"),
                       QStringLiteral("%1 request(s) of nodes and messages past the table's rows")
                           .arg(statistics.requestsLeftOut())});
    }
    QVector<QStringList> rows{{QStringLiteral("Node"), QStringLiteral("Device"), QStringLiteral("Request"),
                               QStringLiteral("Requests"), QStringLiteral("Answered"), QStringLiteral("Unanswered"),
                               QStringLiteral("Median ms"), QStringLiteral("95% ms"), QStringLiteral("Max ms")}};
    for (const int index : statistics.byNode())
        rows.append(groupCells(statistics.group(index)));
    return alignedTable(totals) + QLatin1Char('\n') + alignedTable(rows);
}

} // namespace cli
