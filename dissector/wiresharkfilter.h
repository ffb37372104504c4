#ifndef KWN_DISSECTOR_WIRESHARKFILTER_H
#define KWN_DISSECTOR_WIRESHARKFILTER_H

// A filter expression said as a Wireshark display filter over the fields of
// the generated dissector (luadissector.h), so that tshark -Y selects in a
// capture the frames that `kwn-frame decode --filter` selects in it.

#include "dissector/luadissector.h"
#include "filter/filterexpression.h"

#include <QHash>
#include <QString>

namespace dissector {

// The display filter; empty, with `problem` saying why, for a test that the
// dissector's fields cannot tell: a number compared with a parameter whose
// field kwn.p.<name> holds strings and numbers alike, as text.
// `fields` are the dissector's fields kwn.p.<name> (wiresharkParameterFields).
QString wiresharkFilter(const FilterExpression &expression, const QHash<QString, WiresharkField> &fields,
                        QString *problem);

} // namespace dissector

#endif
