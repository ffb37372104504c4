#ifndef KWN_TESTS_SUPPORT_TABLEROWS_H
#define KWN_TESTS_SUPPORT_TABLEROWS_H

// Tables kept as data: a file under tests/data whose lines are rows, their
// cells split at '|' and trimmed, the first cell naming the row. Blank lines
// and lines starting with '#' are comments. In a cell, \| is a bar, and \n,
// \r, \t, \\ and \xHH what they say (\x20: a space kept at an end).

#include "support/datarows.h"

#include <QByteArrayList>

namespace tablerows {

// \n, \r, \t, \xHH and \\ as what they say; a backslash before any other
// character keeps that character.
inline QByteArray unescape(const QByteArray &raw)
{
    QByteArray bytes;
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i) == '\\' && i + 1 < raw.size() ? raw.at(++i) : '\0';
        if (c == 'x') {
            bytes += char(raw.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            bytes += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c ? c : raw.at(i);
        }
    }
    return bytes;
}

// The rows of tests/data/`name` (read as datarows.h reads tables), each a
// Qt Test row of one column, "cells".
inline void addRows(const char *name)
{
    QTest::addColumn<QByteArrayList>("cells");
    for (const QStringList &fields : readDataRows(QLatin1String(name))) {
        QByteArrayList cells;
        for (const QString &field : fields)
            cells << unescape(field.toUtf8());
        QTest::newRow(cells.takeFirst().constData()) << cells;
    }
}

} // namespace tablerows

#endif
