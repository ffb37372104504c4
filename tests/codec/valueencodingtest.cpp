#include "codec/frame.h"
#include "codec/readers.h"
#include "codec/valueencoding.h"

#include <QtTest>

Q_DECLARE_METATYPE(TextValidity)
Q_DECLARE_METATYPE(ParameterDefinition)
Q_DECLARE_METATYPE(ParameterInput)

// Flags: "signed", "hexa", "optional", "described". Without {low, high, default} the limits are
// those of a file without "min"/"max"; a negative named value reads as 0 unsigned, as in a file.
static ParameterDefinition param(const char *type, quint32 size, const QString &flags = "",
                                 const QList<qint64> &limits = {}, const QList<qint64> &values = {})
{
    ParameterDefinition p;
    p.type = QLatin1String(type), p.size = size, p.display = true, p.optional = flags.contains("optional");
    p.sign = flags.contains("signed") ? "signed" : "unsigned", p.inputFormat = flags.contains("hexa") ? "hexa" : "";
    p.description = flags.contains("described") ? "Speed" : "";
    const qint64 half = size >= 1 && size <= 4 ? qint64(1) << (8 * size - 1) : 0;
    const QList<qint64> l = limits.size() == 3 ? limits : QList<qint64>{-half, half - 1, -half, 0, 2 * half - 1, 0};
    p.minSigned = qint32(l[0]), p.maxSigned = qint32(l[1]), p.defaultSigned = qint32(l[2]);
    p.minUnsigned = quint32(l.value(3, l[0])), p.maxUnsigned = quint32(l.value(4, l[1]));
    p.defaultUnsigned = quint32(l.value(5, l[2]));
    for (qint64 v : values)
        p.values << ValueDefinition{quint32(qMax<qint64>(v, 0)), qint32(v), QString()};
    return p;
}

static ParameterInput input(const QString &text, const QList<bool> &bits = {}, int index = 0, bool present = true)
{
    return ParameterInput{present, text, index, bits};
}

static QByteArray hex(const char *text) { return QByteArray::fromHex(text); }

class ValueEncodingTest : public QObject
{
    Q_OBJECT

private slots:
    void encodeParameter_data()
    {
        QTest::addColumn<ParameterDefinition>("parameter");
        QTest::addColumn<ParameterInput>("input");
        QTest::addColumn<QByteArray>("bytes");
        const quint32 huge = 4000000000u; // from a broken definition
        QTest::newRow("hexa FFFE, signed") << param("integer", 2, "signed hexa") << input("FFFE") << hex("FEFF");
        QTest::newRow("300 in one byte") << param("integer", 1) << input("300") << hex("2C");
        QTest::newRow("size 6 repeats") << param("integer", 6) << input("168496141") << hex("0D0C0B0A0D0C");
        QTest::newRow("empty gives zeros") << param("integer", 3) << input("") << hex("000000");
        QTest::newRow("absent gives nothing") << param("integer", 2) << input("5", {}, 0, false) << QByteArray();
        QTest::newRow("unknown type gives nothing") << param("Integer", 2) << input("5") << QByteArray();
        QTest::newRow("named, unsigned") << param("integer", 2, "", {}, {5, -1}) << input("", {}, 1) << hex("0000");
        QTest::newRow("named, signed") << param("integer", 2, "signed", {}, {5, -1}) << input("", {}, 1) << hex("FFFF");
        QTest::newRow("named, index out of range") << param("integer", 1, "", {}, {5}) << input("", {}, 7) << hex("00");
        QTest::newRow("short string not padded") << param("string", 4) << input("AB") << hex("4142");
        QTest::newRow("string as UTF-8") << param("string", 4) << input(QStringLiteral("\u00e9")) << hex("C3A9");
        QTest::newRow("bit 9 falls outside") << param("bitfield", 1, "", {}, {7, 9}) << input("", {true, true}) << hex("80");
        QTest::newRow("bit number modulo 32") << param("bitfield", 1, "", {}, {33}) << input("", {true}) << hex("02");
        QTest::newRow("size 2, one byte") << param("bitfield", 2, "", {}, {0}) << input("", {true}) << hex("01");
        QTest::newRow("size 4e9 capped") << param("integer", huge) << input("") << QByteArray(kMaxParameterBytes, 0);
    }
    void encodeParameter()
    {
        QFETCH(ParameterDefinition, parameter);
        QFETCH(ParameterInput, input);
        QFETCH(QByteArray, bytes);
        QCOMPARE(::encodeParameter(parameter, input).toHex(), bytes.toHex());
    }

