// kwn-frame encode: the Encode page from a script. The options set what the
// page's controls would hold, and the same core functions build the frame.

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "codec/frame.h"
#include "codec/outputformat.h"
#include "codec/valueencoding.h"

#include <QVector>

namespace {

const char kUsage[] =
    "kwn-frame encode --device D [--revision R] --message M [--source ID]\n"
    "       [--destination ID | --group ID | --broadcast] [--ack] [--format F]\n"
    "       [--omit NAME]... [--strict] [--xml DIR] [NAME=VALUE]...";
const char kHelp[] =
    "Builds the frame of a message exactly as the Encode page would with the same\n"
    "settings and prints it in the output format.\n"
    "\n"
    "Each NAME=VALUE sets one parameter as its editor on the page would: decimal or\n"
    "hexadecimal digits as the parameter's format says, a named value's description\n"
    "(or its position in the list, from 0), a string, or the comma-separated numbers of\n"
    "the checked bits of a bitfield. Parameters not named keep their defaults.\n"
    "A value the page would show in red, a default included, is reported on standard\n"
    "error and the frame is still printed, unless --strict is given.\n"
    "\n"
    "Options:\n"
    "  --device D         the device (product)\n"
    "  --revision R       its revision (default: the first)\n"
    "  --message M        the message\n"
    "  --source ID        source node ID, six hexadecimal digits (default 000001)\n"
    "  --destination ID   destination node ID (default 000002): point to point\n"
    "  --group ID         group addressing with this group index\n"
    "  --broadcast        broadcast addressing\n"
    "  --ack              request an acknowledgement\n"
    "  --format F         output format, \"##\" standing for each byte (default \"## \")\n"
    "  --omit NAME        leave an optional parameter out\n"
    "  --strict           treat warnings as errors: exit 1 and print no frame\n"
    "  --xml DIR          catalogue folder (default: xml in the current directory)\n";

// What the node ID fields accept as typed: up to six hexadecimal digits.
bool isNodeIdText(const QString &text)
{
    if (text.size() > 6)
        return false;
    for (QChar c : text)
        if (!isxdigit(c.toLatin1()) || c.unicode() > 0x7F)
            return false;
    return true;
}

// Why the page shows the default of a fresh editor in red (see editorTextIsValid).
QString defaultWarning(const ParameterDefinition &p, const QString &text)
{
    QString why;
    if (p.type == QLatin1String("string"))
        why = QStringLiteral("is not exactly %1 ASCII characters").arg(p.size);
    else if (p.isHexa())
        why = QStringLiteral("has more than %1 hexadecimal digits").arg(2 * effectiveSize(p));
    else
        why = QStringLiteral("is not a number from %1 to %2").arg(QString::number(lowerLimit(p)), QString::number(upperLimit(p)));
    return QStringLiteral("%1 = %2 (the default) %3").arg(p.name, text, why);
}

} // namespace

namespace cli {

void addEncodeOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("device"), QStringLiteral("Device."), QStringLiteral("D")},
        {QStringLiteral("revision"), QStringLiteral("Revision."), QStringLiteral("R")},
        {QStringLiteral("message"), QStringLiteral("Message."), QStringLiteral("M")},
        {QStringLiteral("source"), QStringLiteral("Source node ID."), QStringLiteral("ID")},
        {QStringLiteral("destination"), QStringLiteral("Destination node ID."), QStringLiteral("ID")},
        {QStringLiteral("group"), QStringLiteral("Group index."), QStringLiteral("ID")},
        {QStringLiteral("broadcast"), QStringLiteral("Broadcast.")},
        {QStringLiteral("ack"), QStringLiteral("Acknowledge request.")},
        {QStringLiteral("format"), QStringLiteral("Output format."), QStringLiteral("F")},
        {QStringLiteral("omit"), QStringLiteral("Optional parameter to leave out."), QStringLiteral("NAME")},
        {QStringLiteral("strict"), QStringLiteral("Warnings are errors.")},
    });
}

