// encodeRequest and checkParameter: the verdict on every kind of field in the
// words kwn-frame prints, and the frame built from the request.

#include "codec/encoderequest.h"
#include "codec/frame.h"

#include <QtTest>

namespace {

ParameterDefinition integer(quint32 size, qint64 min, qint64 max, qint64 def, bool isSigned = false,
                            bool hexa = false)
{
    ParameterDefinition p;
    p.name = QStringLiteral("P");
    p.type = QStringLiteral("integer");
    p.display = true;
    p.size = size;
    if (isSigned) {
        p.sign = QStringLiteral("signed");
        p.minSigned = qint32(min);
        p.maxSigned = qint32(max);
        p.defaultSigned = qint32(def);
    } else {
        p.minUnsigned = quint32(min);
        p.maxUnsigned = quint32(max);
        p.defaultUnsigned = quint32(def);
    }
    if (hexa)
        p.inputFormat = QStringLiteral("hexa");
    return p;
}

ParameterDefinition withValues(ParameterDefinition p, const QString &type, const QList<QPair<quint32, QString>> &values)
{
    p.type = type;
    for (const auto &v : values) {
        ValueDefinition value;
        value.unsignedValue = v.first;
        value.signedValue = qint32(v.first);
        value.description = v.second;
        p.values.append(value);
    }
    return p;
}

// The parameter kinds the table below names.
ParameterDefinition parameterOfKind(const QString &kind)
{
    if (kind == QLatin1String("decimal"))
        return integer(1, 1, 60, 5);
    if (kind == QLatin1String("decimal, default out of range"))
        return integer(1, 10, 20, 300);
    if (kind == QLatin1String("signed decimal"))
        return integer(1, -128, 127, -128, true);
    if (kind == QLatin1String("hexa"))
        return integer(2, 0, 0x100, 10, false, true);
    if (kind == QLatin1String("signed hexa"))
        return integer(1, -10, 10, 0, true, true);
    if (kind == QLatin1String("hexa, default too wide"))
        return integer(1, 0, 0x1FF, 0x1FF, false, true);
    if (kind == QLatin1String("named"))
        return withValues(integer(1, 0, 255, 2), QStringLiteral("integer"),
                          {{1, QStringLiteral("Beep")}, {2, QStringLiteral("Jog")}, {3, QStringLiteral("Jog and beep")}});
    if (kind == QLatin1String("bits"))
        return withValues(integer(1, 0, 0, 0), QStringLiteral("bitfield"),
                          {{0, QStringLiteral("Run")}, {3, QStringLiteral("Hold")}});
    ParameterDefinition p = integer(4, 0, 0, 0);
    p.type = kind == QLatin1String("string") ? QStringLiteral("string") : QStringLiteral("float");
    p.defaultText = QStringLiteral("AB");
    return p;
}

ParameterRequest requestOf(const QString &source, const QString &text)
{
    if (source == QLatin1String("text"))
        return ParameterRequest::typed(text);
    if (source == QLatin1String("choice"))
        return ParameterRequest::chosen(text.toInt());
    if (source == QLatin1String("bits")) {
        QList<bool> bits;
        for (QChar c : text)
            bits.append(c == QLatin1Char('1'));
        return ParameterRequest::checked(bits);
    }
    return ParameterRequest();
}

MessageDefinition messageWith(const QList<ParameterDefinition> &parameters, const QString &addressing = QString())
{
    MessageDefinition m;
    m.name = QStringLiteral("Msg");
    m.category = QStringLiteral("C");
    m.msgId = 0x42;
    m.addressingMode = addressing;
    m.parameters = parameters;
    return m;
}

} // namespace

class EncodeRequestTest : public QObject
{
    Q_OBJECT

private slots:
    void parameter_data();
    void parameter();
    void addressing_data();
    void addressing();
    void omittedOptional_data();
    void omittedOptional();
    void length_data();
    void length();
    void workedExample();
};

