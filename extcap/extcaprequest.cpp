#include "extcap/extcaprequest.h"

#include "serial/lineoptions.h"

#include <QCommandLineParser>

namespace extcap {

namespace {

// The capture options, by their number in the dialog.
enum Option { OptionPort = 0, OptionPortPath, OptionBaud, OptionDataBits, OptionParity, OptionStopBits, OptionGap };

const char *const kPortCall = "port";

QString valueLine(int option, const QString &value, bool isDefault)
{
    return QStringLiteral("value {arg=%1}{value=%2}{display=%2}{default=%3}\n")
        .arg(option)
        .arg(value, QLatin1String(isDefault ? "true" : "false"));
}

// One line per port found, the first picked unless another is.
QString portValues(const QStringList &ports)
{
    QString text;
    for (int i = 0; i < ports.size(); ++i)
        text += valueLine(OptionPort, ports.at(i), i == 0);
    return text;
}

QString choiceValues(int option, const QStringList &choices, const QString &chosen)
{
    QString text;
    for (const QString &choice : choices)
        text += valueLine(option, choice, choice == chosen);
    return text;
}

QStringList numbers(const QList<int> &values)
{
    QStringList texts;
    for (int value : values)
        texts << QString::number(value);
    return texts;
}

void addOptions(QCommandLineParser &parser)
{
    const auto valued = [](const char *name) {
        return QCommandLineOption(QLatin1String(name), QString(), QStringLiteral("value"));
    };
    parser.addOptions({
        QCommandLineOption(QStringLiteral("extcap-interfaces")),
        valued("extcap-version"),
        valued("extcap-interface"),
        QCommandLineOption(QStringLiteral("extcap-dlts")),
        QCommandLineOption(QStringLiteral("extcap-config")),
        valued("extcap-reload-option"),
        QCommandLineOption(QStringLiteral("capture")),
        valued("extcap-capture-filter"),
        valued("fifo"),
        valued("extcap-control-in"),
        valued("extcap-control-out"),
        valued(kPortCall),
        valued("port-path"),
        valued("baud"),
        valued("data-bits"),
        valued("parity"),
        valued("stop-bits"),
        valued("gap"),
        QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
        QCommandLineOption(QStringLiteral("version")),
    });
}

// The port and line options of a capture; empty problem when they are all allowed.
SerialSettings settingsOf(const QCommandLineParser &parser, QString *problem)
{
    SerialSettings s = lineOptions(parser, problem);
    const QString typed = parser.value(QStringLiteral("port-path")).trimmed();
    s.port = typed.isEmpty() ? parser.value(QLatin1String(kPortCall)).trimmed() : typed;
    if (problem->isEmpty() && s.port.isEmpty())
        *problem = QStringLiteral("no port chosen: pick one under Port, or type its path under Other port");
    if (problem->isEmpty())
        *problem = s.problem();
    return s;
}

Request::Step stepOf(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("extcap-interfaces")))
        return Request::Interfaces;
    if (parser.isSet(QStringLiteral("extcap-dlts")))
        return Request::LinkTypes;
    if (parser.isSet(QStringLiteral("extcap-reload-option")))
        return Request::ReloadOption;
    if (parser.isSet(QStringLiteral("extcap-config")))
        return Request::Config;
    if (parser.isSet(QStringLiteral("capture")))
        return Request::Capture;
    if (parser.isSet(QStringLiteral("version")))
        return Request::Version;
    return Request::Help;
}

} // namespace

Request parseRequest(const QStringList &arguments)
{
    Request request;
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("kwn-extcap")} + arguments)) {
        request.problem = parser.errorText();
        return request;
    }
    if (!parser.positionalArguments().isEmpty()) {
        request.problem = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return request;
    }
    request.step = stepOf(parser);
    const bool forInterface = request.step != Request::Interfaces && request.step != Request::Help
        && request.step != Request::Version;
    const QString interface = parser.value(QStringLiteral("extcap-interface"));
    if (forInterface && interface != kInterface) {
        request.problem = interface.isEmpty()
            ? QStringLiteral("--extcap-interface is needed")
            : QStringLiteral("no interface '%1': the one interface is %2").arg(interface, kInterface);
        return request;
    }
    request.reloadOption = parser.value(QStringLiteral("extcap-reload-option"));
    if (request.step != Request::Capture)
        return request;
    request.fifo = parser.value(QStringLiteral("fifo"));
    request.controlIn = parser.value(QStringLiteral("extcap-control-in"));
    request.controlOut = parser.value(QStringLiteral("extcap-control-out"));
    request.settings = settingsOf(parser, &request.problem);
    if (request.problem.isEmpty() && request.fifo.isEmpty())
        request.problem = QStringLiteral("--capture needs --fifo");
    return request;
}

