#include "codec/frame.h"
#include "codec/valueencoding.h"

#include <QtTest>

Q_DECLARE_METATYPE(TextValidity)
Q_DECLARE_METATYPE(ParameterDefinition)

class ValueEncodingTest : public QObject
{
    Q_OBJECT

private slots:
    void encodeInteger_data();
    void encodeInteger();
    void encodeNamedValue_data();
    void encodeNamedValue();
    void encodeStringAndBitfield_data();
    void encodeStringAndBitfield();
    void workedExample();
    void missingInputsTakeTheEditorDefaults();
    void nodeIds_data();
    void nodeIds();
    void limitHexText_data();
    void limitHexText();
    void initialContents_data();
    void initialContents();
    void editorToolTip_data();
    void editorToolTip();
    void decimalValidity_data();
    void decimalValidity();
    void hexaValidity_data();
    void hexaValidity();
    void stringValidity_data();
    void stringValidity();
    void hugeSizeStaysBounded_data();
    void hugeSizeStaysBounded();
};

// A parameter with the limits the catalogue derives for its size when the
// file names none (sizes 1 to 4), optionally overridden.
static ParameterDefinition param(const QString &type, quint32 size, bool isSigned = false,
                                 bool hexa = false)
{
    ParameterDefinition p;
    p.type = type;
    p.size = size;
    p.display = true;
    p.sign = isSigned ? QStringLiteral("signed") : QStringLiteral("unsigned");
    p.inputFormat = hexa ? QStringLiteral("hexa") : QStringLiteral("decimal");
    if (size >= 1 && size <= 4) {
        const int bits = int(8 * size);
        p.minSigned = qint32(-(qint64(1) << (bits - 1)));
        p.maxSigned = qint32((qint64(1) << (bits - 1)) - 1);
        p.minUnsigned = 0;
        p.maxUnsigned = quint32((quint64(1) << bits) - 1);
    }
    p.defaultSigned = p.minSigned;
    p.defaultUnsigned = p.minUnsigned;
    return p;
}

static ParameterDefinition limited(ParameterDefinition p, qint64 low, qint64 high, qint64 def)
{
    p.minSigned = qint32(low);
    p.maxSigned = qint32(high);
    p.defaultSigned = qint32(def);
    p.minUnsigned = quint32(low);
    p.maxUnsigned = quint32(high);
    p.defaultUnsigned = quint32(def);
    return p;
}

static ValueDefinition value(quint32 v, const QString &description = QString())
{
    ValueDefinition d;
    d.unsignedValue = v;
    d.signedValue = qint32(v);
    d.description = description;
    return d;
}

static ParameterInput textInput(const QString &text)
{
    ParameterInput input;
    input.text = text;
    return input;
}

static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

void ValueEncodingTest::encodeInteger_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    const QString integer = QStringLiteral("integer");
    QTest::newRow("hexa FFFE signed size 2") << param(integer, 2, true, true) << "FFFE" << hex("FEFF");
    QTest::newRow("decimal -2 signed size 2") << param(integer, 2, true) << "-2" << hex("FEFF");
    QTest::newRow("300 in one unsigned byte") << param(integer, 1) << "300" << hex("2C");
    QTest::newRow("300 in two bytes") << param(integer, 2) << "300" << hex("2C01");
    QTest::newRow("size 6 repeats low bytes") << param(integer, 6) << "168496141" << hex("0D0C0B0A0D0C");
    QTest::newRow("empty gives zeros") << param(integer, 3) << "" << hex("000000");
    QTest::newRow("not a number gives zeros") << param(integer, 2) << "12x" << hex("0000");
    QTest::newRow("only low 32 bits") << param(integer, 4) << "4294967297" << hex("01000000");
    QTest::newRow("signed -1 size 4") << param(integer, 4, true) << "-1" << hex("FFFFFFFF");
    QTest::newRow("lower-case hexa") << param(integer, 2, false, true) << "abcd" << hex("CDAB");
    QTest::newRow("16 hexa digits keep their bits") << param(integer, 8, true, true)
                                                   << "FFFFFFFFFFFFFFFE" << hex("FEFFFFFFFEFFFFFF");
    QTest::newRow("size 0 gives nothing") << param(integer, 0) << "5" << QByteArray();
    QTest::newRow("unknown type gives nothing") << param(QStringLiteral("Integer"), 2) << "5" << QByteArray();
}

void ValueEncodingTest::encodeInteger()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeParameter(parameter, textInput(text)).toHex(), bytes.toHex());

    ParameterInput absent = textInput(text);
    absent.present = false;
    QVERIFY(encodeParameter(parameter, absent).isEmpty());
}

