// kwn-frame filter: what a filter expression says in other words.

#include "cli/commands.h"
#include "dissector/luadissector.h"
#include "dissector/wiresharkfilter.h"

namespace {

const char kUsage[] = "kwn-frame filter --wireshark [--xml DIR] EXPR";
const char kHelp[] =
    "Prints the Wireshark display filter that selects, in a capture shown with the\n"
    "dissector of the catalogue ('kwn-frame dissector'), the frames that --filter EXPR\n"
    "selects in kwn-frame decode, monitor, stats and convert: for tshark -Y or the\n"
    "filter bar. A parameter is the field kwn.p.<name>, the name in lower case with\n"
    "every run of characters other than a-z and 0-9 made one \"_\" ([Supply voltage]:\n"
    "kwn.p.supply_voltage), holding the number decode --json gives as \"raw\" or a\n"
    "string's characters; a number's shown text is read from kwn.parameter, and\n"
    "\"[Name]\" alone from kwn.parameter_name, which names every parameter shown.\n"
    "Exits with 2, printing nothing, when EXPR does not compile or when no display\n"
    "filter says it: a parameter whose name is a string in some messages and a\n"
    "number in others (its field holds both as text) compared with a number, or\n"
    "tested by contains or matches, or with a character that the dissector escapes.\n"
    "\n"
    "Options:\n"
    "  --wireshark     print the Wireshark display filter\n"
    "  --xml DIR       catalogue folder (default: xml in the current directory)\n";

} // namespace

int runFilter(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringLiteral("wireshark"), QStringLiteral("Print the Wireshark display filter.")});
    parser.addPositionalArgument(QStringLiteral("expression"), QStringLiteral("Filter expression."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (!parser.isSet(QStringLiteral("wireshark")))
        return cli::usageError(QStringLiteral("say what to print: --wireshark"), usage);
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(QStringLiteral("give one expression"), usage);
    DecodeCatalogue catalogue(cli::catalogueFolder(parser));
    catalogue.refresh();
    FilterError error;
    const FilterExpression expression = FilterExpression::compile(
        parser.positionalArguments().first(), catalogueParameterNames(catalogue.profiles()), &error);
    if (expression.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: filter: %1\n").arg(error.text()));
        return kExitUsage;
    }
    QString problem;
    const QString filter = dissector::wiresharkFilter(expression, dissector::wiresharkParameterFields(catalogue), &problem);
    if (filter.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: filter: no Wireshark display filter says it: %1\n").arg(problem));
        return kExitUsage;
    }
    cli::writeOut(filter + QLatin1Char('\n'));
    return kExitOk;
}
