// Frames packed and unpacked and their texts (codec/frames.txt, outputformat.txt),
// decoding frame text and data bytes: cleaning, rows, numbers and texts shown;
// and the decoding entry point: golden reports (codec/reports.txt), JSON as Qt
// writes it, the quick ways writing the general way's bytes, and edited files.

#include "codec/buslog.h"
#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/framereport.h"
#include "codec/outputformat.h"
#include "cataloguefiles.h"
#include "fuzz/randomcatalogue.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QString kReports = QStringLiteral(KWN_TEST_DATA "/codec/reports/xml");
const QList<ReportStyle> kStyles{ReportStyle::Blocks, ReportStyle::SingleLine, ReportStyle::Json};

// A motor status of the sample drive: its last parameter is "Supply voltage".
const QString kMotorStatus = QStringLiteral("F0EFDFAEF3C5FEFFFFFDFAFD0DFF0C20");

// Qt reads the JSON line back and writes it again byte for byte.
void checkJson(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, text.constData());
    QCOMPARE(document.toJson(QJsonDocument::Compact) + '\n', text);
}

// The report of a line (or bus log line) in one style, appended to `all`, after
// checking every other way of writing it; counts the lines the plain way took.
void writeReport(DecodeCatalogue &catalogue, const QString &line, ReportStyle style, QByteArray &all, int *plainLines = nullptr)
{
    const BusLogLine logged = parseBusLogLine(line);
    const QByteArray input = (logged.time.isEmpty() ? line : logged.frameText).toUtf8();
    FrameReport r = catalogue.decodeText(QString::fromUtf8(input));
    r.time = logged.time;
    r.direction = logged.direction;
    QString text;
    appendReport(style, r, text);
    const QByteArray utf8 = text.toUtf8();
    all += utf8;
    QByteArray other;
    if (catalogue.appendPlainFrameReport(style, input.constData(), input.size(), other, logged.time.toUtf8(),
                                         logged.direction.toUtf8())) {
        QCOMPARE(other, utf8);
        if (plainLines)
            ++*plainLines;
    } else if (plainFrameBytes(input.constData(), input.size(), other)) {
        // Only a frame whose report is not a plain success goes the general way.
        QCOMPARE(other, r.frame.bytes);
        QVERIFY2(!r.productFound || !r.message.complete || r.frame.frameLonger || r.frame.fields.length != other.size(),
                 qPrintable(text));
    }
    if (isEchoedUtf8Text(input.constData(), input.size())) {
        FrameReport apart = r;
        apart.input.clear();
        other = "before\n";
        appendReportUtf8(style, apart, input.constData(), input.size(), other);
        QCOMPARE(other, "before\n" + utf8);
    }
    if (style == ReportStyle::Json)
        return checkJson(utf8);
    // No character of the data that is not shown as itself is written as it is.
    for (const DecodedRow &row : r.message.rows) {
        for (const QChar c : row.namedForm || row.kind != DecodedRow::Value ? QString() : parameterValueText(row)) {
            const ushort u = c.unicode();
            QVERIFY2(u >= 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != 0xAD && !c.isSurrogate(),
                     qPrintable(QStringLiteral("U+%1 written as it is").arg(u, 4, 16, QLatin1Char('0'))));
        }
    }
    const QString parameters = parametersText(r);
    if (style == ReportStyle::SingleLine && !parameters.isEmpty())
        QVERIFY2(text.endsWith(" | " + parameters + '\n'), qPrintable(text));
}

// The frames of one message and data to and from node type 3, over the
// addressing modes and acknowledge flag, and one whose length byte falls short.
QList<QByteArray> framesOf(quint8 id, const QByteArray &data, int variant)
{
    static const quint32 destinations[] = {0x1A2B3C, 0x000000, 0xFFFFFF};
    const quint8 length = quint8(data.size() + kFrameOverheadBytes);
    QList<QByteArray> frames{packFrame(id, variant % 2 == 0, length, 3, 0, 0x0A0B0C, destinations[variant % 3], data),
                             packFrame(id, variant % 2 != 0, length, 0, 3, 0x000001, destinations[(variant + 1) % 3], data)};
    if (variant % 5 == 0)
        frames << packFrame(id, false, quint8(length - 1), 3, 0, 0x0A0B0C, 0x000001, data);
    return frames;
}

