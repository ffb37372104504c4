// Frames packed and unpacked and their texts (codec/frames.txt, outputformat.txt),
// and decoding frame text and data bytes: cleaning, rows, numbers and texts shown.

#include "codec/frame.h"
#include "codec/framedecoding.h"
#include "codec/outputformat.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

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
    return rows.join(QLatin1String("; "));
}

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
};

QTEST_GUILESS_MAIN(FrameDecodingTest)
#include "framedecodingtest.moc"
