// kwn-frame: the command-line companion of KWN Frame Builder, on the same core.

#include "cli/commands.h"

#include <QCoreApplication>

static const char kToolHelp[] =
    "Usage: kwn-frame <command> [options]\n"
    "\n"
    "Builds and decodes KWN bus frames with the catalogue of KWN Frame Builder.\n"
    "\n"
    "Commands:\n"
    "  decode [TEXT...]        decode frame texts, or each line of standard input\n"
    "  encode --device D --message M [NAME=VALUE...]\n"
    "                          build a frame as the Encode page would\n"
    "  list devices            list the devices of the catalogue\n"
    "  list revisions DEVICE   list the revisions of a device\n"
    "  list messages DEVICE    list the messages of a device and their parameters\n"
    "  check                   report problems in the catalogue files\n"
    "  monitor --port DEV      print the frames read from a serial port as they arrive\n"
    "  send --port DEV FRAME   write a frame to a serial port\n"
    "  stats LOG...            frames, bus load, nodes and replies of bus logs\n"
    "  replies LOG...          every request of bus logs with its replies, and how late\n"
    "  replay --port DEV LOG   write the frames of a bus log to a serial port, timed as logged\n"
    "  convert IN OUT          turn a bus log into a pcap capture or back (by OUT's suffix)\n"
    "  dissector [-o FILE | --install]\n"
    "                          write the Wireshark dissector of the catalogue, in Lua;\n"
    "                          --install: where Wireshark looks, with kwn-extcap for live capture\n"
    "  filter --wireshark EXPR print the Wireshark display filter of a filter expression\n"
    "\n"
    "Options:\n"
    "  --xml DIR               catalogue folder (default: xml in the current directory)\n"
    "  --help                  this help; 'kwn-frame <command> --help' for a command\n"
    "  --version               the version\n";

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kwn-frame"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                .arg(KWN_VERSION_MAJOR)
                                                .arg(KWN_VERSION_MINOR)
                                                .arg(KWN_VERSION_PATCH));

    QStringList arguments = app.arguments().mid(1);

    // The command is the first argument that is neither an option nor the
    // value of --xml; options may stand before it.
    int commandIndex = -1;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--xml")) {
            ++i;
            continue;
        }
        if (a == QLatin1String("--")) {
            break;
        }
        if (!a.startsWith(QLatin1Char('-'))) {
            commandIndex = i;
            break;
        }
    }

    if (commandIndex < 0) {
        if (arguments.contains(QLatin1String("--version"))) {
            cli::writeOut(QStringLiteral("kwn-frame %1\n").arg(QCoreApplication::applicationVersion()));
            return kExitOk;
        }
        if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
            cli::writeOut(QString::fromLatin1(kToolHelp));
            return kExitOk;
        }
        return cli::usageError(arguments.isEmpty() ? QStringLiteral("a command is needed")
                                                   : QStringLiteral("unknown option %1").arg(arguments.first()),
                               QStringLiteral("kwn-frame <command> [options]; see kwn-frame --help"));
    }

    const QString command = arguments.takeAt(commandIndex);
    if (command == QLatin1String("decode"))
        return runDecode(arguments);
    if (command == QLatin1String("encode"))
        return runEncode(arguments);
    if (command == QLatin1String("list"))
        return runList(arguments);
    if (command == QLatin1String("check"))
        return runCheck(arguments);
    if (command == QLatin1String("monitor"))
        return runMonitor(arguments);
    if (command == QLatin1String("send"))
        return runSend(arguments);
    if (command == QLatin1String("stats"))
        return runStats(arguments);
    if (command == QLatin1String("replies"))
        return runReplies(arguments);
    if (command == QLatin1String("replay"))
        return runReplay(arguments);
    if (command == QLatin1String("convert"))
        return runConvert(arguments);
    if (command == QLatin1String("dissector"))
        return runDissector(arguments);
    if (command == QLatin1String("filter"))
        return runFilter(arguments);
    return cli::usageError(QStringLiteral("unknown command '%1'").arg(command),
                           QStringLiteral("kwn-frame <command> [options]; see kwn-frame --help"));
}