void EncodeRequestTest::parameter_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("used");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("decimal default") << "decimal" << "default" << "" << "5" << true << false << "" << QByteArray("05");
    QTest::newRow("decimal upper limit") << "decimal" << "text" << "60" << "60" << true << false << "" << QByteArray("3c");
    QTest::newRow("decimal above") << "decimal" << "text" << "61" << "61" << false << false
                                   << "P = 61 is not a number from 1 to 60" << QByteArray("3d");
    QTest::newRow("decimal empty") << "decimal" << "text" << "" << "" << false << false
                                   << "P =  is not a number from 1 to 60" << QByteArray("00");
    QTest::newRow("decimal minus refused") << "decimal" << "text" << "-1" << "-1" << false << true
                                           << "'P' takes a decimal integer" << QByteArray("00");
    QTest::newRow("decimal default out of range") << "decimal, default out of range" << "default" << "" << "300" << false << false
                                                  << "P = 300 (the default) is not a number from 10 to 20" << QByteArray("2c");
    QTest::newRow("signed decimal") << "signed decimal" << "text" << "-2" << "-2" << true << false << "" << QByteArray("fe");
    QTest::newRow("signed decimal below") << "signed decimal" << "text" << "-129" << "-129" << false << false
                                          << "P = -129 is not a number from -128 to 127" << QByteArray("7f");
    QTest::newRow("hexa default") << "hexa" << "default" << "" << "000A" << true << false << "" << QByteArray("0a00");
    QTest::newRow("hexa upper limit") << "hexa" << "text" << "100" << "100" << true << false << "" << QByteArray("0001");
    QTest::newRow("hexa above") << "hexa" << "text" << "101" << "101" << false << false
                                << "P = 101 is outside its limits 0000 to 0100" << QByteArray("0101");
    QTest::newRow("hexa too many digits") << "hexa" << "text" << "12345" << "12345" << false << true
                                          << "'P' takes up to 4 hexadecimal digits" << QByteArray("4523");
    QTest::newRow("hexa not digits") << "hexa" << "text" << "xy" << "xy" << false << true
                                     << "'P' takes up to 4 hexadecimal digits" << QByteArray("0000");
    QTest::newRow("signed hexa in range") << "signed hexa" << "text" << "F6" << "F6" << true << false << "" << QByteArray("f6");
    QTest::newRow("signed hexa out of range") << "signed hexa" << "text" << "80" << "80" << false << false
                                              << "P = 80 is outside its limits F6 to 0A" << QByteArray("80");
    // A fresh hexadecimal field is judged by its digits, not its range.
    QTest::newRow("hexa default too wide") << "hexa, default too wide" << "default" << "" << "1FF" << false << false
                                           << "P = 1FF (the default) has more than 2 hexadecimal digits" << QByteArray("ff");
    QTest::newRow("string default short") << "string" << "default" << "" << "AB" << false << false
                                          << "P = AB (the default) is not exactly 4 ASCII characters" << QByteArray("4142");
    QTest::newRow("string full") << "string" << "text" << "ABCD" << "ABCD" << true << false << "" << QByteArray("41424344");
    QTest::newRow("string short") << "string" << "text" << "ABC" << "ABC" << false << false
                                  << "P has fewer than 4 characters" << QByteArray("414243");
    QTest::newRow("string long") << "string" << "text" << "ABCDE" << "ABCDE" << false << true
                                 << "'P' takes at most 4 ASCII characters" << QByteArray("4142434445");
    QTest::newRow("string not ASCII") << "string" << "text" << QStringLiteral("A\u00e9") << QStringLiteral("A\u00e9") << false << true
                                      << "'P' takes at most 4 ASCII characters" << QByteArray("41c3a9");
    QTest::newRow("named default") << "named" << "default" << "" << "" << true << false << "" << QByteArray("02");
    QTest::newRow("named by description") << "named" << "text" << "Jog" << "Jog" << true << false << "" << QByteArray("02");
    QTest::newRow("named without case") << "named" << "text" << "jog AND beep" << "jog AND beep" << true << false << "" << QByteArray("03");
    QTest::newRow("named by position") << "named" << "text" << "0" << "0" << true << false << "" << QByteArray("01");
    QTest::newRow("named unknown") << "named" << "text" << "Walk" << "Walk" << false << true
                                   << "'Walk' is not a value of 'P'; choose one of: Beep, Jog, Jog and beep" << QByteArray("02");
    QTest::newRow("named chosen") << "named" << "choice" << "2" << "Jog and beep" << true << false << "" << QByteArray("03");
    QTest::newRow("bits given") << "bits" << "text" << "0, 3" << "0, 3" << true << false << "" << QByteArray("09");
    QTest::newRow("bits none") << "bits" << "text" << "" << "" << true << false << "" << QByteArray("00");
    QTest::newRow("bits unknown") << "bits" << "text" << "3,1" << "3,1" << false << true << "'P' has no bit '1'" << QByteArray("00");
    QTest::newRow("bits checked") << "bits" << "bits" << "01" << "3" << true << false << "" << QByteArray("08");
    QTest::newRow("unknown type default") << "float" << "default" << "" << "" << true << false << "" << QByteArray();
    QTest::newRow("unknown type given") << "float" << "text" << "1" << "1" << false << true
                                        << "parameter 'P' has no editor" << QByteArray();
}

