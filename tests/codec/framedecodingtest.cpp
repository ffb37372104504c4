#include "codec/framedecoding.h"

#include <QRandomGenerator>
#include <QRegExp>
#include <QtTest>

Q_DECLARE_METATYPE(ParameterDefinition)
Q_DECLARE_METATYPE(MessageDefinition)
Q_DECLARE_METATYPE(ParsedFrame::Outcome)

class FrameDecodingTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanFrameText_data();
    void cleanFrameText();
    void cleanMatchesStepwiseCleaning();
    void parseFrameText_data();
    void parseFrameText();
    void largeAndStrangeInput_data();
    void largeAndStrangeInput();
    void header_data();
    void header();
    void checksum_data();
    void checksum();
    void valueTexts_data();
    void valueTexts();
    void bitfieldRows_data();
    void bitfieldRows();
    void messageWalk_data();
    void messageWalk();
    void hugeParameterSizes_data();
    void hugeParameterSizes();
    void productForFrame_data();
    void productForFrame();
};

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

static ParameterDefinition param(const QString &name, const QString &type, quint32 size,
                                 const QString &sign = QStringLiteral("unsigned"),
                                 const QString &format = QStringLiteral("decimal"))
{
    ParameterDefinition p;
    p.name = name;
    p.type = type;
    p.size = size;
    p.sign = sign;
    p.inputFormat = format;
    p.display = true;
    return p;
}

static ParameterDefinition optionalParam(ParameterDefinition p)
{
    p.optional = true;
    return p;
}

static ParameterDefinition hiddenParam(ParameterDefinition p)
{
    p.display = false;
    return p;
}

static ParameterDefinition withValues(ParameterDefinition p, const QList<QPair<qint64, QString>> &values)
{
    for (const auto &v : values) {
        ValueDefinition value;
        value.unsignedValue = quint32(v.first);
        value.signedValue = qint32(v.first);
        value.description = v.second;
        p.values.append(value);
    }
    return p;
}

// What a comment node inside a message element reads as: no attributes.
static ParameterDefinition commentNode()
{
    ParameterDefinition p;
    p.display = true;
    p.sign = QStringLiteral("unsigned");
    p.inputFormat = QStringLiteral("decimal");
    return p;
}

static MessageDefinition message(const QList<ParameterDefinition> &parameters)
{
    MessageDefinition m;
    m.name = QStringLiteral("SET_POSITION");
    m.description = QStringLiteral("Moves to a position");
    m.msgId = 0x51;
    m.parameters = parameters;
    return m;
}

// One line per row: "label=value" for fields, "label=1010" for bit columns
// (one digit per box), the label alone otherwise.
static QStringList rowSummary(const MessageDecoding &decoding)
{
    QStringList lines;
    for (const DecodedRow &row : decoding.rows) {
        switch (row.kind) {
        case DecodedRow::Value:
            lines << row.label + QLatin1Char('=') + row.value;
            break;
        case DecodedRow::Bits: {
            QString states;
            for (const DecodedBit &bit : row.bits)
                states += bit.checked ? QLatin1Char('1') : QLatin1Char('0');
            lines << row.label + QLatin1Char('=') + states;
            break;
        }
        case DecodedRow::LabelOnly:
            lines << row.label;
            break;
        }
    }
    return lines;
}

// ---------------------------------------------------------------- text

void FrameDecodingTest::cleanFrameText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("clean");

    QTest::newRow("plain") << "BFF4FFFE" << "bff4fffe";
    QTest::newRow("spaces") << "BF F4 FF" << "bff4ff";
    QTest::newRow("commas and 0x") << "0xBF, 0xF4, 0xFF" << "bff4ff";
    QTest::newRow("upper-case prefix") << "0XBF 0Xf4" << "bff4";
    QTest::newRow("mixed case digits") << "aBcDeF" << "abcdef";
    QTest::newRow("letters a-f inside words stay") << "BF and F4" << "bfadf4";
    QTest::newRow("letters beyond f go") << "ghijklmnopqrstuvwxyz" << "";
    QTest::newRow("colons and dashes") << "BF:F4-FF" << "bff4ff";
    QTest::newRow("0 before x of a word") << "10xyz" << "1";
    QTest::newRow("x alone is dropped") << "x1x" << "1";
    QTest::newRow("00x keeps the first zero") << "00x1" << "01";
    QTest::newRow("0x0x") << "0x0x12" << "12";
    QTest::newRow("zeros stay") << "00 00" << "0000";
    QTest::newRow("braces and C array") << "{0x01,0x02}" << "0102";
    QTest::newRow("fullwidth digits are not hex") << QString::fromUtf8("\xEF\xBC\x91\xEF\xBC\xA1") << "";
    QTest::newRow("empty") << "" << "";
}