void ValueEncodingTest::encodeNamedValue_data()
{
    QTest::addColumn<bool>("isSigned");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("unsigned entry") << false << 1 << hex("FF00");
    QTest::newRow("signed entry") << true << 1 << hex("FFFF");
    QTest::newRow("first entry") << false << 0 << hex("0500");
    QTest::newRow("index out of range") << false << 7 << hex("0000");
}

void ValueEncodingTest::encodeNamedValue()
{
    QFETCH(bool, isSigned);
    QFETCH(int, index);
    QFETCH(QByteArray, bytes);

    ParameterDefinition p = param(QStringLiteral("integer"), 2, isSigned);
    p.values << value(5) << value(0);
    p.values[1].unsignedValue = 0xFF; // as read from "0xFF": 255 unsigned ...
    p.values[1].signedValue = -1;     // ... and a signed reading that differs
    ParameterInput input;
    input.valueIndex = index;
    QCOMPARE(encodeParameter(p, input).toHex(), bytes.toHex());
}

void ValueEncodingTest::encodeStringAndBitfield_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<bool>>("bits");
    QTest::addColumn<QByteArray>("bytes");

    const ParameterDefinition string4 = param(QStringLiteral("string"), 4);
    QTest::newRow("full string") << string4 << "AB1C" << QList<bool>() << hex("41423143");
    QTest::newRow("short string is not padded") << string4 << "AB" << QList<bool>() << hex("4142");
    QTest::newRow("string as UTF-8") << string4 << QStringLiteral("\u00e9") << QList<bool>() << hex("C3A9");

    ParameterDefinition bits03 = param(QStringLiteral("bitfield"), 1);
    bits03.values << value(0) << value(3);
    QTest::newRow("bits 0 and 3") << bits03 << "" << (QList<bool>() << true << true) << hex("09");
    QTest::newRow("bit 3 only") << bits03 << "" << (QList<bool>() << false << true) << hex("08");
    QTest::newRow("no bit checked") << bits03 << "" << (QList<bool>() << false << false) << hex("00");

    ParameterDefinition bits79 = param(QStringLiteral("bitfield"), 1);
    bits79.values << value(7) << value(9);
    QTest::newRow("bit 9 falls outside") << bits79 << "" << (QList<bool>() << true << true) << hex("80");

    ParameterDefinition bits33 = param(QStringLiteral("bitfield"), 1);
    bits33.values << value(33);
    QTest::newRow("bit number modulo 32") << bits33 << "" << (QList<bool>() << true) << hex("02");

    ParameterDefinition wide = bits03;
    wide.size = 2;
    QTest::newRow("size 2 still one byte") << wide << "" << (QList<bool>() << true << false) << hex("01");

    QTest::newRow("no named bits gives one zero byte")
        << param(QStringLiteral("bitfield"), 1) << "" << QList<bool>() << hex("00");
}

void ValueEncodingTest::encodeStringAndBitfield()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QString, text);
    QFETCH(QList<bool>, bits);
    QFETCH(QByteArray, bytes);

    ParameterInput input = textInput(text);
    input.bitsChecked = bits;
    QCOMPARE(encodeParameter(parameter, input).toHex(), bytes.toHex());
}

static MessageDefinition workedExampleMessage()
{
    MessageDefinition m;
    m.name = QStringLiteral("Sample");
    m.msgId = 0x51;
    m.parameters << param(QStringLiteral("integer"), 2) << param(QStringLiteral("integer"), 1, true);
    ParameterDefinition bits = param(QStringLiteral("bitfield"), 1);
    bits.values << value(0) << value(3);
    m.parameters << bits << param(QStringLiteral("string"), 3);
    ParameterDefinition optional = param(QStringLiteral("integer"), 2);
    optional.optional = true;
    m.parameters << optional;
    return m;
}

