// encodeRequest and valueencoding.h: verdicts, bytes, frames and fresh editors
// (tables in data/codec: fields, addressing, requests, editors).

#include "codec/encoderequest.h"
#include "codec/framedecoding.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

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
};

QTEST_GUILESS_MAIN(EncodeRequestTest)
#include "encoderequesttest.moc"