void FrameDecodingTest::cleanFrameText()
{
    QFETCH(QString, text);
    QFETCH(QString, clean);
    QCOMPARE(::cleanFrameText(text), clean);
}

// The single pass must give what lower-casing, removing "0x" and filtering
// with a regular expression give, for every UTF-16 code unit in the places
// where it could matter: alone, before an x, after a zero and between digits.
void FrameDecodingTest::cleanMatchesStepwiseCleaning()
{
    auto stepwise = [](const QString &text) {
        QString s = text.toLower();
        s.remove(QStringLiteral("0x"));
        s.remove(QRegExp(QStringLiteral("[^A-F0-9a-f]*")));
        return s;
    };
    for (uint u = 0; u <= 0xFFFF; ++u) {
        const QChar c(ushort(u), 0);
        const QChar cu = QChar(ushort(u));
        Q_UNUSED(c);
        const QString samples[] = {
            QString(cu),
            QLatin1Char('0') + QString(cu) + QLatin1String("1"),
            QString(cu) + QLatin1String("x2"),
            QLatin1String("a") + QString(cu) + QLatin1String("0x") + QString(cu),
        };
        for (const QString &sample : samples) {
            const QString expected = stepwise(sample);
            if (::cleanFrameText(sample) != expected)
                QFAIL(qPrintable(QStringLiteral("code unit U+%1").arg(u, 4, 16, QLatin1Char('0'))));
        }
    }
    // Surrogate pairs lower-case as whole characters.
    const QString pairs = QString::fromUtf8("0\xF0\x90\x90\x80x1\xF0\x9F\x98\x80" "0X2");
    QCOMPARE(::cleanFrameText(pairs), stepwise(pairs));
}

void FrameDecodingTest::parseFrameText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ParsedFrame::Outcome>("outcome");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("isError");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("longer");
    QTest::addColumn<int>("additional");

    const QByteArray example = bytes("BFF4FFFEFFFFFDFFFF08A9");
    const QString longer = QStringLiteral("Frame is longer than expected (%1 additional bytes).");

    QTest::newRow("separated with 0x and commas")
        << "0xBF, 0xF4, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0xA9"
        << ParsedFrame::Ok << "" << false << example << false << 0;
    QTest::newRow("lower case, no separators") << "bff4fffefffffdffff08a9" << ParsedFrame::Ok << ""
                                               << false << example << false << 0;
    QTest::newRow("spaces and 0X") << "0XBF F4 FF FE FF FF FD FF FF 08 A9" << ParsedFrame::Ok << ""
                                   << false << example << false << 0;
    QTest::newRow("two bytes beyond the length field")
        << "BFF4FFFEFFFFFDFFFF08A9 1234" << ParsedFrame::Ok << longer.arg(2) << false
        << example + bytes("1234") << true << 2;
    QTest::newRow("length field 20, only 11 bytes")
        << "BFEBFFFEFFFFFDFFFF08A9" << ParsedFrame::Ok << "" << false << bytes("BFEBFFFEFFFFFDFFFF08A9")
        << false << 0;
    QTest::newRow("wrong checksum still accepted")
        << "BFF4FFFEFFFFFDFFFF0000" << ParsedFrame::Ok << "" << false << bytes("BFF4FFFEFFFFFDFFFF0000")
        << false << 0;
    QTest::newRow("21 digits") << "BFF4FFFEFFFFFDFFFF08A" << ParsedFrame::InvalidText << "Invalid frame."
                               << true << QByteArray() << false << 0;
    QTest::newRow("one digit") << "B" << ParsedFrame::InvalidText << "Invalid frame." << true
                               << QByteArray() << false << 0;
    QTest::newRow("no digit at all") << "pqrs, tuvw" << ParsedFrame::InvalidText << "Invalid frame."
                                     << true << QByteArray() << false << 0;
    QTest::newRow("only prefixes") << "0x 0X" << ParsedFrame::InvalidText << "Invalid frame." << true
                                   << QByteArray() << false << 0;
    QTest::newRow("20 digits") << "BFF4FFFEFFFFFDFFFF08" << ParsedFrame::InvalidLength
                               << "Invalid frame length." << true << bytes("BFF4FFFEFFFFFDFFFF08")
                               << false << 0;
    QTest::newRow("2 digits") << "00" << ParsedFrame::InvalidLength << "Invalid frame length." << true
                              << bytes("00") << false << 0;
    // "and" gives a and d: two more digits, so the count stays even.
    QTest::newRow("a and d of a word count") << "BFF4FFFEFFFFFDFFFF08A9 and so on" << ParsedFrame::Ok
                                             << longer.arg(1) << false
                                             << bytes("BFF4FFFEFFFFFDFFFF08A9AD") << true << 1;
}