int encodeFrame(const QCommandLineParser &parser, const QStringList &assignments, const QString &usage,
                QByteArray *frame)
{
    if (!parser.isSet(QStringLiteral("device")) || !parser.isSet(QStringLiteral("message")))
        return cli::usageError(QStringLiteral("--device and --message are needed"), usage);
    const bool group = parser.isSet(QStringLiteral("group"));
    const bool broadcast = parser.isSet(QStringLiteral("broadcast"));
    const bool destination = parser.isSet(QStringLiteral("destination"));
    if (int(group) + int(broadcast) + int(destination) > 1)
        return cli::usageError(QStringLiteral("choose one of --destination, --group and --broadcast"), usage);
    if (group && parser.isSet(QStringLiteral("source")))
        return cli::usageError(QStringLiteral("in group addressing the group index takes the place of the source"), usage);

    // The catalogue as the Encode page sees it: slave messages left out, and
    // only messages with a category can be chosen.
    const ProfileMap profiles = loadProfiles(cli::catalogueFolder(parser));
    const QString device = parser.value(QStringLiteral("device"));
    const QStringList revisions = revisionsOf(profiles, device);
    if (revisions.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: no device '%1' in the catalogue\n").arg(device));
        return kExitFailure;
    }
    const QString revision = parser.isSet(QStringLiteral("revision")) ? parser.value(QStringLiteral("revision"))
                                                                      : revisions.first();
    if (!revisions.contains(revision)) {
        cli::writeErr(QStringLiteral("kwn-frame: device '%1' has no revision '%2'\n").arg(device, revision));
        return kExitFailure;
    }
    const ProfileDefinition profile = findProfile(profiles, device, revision);
    const MessageMap messages = messagesOfProfile(profile, true);
    const QString messageName = parser.value(QStringLiteral("message"));
    const MessageDefinition message = messages.value(messageName);
    if (message.name.isEmpty() || message.category.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: device '%1' has no message '%2' on the Encode page\n")
                          .arg(device, messageName));
        return kExitFailure;
    }

    QStringList warnings;
    auto findParameter = [&message](const QString &name) {
        for (int i = 0; i < message.parameters.size(); ++i)
            if (message.parameters.at(i).name == name)
                return i;
        return -1;
    };

    QList<ParameterInput> inputs;
    for (const ParameterDefinition &p : message.parameters)
        inputs.append(defaultInput(p));

    const QStringList omitted = parser.values(QStringLiteral("omit"));
    for (const QString &name : omitted) {
        const int i = findParameter(name);
        if (i < 0)
            return cli::usageError(QStringLiteral("message '%1' has no parameter '%2'").arg(message.name, name), usage);
        if (!message.parameters.at(i).optional)
            return cli::usageError(QStringLiteral("parameter '%1' is not optional").arg(name), usage);
        inputs[i].present = false;
    }

    QVector<bool> given(message.parameters.size(), false);
    for (const QString &assignment : assignments) {
        const int eq = assignment.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return cli::usageError(QStringLiteral("'%1' is not NAME=VALUE").arg(assignment), usage);
        const QString name = assignment.left(eq);
        const QString value = assignment.mid(eq + 1);
        const int i = findParameter(name);
        if (i < 0)
            return cli::usageError(QStringLiteral("message '%1' has no parameter '%2'").arg(message.name, name), usage);
        const ParameterDefinition &p = message.parameters.at(i);
        if (!p.display)
            return cli::usageError(QStringLiteral("parameter '%1' is hidden and keeps its default").arg(name), usage);
        if (!inputs.at(i).present)
            return cli::usageError(QStringLiteral("parameter '%1' is omitted and also given a value").arg(name), usage);
        ParameterInput &input = inputs[i];
        given[i] = true;

        if (p.type == QLatin1String("integer") && !p.values.isEmpty()) {
            int index = -1;
            for (int k = 0; k < p.values.size() && index < 0; ++k)
                if (p.values.at(k).description == value)
                    index = k;
            for (int k = 0; k < p.values.size() && index < 0; ++k)
                if (p.values.at(k).description.compare(value, Qt::CaseInsensitive) == 0)
                    index = k;
            bool isNumber = false;
            const int position = value.toInt(&isNumber);
            if (index < 0 && isNumber && position >= 0 && position < p.values.size())
                index = position;
            if (index < 0) {
                QStringList choices;
                for (const ValueDefinition &v : p.values)
                    choices << v.description;
                return cli::usageError(QStringLiteral("'%1' is not a value of '%2'; choose one of: %3")
                                           .arg(value, name, choices.join(QStringLiteral(", "))),
                                       usage);
            }
            input.valueIndex = index;
        } else if (p.type == QLatin1String("integer")) {
            if (p.isHexa()) {
                if (validateHexaText(p, value) == TextValidity::Invalid)
                    return cli::usageError(QStringLiteral("'%1' takes up to %2 hexadecimal digits")
                                               .arg(name, QString::number(2 * effectiveSize(p))),
                                           usage);
                if (!hexaInRange(p, value))
                    warnings << QStringLiteral("%1 = %2 is outside its limits %3 to %4")
                                    .arg(name, value, limitHexText(p, lowerLimit(p)), limitHexText(p, upperLimit(p)));
            } else {
                const TextValidity v = validateDecimalText(p, value);
                if (v == TextValidity::Invalid)
                    return cli::usageError(QStringLiteral("'%1' takes a decimal integer").arg(name), usage);
                if (v == TextValidity::Intermediate)
                    warnings << QStringLiteral("%1 = %2 is not a number from %3 to %4")
                                    .arg(name, value, QString::number(lowerLimit(p)), QString::number(upperLimit(p)));
            }
            input.text = value;
        } else if (p.type == QLatin1String("string")) {
            const TextValidity v = validateStringText(p, value);
            if (v == TextValidity::Invalid)
                return cli::usageError(QStringLiteral("'%1' takes at most %2 ASCII characters")
                                           .arg(name, QString::number(effectiveSize(p))),
                                       usage);
            if (v == TextValidity::Intermediate)
                warnings << QStringLiteral("%1 has fewer than %2 characters").arg(name, QString::number(p.size));
            input.text = value;
        } else if (p.type == QLatin1String("bitfield")) {
            QList<bool> checked;
            for (int k = 0; k < p.values.size(); ++k)
                checked.append(false);
            const QStringList bits = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &bitText : bits) {
                bool ok = false;
                const uint bit = bitText.trimmed().toUInt(&ok);
                int found = -1;
                for (int k = 0; ok && k < p.values.size() && found < 0; ++k)
                    if (p.values.at(k).unsignedValue == bit)
                        found = k;
                if (found < 0)
                    return cli::usageError(QStringLiteral("'%1' has no bit '%2'").arg(name, bitText.trimmed()), usage);
                checked[found] = true;
            }
            input.bitsChecked = checked;
        } else {
            return cli::usageError(QStringLiteral("parameter '%1' has no editor").arg(name), usage);
        }
    }

    // Values left at their defaults go into the frame too; the page colours
    // its fresh editors by the same rule.
    for (int i = 0; i < message.parameters.size(); ++i) {
        const ParameterDefinition &p = message.parameters.at(i);
        if (!given.at(i) && inputs.at(i).present && !editorTextIsValid(p, inputs.at(i).text, false))
            warnings << defaultWarning(p, inputs.at(i).text);
    }

    // Node IDs as the page's fields would hold them in the chosen mode.
    QString sourceText = parser.isSet(QStringLiteral("source")) ? parser.value(QStringLiteral("source"))
                                                                : QStringLiteral("000001");
    QString destinationText = QStringLiteral("000002");
    QString mode = QStringLiteral("P2P");
    if (group) {
        sourceText = parser.value(QStringLiteral("group"));
        destinationText = QStringLiteral("000000");
        mode = QStringLiteral("GROUP");
    } else if (broadcast) {
        destinationText = QStringLiteral("FFFFFF");
        mode = QStringLiteral("BROADCAST");
    } else if (destination) {
        destinationText = parser.value(QStringLiteral("destination"));
    }
    if (!isNodeIdText(sourceText) || !isNodeIdText(destinationText))
        return cli::usageError(QStringLiteral("node IDs are up to six hexadecimal digits"), usage);
    if (!isValidNodeId(sourceText))
        warnings << QStringLiteral("%1 %2 is not a valid node ID").arg(group ? QStringLiteral("group index") : QStringLiteral("source"), sourceText);
    if (!group && !broadcast && !isValidNodeId(destinationText))
        warnings << QStringLiteral("destination %1 is not a valid node ID").arg(destinationText);
    if (!messageAllowsAddressing(message, mode))
        warnings << QStringLiteral("message '%1' does not allow %2 addressing (it allows %3)")
                        .arg(message.name, mode.toLower(), message.addressingMode);

    const QByteArray data = encodeParameters(message, inputs);
    if (!dataFitsFrame(data))
        warnings << QStringLiteral("%1 data bytes do not fit a frame (at most %2): the length field is wrong")
                        .arg(QString::number(data.size()), QString::number(kMaxDataBytes));

    const bool strict = parser.isSet(QStringLiteral("strict"));
    for (const QString &w : warnings)
        cli::writeErr(QStringLiteral("kwn-frame: %1: %2\n").arg(strict ? QStringLiteral("error") : QStringLiteral("warning"), w));
    if (strict && !warnings.isEmpty())
        return kExitFailure;

    *frame = buildFrameBytes(message, quint8(profile.nodeType), parser.isSet(QStringLiteral("ack")), sourceText,
                             destinationText, data);
    return kExitOk;
}

} // namespace cli

int runEncode(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    const QString usage = QString::fromLatin1(kUsage);
    cli::addEncodeOptions(parser);
    parser.addPositionalArgument(QStringLiteral("values"), QStringLiteral("NAME=VALUE pairs."));
    int status = kExitOk;
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;

    const QString format = parser.isSet(QStringLiteral("format")) ? parser.value(QStringLiteral("format"))
                                                                   : QStringLiteral("## ");
    if (!isValidFormat(format))
        return cli::usageError(QStringLiteral("the format must contain \"##\""), usage);

    QByteArray frame;
    status = cli::encodeFrame(parser, parser.positionalArguments(), usage, &frame);
    if (status != kExitOk)
        return status;
    cli::writeOut(formatOutputText(frameToHexText(frame), format) + QLatin1Char('\n'));
    return kExitOk;
}
