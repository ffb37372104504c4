#ifndef KWN_TESTS_SUPPORT_TABLEROWS_H
#define KWN_TESTS_SUPPORT_TABLEROWS_H

// Tables kept as data: a file under tests/data whose lines are rows, their
// cells split at '|' and trimmed, the first cell naming the row. Blank lines
// and lines starting with '#' are comments. In a cell, \| is a bar, and \n,
// \r, \t, \\ and \xHH what they say (\x20: a space kept at an end).

#include <QByteArrayList>
#include <QFile>
#include <QtTest>

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

// The rows of tests/data/`name`, each a Qt Test row of one column, "cells".
inline void addRows(const char *name)
{
    QTest::addColumn<QByteArrayList>("cells");
    QFile file(QStringLiteral(KWN_TEST_DATA "/") + QLatin1String(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), name);
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        QByteArrayList cells{QByteArray()};
        for (int i = 0; i < line.size(); ++i) {
            if (line.at(i) == '|')
                cells << QByteArray();
            else
                cells.last() += line.mid(i, line.at(i) == '\\' ? 2 : 1);
            i += line.at(i) == '\\' ? 1 : 0;
        }
        for (QByteArray &cell : cells)
            cell = unescape(cell.trimmed());
        QTest::newRow(cells.takeFirst().constData()) << cells;
    }
}

} // namespace tablerows

#endif
