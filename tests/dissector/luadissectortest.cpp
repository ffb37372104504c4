// The dissector's text: catalogue texts in Lua string literals that no text
// can break out of, and a header that stays a comment whatever the folder.
// Filter expressions said as display filters over its fields, for the forms
// that tshark's runs (tsharktest) cannot show: values past what a field
// holds, names that share a field, and what no field can tell.

#include "dissector/luadissector.h"
#include "dissector/wiresharkfilter.h"
#include "support/datarows.h"

#include <QtTest>

namespace {

// The bytes a double-quoted Lua literal of printable ASCII and decimal
// escapes stands for; empty with `ok` false for anything else.
QByteArray readLiteral(const QByteArray &literal, bool *ok)
{
    *ok = false;
    if (literal.size() < 2 || !literal.startsWith('"') || !literal.endsWith('"'))
        return QByteArray();
    QByteArray bytes;
    for (int i = 1; i < literal.size() - 1; ++i) {
        const char c = literal.at(i);
        if (uchar(c) < 0x20 || uchar(c) > 0x7E || c == '"')
            return QByteArray();
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (i + 3 >= literal.size())
            return QByteArray();
        const QByteArray digits = literal.mid(i + 1, 3);
        bool number = false;
        const int value = digits.toInt(&number);
        if (!number || value > 255 || digits.contains('+') || digits.contains('-'))
            return QByteArray();
        bytes += char(value);
        i += 3;
    }
    *ok = true;
    return bytes;
}

} // namespace

class LuaDissectorTest : public QObject
{
    Q_OBJECT

private slots:
    void literal_data() { addDataRows(QStringLiteral("dissector/lualiterals.txt")); }
    void literal()
    {
        QFETCH(QStringList, row);
        const QString text = unescaped(row.value(0));
        const QByteArray literal = dissector::luaStringLiteral(text);
        bool ok = false;
        QCOMPARE(readLiteral(literal, &ok), text.toUtf8());
        QVERIFY2(ok, literal.constData());
    }

    void headerStaysComment()
    {
        DecodeCatalogue catalogue(QStringLiteral("/tmp/x\nos.exit(1)\r]]\u2028y"));
        const QByteArray lua = dissector::generateDissector(catalogue, QStringLiteral("2.0.0\nboom"));
        const QList<QByteArray> lines = lua.split('\n');
        int at = 0;
        while (at < lines.size() && !lines.at(at).isEmpty())
            QVERIFY2(lines.at(at++).startsWith("--"), lines.at(at - 1).constData());
        QVERIFY(at >= 4);
        QVERIFY(lua.contains("--   /tmp/x\\x0Aos.exit(1)\\x0D]]\\u{2028}y\n"));
        QVERIFY(lua.contains("DissectorTable.get(\"wtap_encap\")"));
    }

    void wiresharkFilter_data() { addDataRows(QStringLiteral("dissector/wiresharkfilters.txt")); }
    void wiresharkFilter()
    {
        QFETCH(QStringList, row);
        const QString expression = unescaped(QString::fromUtf8(QTest::currentDataTag())), filter = unescaped(row[0]);
        using dissector::WiresharkField;
        const QHash<QString, WiresharkField> fields{
            {QStringLiteral("kwn.p.position"), {WiresharkField::Unsigned, {QStringLiteral("Position")}}},
            {QStringLiteral("kwn.p.tilt"), {WiresharkField::Signed, {QStringLiteral("Tilt")}}},
            {QStringLiteral("kwn.p.tag"), {WiresharkField::Strings, {QStringLiteral("Tag")}}},
            {QStringLiteral("kwn.p.level"), {WiresharkField::Mixed, {QStringLiteral("Level")}}},
            {QStringLiteral("kwn.p.speed"),
             {WiresharkField::Unsigned, {QStringLiteral("Speed"), QStringLiteral("SPEED")}}}};
        const QSet<QString> names{QStringLiteral("Position"), QStringLiteral("Tilt"), QStringLiteral("Tag"),
                                  QStringLiteral("Level"),    QStringLiteral("Speed"), QStringLiteral("SPEED"),
                                  QStringLiteral("Note")};
        FilterError error;
        const FilterExpression compiled = FilterExpression::compile(expression, names, &error);
        QVERIFY2(!compiled.isEmpty(), qPrintable(error.text()));
        QString problem;
        QCOMPARE(dissector::wiresharkFilter(compiled, fields, &problem), filter);
        QCOMPARE(problem.isEmpty(), !filter.isEmpty());
    }
};

QTEST_GUILESS_MAIN(LuaDissectorTest)
#include "luadissectortest.moc"
