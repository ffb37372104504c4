#include "cli/serialoptions.h"

#include "serial/lineoptions.h"

namespace cli {

void addSerialOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Serial port."), QStringLiteral("DEV")},
        {QStringLiteral("baud"), QStringLiteral("Baud rate."), QStringLiteral("N")},
        {QStringLiteral("data-bits"), QStringLiteral("Data bits."), QStringLiteral("N")},
        {QStringLiteral("parity"), QStringLiteral("Parity."), QStringLiteral("P")},
        {QStringLiteral("stop-bits"), QStringLiteral("Stop bits."), QStringLiteral("S")},
        {QStringLiteral("gap"), QStringLiteral("Gap time in ms."), QStringLiteral("MS")},
    });
}

SerialSettings serialSettings(const QCommandLineParser &parser, QString *problem, PortUse portUse)
{
    SerialSettings s = lineOptions(parser, problem);
    s.port = parser.value(QStringLiteral("port"));
    if (problem->isEmpty())
        *problem = portUse == PortUse::Required ? s.problem() : s.lineProblem();
    return s;
}

} // namespace cli
