#ifndef KWN_INSIGHT_RATEWINDOW_H
#define KWN_INSIGHT_RATEWINDOW_H

// Counts over a sliding window of time, in slots: what happened within the
// window up to a given moment, to a slot's width. Fixed memory however much
// is added.

#include <QtGlobal>

#include <vector>

class RateWindow
{
public:
    // A window of `windowUs` in `slots` slots of windowUs / slots each.
    RateWindow(qint64 windowUs, int slots);

    qint64 windowUs() const { return m_slotUs * qint64(m_slots.size()); }
    void add(qint64 timeUs, quint64 count = 1);
    // What was added at times within the window ending at `nowUs`: in the
    // slot of nowUs and the slots - 1 before it. Times after nowUs are left out.
    quint64 sum(qint64 nowUs) const;
    void clear();

private:
    struct Slot
    {
        qint64 index = -1; // which slot of time it holds; -1: none
        quint64 count = 0;
    };
    qint64 slotOf(qint64 timeUs) const;

    qint64 m_slotUs;
    std::vector<Slot> m_slots;
};

#endif