void FrameDecodingTest::parseFrameText()
{
    QFETCH(QString, text);
    QFETCH(ParsedFrame::Outcome, outcome);
    QFETCH(QString, status);
    QFETCH(bool, isError);
    QFETCH(QByteArray, frame);
    QFETCH(bool, longer);
    QFETCH(int, additional);

    const ParsedFrame parsed = ::parseFrameText(text);
    QCOMPARE(parsed.outcome, outcome);
    QCOMPARE(parsed.statusText, status);
    QCOMPARE(parsed.statusIsError, isError);
    QCOMPARE(parsed.bytes.toHex(), frame.toHex());
    QCOMPARE(parsed.frameLonger, longer);
    QCOMPARE(parsed.additionalBytes, additional);
    if (outcome == ParsedFrame::Ok)
        QCOMPARE(parsed.fields.data, unpackFrame(frame).data);
}

void FrameDecodingTest::largeAndStrangeInput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<ParsedFrame::Outcome>("outcome");
    QTest::addColumn<int>("frameBytes");

    const QString frame = QStringLiteral("BFF4FFFEFFFFFDFFFF08A9");
    QTest::newRow("megabyte of digits") << QString(1 << 20, QLatin1Char('a')) << ParsedFrame::Ok
                                        << (1 << 19);
    QTest::newRow("megabyte, odd digit count") << QString((1 << 20) + 1, QLatin1Char('7'))
                                               << ParsedFrame::InvalidText << 0;
    QTest::newRow("megabyte of text without digits") << QString(1 << 20, QLatin1Char('z'))
                                                     << ParsedFrame::InvalidText << 0;

    QRandomGenerator random(20240601);
    QString binary(1 << 20, Qt::Uninitialized);
    for (QChar &c : binary)
        c = QChar(ushort(random.bounded(0x10000)));
    const int digits = ::cleanFrameText(binary).size();
    QTest::newRow("megabyte of random code units")
        << binary << (digits % 2 ? ParsedFrame::InvalidText : ParsedFrame::Ok)
        << (digits % 2 ? 0 : digits / 2);

    QString nuls = frame;
    for (int i = nuls.size(); i > 0; i -= 2)
        nuls.insert(i, QChar(0));
    QTest::newRow("NULs between bytes") << nuls << ParsedFrame::Ok << 11;
    QTest::newRow("right-to-left marks") << QChar(0x200F) + frame + QChar(0x202E) << ParsedFrame::Ok << 11;
    QTest::newRow("lone surrogates") << QChar(0xD800) + frame + QChar(0xDC00) + QChar(0xDBFF)
                                     << ParsedFrame::Ok << 11;
    QTest::newRow("emoji and CJK") << QString::fromUtf8("\xF0\x9F\x98\x80 \xE6\x97\xA5 ") + frame
                                   << ParsedFrame::Ok << 11;
}