    void encodeMessageAndNodeIds()
    {
        MessageDefinition m;
        m.msgId = 0x51;
        m.parameters << param("integer", 2) << param("integer", 1, "signed") << param("bitfield", 1, "", {}, {0, 3}) << param("string", 3)
                     << param("integer", 2, "optional");
        const QByteArray data = encodeParameters(m, {input("300"), input("-2"), input("", {true, true}), input("AB1"), input("", {}, 0, false)});
        QCOMPARE(frameToHexText(buildFrameBytes(m, 6, false, "000001", "000002", data)), QStringLiteral("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C"));
        // Missing inputs are fresh editors; an unknown type adds nothing.
        MessageDefinition defaults;
        ParameterDefinition text = param("string", 2);
        text.defaultText = QStringLiteral("Hi there");
        defaults.parameters << param("integer", 2, "", {0, 1000, 258}) << param("", 4) << text << param("bitfield", 1, "", {}, {1});
        QCOMPARE(encodeParameters(defaults, {}).toHex().toUpper(), QByteArray("0201486900"));
        QVERIFY(dataFitsFrame(QByteArray(20, 0)));
        QVERIFY(!dataFitsFrame(QByteArray(21, 0))); // the length field would wrap
        QVERIFY(isValidNodeId("12ab34"));
        QCOMPARE(nodeIdValue("12ab34"), 0x12AB34u);
        for (const char *text : {"000000", "ffffff", "1234", "00000G"})
            QVERIFY2(!isValidNodeId(text), text);
    }

    // A fresh editor: its text, its combo box entry and its tool tip.
    void editorContents_data()
    {
        QTest::addColumn<ParameterDefinition>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("toolTip");
        ParameterDefinition longDefault = param("string", 4);
        longDefault.defaultText = QStringLiteral("ABCDEF");
        QTest::newRow("decimal") << param("integer", 1, "signed") << "-128" << 0 << "Min:-128, Max:127";
        QTest::newRow("hexa signed") << param("integer", 1, "signed hexa described", {-128, 127, -1}) << "FF" << 0
                                     << "Speed\nValue in hexa\nMin:80, Max:7F";
        QTest::newRow("hexa signed 4") << param("integer", 4, "signed hexa", {-100, 100, -100}) << "FFFFFF9C" << 0
                                       << "Value in hexa\nMin:FFFFFF9C, Max:00000064";
        QTest::newRow("hexa unsigned not cut") << param("integer", 1, "hexa", {0, 0x1FF, 0x1FF}) << "1FF" << 0 << "Value in hexa\nMin:00, Max:1FF";
        QTest::newRow("named, later match") << param("integer", 2, "described", {0, 9, 2}, {2, 1, 2}) << "" << 2 << "Speed\nMin:0, Max:9";
        QTest::newRow("named, signed") << param("integer", 1, "signed", {-128, 127, -1}, {0, -1}) << "" << 1 << "Min:-128, Max:127";
        QTest::newRow("string") << param("string", 4, "described") << "----" << 0 << "Speed\n4 characters";
        QTest::newRow("long default cut") << longDefault << "ABCD" << 0 << "4 characters";
        QTest::newRow("string of size 4e9") << param("string", 4000000000u) << QString(kMaxParameterBytes, '-') << 0 << "4000000000 characters";
    }
    void editorContents()
    {
        QFETCH(ParameterDefinition, parameter);
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(QString, toolTip);
        QCOMPARE(initialEditorText(parameter), text);
        QCOMPARE(initialValueIndex(parameter), index);
        QCOMPARE(editorToolTip(parameter), toolTip);
    }

