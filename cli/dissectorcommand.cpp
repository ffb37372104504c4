// kwn-frame dissector: the Wireshark dissector of the catalogue in use.

#include "cli/commands.h"
#include "dissector/luadissector.h"
#include "dissector/userinstall.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char kUsage[] = "kwn-frame dissector [-o FILE | --install] [--xml DIR]";
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
    "--install puts it in the personal Lua plugins folder and links kwn-extcap, the\n"
    "capture program built and installed beside kwn-frame, into the personal extcap\n"
    "folders (~/.config/wireshark/extcap, which Wireshark 4.0 reads, and\n"
    "~/.local/lib/wireshark/extcap, which later versions read): Wireshark then lists\n"
    "the interface kwn, \"KWN bus (serial)\", and captures the bus live.\n"
    "\n"
    "Options:\n"
    "  -o FILE         write the dissector to FILE rather than to standard output\n"
    "  --install       write it where Wireshark looks, and link kwn-extcap there\n"
    "  --xml DIR       catalogue folder (default: xml in the current directory)\n";

// kwn-extcap beside this program (a build), or where an install put it,
// to be linked; empty, after saying so, when it needs no link (installed
// with the prefix /usr, into Wireshark's own folder) or is missing (then
// `missing` is set).
QString extcapProgram(bool *missing)
{
    const QString bin = QCoreApplication::applicationDirPath();
    const QString beside = bin + QStringLiteral("/kwn-extcap");
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed = QFileInfo(bin + QStringLiteral("/" KWN_EXTCAP_FROM_BIN "/kwn-extcap")).absoluteFilePath();
    if (QFileInfo(installed).isExecutable() && !KWN_EXTCAP_IN_WIRESHARKS_FOLDER)
        return installed;
    if (QFileInfo(installed).isExecutable()) {
        cli::writeOut(QStringLiteral("%1 is in Wireshark's own extcap folder: no link needed\n").arg(installed));
        return QString();
    }
    cli::writeErr(QStringLiteral("kwn-frame: no kwn-extcap beside kwn-frame: Wireshark cannot capture the bus live\n"));
    *missing = true;
    return QString();
}

int installForUser(const QByteArray &lua)
{
    bool missing = false;
    const QString extcap = extcapProgram(&missing);
    const dissector::UserInstall install = dissector::installForUser(lua, extcap);
    if (!install.done.isEmpty())
        cli::writeOut(install.done.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    if (!install.error.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(install.error));
        return kExitFailure;
    }
    return missing ? kExitFailure : kExitOk;
}

} // namespace

int runDissector(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringList{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("File to write."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("install"), QStringLiteral("Install for Wireshark.")});
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                               usage);
    if (parser.isSet(QStringLiteral("o")) && parser.isSet(QStringLiteral("install")))
        return cli::usageError(QStringLiteral("-o and --install exclude each other"), usage);
    const QString folder = cli::catalogueFolder(parser);
    if (!QFileInfo(folder).isDir()) {
        cli::writeErr(QStringLiteral("kwn-frame: no catalogue folder %1\n").arg(folder));
        return kExitFailure;
    }
    const QString absolute = QDir(folder).absolutePath();
    DecodeCatalogue catalogue(absolute);
    const QByteArray lua = dissector::generateDissector(catalogue, QCoreApplication::applicationVersion());
    if (parser.isSet(QStringLiteral("install")))
        return installForUser(lua);
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