void FrameDecodingTest::largeAndStrangeInput()
{
    QFETCH(QString, text);
    QFETCH(ParsedFrame::Outcome, outcome);
    QFETCH(int, frameBytes);

    const ParsedFrame parsed = ::parseFrameText(text);
    QCOMPARE(parsed.outcome, outcome);
    if (outcome == ParsedFrame::Ok) {
        QCOMPARE(parsed.bytes.size(), frameBytes);
        QCOMPARE(parsed.frameLonger, frameBytes > int(parsed.fields.length));
        if (parsed.frameLonger)
            QCOMPARE(parsed.additionalBytes, frameBytes - int(parsed.fields.length));
        // The data may be huge; decoding it against a message must still end.
        const MessageDecoding decoding = decodeMessageData(
            message({param("A", "string", 4000000000u), param("B", "integer", 4)}), parsed.fields.data,
            parsed.frameLonger, parsed.statusText);
        QVERIFY(!decoding.statusText.isEmpty());
    }
}

// ---------------------------------------------------------------- header

void FrameDecodingTest::header_data()
{
    QTest::addColumn<uint>("destination");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("nodeId");

    QTest::newRow("group") << 0u << "Group" << "000000";
    QTest::newRow("broadcast") << 0xFFFFFFu << "Broadcast" << "FFFFFF";
    QTest::newRow("point to point") << 2u << "Point to point" << "000002";
    QTest::newRow("hex digits upper case") << 171u << "Point to point" << "0000AB";
    QTest::newRow("full width") << 0x12AB34u << "Point to point" << "12AB34";
}

void FrameDecodingTest::header()
{
    QFETCH(uint, destination);
    QFETCH(QString, mode);
    QFETCH(QString, nodeId);
    QCOMPARE(addressingModeName(destination), mode);
    QCOMPARE(nodeIdText(destination), nodeId);
}

void FrameDecodingTest::checksum_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("matches");

    QTest::newRow("example") << bytes("BFF4FFFEFFFFFDFFFF08A9") << true;
    QTest::newRow("with data") << bytes("DC72F9CB54ED01FFFFFE7F07CF") << true;
    QTest::newRow("low byte wrong") << bytes("BFF4FFFEFFFFFDFFFF08A8") << false;
    QTest::newRow("bytes swapped") << bytes("BFF4FFFEFFFFFDFFFFA908") << false;
    QTest::newRow("too short") << bytes("00") << false;
}

void FrameDecodingTest::checksum()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, matches);
    QCOMPARE(checksumMatches(frame), matches);
}

// ---------------------------------------------------------------- values

