#include "serial/lineoptions.h"

SerialSettings lineOptions(const QCommandLineParser &parser, QString *problem)
{
    SerialSettings s;
    const auto number = [&](const char *name, int *target) {
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
    return s;
}
