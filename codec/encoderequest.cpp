#include "codec/encoderequest.h"

#include "codec/frame.h"
#include "codec/framedecoding.h"

namespace {

const QLatin1String kInteger("integer");
const QLatin1String kString("string");
const QLatin1String kBitfield("bitfield");

FieldCheck refused(const QString &text, const QString &reason)
{
    FieldCheck check;
    check.text = text;
    check.valid = false;
    check.refused = true;
    check.reason = reason;
    return check;
}

void markInvalid(FieldCheck &check, const QString &reason)
{
    check.valid = false;
    check.reason = reason;
}

// Why a fresh editor's default is red (see editorTextIsValid).
QString defaultReason(const ParameterDefinition &p, const QString &text)
{
    QString why;
    if (p.type == kString)
        why = QStringLiteral("is not exactly %1 ASCII characters").arg(p.size);
    else if (p.isHexa())
        why = QStringLiteral("has more than %1 hexadecimal digits").arg(2 * effectiveSize(p));
    else
        why = QStringLiteral("is not a number from %1 to %2")
                  .arg(QString::number(lowerLimit(p)), QString::number(upperLimit(p)));
    return QStringLiteral("%1 = %2 (the default) %3").arg(p.name, text, why);
}

// A named value by its description, exact and then without regard to case,
// or by its position in the list.
int namedValueIndex(const ParameterDefinition &p, const QString &text)
{
    for (int k = 0; k < p.values.size(); ++k)
        if (p.values.at(k).description == text)
            return k;
    for (int k = 0; k < p.values.size(); ++k)
        if (p.values.at(k).description.compare(text, Qt::CaseInsensitive) == 0)
            return k;
    bool isNumber = false;
    const int position = text.toInt(&isNumber);
    if (isNumber && position >= 0 && position < p.values.size())
        return position;
    return -1;
}

FieldCheck checkNamedValue(const ParameterDefinition &p, const QString &text, ParameterInput &input)
{
    const int index = namedValueIndex(p, text);
    if (index < 0) {
        QStringList choices;
        for (const ValueDefinition &v : p.values)
            choices << v.description;
        return refused(text, QStringLiteral("'%1' is not a value of '%2'; choose one of: %3")
                                 .arg(text, p.name, choices.join(QStringLiteral(", "))));
    }
    input.valueIndex = index;
    FieldCheck check;
    check.text = text;
    return check;
}

FieldCheck checkBitList(const ParameterDefinition &p, const QString &text, ParameterInput &input)
{
    QList<bool> checked;
    for (int k = 0; k < p.values.size(); ++k)
        checked.append(false);
    const QStringList bits = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &bitText : bits) {
        bool ok = false;
        const uint bit = bitText.trimmed().toUInt(&ok);
        int found = -1;
        for (int k = 0; ok && k < p.values.size() && found < 0; ++k)
            if (p.values.at(k).unsignedValue == bit)
                found = k;
        if (found < 0)
            return refused(text, QStringLiteral("'%1' has no bit '%2'").arg(p.name, bitText.trimmed()));
        checked[found] = true;
    }
    input.bitsChecked = checked;
    FieldCheck check;
    check.text = text;
    return check;
}

// Digits or characters as typed into an integer or string field. A refused
// text still goes into the input: the page builds its frame from what a
// field holds.
FieldCheck checkFieldText(const ParameterDefinition &p, const QString &text, ParameterInput &input)
{
    input.text = text;
    FieldCheck check;
    check.text = text;
    if (p.type == kString) {
        const TextValidity v = validateStringText(p, text);
        if (v == TextValidity::Invalid)
            return refused(text, QStringLiteral("'%1' takes at most %2 ASCII characters")
                                     .arg(p.name, QString::number(effectiveSize(p))));
        if (v == TextValidity::Intermediate)
            markInvalid(check, QStringLiteral("%1 has fewer than %2 characters").arg(p.name, QString::number(p.size)));
    } else if (p.isHexa()) {
        if (validateHexaText(p, text) == TextValidity::Invalid)
            return refused(text, QStringLiteral("'%1' takes up to %2 hexadecimal digits")
                                     .arg(p.name, QString::number(2 * effectiveSize(p))));
        if (!hexaInRange(p, text))
            markInvalid(check, QStringLiteral("%1 = %2 is outside its limits %3 to %4")
                                   .arg(p.name, text, limitHexText(p, lowerLimit(p)), limitHexText(p, upperLimit(p))));
    } else {
        const TextValidity v = validateDecimalText(p, text);
        if (v == TextValidity::Invalid)
            return refused(text, QStringLiteral("'%1' takes a decimal integer").arg(p.name));
        if (v == TextValidity::Intermediate)
            markInvalid(check, QStringLiteral("%1 = %2 is not a number from %3 to %4")
                                   .arg(p.name, text, QString::number(lowerLimit(p)), QString::number(upperLimit(p))));
    }
    return check;
}

FieldCheck checkGivenText(const ParameterDefinition &p, const QString &text, ParameterInput &input)
{
    if (p.type == kInteger && !p.values.isEmpty())
        return checkNamedValue(p, text, input);
    if (p.type == kInteger || p.type == kString)
        return checkFieldText(p, text, input);
    if (p.type == kBitfield)
        return checkBitList(p, text, input);
    return refused(text, QStringLiteral("parameter '%1' has no editor").arg(p.name));
}

