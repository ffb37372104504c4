// The dissector's text: catalogue texts in Lua string literals that no text
// can break out of, and a header that stays a comment whatever the folder.
// Filter expressions said as display filters over its fields, for the forms
// that tshark's runs (tsharktest) cannot show: values past what a field
// holds, names that share a field, and what no field can tell.

#include "dissector/luadissector.h"
#include "dissector/wiresharkfilter.h"

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
    void literal_data();
    void literal();
    void headerStaysComment();
    void wiresharkFilter_data();
    void wiresharkFilter();
};

void LuaDissectorTest::literal_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QStringLiteral("QX-Drive 40");
    QTest::newRow("empty") << QString();
    QTest::newRow("quotes") << QStringLiteral("say \"hi\" and 'bye'");
    QTest::newRow("backslashes") << QStringLiteral("a\\b\\\\c\\");
    QTest::newRow("escape then digit") << QStringLiteral("\n1\t99\\0123");
    QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\rfour");
    QTest::newRow("long brackets") << QStringLiteral("]] ]=] [[ --[[ x ]]");
    QTest::newRow("non-ASCII") << QStringLiteral("\u00dc\u20ac\u0000\u2028\U0001F600");
    QTest::newRow("closing quote and code") << QStringLiteral("\") os.exit(1) --");
}

void LuaDissectorTest::literal()
{
    QFETCH(QString, text);
    const QByteArray literal = dissector::luaStringLiteral(text);
    bool ok = false;
    QCOMPARE(readLiteral(literal, &ok), text.toUtf8());
    QVERIFY2(ok, literal.constData());
}

void LuaDissectorTest::headerStaysComment()
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

void LuaDissectorTest::wiresharkFilter_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("filter"); // empty: refused
    const auto row = [](const char *expression, const char *filter) {
        QTest::newRow(expression) << QString::fromUtf8(expression) << QString::fromUtf8(filter);
    };
    const char *const never = "(kwn.status && !kwn.status)";
    row("[Position] in {1, 0x10}", "(kwn.p.position == 1 || kwn.p.position == 16)");
    // Past the 32 bits of the field: decided here, as Wireshark refuses such a number.
    row("[Position] < -1", never);
    row("[Position] > -1", "kwn.p.position");
    row("[Position] != 5000000000", "kwn.p.position");
    row("[Position] & 0x100000001", "kwn.p.position & 1");
    // A signed number's bits from 31 up are its sign.
    row("[Tilt] & -0x7FFFFFFE", "(kwn.p.tilt & 2 || kwn.p.tilt < 0)");
    // A string has no number; a number's text is its shown one.
    row("[Tag] == 1 or [Tag] contains \"x\"", "(" "(kwn.status && !kwn.status)" " || kwn.p.tag contains \"x\")");
    row("[Position] == \"Up\"", "kwn.parameter == \"Position=Up\"");
    row("[Note]", "kwn.parameter_name == \"Note\"");
    row("[Note] == 1", never);
    row("[Speed] >= 3", "(kwn.parameter_name == \"Speed\" && kwn.p.speed >= 3)");
    row("[Level] == \"on\"", "kwn.parameter == \"Level=on\"");
    row("[Level] > 2", "");
    row("[Level] contains \"o\"", "");
    row("source & 0x0180", "(kwn.device && (!(kwn[4] & 0x80) || !(kwn[5] & 0x01)))");
    row("not ack and message != \"a\\\"b\"",
        "kwn.status && (!((kwn.device && kwn.ack == 1)) && (kwn.message && !(kwn.message == \"a\\\"b\")))");
}

void LuaDissectorTest::wiresharkFilter()
{
    QFETCH(QString, expression);
    QFETCH(QString, filter);
    using dissector::WiresharkField;
    const QHash<QString, WiresharkField> fields{
        {QStringLiteral("kwn.p.position"), {WiresharkField::Unsigned, {QStringLiteral("Position")}}},
        {QStringLiteral("kwn.p.tilt"), {WiresharkField::Signed, {QStringLiteral("Tilt")}}},
        {QStringLiteral("kwn.p.tag"), {WiresharkField::Strings, {QStringLiteral("Tag")}}},
        {QStringLiteral("kwn.p.level"), {WiresharkField::Mixed, {QStringLiteral("Level")}}},
        {QStringLiteral("kwn.p.speed"), {WiresharkField::Unsigned, {QStringLiteral("Speed"), QStringLiteral("SPEED")}}}};
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

QTEST_GUILESS_MAIN(LuaDissectorTest)
#include "luadissectortest.moc"