void ValueEncodingTest::workedExample()
{
    const MessageDefinition m = workedExampleMessage();
    QList<ParameterInput> inputs;
    inputs << textInput(QStringLiteral("300")) << textInput(QStringLiteral("-2"));
    ParameterInput bits;
    bits.bitsChecked << true << true;
    inputs << bits << textInput(QStringLiteral("AB1"));
    ParameterInput absent;
    absent.present = false;
    inputs << absent;

    const QByteArray data = encodeParameters(m, inputs);
    QCOMPARE(data.toHex().toUpper(), QByteArray("2C01FE09414231"));
    QVERIFY(dataFitsFrame(data));
    const QByteArray frame = buildFrameBytes(m, 6, false, QStringLiteral("000001"),
                                             QStringLiteral("000002"), data);
    QCOMPARE(frameToHexText(frame), QStringLiteral("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C"));

    // No parameters: header and checksum only, length field 11.
    MessageDefinition empty;
    empty.msgId = 0x40;
    const QByteArray bare = buildFrameBytes(empty, 0, false, QStringLiteral("000001"),
                                            QStringLiteral("000002"), encodeParameters(empty, {}));
    QCOMPARE(frameToHexText(bare), QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"));
}

void ValueEncodingTest::missingInputsTakeTheEditorDefaults()
{
    MessageDefinition m;
    ParameterDefinition withDefault = limited(param(QStringLiteral("integer"), 2), 0, 1000, 258);
    ParameterDefinition text = param(QStringLiteral("string"), 2);
    text.defaultText = QStringLiteral("Hi there");
    ParameterDefinition bits = param(QStringLiteral("bitfield"), 1);
    bits.values << value(1);
    m.parameters << withDefault << param(QString(), 4) << text << bits;
    QCOMPARE(encodeParameters(m, {}).toHex().toUpper(), QByteArray("0201486900"));
}

void ValueEncodingTest::nodeIds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("address");

    QTest::newRow("plain") << "00000A" << true << 0x0Au;
    QTest::newRow("lower case") << "12ab34" << true << 0x12AB34u;
    QTest::newRow("group address") << "000000" << false << 0u;
    QTest::newRow("broadcast lower case") << "ffffff" << false << 0xFFFFFFu;
    QTest::newRow("too short") << "1234" << false << 0x1234u;
    QTest::newRow("empty") << "" << false << 0u;
    QTest::newRow("not hexadecimal") << "00000G" << false << 0u;
}

void ValueEncodingTest::nodeIds()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(uint, address);
    QCOMPARE(isValidNodeId(text), valid);
    QCOMPARE(nodeIdValue(text), quint32(address));
}

void ValueEncodingTest::limitHexText_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");

    const QString integer = QStringLiteral("integer");
    QTest::newRow("signed size 1 -128") << param(integer, 1, true, true) << qint64(-128) << "80";
    QTest::newRow("signed size 1 127") << param(integer, 1, true, true) << qint64(127) << "7F";
    QTest::newRow("signed size 2 -1") << param(integer, 2, true, true) << qint64(-1) << "FFFF";
    QTest::newRow("signed size 4 -100") << param(integer, 4, true, true) << qint64(-100) << "FFFFFF9C";
    QTest::newRow("unsigned padded") << param(integer, 2, false, true) << qint64(10) << "000A";
    QTest::newRow("unsigned not cut") << param(integer, 1, false, true) << qint64(0x1FF) << "1FF";
}

void ValueEncodingTest::limitHexText()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QCOMPARE(::limitHexText(parameter, value), text);
}

void ValueEncodingTest::initialContents_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");

    const QString integer = QStringLiteral("integer");
    QTest::newRow("signed decimal default") << param(integer, 1, true) << "-128" << 0;
    QTest::newRow("unsigned hexa default")
        << limited(param(integer, 2, false, true), 0, 0xFFFF, 10) << "000A" << 0;
    QTest::newRow("signed hexa -1") << limited(param(integer, 1, true, true), -128, 127, -1) << "FF" << 0;

    ParameterDefinition string = param(QStringLiteral("string"), 4);
    QTest::newRow("string without default") << string << "----" << 0;
    string.defaultText = QStringLiteral("ABCDEF");
    QTest::newRow("long default cut") << string << "ABCD" << 0;

    ParameterDefinition named = limited(param(integer, 1), 0, 255, 2);
    named.values << value(2, QStringLiteral("a")) << value(1) << value(2, QStringLiteral("b"));
    QTest::newRow("later of two matches") << named << "" << 2;
    named.defaultUnsigned = 9;
    QTest::newRow("no match") << named << "" << 0;

    ParameterDefinition signedNamed = limited(param(integer, 1, true), -128, 127, -1);
    signedNamed.values << value(0) << value(0xFF);
    signedNamed.values[1].signedValue = -1;
    QTest::newRow("signed compares signedValue") << signedNamed << "" << 1;
}

void ValueEncodingTest::initialContents()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QString, text);
    QFETCH(int, index);
    QCOMPARE(initialEditorText(parameter), text);
    QCOMPARE(initialValueIndex(parameter), index);
}

