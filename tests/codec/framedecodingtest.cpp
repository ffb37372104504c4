#include "codec/framedecoding.h"

#include <QtTest>

Q_DECLARE_METATYPE(MessageDefinition)

using Values = QList<QPair<qint64, QString>>;

static QByteArray bytes(const char *hex) { return QByteArray::fromHex(hex); }

// Flags: "signed" first, then any of "hexa", "optional", "hidden", "described".
static ParameterDefinition param(const char *type, quint32 size, const QString &flags = "", const char *name = "P",
                                 const Values &values = {})
{
    ParameterDefinition p;
    p.name = QLatin1String(name), p.type = QLatin1String(type), p.size = size;
    p.sign = flags.contains("igned") ? flags.section(' ', 0, 0) : "unsigned";
    p.inputFormat = flags.contains("hexa") ? "hexa" : "decimal", p.optional = flags.contains("optional");
    p.display = !flags.contains("hidden"), p.description = flags.contains("described") ? "Target speed" : "";
    for (const auto &v : values)
        p.values << ValueDefinition{quint32(v.first), qint32(v.first), v.second};
    return p;
}

static MessageDefinition message(const QList<ParameterDefinition> &parameters, const char *name = "SET_POSITION")
{
    MessageDefinition m;
    m.name = QLatin1String(name), m.description = "Moves to a position", m.msgId = 0x51, m.parameters = parameters;
    return m;
}

static MessageDefinition one(const char *type, quint32 size, const QString &flags = "", const Values &values = {})
{
    return message({param(type, size, flags, "P", values)});
}

// One "label=value [tool tip]", "label=box=0/1,..." or bare label per row.
static QString rowsText(const MessageDecoding &decoding)
{
    QStringList rows;
    for (const DecodedRow &row : decoding.rows) {
        QStringList bits;
        for (const DecodedBit &bit : row.bits)
            bits << bit.label + (bit.checked ? "=1" : "=0");
        QString text = row.label;
        if (row.kind != DecodedRow::LabelOnly)
            text += '=' + (row.kind == DecodedRow::Value ? row.value : bits.join(','));
        rows << (row.toolTip.isEmpty() ? text : text + " [" + row.toolTip + ']');
    }
    return rows.join('|');
}

class FrameDecodingTest : public QObject
{
    Q_OBJECT

private slots:
    // The one-pass cleaning must agree with lower-casing, removing "0x" and
    // filtering, for every UTF-16 code unit alone, before an x, after a zero.
    void cleaningMatchesStepwise()
    {
        auto stepwise = [](const QString &text) {
            const QString lowered = text.toLower().remove(QStringLiteral("0x"));
            QString digits;
            for (QChar c : lowered)
                if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')))
                    digits += c;
            return digits;
        };
        for (uint u = 0; u <= 0xFFFF; ++u) {
            const QString c = QChar(ushort(u));
            for (const QString &sample : QStringList{c, "0" + c + "1", c + "x2", "a" + c + "0x" + c, "0x0" + c})
                if (::cleanFrameText(sample) != stepwise(sample))
                    QFAIL(qPrintable(QStringLiteral("code unit U+%1").arg(u, 4, 16, QLatin1Char('0'))));
        }
        const QString pairs = QString::fromUtf8("0\xF0\x90\x90\x80x1\xF0\x9F\x98\x80" "0X2");
        QCOMPARE(::cleanFrameText(pairs), stepwise(pairs));
    }

