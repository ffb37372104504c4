#ifndef KWN_CATALOGUE_SHOWNLIMITS_H
#define KWN_CATALOGUE_SHOWNLIMITS_H

// How much of a catalogue the pages build widgets for. A real message has a
// handful of parameters, a bitfield at most 8 named bits and a device a few
// categories; a broken or hostile catalogue can have tens of thousands, and a
// widget for each would take minutes, gigabytes, or overflow the stack when
// Qt paints that many siblings. What lies beyond is left out with a marker
// saying how much: on the Encode page it keeps its default in the frame, on
// the Decode page it is still decoded, just not shown. `kwn-frame check`
// warns about it.

#include <QString>

constexpr int kMaxShownParameters = 256; // parameter rows of one message
constexpr int kMaxShownBits = 64;        // bit boxes of one bitfield
constexpr int kMaxShownCategories = 256; // category tabs of the Encode page

// The markers' texts.
inline QString parametersLeftOutText(int count)
{
    return QStringLiteral("%1 more parameters not shown").arg(count);
}

inline QString bitsLeftOutText(int count)
{
    return QStringLiteral("%1 more bits not shown").arg(count);
}

inline QString categoriesLeftOutText(int count)
{
    return QStringLiteral("%1 more categories not shown").arg(count);
}

#endif