void ValueEncodingTest::editorToolTip_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QString>("toolTip");

    const QString integer = QStringLiteral("integer");
    ParameterDefinition hexaSigned = param(integer, 1, true, true);
    QTest::newRow("hexa") << hexaSigned << "Value in hexa\nMin:80, Max:7F";
    hexaSigned.description = QStringLiteral("Speed");
    QTest::newRow("hexa with description") << hexaSigned << "Speed\nValue in hexa\nMin:80, Max:7F";
    QTest::newRow("hexa unsigned") << param(integer, 2, false, true) << "Value in hexa\nMin:0000, Max:FFFF";

    ParameterDefinition decimal = param(integer, 1, true);
    QTest::newRow("decimal") << decimal << "Min:-128, Max:127";
    decimal.description = QStringLiteral("Angle");
    QTest::newRow("decimal with description") << decimal << "Angle\nMin:-128, Max:127";

    ParameterDefinition named = param(integer, 2);
    named.values << value(1);
    named.description = QStringLiteral("Mode");
    QTest::newRow("named values") << named << "Mode\nMin:0, Max:65535";

    QTest::newRow("string") << param(QStringLiteral("string"), 4) << "4 characters";
    QTest::newRow("bitfield has none") << param(QStringLiteral("bitfield"), 1) << "";
}

void ValueEncodingTest::editorToolTip()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QString, toolTip);
    QCOMPARE(::editorToolTip(parameter), toolTip);
}

void ValueEncodingTest::decimalValidity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("low");
    QTest::addColumn<qint64>("high");
    QTest::addColumn<TextValidity>("validity");

    const auto acceptable = TextValidity::Acceptable;
    const auto intermediate = TextValidity::Intermediate;
    const auto invalid = TextValidity::Invalid;
    QTest::newRow("in range") << "100" << qint64(0) << qint64(255) << acceptable;
    QTest::newRow("negative in range") << "-128" << qint64(-128) << qint64(127) << acceptable;
    QTest::newRow("above") << "200" << qint64(-128) << qint64(127) << intermediate;
    QTest::newRow("below") << "-129" << qint64(-128) << qint64(127) << intermediate;
    QTest::newRow("empty") << "" << qint64(0) << qint64(255) << intermediate;
    QTest::newRow("lone minus") << "-" << qint64(-5) << qint64(5) << intermediate;
    QTest::newRow("minus when unsigned") << "-" << qint64(0) << qint64(5) << invalid;
    QTest::newRow("negative when unsigned") << "-1" << qint64(0) << qint64(5) << invalid;
    QTest::newRow("exponent") << "1e2" << qint64(0) << qint64(255) << invalid;
    QTest::newRow("trailing dot") << "12." << qint64(0) << qint64(255) << invalid;
    QTest::newRow("group separator") << "1,000" << qint64(0) << qint64(5000) << invalid;
    QTest::newRow("plus sign") << "+5" << qint64(0) << qint64(255) << invalid;
    QTest::newRow("blank") << " 5" << qint64(0) << qint64(255) << invalid;
    QTest::newRow("leading zeros") << "007" << qint64(0) << qint64(255) << acceptable;
    QTest::newRow("minus zero") << "-0" << qint64(-5) << qint64(5) << acceptable;
    QTest::newRow("beyond 64 bits") << "99999999999999999999" << qint64(0) << qint64(255) << intermediate;
    QTest::newRow("full unsigned 32") << "4294967295" << qint64(0) << qint64(4294967295LL) << acceptable;
}

void ValueEncodingTest::decimalValidity()
{
    QFETCH(QString, text);
    QFETCH(qint64, low);
    QFETCH(qint64, high);
    QFETCH(TextValidity, validity);
    QCOMPARE(validateDecimalText(text, low, high), validity);

    // Whatever is acceptable reaches the frame as exactly that value.
    if (validity == TextValidity::Acceptable) {
        const ParameterDefinition p = limited(param(QStringLiteral("integer"), 4, low < 0), low, high, 0);
        QCOMPARE(validateDecimalText(p, text), validity);
        const QByteArray bytes = encodeParameter(p, textInput(text));
        qint64 v = qint32(quint8(bytes[0]) | quint8(bytes[1]) << 8 | quint8(bytes[2]) << 16
                          | quint32(quint8(bytes[3])) << 24);
        if (low >= 0)
            v = quint32(v);
        QCOMPARE(v, text.toLongLong());
    }
}