QString checkedBitsText(const ParameterDefinition &p, const QList<bool> &bits)
{
    QStringList numbers;
    for (int k = 0; k < p.values.size() && k < bits.size(); ++k)
        if (bits.at(k))
            numbers << QString::number(p.values.at(k).unsignedValue);
    return numbers.join(QLatin1Char(','));
}

// `role` names the field in the reason: "source", "group index" or "destination".
FieldCheck checkNodeId(const QString &text, const QString &role)
{
    if (!isNodeIdText(text))
        return refused(text, QStringLiteral("node IDs are up to six hexadecimal digits"));
    FieldCheck check;
    check.text = text;
    if (!isValidNodeId(text))
        markInvalid(check, QStringLiteral("%1 %2 is not a valid node ID").arg(role, text));
    return check;
}

FieldCheck fixedField(const QString &text)
{
    FieldCheck check;
    check.text = text;
    return check;
}

bool counts(const FieldCheck &check)
{
    return check.included && !check.valid;
}

} // namespace

ParameterRequest ParameterRequest::typed(const QString &text)
{
    ParameterRequest request;
    request.source = Source::Text;
    request.text = text;
    return request;
}

ParameterRequest ParameterRequest::chosen(int valueIndex)
{
    ParameterRequest request;
    request.source = Source::Choice;
    request.valueIndex = valueIndex;
    return request;
}

ParameterRequest ParameterRequest::checked(const QList<bool> &bits)
{
    ParameterRequest request;
    request.source = Source::Bits;
    request.bitsChecked = bits;
    return request;
}

QString addressingKeyword(Addressing mode)
{
    switch (mode) {
    case Addressing::Group:
        return QStringLiteral("GROUP");
    case Addressing::Broadcast:
        return QStringLiteral("BROADCAST");
    case Addressing::PointToPoint:
        break;
    }
    return QStringLiteral("P2P");
}

FieldCheck checkParameter(const ParameterDefinition &parameter, const ParameterRequest &request,
                          ParameterInput *input)
{
    ParameterInput in = defaultInput(parameter);
    FieldCheck check;
    switch (request.source) {
    case ParameterRequest::Source::Default:
        check.text = in.text;
        if (!editorTextIsValid(parameter, in.text, false))
            markInvalid(check, defaultReason(parameter, in.text));
        break;
    case ParameterRequest::Source::Text:
        check = checkGivenText(parameter, request.text, in);
        break;
    case ParameterRequest::Source::Choice:
        in.valueIndex = request.valueIndex;
        check.text = parameter.values.value(request.valueIndex).description;
        break;
    case ParameterRequest::Source::Bits:
        in.bitsChecked = request.bitsChecked;
        check.text = checkedBitsText(parameter, request.bitsChecked);
        break;
    }
    in.present = request.included;
    check.included = request.included;
    if (input)
        *input = in;
    return check;
}

EncodeResult encodeRequest(const EncodeRequest &request)
{
    EncodeResult result;
    const MessageDefinition &message = request.message;
    QList<ParameterInput> inputs;
    for (int i = 0; i < message.parameters.size(); ++i) {
        ParameterInput input;
        result.parameters.append(checkParameter(message.parameters.at(i),
                                                request.parameters.value(i), &input));
        inputs.append(input);
    }
    result.data = encodeParameters(message, inputs);

    QString source = request.source;
    QString destination = request.destination;
    switch (request.addressing) {
    case Addressing::PointToPoint:
        result.source = checkNodeId(source, QStringLiteral("source"));
        result.destination = checkNodeId(destination, QStringLiteral("destination"));
        break;
    case Addressing::Group:
        source = request.group;
        destination = nodeIdText(kGroupAddress);
        result.source = checkNodeId(source, QStringLiteral("group index"));
        result.destination = fixedField(destination);
        break;
    case Addressing::Broadcast:
        destination = nodeIdText(kBroadcastAddress);
        result.source = checkNodeId(source, QStringLiteral("source"));
        result.destination = fixedField(destination);
        break;
    }

    const QString keyword = addressingKeyword(request.addressing);
    result.addressing = fixedField(keyword);
    if (!messageAllowsAddressing(message, keyword))
        markInvalid(result.addressing, QStringLiteral("message '%1' does not allow %2 addressing (it allows %3)")
                                           .arg(message.name, keyword.toLower(), message.addressingMode));

    result.length = fixedField(QString::number(result.data.size()));
    if (!dataFitsFrame(result.data))
        markInvalid(result.length, QStringLiteral("%1 data bytes do not fit a frame (at most %2): the length field is wrong")
                                       .arg(QString::number(result.data.size()), QString::number(kMaxDataBytes)));

    result.frame = buildFrameBytes(message, request.nodeType, request.ack, source, destination, result.data);

    result.valid = !counts(result.source) && !counts(result.destination) && !counts(result.addressing)
        && !counts(result.length);
    for (const FieldCheck &check : qAsConst(result.parameters))
        result.valid = result.valid && !counts(check);
    return result;
}