void FrameDecodingTest::valueTexts_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("toolTip");

    const QString s = QStringLiteral("signed");
    const QString u = QStringLiteral("unsigned");
    const QString hexa = QStringLiteral("hexa");
    const QString dec = QStringLiteral("decimal");
    auto described = [](ParameterDefinition p) {
        p.description = QStringLiteral("Target speed");
        return p;
    };

    QTest::newRow("hexa signed negative, size 2") << param("P", "integer", 2, s, hexa) << bytes("feff")
                                                  << "FFFE" << "Value in hexa";
    QTest::newRow("hexa signed positive, no leading zeros") << param("P", "integer", 2, s, hexa)
                                                            << bytes("1200") << "12" << "Value in hexa";
    QTest::newRow("hexa signed positive upper case") << param("P", "integer", 2, s, hexa)
                                                     << bytes("ab0c") << "CAB" << "Value in hexa";
    QTest::newRow("hexa signed negative, size 1") << param("P", "integer", 1, s, hexa) << bytes("80")
                                                  << "80" << "Value in hexa";
    QTest::newRow("hexa signed negative, size 3") << param("P", "integer", 3, s, hexa)
                                                  << bytes("feffff") << "FFFFFE" << "Value in hexa";
    QTest::newRow("hexa signed negative, size 4") << param("P", "integer", 4, s, hexa)
                                                  << bytes("feffffff") << "FFFFFFFE" << "Value in hexa";
    QTest::newRow("hexa signed negative, size 6 sign-extended")
        << param("P", "integer", 6, s, hexa) << bytes("feffffff0000") << "FFFFFFFFFFFE"
        << "Value in hexa";
    QTest::newRow("hexa unsigned lower case") << param("P", "integer", 2, u, hexa) << bytes("ab0c")
                                              << "cab" << "Value in hexa";
    QTest::newRow("hexa unsigned zero") << param("P", "integer", 2, u, hexa) << bytes("0000") << "0"
                                        << "Value in hexa";
    QTest::newRow("hexa tool tip with description")
        << described(param("P", "integer", 1, u, hexa)) << bytes("01") << "1"
        << "Target speed\nValue in hexa";
    QTest::newRow("hexa with upper-case sign is unsigned")
        << param("P", "integer", 1, QStringLiteral("Signed"), hexa) << bytes("fe") << "fe"
        << "Value in hexa";
    QTest::newRow("decimal signed size 1") << param("P", "integer", 1, s, dec) << bytes("fe") << "-2" << "";
    QTest::newRow("decimal unsigned size 1") << param("P", "integer", 1, u, dec) << bytes("fe") << "254"
                                             << "";
    QTest::newRow("decimal signed size 2") << param("P", "integer", 2, s, dec) << bytes("feff") << "-2"
                                           << "";
    QTest::newRow("decimal unsigned size 4") << param("P", "integer", 4, u, dec) << bytes("ffffffff")
                                             << "4294967295" << "";
    QTest::newRow("decimal signed size 4 minimum") << param("P", "integer", 4, s, dec)
                                                   << bytes("00000080") << "-2147483648" << "";
    QTest::newRow("decimal tool tip is the description")
        << described(param("P", "integer", 1, u, dec)) << bytes("07") << "7" << "Target speed";
    QTest::newRow("missing bytes read as 0") << param("P", "integer", 4, u, dec) << bytes("01") << "1"
                                             << "";
    QTest::newRow("size 0 integer") << param("P", "integer", 0, u, dec) << bytes("ff") << "0" << "";
    QTest::newRow("size 0 signed integer") << param("P", "integer", 0, s, dec) << bytes("ff") << "0" << "";
    QTest::newRow("size 0 hexa signed") << param("P", "integer", 0, s, hexa) << bytes("ff") << "0"
                                        << "Value in hexa";

    const QList<QPair<qint64, QString>> states = {{0, "Stopped"}, {1, "Moving"}, {-2, "Blocked"},
                                                  {1, "Second moving"}};
    QTest::newRow("named unsigned") << described(withValues(param("P", "integer", 1, u, dec), states))
                                    << bytes("01") << "Moving" << "Target speed";
    QTest::newRow("named signed negative") << withValues(param("P", "integer", 1, s, dec), states)
                                           << bytes("fe") << "Blocked" << "";
    QTest::newRow("named unsigned does not sign-extend")
        << withValues(param("P", "integer", 1, u, dec), states) << bytes("fe") << "Invalid value (0xFE)"
        << "";
    QTest::newRow("named, format ignored") << withValues(param("P", "integer", 1, u, hexa), states)
                                           << bytes("00") << "Stopped" << "";
    QTest::newRow("named invalid signed size 1") << withValues(param("P", "integer", 1, s, dec), states)
                                                 << bytes("fd") << "Invalid value (0xFD)" << "";
    QTest::newRow("named invalid unsigned size 2") << withValues(param("P", "integer", 2, u, dec), states)
                                                   << bytes("0500") << "Invalid value (0x0005)" << "";
    QTest::newRow("named invalid signed size 2 negative")
        << withValues(param("P", "integer", 2, s, dec), states) << bytes("00ff")
        << "Invalid value (0xFF00)" << "";
    QTest::newRow("named invalid size 6 zero-padded")
        << withValues(param("P", "integer", 6, u, dec), states) << bytes("05")
        << "Invalid value (0x000000000005)" << "";
    QTest::newRow("named invalid size 0") << withValues(param("P", "integer", 0, u, dec), {{1, "One"}})
                                          << bytes("01") << "Invalid value (0x)" << "";

    QTest::newRow("string") << described(param("P", "string", 4)) << QByteArray("ABCD") << "ABCD"
                            << "Target speed";
    QTest::newRow("string padded with code 0") << param("P", "string", 4) << QByteArray("AB")
                                               << QString::fromLatin1("AB\0\0", 4) << "";
    QTest::newRow("string read as Latin-1") << param("P", "string", 2) << bytes("c3a9")
                                            << QString::fromLatin1("\xC3\xA9") << "";
    QTest::newRow("string size 0") << param("P", "string", 0) << QByteArray("AB") << "" << "";
}

