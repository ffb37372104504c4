// kwn-frame dissector: the Wireshark dissector of the catalogue in use.

#include "cli/commands.h"
#include "dissector/luadissector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char kUsage[] = "kwn-frame dissector [-o FILE] [--xml DIR]";
const char kHelp[] =
    "Writes a Wireshark dissector in Lua, made from the catalogue, to standard output\n"
    "or to FILE. It shows the records of the captures that 'kwn-frame convert' and\n"
    "'kwn-frame monitor --pcap' write (link type USER0) as 'kwn-frame decode' decodes\n"
    "them: device, message, addressing, status and every parameter, with the fields\n"
    "kwn.direction, kwn.length, kwn.mode, kwn.ack, kwn.node_type, kwn.source,\n"
    "kwn.destination, kwn.msg_id, kwn.device, kwn.message, kwn.status, kwn.checksum_ok\n"
    "and kwn.parameter (\"Name=value\", one per shown parameter) for display filters,\n"
    "and kwn.p.<name> per parameter name (lower case, each run of other characters than\n"
    "a-z0-9 made one \"_\") holding its number or a string's text (kwn-frame filter);\n"
    "a record that 'kwn-frame decode' refuses is not decoded but shown with its reason\n"
    "in kwn.damaged.\n"
    "Requests and replies are linked as 'kwn-frame replies' pairs them: kwn.reply_in on a\n"
    "request (the frame of each reply), kwn.request_in and kwn.reply_time (seconds) on a\n"
    "reply, and the expert note kwn.unanswered on a request without a reply. A request\n"
    "learns of its replies in a second pass (tshark -2, or Wireshark once it has read\n"
    "the capture); the preference kwn.reply_timeout sets the timeout in ms\n"
    "(tshark -o kwn.reply_timeout:500).\n"
    "For Wireshark and tshark 3.6 and later: put it in the personal Lua plugins folder\n"
    "(~/.local/lib/wireshark/plugins on Linux, %APPDATA%\\Wireshark\\plugins on Windows)\n"
    "or give it to one run: tshark -X lua_script:kwn.lua -r capture.pcap\n"
    "Make it again when the catalogue changes.\n"
    "\n"
    "Options:\n"
    "  -o FILE         write the dissector to FILE rather than to standard output\n"
    "  --xml DIR       catalogue folder (default: xml in the current directory)\n";

} // namespace

int runDissector(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringList{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("File to write."), QStringLiteral("FILE")});
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                               usage);
    const QString folder = cli::catalogueFolder(parser);
    if (!QFileInfo(folder).isDir()) {
        cli::writeErr(QStringLiteral("kwn-frame: no catalogue folder %1\n").arg(folder));
        return kExitFailure;
    }
    const QString absolute = QDir(folder).absolutePath();
    DecodeCatalogue catalogue(absolute);
    const QByteArray lua = dissector::generateDissector(catalogue, QCoreApplication::applicationVersion());
    if (!parser.isSet(QStringLiteral("o"))) {
        std::fwrite(lua.constData(), 1, size_t(lua.size()), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
    }
    const QString path = parser.value(QStringLiteral("o"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(lua) != lua.size() || !file.commit()) {
        cli::writeErr(QStringLiteral("kwn-frame: cannot write %1: %2\n").arg(path, file.errorString()));
        return kExitFailure;
    }
    return kExitOk;
}
