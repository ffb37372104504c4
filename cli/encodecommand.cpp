// kwn-frame encode: the Encode page from a script. The options set what the
// page's controls would hold, and the same core functions build the frame.

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "codec/encoderequest.h"
#include "codec/frame.h"
#include "codec/outputformat.h"

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

// The options that say where the frame goes, before the catalogue is read.
int checkFrameOptions(const QCommandLineParser &parser, const QString &usage)
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
    return kExitOk;
}

// The device's node type and the message, as the Encode page offers them:
// slave messages left out, and only messages with a category.
int findMessage(const QCommandLineParser &parser, EncodeRequest *request)
{
    const ProfileMap profiles = loadProfiles(cli::catalogueFolder(parser));
    const QString device = parser.value(QStringLiteral("device"));
    ProfileDefinition profile;
    if (!cli::findDeviceProfile(profiles, device, parser, &profile))
        return kExitFailure;
    const QString messageName = parser.value(QStringLiteral("message"));
    const MessageDefinition message = messagesOfProfile(profile, true).value(messageName);
    if (message.name.isEmpty() || message.category.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: device '%1' has no message '%2' on the Encode page\n")
                          .arg(device, messageName));
        return kExitFailure;
    }
    request->nodeType = quint8(profile.nodeType);
    request->message = message;
    return kExitOk;
}

int parameterIndex(const MessageDefinition &message, const QString &name)
{
    for (int i = 0; i < message.parameters.size(); ++i)
        if (message.parameters.at(i).name == name)
            return i;
    return -1;
}

int applyOmissions(const QStringList &omitted, const QString &usage, EncodeRequest *request)
{
    const MessageDefinition &message = request->message;
    for (const QString &name : omitted) {
        const int i = parameterIndex(message, name);
        if (i < 0)
            return cli::usageError(QStringLiteral("message '%1' has no parameter '%2'").arg(message.name, name), usage);
        if (!message.parameters.at(i).optional)
            return cli::usageError(QStringLiteral("parameter '%1' is not optional").arg(name), usage);
        request->parameters[i].included = false;
    }
    return kExitOk;
}

// Each NAME=VALUE in turn, as typed into the parameter's editor: a value the
// editor refuses is a usage error, one it shows red a warning. Marks the
// parameters given.
int applyAssignments(const QStringList &assignments, const QString &usage, EncodeRequest *request,
                     QVector<bool> *given, QStringList *warnings)
{
    const MessageDefinition &message = request->message;
    for (const QString &assignment : assignments) {
        const int eq = assignment.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return cli::usageError(QStringLiteral("'%1' is not NAME=VALUE").arg(assignment), usage);
        const QString name = assignment.left(eq);
        const int i = parameterIndex(message, name);
        if (i < 0)
            return cli::usageError(QStringLiteral("message '%1' has no parameter '%2'").arg(message.name, name), usage);
        if (!message.parameters.at(i).display)
            return cli::usageError(QStringLiteral("parameter '%1' is hidden and keeps its default").arg(name), usage);
        if (!request->parameters.at(i).included)
            return cli::usageError(QStringLiteral("parameter '%1' is omitted and also given a value").arg(name), usage);
        const ParameterRequest value = ParameterRequest::typed(assignment.mid(eq + 1));
        const FieldCheck check = checkParameter(message.parameters.at(i), value);
        if (check.refused)
            return cli::usageError(check.reason, usage);
        if (!check.valid)
            *warnings << check.reason;
        request->parameters[i] = value;
        (*given)[i] = true;
    }
    return kExitOk;
}

// Node IDs and addressing as the page's header would hold them.
void applyAddressing(const QCommandLineParser &parser, EncodeRequest *request)
{
    if (parser.isSet(QStringLiteral("source")))
        request->source = parser.value(QStringLiteral("source"));
    if (parser.isSet(QStringLiteral("group"))) {
        request->addressing = Addressing::Group;
        request->group = parser.value(QStringLiteral("group"));
    } else if (parser.isSet(QStringLiteral("broadcast"))) {
        request->addressing = Addressing::Broadcast;
    } else if (parser.isSet(QStringLiteral("destination"))) {
        request->destination = parser.value(QStringLiteral("destination"));
    }
    request->ack = parser.isSet(QStringLiteral("ack"));
}

// What the page would show red, given values first in the order given, then
// the defaults, node IDs, addressing and length.
void collectWarnings(const EncodeResult &result, const QVector<bool> &given, QStringList *warnings)
{
    for (int i = 0; i < result.parameters.size(); ++i) {
        const FieldCheck &check = result.parameters.at(i);
        if (!given.at(i) && check.included && !check.valid)
            *warnings << check.reason;
    }
    for (const FieldCheck *check : {&result.source, &result.destination, &result.addressing, &result.length})
        if (!check->valid)
            *warnings << check->reason;
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
    int status = checkFrameOptions(parser, usage);
    EncodeRequest request;
    if (status == kExitOk)
        status = findMessage(parser, &request);
    if (status != kExitOk)
        return status;
    for (int i = 0; i < request.message.parameters.size(); ++i)
        request.parameters.append(ParameterRequest());
    QVector<bool> given(request.message.parameters.size(), false);
    QStringList warnings;
    status = applyOmissions(parser.values(QStringLiteral("omit")), usage, &request);
    if (status == kExitOk)
        status = applyAssignments(assignments, usage, &request, &given, &warnings);
    if (status != kExitOk)
        return status;
    applyAddressing(parser, &request);

    const EncodeResult result = encodeRequest(request);
    if (result.source.refused || result.destination.refused)
        return cli::usageError(result.source.refused ? result.source.reason : result.destination.reason, usage);
    collectWarnings(result, given, &warnings);

    const bool strict = parser.isSet(QStringLiteral("strict"));
    for (const QString &w : qAsConst(warnings))
        cli::writeErr(QStringLiteral("kwn-frame: %1: %2\n").arg(strict ? QStringLiteral("error") : QStringLiteral("warning"), w));
    if (strict && !warnings.isEmpty())
        return kExitFailure;
    *frame = result.frame;
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
