#include "replies/replystatistics.h"

#include <algorithm>

qint64 DelaySummary::stepOf(qint64 us)
{
    // Divisions by constants: this runs for every request.
    if (us < 1000)
        return us;
    if (us < 10000)
        return us / 10 * 10;
    if (us < 100000)
        return us / 100 * 100;
    if (us < 1000000)
        return us / 1000 * 1000;
    if (us < 10000000)
        return us / 10000 * 10000;
    qint64 unit = 100000;
    while (us / unit >= 1000)
        unit *= 10;
    return us / unit * unit;
}

void DelaySummary::add(qint64 us)
{
    const qint64 step = stepOf(us);
    ++m_count;
    m_maxUs = qMax(m_maxUs, us);
    // Delays come back to the same steps: the last one is tried first.
    if (m_last < m_steps.size() && m_steps.at(m_last).first == step) {
        ++m_steps[m_last].second;
        return;
    }
    const auto at = std::lower_bound(m_steps.begin(), m_steps.end(), step,
                                     [](const std::pair<qint64, quint64> &s, qint64 value) { return s.first < value; });
    // The place first: an insertion may move the steps elsewhere.
    m_last = int(at - m_steps.begin());
    if (at == m_steps.end() || at->first != step)
        m_steps.insert(m_last, {step, 0});
    ++m_steps[m_last].second;
}

void DelaySummary::merge(const DelaySummary &other)
{
    QVector<std::pair<qint64, quint64>> steps;
    steps.reserve(m_steps.size() + other.m_steps.size());
    auto a = m_steps.cbegin();
    auto b = other.m_steps.cbegin();
    while (a != m_steps.cend() || b != other.m_steps.cend()) {
        if (b == other.m_steps.cend() || (a != m_steps.cend() && a->first < b->first))
            steps.append(*a++);
        else if (a == m_steps.cend() || b->first < a->first)
            steps.append(*b++);
        else
            steps.append({a->first, a->second + b->second}), ++a, ++b;
    }
    m_steps = steps;
    m_last = 0;
    m_count += other.m_count;
    m_maxUs = qMax(m_maxUs, other.m_maxUs);
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

int ReplyStatistics::findGroup(quint32 destination, quint8 messageId, const QString &device, const QString &message)
{
    const quint32 key = destination << 8 | messageId;
    Found *pair = &m_found[foundSlot(key, device)];
    QVector<int> &candidates = m_index[key];
    int group = -1;
    for (const int index : candidates) {
        if (m_groups.at(index).device == device)
            group = index;
    }
    if (group < 0 && m_groups.size() < m_maxGroups) {
        group = m_groups.size();
        ReplyGroup row;
        row.destination = destination;
        row.device = device;
        row.message = message;
        row.messageId = messageId;
        m_groups.append(row);
        candidates.append(group);
    }
    if (candidates.isEmpty())
        m_index.remove(key);
    // The row's own text keeps its data alive: the address names that device alone.
    if (group >= 0) {
        pair[1] = pair[0];
        pair[0] = {key, group, m_groups.at(group).device.constData()};
    }
    return group;
}

void ReplyStatistics::addLeftOut(qint64 firstDelayUs)
{
    ++m_requestsLeftOut;
    if (firstDelayUs >= 0)
        m_leftOutDelays.add(firstDelayUs);
}

ReplyGroup ReplyStatistics::overall() const
{
    ReplyGroup all;
    all.requests = m_requests;
    all.answered = m_answered;
    all.delays = m_leftOutDelays;
    for (const ReplyGroup &row : m_groups)
        all.delays.merge(row.delays);
    return all;
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
