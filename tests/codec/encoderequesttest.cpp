// encodeRequest and valueencoding.h: verdicts, bytes, frames and fresh editors
// (tables in data/codec: fields, addressing, requests, editors), and every
// bundled message encoded and decoded back.

#include "catalogue/catalogue.h"
#include "codec/encoderequest.h"
#include "codec/framedecoding.h"
#include "codec/valueencoding.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

#include <QRandomGenerator>

namespace {

// A request as the tables give it: see fields.txt ("(left out) 61": the text 61, left out).
ParameterRequest requestOf(const QString &given)
{
    ParameterRequest request;
    if (given.startsWith(QLatin1String("(left out)"))) {
        request = given.size() > 11 ? ParameterRequest::typed(given.mid(11)) : request;
        request.included = false;
    } else if (given.startsWith(QLatin1Char('#')))
        request = ParameterRequest::chosen(given.mid(1).toInt());
    else if (given.startsWith(QLatin1Char('[')))
        request = ParameterRequest::checked({given.at(1) == QLatin1Char('1'), given.at(2) == QLatin1Char('1')});
    else if (given != QLatin1String("default"))
        request = ParameterRequest::typed(unescaped(given));
    return request;
}

// One message encoded from its defaults or from random values: each row shown holds its value.
void checkRound(const ProfileDefinition &profile, const MessageDefinition &message, bool defaults,
                QRandomGenerator &random)
{
    QList<ParameterInput> inputs;
    QList<qint64> values;
    for (const ParameterDefinition &p : message.parameters) {
        ParameterInput input = defaultInput(p);
        qint64 value = defaultValue(p);
        if (!defaults && p.type == QLatin1String("integer") && p.values.isEmpty()) {
            value = lowerLimit(p) + qint64(random.generate64() % quint64(upperLimit(p) - lowerLimit(p) + 1));
            input.text = p.isHexa() ? limitHexText(p, value) : QString::number(value);
        } else if (!defaults && p.type == QLatin1String("integer")) {
            input.valueIndex = random.bounded(p.values.size());
        } else if (!defaults && p.type == QLatin1String("string")) {
            input.text.clear();
            for (quint32 i = 0; i < p.size; ++i)
                input.text += QChar(ushort(0x20 + random.bounded(0x5F)));
        } else if (!defaults && p.type == QLatin1String("bitfield")) {
            for (bool &checked : input.bitsChecked)
                checked = random.bounded(2) == 1;
        }
        inputs << input;
        values << value;
    }

    const QByteArray data = encodeParameters(message, inputs);
    const QByteArray frame = buildFrameBytes(message, quint8(profile.nodeType), false,
                                             QStringLiteral("00ABCD"), QStringLiteral("123456"), data);
    const ParsedFrame parsed = parseFrameText(frameToHexText(frame));
    const QString where = profileKey(profile) + QLatin1Char('/') + message.name;
    QVERIFY2(parsed.ok() && !parsed.frameLonger, qPrintable(where));
    const MessageDecoding decoding =
        decodeMessageData(message, parsed.fields.data, parsed.frameLonger, parsed.statusText);
    QVERIFY2(decoding.statusText == QLatin1String("Frame decoded successfully."), qPrintable(where));

    int row = 0;
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &p = message.parameters.at(i);
        if (!p.display)
            continue;
        QVERIFY2(row < decoding.rows.size(), qPrintable(where));
        const DecodedRow &shown = decoding.rows.at(row++);
        QCOMPARE(shown.parameterName, p.name);
        if (p.type == QLatin1String("bitfield")) {
            for (int k = 0; k < p.values.size(); ++k)
                QVERIFY2(shown.bits.at(k).checked == inputs.at(i).bitsChecked.at(k), qPrintable(where));
        } else if (p.type == QLatin1String("string")) {
            QCOMPARE(shown.unescapedValue, inputs.at(i).text);
            QCOMPARE(shown.value, visibleText(inputs.at(i).text)); // a backslash shows doubled
        } else if (!p.values.isEmpty()) {
            QCOMPARE(shown.value, p.values.at(inputs.at(i).valueIndex).description);
        } else if (!p.isHexa()) {
            QCOMPARE(shown.value, QString::number(values.at(i)));
        } else {
            const quint32 mask = p.size >= 4 ? 0xFFFFFFFFu : (1u << (8 * p.size)) - 1;
            QVERIFY2((shown.raw & mask) == (quint32(quint64(values.at(i))) & mask),
                     qPrintable(QStringLiteral("%1 %2 set %3 shown %4").arg(where, p.name).arg(values.at(i)).arg(shown.value)));
        }
    }
    QCOMPARE(row, decoding.rows.size());
}

} // namespace