QString interfacesText(const QString &version)
{
    return QStringLiteral("extcap {version=%1}{display=KWN Frame Builder}\n"
                          "interface {value=%2}{display=KWN bus (serial)}\n"
                          "control {number=%3}{type=string}{display=Frame}"
                          "{tooltip=A frame to send, as hexadecimal text (as kwn-frame send takes it)}"
                          "{placeholder=F0 EF DF AE ...}\n"
                          "control {number=%4}{type=button}{display=Send}"
                          "{tooltip=Write the frame onto the port: only a whole frame with the right checksum}\n"
                          "control {number=%5}{type=button}{role=logger}{display=Log}"
                          "{tooltip=The frames sent, and why a frame was not}\n")
        .arg(version, kInterface)
        .arg(int(ControlFrame))
        .arg(int(ControlSend))
        .arg(int(ControlLog));
}

QString linkTypesText()
{
    return QStringLiteral("dlt {number=147}{name=USER0}{display=KWN bus records: direction byte and wire bytes}\n");
}

QString configText(const QStringList &ports)
{
    const SerialSettings defaults;
    QString text = QStringLiteral(
                       "arg {number=%1}{call=--port}{display=Port}{type=selector}{reload=true}"
                       "{placeholder=Look for ports again}{tooltip=The serial port of the bus}\n"
                       "arg {number=%2}{call=--port-path}{display=Other port}{type=string}"
                       "{placeholder=/dev/pts/5}{tooltip=A port by its path, such as a pseudo-terminal; "
                       "when given, it is used rather than the one under Port}\n"
                       "arg {number=%3}{call=--baud}{display=Baud rate}{type=integer}{default=%4}\n"
                       "arg {number=%5}{call=--data-bits}{display=Data bits}{type=selector}\n"
                       "arg {number=%6}{call=--parity}{display=Parity}{type=selector}\n"
                       "arg {number=%7}{call=--stop-bits}{display=Stop bits}{type=selector}\n"
                       "arg {number=%8}{call=--gap}{display=Gap (ms)}{type=integer}{default=%9}"
                       "{tooltip=A partial frame with no new byte for this long is noise}\n")
                       .arg(OptionPort)
                       .arg(OptionPortPath)
                       .arg(OptionBaud)
                       .arg(defaults.baudRate)
                       .arg(OptionDataBits)
                       .arg(OptionParity)
                       .arg(OptionStopBits)
                       .arg(OptionGap)
                       .arg(defaults.gapMs);
    text += portValues(ports);
    text += choiceValues(OptionDataBits, numbers(SerialSettings::dataBitsChoices()), QString::number(defaults.dataBits));
    text += choiceValues(OptionParity, SerialSettings::parityChoices(), defaults.parity);
    text += choiceValues(OptionStopBits, SerialSettings::stopBitsChoices(), defaults.stopBits);
    return text;
}

QString reloadText(const QString &option, const QStringList &ports)
{
    return option == QLatin1String(kPortCall) ? portValues(ports) : QString();
}

QString helpText()
{
    return QStringLiteral(
        "Usage: kwn-extcap --extcap-interfaces | --extcap-interface kwn (--extcap-dlts | --extcap-config\n"
        "       | --capture --fifo FILE (--port DEV | --port-path PATH) [--baud N] [--data-bits 5..8]\n"
        "       [--parity P] [--stop-bits S] [--gap MS] [--extcap-control-in PIPE --extcap-control-out PIPE])\n"
        "\n"
        "The capture program of KWN Frame Builder for Wireshark: Wireshark runs it from its\n"
        "extcap folder to show the interface kwn, the KWN bus on a serial port, and to\n"
        "capture from it. The capture is written to FILE as 'kwn-frame monitor --pcap'\n"
        "writes it, until Wireshark stops it; the toolbar's Send button writes a frame\n"
        "onto the port as 'kwn-frame send' does. 'kwn-frame dissector --install' puts it\n"
        "where Wireshark looks, with the dissector.\n");
}

} // namespace extcap
