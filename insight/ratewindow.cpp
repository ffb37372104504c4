#include "insight/ratewindow.h"

RateWindow::RateWindow(qint64 windowUs, int slots)
    : m_slotUs(qMax<qint64>(1, windowUs / qMax(1, slots))), m_slots(size_t(qMax(1, slots)))
{
}

qint64 RateWindow::slotOf(qint64 timeUs) const
{
    return timeUs / m_slotUs - (timeUs % m_slotUs < 0 ? 1 : 0);
}

void RateWindow::add(qint64 timeUs, quint64 count)
{
    const qint64 index = slotOf(timeUs);
    const qint64 size = qint64(m_slots.size());
    Slot &slot = m_slots[size_t(((index % size) + size) % size)];
    if (slot.index != index) {
        // A slot of an older time (or a time far back, out of order) is
        // given up for the newer one.
        if (slot.index > index)
            return;
        slot.index = index;
        slot.count = 0;
    }
    slot.count += count;
}

quint64 RateWindow::sum(qint64 nowUs) const
{
    const qint64 now = slotOf(nowUs);
    const qint64 oldest = now - qint64(m_slots.size()) + 1;
    quint64 total = 0;
    for (const Slot &slot : m_slots) {
        if (slot.index >= oldest && slot.index <= now)
            total += slot.count;
    }
    return total;
}

void RateWindow::clear()
{
    for (Slot &slot : m_slots)
        slot = Slot();
}
