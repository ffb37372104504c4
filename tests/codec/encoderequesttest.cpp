// encodeRequest and the rules of valueencoding.h behind it: the verdict on
// every kind of field in the words kwn-frame prints, the bytes and the frame
// built, and what a fresh editor shows. The tables are
// tests/data/codec/{fields,addressing,editors}.txt.

#include "codec/encoderequest.h"
#include "codec/framedecoding.h"
#include "support/datarows.h"
#include "support/definitionxml.h"

namespace {

// A request as the tables give it: see fields.txt.
ParameterRequest requestOf(const QString &given)
{
    ParameterRequest request;
    if (given == QLatin1String("(left out)"))
        request.included = false;
    else if (given.startsWith(QLatin1Char('#')))
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

    // Left out, an optional field keeps its verdict for its colour but does not count.
    void omittedOptional()
    {
        EncodeRequest request;
        request.message = messageOf("<parameter name=\"A\" type=\"integer\" size=\"1\" min=\"1\" max=\"60\" default=\"5\"/>"
                                    "<parameter name=\"B\" type=\"integer\" size=\"1\" min=\"1\" max=\"60\" optional=\"yes\"/>");
        request.parameters = {ParameterRequest(), ParameterRequest::typed(QStringLiteral("61"))};
        for (bool included : {true, false}) {
            request.parameters[1].included = included;
            const EncodeResult result = encodeRequest(request);
            QCOMPARE(result.valid, !included);
            QCOMPARE(result.data.toHex(), included ? QByteArray("053d") : QByteArray("05"));
            QCOMPARE(result.parameters.at(1).valid, false);
            QCOMPARE(unpackFrame(result.frame).length, quint8(kFrameOverheadBytes + result.data.size()));
        }
    }

    // 20 data bytes fit the length field, 21 do not.
    void length()
    {
        const QByteArray four = "<parameter name=\"P\" type=\"integer\" size=\"4\"/>";
        EncodeRequest request;
        request.message = messageOf(QString::fromLatin1(four.repeated(5)));
        QVERIFY(encodeRequest(request).valid);
        request.message = messageOf(QString::fromLatin1(four.repeated(5) + "<parameter name=\"Q\" type=\"integer\" size=\"1\"/>"));
        const EncodeResult result = encodeRequest(request);
        QCOMPARE(result.length.reason, "21 data bytes do not fit a frame (at most 20): the length field is wrong");
        QVERIFY(!result.valid);
        QCOMPARE(result.frame.size(), kFrameOverheadBytes + 21);
    }

    // A message of every kind, as the Encode page shows its frame; the
    // parameter without a request keeps its default.
    void workedExample()
    {
        EncodeRequest request;
        request.message = messageOf(
            "<parameter name=\"A\" type=\"integer\" size=\"2\" max=\"65535\"/>"
            "<parameter name=\"B\" type=\"integer\" size=\"1\" sign=\"signed\"/>"
            "<parameter name=\"C\" type=\"bitfield\" size=\"1\"><value value=\"0\"/><value value=\"3\"/></parameter>"
            "<parameter name=\"D\" type=\"string\" size=\"3\"/><parameter name=\"E\" type=\"integer\" size=\"2\" optional=\"yes\"/>"
            "<parameter name=\"F\" type=\"integer\" size=\"1\" default=\"7\"/>");
        request.message.addressingMode = QStringLiteral("P2P");
        request.nodeType = 6;
        request.parameters = {ParameterRequest::typed(QStringLiteral("300")), ParameterRequest::typed(QStringLiteral("-2")),
                              ParameterRequest::checked({true, true}), ParameterRequest::typed(QStringLiteral("AB1")),
                              ParameterRequest()};
        request.parameters[4].included = false;
        const EncodeResult result = encodeRequest(request);
        QVERIFY(result.valid);
        QCOMPARE(frameToHexText(result.frame), QStringLiteral("AEECF9FEFFFFFDFFFFD3FE01F6BEBDCEF80E93"));
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
