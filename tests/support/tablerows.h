#ifndef KWN_TESTS_SUPPORT_TABLEROWS_H
#define KWN_TESTS_SUPPORT_TABLEROWS_H

// Tables kept as data: a file under tests/data whose lines are rows, their
// cells split at '|' and trimmed, the first cell naming the row. Blank lines
// and lines starting with '#' are comments. A cell is unescaped as
// unescapedUtf8 does (\| is a bar; \x20 a space kept at an end).

#include "support/datarows.h"

#include <QByteArrayList>

namespace tablerows {

// The rows of tests/data/`name` (read as datarows.h reads tables), each a
// Qt Test row of one column, "cells".
inline void addRows(const char *name)
{
    QTest::addColumn<QByteArrayList>("cells");
    for (const QStringList &fields : readDataRows(QLatin1String(name))) {
        QByteArrayList cells;
        for (const QString &field : fields)
            cells << unescapedUtf8(field);
        QTest::newRow(cells.takeFirst().constData()) << cells;
    }
}

} // namespace tablerows

#endif