void EncodeRequestTest::parameter()
{
    QFETCH(QString, kind);
    QFETCH(QString, source);
    QFETCH(QString, text);
    QFETCH(QString, used);
    QFETCH(bool, valid);
    QFETCH(bool, refused);
    QFETCH(QString, reason);
    QFETCH(QByteArray, bytes);

    EncodeRequest request;
    request.message = messageWith({parameterOfKind(kind)});
    request.parameters = {requestOf(source, text)};
    const EncodeResult result = encodeRequest(request);
    QCOMPARE(result.parameters.size(), 1);
    const FieldCheck check = result.parameters.at(0);
    QCOMPARE(check.text, used);
    QCOMPARE(check.valid, valid);
    QCOMPARE(check.refused, refused);
    QCOMPARE(check.reason, reason);
    QCOMPARE(result.valid, valid);
    QCOMPARE(result.data.toHex(), bytes);
}

void EncodeRequestTest::addressing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("allowed");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("reasons"); // source | destination | addressing
    QTest::addColumn<bool>("refused");
    QTest::addColumn<quint32>("sourceAddress");
    QTest::addColumn<quint32>("destinationAddress");

    const int p2p = int(Addressing::PointToPoint);
    const int group = int(Addressing::Group);
    const int broadcast = int(Addressing::Broadcast);
    QTest::newRow("p2p") << p2p << "" << "000001" << "00abcd" << "" << "||" << false << 1u << 0xabcdu;
    QTest::newRow("p2p source 000000") << p2p << "" << "000000" << "000002" << ""
                                       << "source 000000 is not a valid node ID||" << false << 0u << 2u;
    QTest::newRow("p2p destination ffffff") << p2p << "" << "000001" << "ffffff" << ""
                                            << "|destination ffffff is not a valid node ID|" << false << 1u << 0xffffffu;
    QTest::newRow("p2p short destination") << p2p << "" << "000001" << "12" << ""
                                           << "|destination 12 is not a valid node ID|" << false << 1u << 0x12u;
    QTest::newRow("p2p seven digits refused") << p2p << "" << "1234567" << "000002" << ""
                                              << "node IDs are up to six hexadecimal digits||" << true << 0x1234567u << 2u;
    QTest::newRow("p2p G refused") << p2p << "" << "000001" << "G12345" << ""
                                   << "|node IDs are up to six hexadecimal digits|" << true << 1u << 0u;
    QTest::newRow("p2p not allowed") << p2p << "GROUP BROADCAST" << "000001" << "000002" << ""
                                     << "||message 'Msg' does not allow p2p addressing (it allows GROUP BROADCAST)" << false << 1u << 2u;
    QTest::newRow("group") << group << "p2p group" << "000001" << "000002" << "00000A" << "||" << false << 0xau << 0u;
    QTest::newRow("group index 000000") << group << "" << "000001" << "000002" << "000000"
                                        << "group index 000000 is not a valid node ID||" << false << 0u << 0u;
    QTest::newRow("group not allowed") << group << "P2P" << "000001" << "000002" << "000003"
                                       << "||message 'Msg' does not allow group addressing (it allows P2P)" << false << 3u << 0u;
    QTest::newRow("broadcast ignores destination") << broadcast << "BROADCAST" << "000005" << "bad!" << ""
                                                   << "||" << false << 5u << 0xffffffu;
}