// One "label=value [tool tip]", "label=box=0/1,..." or bare label per row.
QString rowsText(const MessageDecoding &decoding)
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
    return rows.join(QLatin1String("; "));
}

} // namespace

class FrameDecodingTest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data() { addDataRows(QStringLiteral("codec/frames.txt")); }
    void frames()
    {
        QFETCH(QStringList, row);
        const QByteArray frame = hexBytes(row[0]);
        QCOMPARE(frameProblem(frame), row[4]);
        if (row[1].isEmpty())
            return;
        const FrameFields f = unpackFrame(frame);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
                     .arg(f.messageId, 2, 16, QLatin1Char('0')).arg(int(f.ackRequested)).arg(f.controlBits)
                     .arg(f.length, 2, 16, QLatin1Char('0')).arg(f.sourceNodeType, 0, 16).arg(f.destinationNodeType, 0, 16)
                     .arg(f.sourceAddress, 6, 16, QLatin1Char('0')).arg(f.destinationAddress, 6, 16, QLatin1Char('0')).toUpper(),
                 row[1]);
        QCOMPARE(f.data, hexBytes(row[2]));
        QCOMPARE(f.checksum, quint16(row[3].toUShort(nullptr, 16)));
        if (row[4].isEmpty() && f.controlBits == 0) {
            QCOMPARE(packFrame(f.messageId, f.ackRequested, f.length, f.sourceNodeType, f.destinationNodeType,
                               f.sourceAddress, f.destinationAddress, f.data), frame);
            QCOMPARE(frameToHexText(frame), row[0]);
            QCOMPARE(hexTextToBytes(row[0].toLower()), frame);
        }
    }

    // Every field is masked to its width.
    void packMasksFields()
    {
        QCOMPARE(frameToHexText(packFrame(0x40, false, 0xEB, 0x10, 0xF0, 0x1000001, 0xFF000002, {})),
                 QStringLiteral("BFF4FFFEFFFFFDFFFF08A9"));
        QCOMPARE(unpackFrame(QByteArray(10, '\0')).length, quint8(0));
    }

    void format_data() { addDataRows(QStringLiteral("codec/outputformat.txt")); }
    void format()
    {
        QFETCH(QStringList, row);
        QCOMPARE(isValidFormat(unescaped(row[1])), row[2] == QLatin1String("1"));
        QCOMPARE(formatOutputText(row[0], unescaped(row[1])), unescaped(row[3]));
    }

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
                if (cleanFrameText(sample) != stepwise(sample))
                    QFAIL(qPrintable(QStringLiteral("code unit U+%1").arg(u, 4, 16, QLatin1Char('0'))));
        }
        const QString pairs = QString::fromUtf8("0\xF0\x90\x90\x80x1\xF0\x9F\x98\x80" "0X2");
        QCOMPARE(cleanFrameText(pairs), stepwise(pairs));
    }

    void parseFrameText_data() { addDataRows(QStringLiteral("codec/frametexts.txt")); }
    void parseFrameText()
    {
        QFETCH(QStringList, row);
        const QString frame = unescaped(row[2]);
        const ParsedFrame parsed = ::parseFrameText(unescaped(row[0]));
        QCOMPARE(parsed.statusText, row[1]);
        QCOMPARE(parsed.ok(), !frame.isEmpty());
        QCOMPARE(parsed.statusIsError, frame.isEmpty());
        QCOMPARE(parsed.outcome == ParsedFrame::InvalidLength, row[1] == "Invalid frame length.");
        if (parsed.ok())
            QCOMPARE(frameToHexText(parsed.bytes), frame);
        QCOMPARE(parsed.frameLonger, row[3] != "0");
        QCOMPARE(parsed.additionalBytes, row[3].toInt());
    }

    // Text given as UTF-8 bytes reads as the same text converted.
    void bytesReadAsTheirText_data() { addDataRows(QStringLiteral("codec/frametext-bytes.txt")); }
    void bytesReadAsTheirText()
    {
        QFETCH(QStringList, row);
        const QByteArray text = unescapedBytes(row[0]);
        const ParsedFrame fromText = ::parseFrameText(QString::fromUtf8(text.constData(), text.size()));
        const ParsedFrame fromBytes = ::parseFrameText(text.constData(), text.size());
        QCOMPARE(fromBytes.outcome, fromText.outcome);
        QCOMPARE(fromBytes.statusText, fromText.statusText);
        QCOMPARE(fromBytes.bytes, fromText.bytes);
    }

    void decode_data() { addDataRows(QStringLiteral("codec/decoding.txt")); }
    void decode()
    {
        QFETCH(QStringList, row);
        const MessageDefinition definition = messageOf(row[0]);
        const QString status = row[3].isEmpty() ? QStringLiteral("Frame decoded successfully.") : row[3];
        const bool longer = status.startsWith("Frame is longer"), complete = longer || row[3].isEmpty();
        const MessageDecoding decoding = decodeMessageData(definition, unescapedBytes(row[1]), longer, status);
        QCOMPARE(rowsText(decoding), unescaped(row[2]));
        QCOMPARE(decoding.statusText, status);
        QCOMPARE(decoding.complete, complete);
        QCOMPARE(decoding.statusIsError, !complete);
        QCOMPARE(decoding.messageName, decoding.known ? QStringLiteral("M") : QStringLiteral("Unknown message"));
        QCOMPARE(decoding.messageToolTip, decoding.known ? QStringLiteral("Moves") : QString());
        // A string shows its characters escaped; what JSON carries keeps them.
        for (const DecodedRow &r : decoding.rows)
            QCOMPARE(visibleText(r.unescapedValue), r.kind == DecodedRow::Value ? r.value : QString());
    }

    // A bitfield's boxes are the bits of its number, named or not.
    void rawNumbers_data() { addDataRows(QStringLiteral("codec/rawnumbers.txt")); }
    void rawNumbers()
    {
        QFETCH(QStringList, row);
        const DecodedRow decoded = decodeParameter(parameterOf(row[0]), unescapedBytes(row[1]), 0);
        QCOMPARE(decoded.hasRaw, row[2] != "-");
        if (!decoded.hasRaw)
            return;
        QCOMPARE(QString::number(decoded.raw, 16).toUpper(), row[2]);
        QCOMPARE(decoded.rawNumber(), row[3].toLongLong());
        QStringList on;
        for (quint32 position = 0; position < 40; ++position) {
            if (decoded.rawBitSet(position))
                on << QString::number(position);
        }
        QCOMPARE(on.join(','), decoded.kind == DecodedRow::Bits ? row[4] : on.join(','));
        for (const DecodedBit &bit : decoded.bits)
            QCOMPARE(bit.checked, decoded.rawBitSet(bit.bit % 32));
    }

    void readers_data() { addDataRows(QStringLiteral("codec/readers.txt")); }
    void readers()
    {
        QFETCH(QStringList, row);
        const QByteArray data = unescapedBytes(row[0]);
        QCOMPARE(readUnsigned(data, row[1].toULongLong(), row[2].toUInt()), row[3].toUInt(nullptr, 16));
        QCOMPARE(readSigned(data, row[1].toULongLong(), row[2].toUInt()), row[4].toInt());
    }

    // One Latin-1 character per byte, code 0 for missing bytes, but padded no further than the bound.
    void readStrings()
    {
        const QChar nul(0);
        QCOMPARE(readString("A\xE9\xFF", 1, 5), QString::fromLatin1("\xE9\xFF") + QString(3, nul));
        QCOMPARE(readString("A", 0, 4000000000u), "A" + QString(int(kMaxStringPadding) - 1, nul));
        QCOMPARE(readString(QByteArray(100000, 'x'), 0, 100000), QString(100000, 'x'));
    }

    void visibleTexts_data() { addDataRows(QStringLiteral("codec/visibletext.txt")); }
    void visibleTexts()
    {
        QFETCH(QStringList, row);
        const QString shown = unescaped(row[1]);
        QCOMPARE(visibleText(unescaped(row[0])), shown);
        // Escaping twice only doubles the backslashes: the text is not broken.
        QCOMPARE(visibleText(shown), QString(shown).replace(QLatin1String("\\"), QLatin1String("\\\\")));
    }

    // The product of a frame is its sender's; a controller's (node type 0)
    // names its receiver, unless a product is of node type 0.
    void productOfFrame()
    {
        ProfileMap profiles{{"Three_1", {"", "Three", "1", 3, "", ""}}, {"Seven_1", {"", "Seven", "1", 7, "", ""}}};
        auto productFor = [&profiles](quint8 source, quint8 destination) {
            FrameFields fields;
            fields.sourceNodeType = source, fields.destinationNodeType = destination;
            return productForFrame(profiles, fields);
        };
        QCOMPARE(productFor(3, 7) + ',' + productFor(0, 7) + ',' + productFor(9, 7), QStringLiteral("Three,Seven,"));
        profiles.insert("Zero_1", ProfileDefinition{"", "Zero", "1", 0, "", ""});
        QCOMPARE(productFor(0, 7), QStringLiteral("Zero"));
    }

    void goldenReports()
    {
        DecodeCatalogue catalogue(kReports);
        QByteArray all;
        for (const QStringList &row : readDataRows(QStringLiteral("codec/report-inputs.txt"))) {
            all += "## " + row[0].toUtf8() + '\n';
            for (const ReportStyle style : kStyles) {
                writeReport(catalogue, unescaped(row[1]), style, all);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(row[0]));
            }
        }
        QString noise;
        appendNoise(ReportStyle::Json, QByteArray::fromHex("00FF"), QStringLiteral("2026-12-06T22:42:16.123Z"), noise);
        appendNoise(ReportStyle::SingleLine, "\x0A", QStringLiteral("2026-12-06T22:42:16.123Z"), noise);
        appendNoise(ReportStyle::Blocks, "\x0B", QString(), noise);
        compareGolden(QStringLiteral("codec/reports.txt"), all + "## noise\n" + noise.toUtf8());
    }

    // The plain-frame way writes the general way's bytes for frames of every
    // length, in every style, over the catalogue of every kind and random ones.
    void sameAsGeneral_data()
    {
        QTest::addColumn<quint32>("seed"); // 0: the catalogue of every kind of parameter
        QTest::newRow("every kind of parameter") << 0u;
        for (quint32 seed = 100; seed < 112; ++seed)
            QTest::addRow("random catalogue %u", seed) << seed;
    }
    void sameAsGeneral()
    {
        QFETCH(quint32, seed);
        QTemporaryDir dir;
        QString folder = QStringLiteral(KWN_TEST_DATA "/codec/reports/xml");
        QRandomGenerator random(seed);
        if (seed != 0) {
            // Sixteen random messages, identifiers 0x20 to 0x2F.
            QByteArray bytes(4096, Qt::Uninitialized), xml;
            for (char &b : bytes)
                b = char(random.bounded(256));
            randomcatalogue::ByteSource in(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            for (int id = 0x20; id < 0x30; ++id)
                xml += randomcatalogue::messageXml(randomcatalogue::makeMessage(in, QStringLiteral("R%1").arg(id), quint8(id)));
            folder = dir.path();
            QVERIFY(randomcatalogue::writeCatalogue(folder, QStringLiteral("Fast \"one\""), 3, xml));
        }
        DecodeCatalogue catalogue(folder);
        int plain = 0, variant = 0;
        for (int id = 0x20; id < 0x30; ++id) {
            // Data bytes of every length a frame holds, in a few patterns.
            for (int n = 0; n <= kMaxDataBytes; ++n) {
                QByteArray data(n, Qt::Uninitialized);
                for (char &b : data)
                    b = char(random.bounded(256));
                for (const QByteArray &sample : {data, QByteArray(n, '\0'), QByteArray(n, '\xFF'), QByteArray(n, '\x80')}) {
                    for (const QByteArray &frame : framesOf(quint8(id), sample, variant++)) {
                        // Upper and lower case digits: the input is echoed as it is.
                        const QString hex = variant % 4 == 0 ? frameToHexText(frame).toLower() : frameToHexText(frame);
                        for (const ReportStyle style : kStyles) {
                            QByteArray all;
                            writeReport(catalogue, hex, style, all, &plain);
                            writeReport(catalogue, "2026-12-06T22:42:16.123Z RX " + hex, style, all, &plain);
                            if (QTest::currentTestFailed())
                                return;
                        }
                    }
                }
            }
        }
        // Each catalogue has messages whose frames the plain way writes.
        QVERIFY(plain > 0);
    }

    // Every character up to U+02FF and lone surrogates in the input: JSON as
    // Qt writes it. Long inputs, escapes past a block: the same bytes written
    // from bytes.
    void oddInputsWrittenAlike()
    {
        DecodeCatalogue catalogue(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QString every;
        for (ushort u = 0; u < 0x300; ++u)
            every += QChar(u);
        const QString surrogates = QString(QChar(0xD800)) + QChar(0xDC00) + QChar(0xD83D);
        for (const QString &input : QStringList{every + kMotorStatus, surrogates + kMotorStatus}) {
            QString text;
            appendReport(ReportStyle::Json, catalogue.decodeText(input), text);
            checkJson(text.toUtf8());
        }
        const QByteArray frame = kMotorStatus.toLatin1();
        for (const QByteArray &input : QList<QByteArray>{frame + QByteArray(3000, 'A'),
                                                       "\t" + QByteArray(70000, 'A') + "\"" + frame,
                                                       QByteArray("\x01\"").repeated(40000) + frame}) {
            for (const ReportStyle style : kStyles) {
                QByteArray all;
                writeReport(catalogue, QString::fromUtf8(input), style, all);
            }
        }
        QVERIFY(isPlainAsciiText("a~b", 3));
        for (const char *text : {"a\"b", "a\\b", "a\tb", "\xC3\xA9"})
            QVERIFY2(!isPlainAsciiText(text, int(strlen(text))), text);
    }

    // Echoed as bytes when a round trip through QString keeps them, but for a BOM.
    void echoedUtf8Text_data() { addDataRows(QStringLiteral("codec/echoedutf8.txt")); }
    void echoedUtf8Text()
    {
        QFETCH(QStringList, row);
        const QByteArray text = unescapedBytes(row[0]);
        const bool same = QString::fromUtf8(text.constData(), text.size()).toUtf8() == text;
        QCOMPARE(isEchoedUtf8Text(text.constData(), text.size()), same && !text.startsWith("\xEF\xBB\xBF"));
    }

    // Each decode, either way, sees the files once the recheck interval is past.
    void catalogueSeesChangedFiles_data() { addDataRows(QStringLiteral("codec/recheck.txt")); }
    void catalogueSeesChangedFiles()
    {
        QFETCH(QStringList, row);
        QTemporaryDir dir;
        const QString xml = dir.filePath("xml"), motor = xml + "/standard/standard_motor_msg.xml";
        for (const char *file : {"/qx-drive-40_2.xml", "/standard/standard_motor_msg.xml", "/standard/standard_msg.xml"})
            QVERIFY(writeFile(xml + file, readFile(QStringLiteral(KWN_SOURCE_DIR "/xml") + file)));
        DecodeCatalogue catalogue(xml);
        catalogue.setRecheckIntervalMs(row[1].toInt());
        // The line of the general way, and that of the plain-frame way where it takes it.
        const auto lines = [&catalogue] {
            QByteArray plain;
            const QByteArray line = kMotorStatus.toLatin1();
            catalogue.appendPlainFrameReport(ReportStyle::SingleLine, line.constData(), line.size(), plain);
            return QStringList{singleLineText(catalogue.decodeText(kMotorStatus)), QString::fromUtf8(plain)};
        };
        QVERIFY(lines().filter("Supply voltage=242").size() == 2);
        // Edited as editors and sed -i do: a new file renamed over the old one.
        const auto edit = [](const QString &path, const QByteArray &before, const QByteArray &after) {
            return writeFile(path + ".new", readFile(path).replace(before, after)) && QFile::remove(path)
                && QFile::rename(path + ".new", path);
        };
        if (row[0] == "edit message")
            QVERIFY(edit(motor, "\"Supply voltage\"", "\"Supply EDITED\""));
        else if (row[0] == "edit profile")
            QVERIFY(edit(xml + "/qx-drive-40_2.xml", "QX-Drive 40", "QX-Drive 41"));
        else
            QVERIFY(row[0] == "delete message" ? QFile::remove(motor) : QDir(xml).removeRecursively());
        for (const QString &expected : {unescaped(row[2]), unescaped(row[3])}) {
            const QStringList seen = lines();
            QVERIFY2(seen[0].contains(expected) && (seen[1].isEmpty() || seen[1].contains(expected)), qPrintable(seen.join('\n')));
            catalogue.recheck();
        }
    }
};

QTEST_GUILESS_MAIN(FrameDecodingTest)
#include "framedecodingtest.moc"
