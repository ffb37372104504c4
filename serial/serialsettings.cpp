#include "serial/serialsettings.h"

QString SerialSettings::problem() const
{
    if (port.trimmed().isEmpty())
        return QStringLiteral("no port given");
    return lineProblem();
}

QString SerialSettings::lineProblem() const
{
    if (baudRate <= 0)
        return QStringLiteral("the baud rate must be a positive number");
    if (!dataBitsChoices().contains(dataBits))
        return QStringLiteral("data bits must be 5, 6, 7 or 8");
    if (!parityChoices().contains(parity))
        return QStringLiteral("parity must be none, even, odd, mark or space");
    if (!stopBitsChoices().contains(stopBits))
        return QStringLiteral("stop bits must be 1, 1.5 or 2");
    if (gapMs <= 0)
        return QStringLiteral("the gap must be a positive number of milliseconds");
    return QString();
}

QList<int> SerialSettings::dataBitsChoices()
{
    return {5, 6, 7, 8};
}

QStringList SerialSettings::parityChoices()
{
    return {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd"), QStringLiteral("mark"),
            QStringLiteral("space")};
}

QStringList SerialSettings::stopBitsChoices()
{
    return {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};
}

QList<int> SerialSettings::commonBaudRates()
{
    return {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
}

double SerialSettings::byteTimeUs() const
{
    return wireFormatOf(*this).wireTimeUs(1);
}

WireFormat wireFormatOf(const SerialSettings &settings)
{
    WireFormat format;
    format.baudRate = settings.baudRate;
    format.dataBits = settings.dataBits;
    format.parity = settings.parity != QLatin1String("none");
    format.stopBits = settings.stopBits == QLatin1String("2") ? 2 : settings.stopBits == QLatin1String("1.5") ? 1.5 : 1;
    return format;
}
