#ifndef KWN_TESTS_SUPPORT_DATAROWS_H
#define KWN_TESTS_SUPPORT_DATAROWS_H

// Tables kept as data files under tests/data/, read by one generic test, and
// golden outputs compared whole.
//
// A table file holds one row a line: the row's name, then its fields, all
// parted by '|' and trimmed of spaces. Lines starting with '#' and blank
// lines are skipped. In a field \| \\ \n \r \t \0 \s (a space) stand for
// themselves, \xHH for the byte HH (U+00HH where the field is read as
// text), \u{H...} for the code point H..., lone surrogates included;
// \{N} repeats the character before it to N of them (0\{62}: 62 zeros) and
// \{N:text} stands for N times the text (which holds no brace or bar).
// A field read as bytes that starts with @ names a file under tests/data/.

#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>

// The rows of the table at tests/data/`name`: its name first, then the
// fields, still escaped.
inline QList<QStringList> readDataRows(const QString &name)
{
    QList<QStringList> rows;
    QFile file(QStringLiteral(KWN_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields{QString()};
        for (int i = 0; i < line.size(); ++i) {
            if (line.at(i) == QLatin1Char('|'))
                fields << QString();
            else
                fields.last() += line.mid(i, line.at(i) == QLatin1Char('\\') ? 2 : 1);
            i += line.at(i) == QLatin1Char('\\') ? 1 : 0;
        }
        for (QString &field : fields)
            field = field.trimmed();
        rows << fields;
    }
    return rows;
}

// The same as the rows of a data-driven test, of one column "row" that holds
// the fields after the name.
inline void addDataRows(const QString &name)
{
    QTest::addColumn<QStringList>("row");
    for (QStringList fields : readDataRows(name))
        QTest::newRow(qPrintable(fields.takeFirst())) << fields;
}

// Calls put(code, isByte) for each character of an escaped field.
template <class Put>
void forEachUnescaped(const QString &field, Put put)
{
    uint last = 0;
    bool lastByte = false;
    const auto keep = [&](uint code, bool byte) {
        last = code, lastByte = byte;
        put(code, byte);
    };
    for (int i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c == QLatin1Char('\\') && field.mid(i + 1, 1) == QLatin1String("{")) {
            const int end = field.indexOf(QLatin1Char('}'), i);
            const QString count = field.mid(i + 2, end - i - 2).section(QLatin1Char(':'), 0, 0);
            const QString text = field.mid(i + 2, end - i - 2).section(QLatin1Char(':'), 1, -1);
            for (int n = count.toInt(); n > (text.isEmpty() ? 1 : 0); --n) {
                if (text.isEmpty())
                    put(last, lastByte);
                else
                    forEachUnescaped(text, put);
            }
            i = end;
        } else if (c.isHighSurrogate() && i + 1 < field.size() && field.at(i + 1).isLowSurrogate()) {
            keep(QChar::surrogateToUcs4(c, field.at(i + 1)), false);
            ++i;
        } else if (c != QLatin1Char('\\') || i + 1 == field.size()) {
            keep(c.unicode(), false);
        } else if (field.at(++i) == QLatin1Char('x')) {
            keep(field.mid(i + 1, 2).toUInt(nullptr, 16), true);
            i += 2;
        } else if (field.at(i) == QLatin1Char('u')) {
            const int end = field.indexOf(QLatin1Char('}'), i);
            keep(field.mid(i + 2, end - i - 2).toUInt(nullptr, 16), false);
            i = end;
        } else {
            static const QString from = QStringLiteral("nrt0s"), to = QStringLiteral("\n\r\t%1 ").arg(QChar(0));
            const int k = from.indexOf(field.at(i));
            keep(k >= 0 ? to.at(k).unicode() : field.at(i).unicode(), false);
        }
    }
}

inline QString unescaped(const QString &field)
{
    QString out;
    forEachUnescaped(field, [&out](uint code, bool) {
        if (QChar::requiresSurrogates(code))
            out += QString::fromUcs4(&code, 1);
        else
            out += QChar(ushort(code));
    });
    return out;
}

// Characters as UTF-8, \xHH as the byte.
inline QByteArray unescapedUtf8(const QString &field)
{
    QByteArray out;
    forEachUnescaped(field, [&out](uint code, bool byte) {
        if (byte || code < 0x80)
            out += char(code);
        else
            out += QString::fromUcs4(&code, 1).toUtf8();
    });
    return out;
}

// As unescapedUtf8; @name the bytes of that file.
inline QByteArray unescapedBytes(const QString &field)
{
    if (field.startsWith(QLatin1Char('@'))) {
        QFile file(QStringLiteral(KWN_TEST_DATA "/") + field.mid(1));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    return unescapedUtf8(field);
}

inline QByteArray hexBytes(const QString &field)
{
    return QByteArray::fromHex(unescaped(field).toLatin1());
}

// Compares `actual` with the golden file tests/data/`name`, line by line.
// Run with KWN_UPDATE_GOLDEN=1 in the environment to write the file anew
// from `actual` (then read the difference in git before committing it).
inline void compareGolden(const QString &name, const QByteArray &actual)
{
    QFile file(QStringLiteral(KWN_TEST_DATA "/") + name);
    if (qEnvironmentVariableIntValue("KWN_UPDATE_GOLDEN") == 1) {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size());
        return;
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QList<QByteArray> expected = file.readAll().split('\n'), lines = actual.split('\n');
    for (int i = 0; i < qMin(expected.size(), lines.size()); ++i)
        QVERIFY2(lines.at(i) == expected.at(i),
                 qPrintable(QStringLiteral("%1:%2: %3").arg(name).arg(i + 1).arg(QString::fromUtf8(lines.at(i)))));
    QCOMPARE(lines.size(), expected.size());
}

#endif
