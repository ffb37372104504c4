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
    // The row's own text keeps its data alive: the address names that device
    // alone. A frame whose text is another copy of it finds the row here.
    if (group >= 0 && m_groups.at(group).device.constData() == device.constData())
        remember(key, group, device.constData());
    return group;
}

void ReplyStatistics::remember(quint32 key, int group, const QChar *device)
{
    // Room for many more rows than a table holds; past that (texts of a
    // catalogue read again and again), the table starts anew.
    if (2 * (m_foundCount + 1) > int(m_found.size())) {
        std::vector<Found> old;
        if (m_found.size() < (size_t(16) << 10))
            old.swap(m_found);
        m_found.assign(qMax<size_t>(256, 2 * old.size()), Found());
        m_foundMask = m_found.size() - 1;
        m_foundCount = 0;
        for (const Found &f : old) {
            if (f.device)
                remember(f.key, f.group, f.device);
        }
    }
    size_t slot = foundSlot(key, device);
    while (m_found[slot].device)
        slot = (slot + 1) & m_foundMask;
    m_found[slot] = {key, group, device};
    ++m_foundCount;
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