void EncodeRequestTest::addressing()
{
    QFETCH(int, mode);
    QFETCH(QString, allowed);
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, group);
    QFETCH(QString, reasons);
    QFETCH(bool, refused);
    QFETCH(quint32, sourceAddress);
    QFETCH(quint32, destinationAddress);

    EncodeRequest request;
    request.message = messageWith({}, allowed);
    request.addressing = Addressing(mode);
    request.source = source;
    request.destination = destination;
    request.group = group;
    const EncodeResult result = encodeRequest(request);
    QCOMPARE(QStringList({result.source.reason, result.destination.reason, result.addressing.reason})
                 .join(QLatin1Char('|')),
             reasons);
    QCOMPARE(result.source.refused || result.destination.refused, refused);
    QCOMPARE(result.valid, reasons == QLatin1String("||"));
    // Invalid node IDs go into the frame all the same.
    const FrameFields f = unpackFrame(result.frame);
    QCOMPARE(f.sourceAddress, sourceAddress & 0xFFFFFFu);
    QCOMPARE(f.destinationAddress, destinationAddress);
}

void EncodeRequestTest::omittedOptional_data()
{
    QTest::addColumn<bool>("included");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("data");
    // The second parameter holds an out-of-range value.
    QTest::newRow("included") << true << false << QByteArray("053d");
    QTest::newRow("omitted") << false << true << QByteArray("05");
}

void EncodeRequestTest::omittedOptional()
{
    QFETCH(bool, included);
    QFETCH(bool, valid);
    QFETCH(QByteArray, data);

    ParameterDefinition optional = integer(1, 1, 60, 7);
    optional.optional = true;
    EncodeRequest request;
    request.message = messageWith({integer(1, 1, 60, 5), optional});
    request.parameters = {ParameterRequest(), ParameterRequest::typed(QStringLiteral("61"))};
    request.parameters[1].included = included;
    const EncodeResult result = encodeRequest(request);
    QCOMPARE(result.valid, valid);
    QCOMPARE(result.data.toHex(), data);
    // Left out, the field keeps its verdict for its colour but does not count.
    QCOMPARE(result.parameters.at(1).included, included);
    QCOMPARE(result.parameters.at(1).valid, false);
    QCOMPARE(unpackFrame(result.frame).length, quint8(kFrameOverheadBytes + data.size() / 2));
}

void EncodeRequestTest::length_data()
{
    QTest::addColumn<int>("parameters");
    QTest::addColumn<QString>("reason");
    QTest::newRow("20 data bytes") << 5 << "";
    QTest::newRow("21 data bytes") << 6 << "21 data bytes do not fit a frame (at most 20): the length field is wrong";
}

void EncodeRequestTest::length()
{
    QFETCH(int, parameters);
    QFETCH(QString, reason);

    QList<ParameterDefinition> list;
    for (int i = 0; i < parameters; ++i)
        list.append(integer(i < 5 ? 4 : 1, 0, 0xFFFFFFFF, 0));
    EncodeRequest request;
    request.message = messageWith(list);
    const EncodeResult result = encodeRequest(request);
    QCOMPARE(result.length.reason, reason);
    QCOMPARE(result.valid, reason.isEmpty());
    QCOMPARE(result.frame.size(), kFrameOverheadBytes + (parameters < 6 ? 20 : 21));
}

// A message of every kind, as the Encode page shows its frame.
void EncodeRequestTest::workedExample()
{
    ParameterDefinition label = parameterOfKind(QStringLiteral("string"));
    label.size = 3;
    ParameterDefinition extra = integer(2, 0, 65535, 5);
    extra.optional = true;
    EncodeRequest request;
    request.message = messageWith({integer(2, 0, 65535, 10), integer(1, -128, 127, 0, true),
                                   parameterOfKind(QStringLiteral("bits")), label, extra}, QStringLiteral("P2P"));
    request.message.msgId = 0x51;
    request.nodeType = 6;
    request.parameters = {ParameterRequest::typed(QStringLiteral("300")), ParameterRequest::typed(QStringLiteral("-2")),
                          ParameterRequest::checked({true, true}), ParameterRequest::typed(QStringLiteral("AB1")),
                          ParameterRequest()};
    request.parameters[4].included = false;
    const EncodeResult result = encodeRequest(request);
    QVERIFY(result.valid);
    QCOMPARE(frameToHexText(result.frame), QStringLiteral("AEEDF9FEFFFFFDFFFFD3FE01F6BEBDCE0D9C"));
}

QTEST_GUILESS_MAIN(EncodeRequestTest)
#include "encoderequesttest.moc"
