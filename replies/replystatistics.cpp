#include "replies/replystatistics.h"

#include "replies/replypairing.h"

#include <algorithm>

qint64 DelaySummary::stepOf(qint64 us)
{
    qint64 unit = 1;
    while (us / unit >= 1000)
        unit *= 10;
    return us / unit * unit;
}

void DelaySummary::add(qint64 us)
{
    const qint64 step = stepOf(us);
    const auto at = std::lower_bound(m_steps.begin(), m_steps.end(), step,
                                     [](const std::pair<qint64, quint64> &s, qint64 value) { return s.first < value; });
    if (at != m_steps.end() && at->first == step)
        ++at->second;
    else
        m_steps.insert(at, {step, 1});
    ++m_count;
    m_maxUs = qMax(m_maxUs, us);
}

qint64 DelaySummary::percentileUs(int percent) const
{
    if (m_count == 0)
        return -1;
    const quint64 rank = qMax<quint64>(1, (m_count * quint64(percent) + 99) / 100);
    quint64 below = 0;
    for (const auto &step : m_steps) {
        below += step.second;
        if (below >= rank)
            return step.first;
    }
    return m_steps.last().first;
}

void ReplyStatistics::clear()
{
    *this = ReplyStatistics();
}

int ReplyStatistics::groupOf(const PairedRequest &request)
{
    QVector<int> &candidates = m_index[request.destination << 8 | request.messageId];
    for (const int index : candidates) {
        if (m_groups.at(index).device == request.device)
            return index;
    }
    if (m_groups.size() >= m_maxGroups) {
        if (candidates.isEmpty())
            m_index.remove(request.destination << 8 | request.messageId);
        return -1;
    }
    ReplyGroup group;
    group.destination = request.destination;
    group.device = request.device;
    group.message = request.message;
    group.messageId = request.messageId;
    candidates.append(m_groups.size());
    m_groups.append(group);
    return m_groups.size() - 1;
}

void ReplyStatistics::add(const PairedRequest &request)
{
    const int index = groupOf(request);
    if (index < 0)
        ++m_requestsLeftOut;
    for (ReplyGroup *group : {&m_overall, index < 0 ? nullptr : &m_groups[index]}) {
        if (!group)
            continue;
        ++group->requests;
        if (request.answered()) {
            ++group->answered;
            group->delays.add(request.replies.first().delayUs);
        }
    }
}

QVector<int> ReplyStatistics::byNode() const
{
    QVector<int> order(m_groups.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [this](int a, int b) {
        const ReplyGroup &x = m_groups.at(a);
        const ReplyGroup &y = m_groups.at(b);
        if (x.destination != y.destination)
            return x.destination < y.destination;
        if (x.device != y.device)
            return x.device < y.device;
        return x.message < y.message;
    });
    return order;
}