    // Decimal rows are of size 4; "in range" only matters for acceptable hexa texts.
    void validity_data()
    {
        QTest::addColumn<ParameterDefinition>("parameter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<TextValidity>("validity");
        QTest::addColumn<bool>("inRange");
        const auto ok = TextValidity::Acceptable, partial = TextValidity::Intermediate, bad = TextValidity::Invalid;
        auto dec = [](qint64 low, qint64 high) { return param("integer", 4, low < 0 ? "signed" : "", {low, high, 0}); };
        const ParameterDefinition s1 = param("integer", 1, "signed hexa", {-10, 10, 0}), string = param("string", 4);
        QTest::newRow("dec negative") << dec(-128, 127) << "-128" << ok << true;
        QTest::newRow("dec out of range") << dec(-128, 127) << "-129" << partial << true;
        QTest::newRow("dec lone minus") << dec(-5, 5) << "-" << partial << true;
        QTest::newRow("dec beyond 64 bits") << dec(0, 255) << "99999999999999999999" << partial << true;
        for (const char *text : {"-1", "1e2", "12.", "1,000", "+5", " 5"})
            QTest::newRow(qPrintable(QStringLiteral("dec %1").arg(text))) << dec(0, 5000) << text << bad << true;
        QTest::newRow("hexa s1 80") << s1 << "80" << ok << false;
        QTest::newRow("hexa s1 f6 is -10") << s1 << "f6" << ok << true;
        QTest::newRow("hexa reversed limits") << param("integer", 1, "signed hexa", {10, -10, 0}) << "F6" << ok << true;
        QTest::newRow("hexa three digits") << s1 << "123" << bad << false;
        QTest::newRow("hexa empty is 0") << param("integer", 2, "hexa") << "" << ok << true;
        QTest::newRow("hexa beyond 32 bits") << param("integer", 6, "hexa", {0, 0xFFFFFFFFLL, 0}) << "0100000000" << ok << false;
        QTest::newRow("string exact") << string << "AB\tC" << ok << true;
        QTest::newRow("string short") << string << "ABC" << partial << true;
        QTest::newRow("string long") << string << "ABCDE" << bad << true;
        QTest::newRow("string not ASCII") << string << QStringLiteral("AB\u00e9") << bad << true;
        // Editors of a size-4e9 field hold no more than the capped size.
        const ParameterDefinition hugeHexa = param("integer", 4000000000u, "hexa", {0, 5, 0});
        QTest::newRow("hexa 4e9, capped digits") << hugeHexa << QString(2 * kMaxParameterBytes, '0') << ok << true;
        QTest::newRow("hexa 4e9, one more") << hugeHexa << QString(2 * kMaxParameterBytes + 1, '0') << bad << true;
        QTest::newRow("string 4e9 never complete") << param("string", 4000000000u) << QString(kMaxParameterBytes, '-') << partial << true;
    }
    void validity()
    {
        QFETCH(ParameterDefinition, parameter);
        QFETCH(QString, text);
        QFETCH(TextValidity, validity);
        QFETCH(bool, inRange);
        if (parameter.type == QLatin1String("string")) {
            QCOMPARE(validateStringText(parameter, text), validity);
        } else if (parameter.isHexa()) {
            QCOMPARE(validateHexaText(parameter, text), validity);
            if (validity == TextValidity::Acceptable)
                QCOMPARE(hexaInRange(parameter, text), inRange);
        } else {
            QCOMPARE(validateDecimalText(parameter, text), validity);
            // Whatever is acceptable reaches the frame as exactly that value.
            const QByteArray bytes = ::encodeParameter(parameter, input(text));
            const qint64 value = parameter.isSigned() ? readSigned(bytes, 0, 4) : qint64(readUnsigned(bytes, 0, 4));
            QVERIFY(validity != TextValidity::Acceptable || value == text.toLongLong());
        }
    }
    // Little-endian reads with sign extension up to 4 bytes; offsets and sizes from a broken definition.
    void readIntegers_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<quint64>("offset");
        QTest::addColumn<uint>("size");
        QTest::addColumn<uint>("unsignedValue");
        QTest::addColumn<int>("signedValue");
        QTest::newRow("size 1 negative") << hex("fe") << quint64(0) << 1u << 0xFEu << -2;
        QTest::newRow("size 3 negative") << hex("000080") << quint64(0) << 3u << 0x800000u << -0x800000;
        QTest::newRow("size 4") << hex("feffffff") << quint64(0) << 4u << 0xFFFFFFFEu << -2;
        QTest::newRow("fifth byte ORed onto bits 0-7, no sign") << hex("8000000001") << quint64(0) << 5u << 0x81u << 0x81;
        QTest::newRow("sign byte beyond the data") << hex("ff") << quint64(0) << 2u << 0xFFu << 0xFF;
        QTest::newRow("size 4e9") << hex("01020304") << quint64(0) << 4000000000u << 0x04030201u << 0x04030201;
        QTest::newRow("offset past 32 bits") << hex("ffff") << quint64(0x100000000ull) << 2u << 0u << 0;
        QTest::newRow("offset near 64-bit end") << hex("ffff") << ~quint64(0) - 1 << 4000000000u << 0u << 0;
    }
    void readIntegers()
    {
        QFETCH(QByteArray, data);
        QFETCH(quint64, offset);
        QFETCH(uint, size);
        QFETCH(uint, unsignedValue);
        QFETCH(int, signedValue);
        QCOMPARE(readUnsigned(data, offset, size), quint32(unsignedValue));
        QCOMPARE(readSigned(data, offset, size), qint32(signedValue));
    }

    // One Latin-1 character per byte, code 0 for missing bytes, but padded no further than the bound.
    void readStrings()
    {
        const QChar nul(0);
        QCOMPARE(readString(hex("41e9ff00"), 1, 5), QString::fromLatin1("\xE9\xFF\0", 3) + QString(2, nul));
        QCOMPARE(readString("A", 0, 4000000000u), "A" + QString(int(kMaxStringPadding) - 1, nul));
        QCOMPARE(readString(QByteArray(100000, 'x'), 0, 100000), QString(100000, 'x'));
    }
};

QTEST_GUILESS_MAIN(ValueEncodingTest)
#include "valueencodingtest.moc"