void FrameDecodingTest::valueTexts()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QByteArray, data);
    QFETCH(QString, value);
    QFETCH(QString, toolTip);

    const DecodedRow row = decodeParameter(parameter, data, 0);
    QCOMPARE(row.kind, DecodedRow::Value);
    QCOMPARE(row.label, parameter.name + QLatin1Char(':'));
    QCOMPARE(row.value, value);
    QCOMPARE(row.toolTip, toolTip);
}

void FrameDecodingTest::bitfieldRows_data()
{
    QTest::addColumn<ParameterDefinition>("parameter");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("states");

    const QList<QPair<qint64, QString>> bits = {{0, "Open"}, {3, "Closed"}, {9, "Fault"}, {35, "Wrapped"}};
    const QStringList labels = {"Bit 0: Open", "Bit 3: Closed", "Bit 9: Fault", "Bit 35: Wrapped"};
    QTest::newRow("one byte") << withValues(param("F", "bitfield", 1), bits) << bytes("09") << labels
                              << "1101";
    QTest::newRow("bit 9 needs the second byte") << withValues(param("F", "bitfield", 2), bits)
                                                 << bytes("0002") << labels << "0010";
    QTest::newRow("size 1 ignores the next byte") << withValues(param("F", "bitfield", 1), bits)
                                                  << bytes("00ff") << labels << "0000";
    QTest::newRow("size 0: all unchecked") << withValues(param("F", "bitfield", 0), bits) << bytes("ff")
                                           << labels << "0000";
    QTest::newRow("no named bits") << param("F", "bitfield", 1) << bytes("ff") << QStringList() << "";
}

void FrameDecodingTest::bitfieldRows()
{
    QFETCH(ParameterDefinition, parameter);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, labels);
    QFETCH(QString, states);

    const DecodedRow row = decodeParameter(parameter, data, 0);
    QCOMPARE(row.kind, DecodedRow::Bits);
    QVERIFY(row.toolTip.isEmpty());
    QStringList gotLabels;
    QString gotStates;
    for (const DecodedBit &bit : row.bits) {
        gotLabels << bit.label;
        gotStates += bit.checked ? QLatin1Char('1') : QLatin1Char('0');
    }
    QCOMPARE(gotLabels, labels);
    QCOMPARE(gotStates, states);
}

// ---------------------------------------------------------------- message walk