class EncodeRequestTest : public QObject
{
    Q_OBJECT

private slots:
    void parameter_data() { addDataRows(QStringLiteral("codec/fields.txt")); }
    void parameter()
    {
        QFETCH(QStringList, row);
        EncodeRequest request;
        request.message = messageOf(row[0]);
        request.parameters = {requestOf(row[1])};
        const EncodeResult result = encodeRequest(request);
        QCOMPARE(result.parameters.size(), 1);
        const FieldCheck check = result.parameters.at(0);
        QCOMPARE(check.text, unescaped(row[2]));
        QCOMPARE(check.valid ? "ok" : check.refused ? "refused" : "invalid", row[3]);
        QCOMPARE(check.reason, row[4]);
        QCOMPARE(result.valid, (row[3] == "ok" || !check.included) && result.length.reason.isEmpty());
        QCOMPARE(result.data.toHex(), unescapedBytes(row[5]).toHex());
        QCOMPARE(result.frame.size(), kFrameOverheadBytes + result.data.size());
    }

    void addressing_data() { addDataRows(QStringLiteral("codec/addressing.txt")); }
    void addressing()
    {
        QFETCH(QStringList, row);
        EncodeRequest request;
        request.message.name = QStringLiteral("Msg");
        request.message.addressingMode = row[1];
        request.addressing = row[0] == "p2p" ? Addressing::PointToPoint
            : row[0] == "group"              ? Addressing::Group
                                             : Addressing::Broadcast;
        request.source = row[2];
        request.destination = row[3];
        request.group = row[4];
        const EncodeResult result = encodeRequest(request);
        QCOMPARE(QStringList({result.source.reason, result.destination.reason, result.addressing.reason}),
                 row.mid(5, 3));
        QCOMPARE(result.source.refused || result.destination.refused, row[8] == "1");
        QCOMPARE(result.valid, row.mid(5, 3).join(QString()).isEmpty());
        // Invalid node IDs go into the frame all the same.
        const FrameFields f = unpackFrame(result.frame);
        QCOMPARE(nodeIdText(f.sourceAddress) + nodeIdText(f.destinationAddress), row[9] + row[10]);
    }

    void requests_data() { addDataRows(QStringLiteral("codec/requests.txt")); }
    void requests()
    {
        QFETCH(QStringList, row);
        EncodeRequest request;
        request.message = messageOf(row[0]);
        request.message.addressingMode = QStringLiteral("P2P");
        request.nodeType = 6;
        for (const QString &given : row[1].split(QLatin1String(" ; "), Qt::SkipEmptyParts))
            request.parameters << requestOf(given);
        const EncodeResult result = encodeRequest(request);
        QStringList verdicts;
        for (const FieldCheck &check : result.parameters)
            verdicts << (check.valid ? "ok" : check.refused ? "refused" : "invalid");
        QVERIFY2(row[2] == "-" || verdicts.join(' ') == row[2], qPrintable(verdicts.join(' ')));
        QCOMPARE(result.valid, row[3] == "1");
        QCOMPARE(result.length.reason, row[4]);
        QVERIFY(row[5] == "-" || result.data.toHex().toUpper() == unescaped(row[5]).toLatin1());
        QCOMPARE(result.frame.size(), kFrameOverheadBytes + result.data.size());
        QVERIFY(row[6] == "-" || frameToHexText(result.frame) == row[6]);
    }

    void editors_data() { addDataRows(QStringLiteral("codec/editors.txt")); }
    void editors()
    {
        QFETCH(QStringList, row);
        const ParameterDefinition parameter = parameterOf(row[0]);
        QCOMPARE(initialEditorText(parameter), unescaped(row[1]));
        QCOMPARE(initialValueIndex(parameter), row[2].toInt());
        QCOMPARE(editorToolTip(parameter), unescaped(row[3]));
    }

    // Every bundled message, encoded from defaults and random values, decodes back to them.
    void bundledRoundTrip()
    {
        const ProfileMap profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QRandomGenerator random(20261206);
        int frames = 0;
        for (const ProfileDefinition &profile : profiles) {
            for (const MessageDefinition &message : messagesOfProfile(profile, false)) {
                for (int round = 0; round < 20 && !QTest::currentTestFailed(); ++round, ++frames)
                    checkRound(profile, message, round == 0, random);
            }
        }
        QVERIFY(frames >= 60 * 20);
    }
};

QTEST_GUILESS_MAIN(EncodeRequestTest)
#include "encoderequesttest.moc"
