// kwn-frame send: one frame written to a serial port from a terminal or a
// script, for playing a device on the bus.

#include "cli/commands.h"
#include "cli/serialoptions.h"
#include "codec/framedecoding.h"
#include "serial/serialconnection.h"

#include <QEventLoop>
#include <QTimer>

namespace {

const char kSendUsage[] =
    "kwn-frame send --port DEV [--baud N] [--data-bits 5..8] [--parity P] [--stop-bits S]\n"
    "       (FRAME-TEXT... | --device D --message M [encode options] [NAME=VALUE]...)";
const char kSendHelp[] =
    "Writes one frame to a serial port and exits with 0 once it is written. The frame\n"
    "is given as text, as pasted on the Decode page, or built from the options of\n"
    "kwn-frame encode (see kwn-frame encode --help). Exits with 1 when the port cannot\n"
    "be opened or written, or the text is no frame.\n"
    "\n"
    "Options:\n"
    KWN_SERIAL_OPTIONS_HELP
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

// How long send waits for the device to take the frame.
constexpr int kSendTimeoutMs = 5000;

} // namespace

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    cli::addEncodeOptions(parser);
    parser.addPositionalArgument(QStringLiteral("frame"), QStringLiteral("Frame text, or NAME=VALUE pairs."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kSendUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kSendHelp), &status))
        return status;
    QString problem;
    const SerialSettings settings = cli::serialSettings(parser, &problem);
    if (!problem.isEmpty())
        return cli::usageError(problem, usage);

    QByteArray frame;
    if (parser.isSet(QStringLiteral("device")) || parser.isSet(QStringLiteral("message"))) {
        status = cli::encodeFrame(parser, parser.positionalArguments(), usage, &frame);
        if (status != kExitOk)
            return status;
    } else {
        if (parser.positionalArguments().isEmpty())
            return cli::usageError(QStringLiteral("give a frame text, or --device and --message"), usage);
        const ParsedFrame parsed = parseFrameText(parser.positionalArguments().join(QLatin1Char(' ')));
        if (!parsed.ok()) {
            cli::writeErr(QStringLiteral("kwn-frame: not a frame: %1\n").arg(parsed.statusText));
            return kExitFailure;
        }
        frame = parsed.bytes;
    }

    SerialConnection connection;
    if (!connection.open(settings)) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(connection.errorText()));
        return kExitFailure;
    }
    QEventLoop loop;
    QString failure = QStringLiteral("timed out writing to %1").arg(settings.port);
    QObject::connect(&connection, &SerialConnection::sent, &loop, [&] {
        failure.clear();
        loop.quit();
    });
    QObject::connect(&connection, &SerialConnection::errorOccurred, &loop, [&](const QString &text) {
        failure = text;
        loop.quit();
    });
    QTimer::singleShot(kSendTimeoutMs, &loop, &QEventLoop::quit);
    connection.send(frame);
    loop.exec();
    connection.close();
    if (!failure.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(failure));
        return kExitFailure;
    }
    return kExitOk;
}