void FrameDecodingTest::messageWalk_data()
{
    QTest::addColumn<MessageDefinition>("definition");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("longer");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("isError");

    const QString ok = QStringLiteral("Frame decoded successfully.");
    const QString incomplete = QStringLiteral("Frame is uncomplete.");
    const QString longer = QStringLiteral("Frame is longer than expected (2 additional bytes).");
    const ParameterDefinition speed = param("Speed", "integer", 2);
    const ParameterDefinition name = param("Name", "string", 3);
    const ParameterDefinition ramp = param("Ramp", "integer", 1);

    QTest::newRow("all parameters") << message({speed, name}) << bytes("2c01414243") << false
                                    << QStringList{"Speed:=300", "Name:=ABC"} << ok << false;
    QTest::newRow("longer frame keeps its status") << message({speed}) << bytes("2c01") << true
                                                   << QStringList{"Speed:=300"} << longer << false;
    QTest::newRow("data ends before a required parameter")
        << message({speed, name}) << bytes("2c01") << false << QStringList{"Speed:=300"} << incomplete
        << true;
    QTest::newRow("no data, required parameter") << message({speed}) << QByteArray() << false
                                                 << QStringList() << incomplete << true;
    QTest::newRow("optional parameters at the end") << message({speed, optionalParam(name), optionalParam(ramp)})
                                                    << bytes("2c01") << false << QStringList{"Speed:=300"}
                                                    << ok << false;
    QTest::newRow("optional present") << message({speed, optionalParam(ramp)}) << bytes("2c0105") << false
                                      << QStringList{"Speed:=300", "Ramp:=5"} << ok << false;
    QTest::newRow("optional then required, data ended")
        << message({speed, optionalParam(ramp), name}) << bytes("2c01") << false
        << QStringList{"Speed:=300"} << incomplete << true;
    QTest::newRow("all optional, no data") << message({optionalParam(speed), optionalParam(name)})
                                           << QByteArray() << false << QStringList() << ok << false;
    QTest::newRow("no parameters") << message({}) << QByteArray() << false << QStringList() << ok << false;
    QTest::newRow("display no consumes its bytes") << message({hiddenParam(speed), ramp}) << bytes("2c0105")
                                                   << false << QStringList{"Ramp:=5"} << ok << false;
    QTest::newRow("display no still required") << message({speed, hiddenParam(ramp)}) << bytes("2c01")
                                               << false << QStringList{"Speed:=300"} << incomplete << true;
    QTest::newRow("size 0 parameters consume nothing")
        << message({param("Zero", "integer", 0), param("Empty", "string", 0), ramp}) << bytes("05") << false
        << QStringList{"Zero:=0", "Empty:=", "Ramp:=5"} << ok << false;
    QTest::newRow("size 0 parameter after the data is required")
        << message({ramp, param("Zero", "integer", 0)}) << bytes("05") << false << QStringList{"Ramp:=5"}
        << incomplete << true;
    QTest::newRow("partly present parameter reads zeros") << message({param("Long", "integer", 4)})
                                                          << bytes("01") << false << QStringList{"Long:=1"}
                                                          << ok << false;
    // A comment node inside a message reads as a parameter of no type.
    QTest::newRow("comment after the last parameter") << message({speed, commentNode()}) << bytes("2c01")
                                                      << false << QStringList{"Speed:=300"} << ok << false;
    QTest::newRow("comment between parameters shows its label")
        << message({speed, commentNode(), ramp}) << bytes("2c0105") << false
        << QStringList{"Speed:=300", ":", "Ramp:=5"} << ok << false;
    QTest::newRow("unknown type takes no bytes") << message({param("Odd", "float", 4), ramp}) << bytes("05")
                                                 << false << QStringList{"Odd:", "Ramp:=5"} << ok << false;
    QTest::newRow("hidden unknown type takes no bytes")
        << message({hiddenParam(param("Odd", "float", 4)), ramp}) << bytes("05") << false
        << QStringList{"Ramp:=5"} << ok << false;
    QTest::newRow("unknown type with no data") << message({param("Odd", "Integer", 2)}) << QByteArray()
                                               << false << QStringList() << ok << false;
    QTest::newRow("comment inside, then the data ends early")
        << message({commentNode(), speed, ramp}) << bytes("2c01") << false
        << QStringList{":", "Speed:=300"} << incomplete << true;
}

void FrameDecodingTest::messageWalk()
{
    QFETCH(MessageDefinition, definition);
    QFETCH(QByteArray, data);
    QFETCH(bool, longer);
    QFETCH(QStringList, rows);
    QFETCH(QString, status);
    QFETCH(bool, isError);

    const QString longerStatus = QStringLiteral("Frame is longer than expected (2 additional bytes).");
    const MessageDecoding decoding = decodeMessageData(definition, data, longer, longerStatus);
    QVERIFY(decoding.known);
    QCOMPARE(decoding.messageName, definition.name);
    QCOMPARE(decoding.messageToolTip, definition.description);
    QCOMPARE(rowSummary(decoding), rows);
    QCOMPARE(decoding.statusText, status);
    QCOMPARE(decoding.statusIsError, isError);
    QCOMPARE(decoding.complete, !isError);
}