void ValueEncodingTest::hexaValidity_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("digitsOk");
    QTest::addColumn<bool>("inRange");

    const QString integer = QStringLiteral("integer");
    const ParameterDefinition s1 = param(integer, 1, true, true);
    QTest::newRow("s1 80 full range") << s1 << "80" << true << true;
    const ParameterDefinition s1small = limited(s1, -10, 10, 0);
    QTest::newRow("s1 80 limited") << s1small << "80" << true << false;
    QTest::newRow("s1 0A limited") << s1small << "0A" << true << true;
    QTest::newRow("s1 F6 is -10") << s1small << "F6" << true << true;
    QTest::newRow("s1 three digits refused") << s1 << "123" << false << false;
    QTest::newRow("not hexadecimal") << s1 << "G1" << false << false;
    const ParameterDefinition reversed = limited(s1, 10, -10, 0);
    QTest::newRow("reversed limits") << reversed << "F6" << true << true;

    const ParameterDefinition u2 = param(integer, 2, false, true);
    QTest::newRow("u2 empty counts as 0") << u2 << "" << true << true;
    QTest::newRow("u2 lower case") << u2 << "ffff" << true << true;
    const ParameterDefinition u2limited = limited(u2, 1, 100, 1);
    QTest::newRow("u2 below") << u2limited << "0000" << true << false;
    QTest::newRow("u2 above") << u2limited << "0065" << true << false;

    const ParameterDefinition s4 = limited(param(integer, 4, true, true), -100, 100, 0);
    QTest::newRow("s4 -100") << s4 << "FFFFFF9C" << true << true;
    QTest::newRow("s4 -128") << s4 << "FFFFFF80" << true << false;

    const ParameterDefinition u6 = limited(param(integer, 6, false, true), 0, 0xFFFFFFFFLL, 0);
    QTest::newRow("beyond 32 bits") << u6 << "0100000000" << true << false;
}

void ValueEncodingTest::hexaValidity()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QString, text);
    QFETCH(bool, digitsOk);
    QFETCH(bool, inRange);
    QCOMPARE(validateHexaText(parameter, text) == TextValidity::Acceptable, digitsOk);
    if (digitsOk)
        QCOMPARE(hexaInRange(parameter, text), inRange);
}

void ValueEncodingTest::stringValidity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextValidity>("validity");

    QTest::newRow("exact") << "ABCD" << TextValidity::Acceptable;
    QTest::newRow("minus signs") << "----" << TextValidity::Acceptable;
    QTest::newRow("short") << "ABC" << TextValidity::Intermediate;
    QTest::newRow("empty") << "" << TextValidity::Intermediate;
    QTest::newRow("long") << "ABCDE" << TextValidity::Invalid;
    QTest::newRow("not ASCII") << QStringLiteral("AB\u00e9") << TextValidity::Invalid;
    QTest::newRow("control character") << QStringLiteral("AB\tC") << TextValidity::Acceptable;
}

void ValueEncodingTest::stringValidity()
{
    QFETCH(QString, text);
    QFETCH(TextValidity, validity);
    QCOMPARE(validateStringText(param(QStringLiteral("string"), 4), text), validity);
}

void ValueEncodingTest::hugeSizeStaysBounded_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("hexa");
    QTest::newRow("decimal integer") << "integer" << false;
    QTest::newRow("hexa integer") << "integer" << true;
    QTest::newRow("string") << "string" << false;
}

void ValueEncodingTest::hugeSizeStaysBounded()
{
    QFETCH(QString, type);
    QFETCH(bool, hexa);

    ParameterDefinition p = param(type, 4000000000u, true, hexa);
    p.minSigned = -5;
    p.maxSigned = 5;
    QCOMPARE(effectiveSize(p), int(kMaxParameterBytes));

    const ParameterInput input = defaultInput(p);
    QVERIFY(input.text.size() <= int(2 * kMaxParameterBytes));
    const QByteArray bytes = encodeParameter(p, input);
    QCOMPARE(bytes.size(), int(kMaxParameterBytes));
    QVERIFY(!dataFitsFrame(bytes));
    if (type == QLatin1String("string")) {
        // A field capped below the declared size can never be complete.
        QCOMPARE(validateStringText(p, input.text), TextValidity::Intermediate);
    } else if (hexa) {
        QCOMPARE(input.text.size(), int(2 * kMaxParameterBytes));
        QCOMPARE(validateHexaText(p, input.text), TextValidity::Acceptable);
        QCOMPARE(validateHexaText(p, input.text + QLatin1Char('0')), TextValidity::Invalid);
    }
}

QTEST_GUILESS_MAIN(ValueEncodingTest)
#include "valueencodingtest.moc"
