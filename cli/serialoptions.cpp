#include "cli/serialoptions.h"

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
    SerialSettings s;
    s.port = parser.value(QStringLiteral("port"));
    auto number = [&](const char *name, int *target) {
        const QString option = QLatin1String(name);
        if (!parser.isSet(option))
            return;
        bool ok = false;
        *target = parser.value(option).toInt(&ok);
        if (!ok && problem->isEmpty())
            *problem = QStringLiteral("--%1 takes a number").arg(option);
    };
    number("baud", &s.baudRate);
    number("data-bits", &s.dataBits);
    number("gap", &s.gapMs);
    if (parser.isSet(QStringLiteral("parity")))
        s.parity = parser.value(QStringLiteral("parity"));
    if (parser.isSet(QStringLiteral("stop-bits")))
        s.stopBits = parser.value(QStringLiteral("stop-bits"));
    if (problem->isEmpty())
        *problem = portUse == PortUse::Required ? s.problem() : s.lineProblem();
    return s;
}

} // namespace cli