void FrameDecodingTest::hugeParameterSizes_data()
{
    QTest::addColumn<MessageDefinition>("definition");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("status");

    const quint32 huge = 4000000000u;
    const QString ok = QStringLiteral("Frame decoded successfully.");
    const QString incomplete = QStringLiteral("Frame is uncomplete.");
    const QString padded = QStringLiteral("A") + QString(int(kMaxFrameBytes) - 1, QChar(0));

    QTest::newRow("huge string is bounded") << message({param("S", "string", huge)}) << QByteArray("A")
                                            << QStringList{"S:=" + padded} << ok;
    // 1 + 0xFFFFFFFF wraps a 32-bit offset back to 0; C must not re-read A.
    QTest::newRow("offsets do not wrap")
        << message({param("A", "integer", 1), param("B", "integer", 0xFFFFFFFFu), param("C", "integer", 1)})
        << bytes("0506") << QStringList{"A:=5", "B:=6"} << incomplete;
    QTest::newRow("huge hidden parameter, optional rest")
        << message({hiddenParam(param("H", "integer", huge)), optionalParam(param("O", "integer", 1))})
        << bytes("0102") << QStringList() << ok;
    QTest::newRow("huge named value text is bounded")
        << message({withValues(param("N", "integer", huge), {{9, "Nine"}})}) << bytes("05")
        << QStringList{"N:=Invalid value (0x" + QString(2 * int(kMaxPaddedFieldBytes) - 1, QLatin1Char('0'))
                       + "5)"}
        << ok;
    QTest::newRow("huge signed hexa is bounded") << message({param("X", "integer", huge, "signed", "hexa")})
                                                 << bytes("00000080")
                                                 << QStringList{"X:=" + QString(2 * int(kMaxPaddedFieldBytes) - 8,
                                                                                QLatin1Char('F')) + "80000000"}
                                                 << ok;
}

void FrameDecodingTest::hugeParameterSizes()
{
    QFETCH(MessageDefinition, definition);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, rows);
    QFETCH(QString, status);

    const MessageDecoding decoding = decodeMessageData(definition, data, false, QString());
    QCOMPARE(rowSummary(decoding), rows);
    QCOMPARE(decoding.statusText, status);
}

void FrameDecodingTest::productForFrame_data()
{
    QTest::addColumn<bool>("controllerProduct"); // a product with node type 0 exists
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("destination");
    QTest::addColumn<QString>("product");
    QTest::newRow("sender named") << false << 3 << 7 << "Three";
    QTest::newRow("controller frame names its receiver") << false << 0 << 7 << "Seven";
    QTest::newRow("controller frame to an unknown type") << false << 0 << 9 << "";
    QTest::newRow("unknown sender is not replaced") << false << 9 << 7 << "";
    QTest::newRow("a product of node type 0 is the sender") << true << 0 << 7 << "Zero";
}

void FrameDecodingTest::productForFrame()
{
    QFETCH(bool, controllerProduct);
    QFETCH(int, source);
    QFETCH(int, destination);
    QFETCH(QString, product);
    ProfileMap profiles;
    auto add = [&profiles](const QString &name, quint32 nodeType) {
        ProfileDefinition p;
        p.product = name;
        p.revision = QStringLiteral("1");
        p.nodeType = nodeType;
        profiles.insert(profileKey(p), p);
    };
    add(QStringLiteral("Three"), 3);
    add(QStringLiteral("Seven"), 7);
    if (controllerProduct)
        add(QStringLiteral("Zero"), 0);
    FrameFields fields;
    fields.sourceNodeType = quint8(source);
    fields.destinationNodeType = quint8(destination);
    QCOMPARE(::productForFrame(profiles, fields), product);
}

QTEST_GUILESS_MAIN(FrameDecodingTest)
#include "framedecodingtest.moc"