    // An accepted text gives the frame as pasted and the bytes beyond its length field.
    void parseFrameText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("additional");
        const QString example = QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"), mega = QString(1 << 20, 'A');
        const QString longer = QStringLiteral("Frame is longer than expected (%1 additional bytes).");
        QTest::newRow("0x and commas") << "0xBF, 0xF4, 0xFF, 0xFE, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0x08, 0xA9" << "" << example << 0;
        QTest::newRow("two bytes beyond the length") << example + " 1234" << longer.arg(2) << example + "1234" << 2;
        QTest::newRow("length field 20, 11 bytes") << "BFEBFFFEFFFFFDFFFF08A9" << "" << "BFEBFFFEFFFFFDFFFF08A9" << 0;
        QTest::newRow("wrong checksum") << "BFF4FFFEFFFFFDFFFF0000" << "" << "BFF4FFFEFFFFFDFFFF0000" << 0;
        QTest::newRow("megabyte") << mega.toLower() << longer.arg((1 << 19) - 21) << mega << (1 << 19) - 21;
        QTest::newRow("21 digits") << "BFF4FFFEFFFFFDFFFF08A" << "Invalid frame." << "" << 0;
        QTest::newRow("megabyte and one digit") << mega + '7' << "Invalid frame." << "" << 0;
        QTest::newRow("20 digits") << "BFF4FFFEFFFFFDFFFF08" << "Invalid frame length." << "" << 0;
    }
    void parseFrameText()
    {
        QFETCH(QString, text);
        QFETCH(QString, status);
        QFETCH(QString, frame);
        QFETCH(int, additional);
        const ParsedFrame parsed = ::parseFrameText(text);
        QCOMPARE(parsed.statusText, status);
        QCOMPARE(parsed.ok(), !frame.isEmpty());
        QCOMPARE(parsed.statusIsError, frame.isEmpty());
        QCOMPARE(parsed.outcome == ParsedFrame::InvalidLength, status == "Invalid frame length.");
        if (parsed.ok())
            QCOMPARE(frameToHexText(parsed.bytes), frame);
        QCOMPARE(parsed.frameLonger, additional > 0);
        QCOMPARE(parsed.additionalBytes, additional);
    }

    // Text given as UTF-8 bytes reads as the same text converted: long runs
    // of digits (read a block at a time) broken at every place, "0x" across
    // a block's end, an odd digit before a run, every byte value, and
    // sequences that are no UTF-8.
    void bytesReadAsTheirText_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray run(64, 'c');
        QTest::newRow("run") << run + run;
        QTest::newRow("run, mixed case") << QByteArray("0123456789abcdefABCDEF").repeated(20);
        for (int at : {0, 1, 31, 62, 63, 64, 65, 127, 128}) {
            QByteArray broken = run + run + run;
            QByteArray prefixed = broken;
            broken[at] = ' ';
            prefixed[at] = '0';
            prefixed[at + 1] = 'X';
            QTest::addRow("run broken at %d", at) << broken;
            QTest::addRow("0x at %d", at) << prefixed;
            QTest::addRow("odd digit, then 0x at %d", at) << "7 " + prefixed;
        }
        QTest::newRow("zero before each block's end") << QByteArray(QByteArray(63, 'A') + "0x1").repeated(50);
        QTest::newRow("odd digit before a megabyte") << "1 " + QByteArray(1 << 20, 'e') + "f";
        QTest::newRow("every other a digit") << QByteArray("A.").repeated(1000);
        QTest::newRow("non-ASCII in a run") << run + "\xC3\xA9" + run + "\xF0\x9F\x98\x80" + run;
        QTest::newRow("invalid UTF-8") << "\xC3" + run + "\xFF\xFE" "0\xC3" "x1" + run + "\xED\xA0\x80" + run;
        QTest::newRow("NUL bytes") << QByteArray("F0\0EF\0\0", 7) + run;
        QTest::newRow("blocks without a digit") << QByteArray(200, ' ') + "f0" + QByteArray(130, '\t') + "eF";
        QTest::newRow("0x before a block without a digit") << QByteArray(63, 'c') + "0x" + QByteArray(128, ' ') + "1";
        QTest::newRow("nothing") << QByteArray();
        for (int b = 0; b < 256; ++b) {
            const QByteArray c(1, char(b));
            QTest::addRow("byte %02x", b) << "0" + c + "1" + c + "x2" + c + "0x" + c + run + c + "0" + c + run;
        }
    }
    void bytesReadAsTheirText()
    {
        QFETCH(QByteArray, text);
        const ParsedFrame fromText = ::parseFrameText(QString::fromUtf8(text.constData(), text.size()));
        const ParsedFrame fromBytes = ::parseFrameText(text.constData(), text.size());
        QCOMPARE(fromBytes.outcome, fromText.outcome);
        QCOMPARE(fromBytes.statusText, fromText.statusText);
        QCOMPARE(fromBytes.bytes, fromText.bytes);
        QCOMPARE(fromBytes.fields.data, fromText.fields.data);
    }

    // Rows and status of a decoding; an empty status stands for "Frame decoded successfully.".
    void decode_data()
    {
        QTest::addColumn<MessageDefinition>("definition");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("status");
        const QString incomplete = QStringLiteral("Frame is uncomplete.");
        const Values states = {{0, "Stopped"}, {-2, "Blocked"}, {-2, "Again"}};
        const Values bits = {{0, "Open"}, {3, "Closed"}, {9, "Fault"}, {35, "Wrapped"}};
        const QString boxes = QStringLiteral("P:=Bit 0: Open=%1,Bit 3: Closed=%2,Bit 9: Fault=%3,Bit 35: Wrapped=%4");
        const ParameterDefinition speed = param("integer", 2, "", "Speed"), ramp = param("integer", 1, "", "Ramp");
        const ParameterDefinition name = param("string", 3, "", "Name"), comment = param("", 0, "", "");
        const quint32 huge = 4000000000u;
        const int padded = 2 * int(kMaxPaddedFieldBytes);
        QTest::newRow("hexa signed positive") << one("integer", 2, "signed hexa") << bytes("ab0c") << "P:=CAB [Value in hexa]" << "";
        QTest::newRow("hexa unsigned") << one("integer", 2, "hexa described") << bytes("ab0c") << "P:=cab [Target speed\nValue in hexa]" << "";
        QTest::newRow("decimal signed") << one("integer", 1, "signed described") << bytes("fe") << "P:=-2 [Target speed]" << "";
        QTest::newRow("named signed, first match") << one("integer", 1, "signed hexa described", states) << bytes("fe")
                                                   << "P:=Blocked [Target speed]" << "";
        QTest::newRow("named unsigned, no extension") << one("integer", 1, "", states) << bytes("fe") << "P:=Invalid value (0xFE)" << "";
        QTest::newRow("string padded") << one("string", 4) << QByteArray("AB") << "P:=AB" << "";
        QTest::newRow("string padded within the data") << one("string", 4) << QByteArray("AB\0\0", 4) << "P:=AB" << "";
        QTest::newRow("string of padding only") << one("string", 3) << QByteArray(3, '\0') << "P:=" << "";
        QTest::newRow("string with a NUL inside") << one("string", 4) << QByteArray("A\0B\0", 4) << "P:=A\\x00B" << "";
        QTest::newRow("string clearing the screen, two lines")
            << one("string", 8) << QByteArray("\x1B[2J\r\nX\t") << "P:=\\x1B[2J\\x0D\\x0AX\\x09" << "";
        QTest::newRow("string with DEL, C1 and a soft hyphen")
            << one("string", 5) << QByteArray("\x7F\x85\x9B\xAD!") << "P:=\\x7F\\x85\\x9B\\xAD!" << "";
        QTest::newRow("string with a backslash") << one("string", 3) << QByteArray("a\\b") << "P:=a\\\\b" << "";
        QTest::newRow("string of Latin-1 letters") << one("string", 4) << QByteArray("\xE9t\xE9\xA0")
                                                   << QString::fromLatin1("P:=\xE9t\xE9\xA0") << "";
        QTest::newRow("bits") << one("bitfield", 1, "", bits) << bytes("09") << boxes.arg(1).arg(1).arg(0).arg(1) << "";
        QTest::newRow("bitfield size 0") << one("bitfield", 0, "", bits) << bytes("ff") << boxes.arg(0).arg(0).arg(0).arg(0) << "";
        QTest::newRow("longer frame keeps its status") << message({speed}) << bytes("2c01") << "Speed:=300"
                                                       << "Frame is longer than expected (2 additional bytes).";
        QTest::newRow("unknown message") << message({speed}, "") << bytes("2c01") << "" << "Frame not decoded because message is unknown.";
        QTest::newRow("data ends before a required one") << message({speed, name}) << bytes("2c01") << "Speed:=300" << incomplete;
        QTest::newRow("optional, then a required one") << message({speed, param("integer", 1, "optional"), name}) << bytes("2c01")
                                                       << "Speed:=300" << incomplete;
        QTest::newRow("all optional, no data") << one("string", 1, "optional") << QByteArray() << "" << "";
        QTest::newRow("hidden consumes its bytes") << message({param("integer", 2, "hidden"), ramp}) << bytes("2c0105") << "Ramp:=5" << "";
        QTest::newRow("size 0 consumes nothing") << message({param("integer", 0, "signed"), param("string", 0), ramp}) << bytes("05")
                                                 << "P:=0|P:=|Ramp:=5" << "";
        // Comments and unknown types take no bytes, so the data cannot end before them.
        QTest::newRow("comments, unknown type") << message({speed, comment, param("float", 4, "", "Od"), ramp, comment})
                                                << bytes("2c0105") << "Speed:=300|:|Od:|Ramp:=5" << "";
        // Sizes from a broken definition: bounded texts, no offset wrap-around.
        QTest::newRow("huge string") << one("string", huge) << QByteArray("A") << "P:=A" << "";
        QTest::newRow("offsets do not wrap") << message({ramp, param("integer", 0xFFFFFFFFu), param("integer", 1)}) << bytes("0506")
                                             << "Ramp:=5|P:=6" << incomplete;
        QTest::newRow("huge named value") << one("integer", huge, "", {{9, "Nine"}}) << bytes("05")
                                          << "P:=Invalid value (0x" + QString(padded - 1, '0') + "5)" << "";
        QTest::newRow("huge signed hexa") << one("integer", huge, "signed hexa") << bytes("00000080")
                                          << "P:=" + QString(padded - 8, 'F') + "80000000 [Value in hexa]" << "";
    }
    void decode()
    {
        QFETCH(MessageDefinition, definition);
        QFETCH(QByteArray, data);
        QFETCH(QString, rows);
        QFETCH(QString, status);
        const bool longer = status.startsWith("Frame is longer"), complete = longer || status.isEmpty();
        const MessageDecoding decoding = decodeMessageData(
            definition, data, longer, QStringLiteral("Frame is longer than expected (2 additional bytes)."));
        QCOMPARE(rowsText(decoding), rows);
        QCOMPARE(decoding.statusText, status.isEmpty() ? QStringLiteral("Frame decoded successfully.") : status);
        QCOMPARE(decoding.complete, complete);
        QCOMPARE(decoding.statusIsError, !complete);
        QCOMPARE(decoding.messageName, decoding.known ? definition.name : QStringLiteral("Unknown message"));
        QCOMPARE(decoding.messageToolTip, decoding.known ? definition.description : QString());
    }

    // A string row shows visibleText of its characters; its unescaped value
    // (what JSON carries) keeps them, without the padding.
    void stringRows_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("unescaped");
        QTest::newRow("plain") << QByteArray("Hall") << "Hall" << "Hall";
        QTest::newRow("padding beyond the data") << QByteArray("H") << "H" << "H";
        QTest::newRow("NUL inside, then padding") << QByteArray("\0H\0\0", 4) << "\\x00H" << QString::fromLatin1("\0H", 2);
        QTest::newRow("line ends") << QByteArray("\r\nH\\") << "\\x0D\\x0AH\\\\" << "\r\nH\\";
    }
    void stringRows()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, shown);
        QFETCH(QString, unescaped);
        const DecodedRow row = decodeParameter(param("string", 4), data, 0);
        QCOMPARE(row.value, shown);
        QCOMPARE(row.unescapedValue, unescaped);
        // Integers are shown as they are.
        const DecodedRow number = decodeParameter(param("integer", 1, "signed"), QByteArray("\xFE"), 0);
        QCOMPARE(number.unescapedValue, number.value);
    }

    // Every character that would not show as itself is escaped, with the
    // short form up to U+00FF; anything else is left alone.
    void visibleTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QString c0;
        QString c0Shown;
        for (ushort c = 0; c < 0x20; ++c) {
            c0 += QChar(c);
            c0Shown += QLatin1String("\\x") + QStringLiteral("%1").arg(c, 2, 16, QLatin1Char('0')).toUpper();
        }
        QTest::newRow("nothing") << "" << "";
        QTest::newRow("printable ASCII") << " !~ABCxyz{}[]\"'" << " !~ABCxyz{}[]\"'";
        QTest::newRow("every C0 control character") << c0 << c0Shown;
        QTest::newRow("DEL and C1") << QString::fromLatin1("\x7F\x80\x85\x9F") << "\\x7F\\x80\\x85\\x9F";
        QTest::newRow("Latin-1 letters and spaces kept") << QString::fromLatin1("\xA0\xE9\xFF\xAE") << QString::fromLatin1("\xA0\xE9\xFF\xAE");
        QTest::newRow("soft hyphen") << QString::fromLatin1("a\xAD" "b") << "a\\xADb";
        QTest::newRow("backslashes") << "\\x41\\" << "\\\\x41\\\\";
        QTest::newRow("line and paragraph separators") << QString::fromUtf8("a\u2028b\u2029c") << "a\\u{2028}b\\u{2029}c";
        QTest::newRow("bidirectional overrides") << QString::fromUtf8("\u202A\u202B\u202C\u202D\u202Eabc")
                                                 << "\\u{202A}\\u{202B}\\u{202C}\\u{202D}\\u{202E}abc";
        QTest::newRow("bidirectional isolates") << QString::fromUtf8("\u2066\u2067\u2068\u2069")
                                                << "\\u{2066}\\u{2067}\\u{2068}\\u{2069}";
        QTest::newRow("zero width and byte order mark") << QString::fromUtf8("\u200B\u200D\u200E\uFEFF")
                                                        << "\\u{200B}\\u{200D}\\u{200E}\\u{FEFF}";
        QTest::newRow("noncharacters") << QString::fromUtf8("\uFFFE\uFFFF") << "\\u{FFFE}\\u{FFFF}";
        QTest::newRow("format character beyond the first plane") << QString::fromUtf8("\U000E0001x") << "\\u{E0001}x";
        QTest::newRow("lone surrogates") << QString(QChar(0xD800)) + 'x' + QChar(0xDC00) << "\\u{D800}x\\u{DC00}";
        QTest::newRow("other scripts and pairs kept") << QString::fromUtf8("\u00e9\u20ac\u4e2d\U0001F600")
                                                      << QString::fromUtf8("\u00e9\u20ac\u4e2d\U0001F600");
        QTest::newRow("escape after text") << QString::fromUtf8("\u4e2d\u4e2d\x1b") << QString::fromUtf8("\u4e2d\u4e2d\\x1B");
    }
    void visibleTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(visibleText(text), shown);
        // Escaping twice only doubles the backslashes: the text is not broken.
        QCOMPARE(visibleText(shown), QString(shown).replace(QLatin1String("\\"), QLatin1String("\\\\")));
    }

    // Each integer and bitfield row keeps the number read before any naming
    // or formatting; a signed one stands for its signed value. "set" lists the
    // bits of a bitfield's number that are 1.
    void rawNumbers_data()
    {
        QTest::addColumn<MessageDefinition>("definition");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("hasRaw");
        QTest::addColumn<quint32>("raw");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("set");
        const Values states = {{0, "Stopped"}, {-2, "Blocked"}};
        const Values bits = {{0, "Open"}, {3, "Closed"}, {9, "Fault"}, {35, "Wrapped"}};
        QTest::newRow("unsigned, size 1") << one("integer", 1) << bytes("fe") << true << 0xFEu << qint64(254) << "";
        QTest::newRow("unsigned, size 2") << one("integer", 2) << bytes("2c01") << true << 300u << qint64(300) << "";
        QTest::newRow("unsigned, size 3") << one("integer", 3) << bytes("010203") << true << 0x030201u << qint64(0x030201) << "";
        QTest::newRow("unsigned, size 4") << one("integer", 4) << bytes("ffffffff") << true << 0xFFFFFFFFu
                                          << qint64(0xFFFFFFFFll) << "";
        QTest::newRow("signed, size 1") << one("integer", 1, "signed") << bytes("fb") << true << 0xFFFFFFFBu << qint64(-5) << "";
        QTest::newRow("signed, size 2") << one("integer", 2, "signed") << bytes("feff") << true << 0xFFFFFFFEu << qint64(-2) << "";
        QTest::newRow("signed, size 3") << one("integer", 3, "signed") << bytes("000080") << true << 0xFF800000u
                                        << qint64(-0x800000) << "";
        QTest::newRow("signed, size 4") << one("integer", 4, "signed") << bytes("00000080") << true << 0x80000000u
                                        << qint64(-0x80000000ll) << "";
        QTest::newRow("signed, positive") << one("integer", 2, "signed") << bytes("ff7f") << true << 0x7FFFu << qint64(0x7FFF) << "";
        // No sign extension when the field's last byte lies beyond the data.
        QTest::newRow("signed, top byte missing") << one("integer", 2, "signed") << bytes("fe") << true << 0xFEu << qint64(254) << "";
        QTest::newRow("signed hexa") << one("integer", 2, "signed hexa") << bytes("feff") << true << 0xFFFFFFFEu << qint64(-2) << "";
        QTest::newRow("unsigned hexa") << one("integer", 2, "hexa") << bytes("ab0c") << true << 0x0CABu << qint64(0x0CAB) << "";
        QTest::newRow("named") << one("integer", 1, "", states) << bytes("00") << true << 0u << qint64(0) << "";
        QTest::newRow("named, no entry") << one("integer", 1, "", states) << bytes("fe") << true << 0xFEu << qint64(254) << "";
        QTest::newRow("signed named") << one("integer", 1, "signed", states) << bytes("fe") << true << 0xFFFFFFFEu << qint64(-2) << "";
        QTest::newRow("size 5, fifth byte onto the first") << one("integer", 5) << bytes("0102030405") << true << 0x04030205u
                                                           << qint64(0x04030205) << "";
        QTest::newRow("size 0") << one("integer", 0, "signed") << bytes("ff") << true << 0u << qint64(0) << "";
        QTest::newRow("bitfield") << one("bitfield", 2, "", bits) << bytes("0902") << true << 0x0209u << qint64(0x0209)
                                  << "0,3,9";
        QTest::newRow("bitfield, unnamed bits set") << one("bitfield", 1, "", bits) << bytes("f0") << true << 0xF0u
                                                    << qint64(0xF0) << "4,5,6,7";
        QTest::newRow("bitfield, signed in name only") << one("bitfield", 1, "signed", bits) << bytes("80") << true << 0x80u
                                                       << qint64(0x80) << "7";
        QTest::newRow("string") << one("string", 2) << QByteArray("AB") << false << 0u << qint64(0) << "";
        QTest::newRow("unknown type") << one("float", 2) << bytes("0102") << false << 0u << qint64(0) << "";
    }
    void rawNumbers()
    {
        QFETCH(MessageDefinition, definition);
        QFETCH(QByteArray, data);
        QFETCH(bool, hasRaw);
        QFETCH(quint32, raw);
        QFETCH(qint64, number);
        QFETCH(QString, set);
        const DecodedRow row = decodeParameter(definition.parameters.first(), data, 0);
        QCOMPARE(row.hasRaw, hasRaw);
        QCOMPARE(row.raw, raw);
        QCOMPARE(row.rawNumber(), number);
        if (row.kind != DecodedRow::Bits)
            return;
        QStringList on;
        for (quint32 position = 0; position < 40; ++position) {
            if (row.rawBitSet(position))
                on << QString::number(position);
        }
        QCOMPARE(on.join(','), set);
        for (const DecodedBit &bit : row.bits)
            QCOMPARE(bit.checked, row.rawBitSet(bit.bit % 32));
    }

    void headerTexts()
    {
        QCOMPARE(addressingModeName(0) + addressingModeName(0xFFFFFF) + addressingModeName(2), QStringLiteral("GroupBroadcastPoint to point"));
        QCOMPARE(nodeIdText(0xAB), QStringLiteral("0000AB"));
        ProfileMap profiles{{"Three_1", {"", "Three", "1", 3, "", ""}}, {"Seven_1", {"", "Seven", "1", 7, "", ""}}};
        auto productFor = [&profiles](quint8 source, quint8 destination) {
            FrameFields fields;
            fields.sourceNodeType = source, fields.destinationNodeType = destination;
            return ::productForFrame(profiles, fields);
        };
        QCOMPARE(productFor(3, 7), QStringLiteral("Three"));
        QCOMPARE(productFor(0, 7), QStringLiteral("Seven")); // a controller's frame names its receiver
        QCOMPARE(productFor(9, 7), QString());               // an unknown sender is not replaced
        profiles.insert("Zero_1", ProfileDefinition{"", "Zero", "1", 0, "", ""});
        QCOMPARE(productFor(0, 7), QStringLiteral("Zero"));
    }
};

QTEST_GUILESS_MAIN(FrameDecodingTest)
#include "framedecodingtest.moc"
