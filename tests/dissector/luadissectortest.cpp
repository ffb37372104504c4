// The dissector's text: catalogue texts in Lua string literals that no text
// can break out of, and a header that stays a comment whatever the folder.

#include "dissector/luadissector.h"

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

QTEST_GUILESS_MAIN(LuaDissectorTest)
#include "luadissectortest.moc"
