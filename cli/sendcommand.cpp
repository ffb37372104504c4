// kwn-frame send: one frame written to a serial port from a terminal or a
// script, for playing a device on the bus.

#include "cli/commands.h"
#include "cli/serialoptions.h"
#include "codec/framedecoding.h"
#include "serial/bussession.h"

#include <QEventLoop>
#include <QTimer>

namespace {

const char kSendUsage[] =
    "kwn-frame send --port DEV [--baud N] [--data-bits 5..8] [--parity P] [--stop-bits S] [--raw]\n"
    "       (FRAME-TEXT... | --device D --message M [encode options] [NAME=VALUE]...)";
const char kSendHelp[] =
    "Writes one frame to a serial port and exits with 0 once it is written. The frame\n"
    "is given as text, as pasted on the Decode page, or built from the options of\n"
    "kwn-frame encode (see kwn-frame encode --help). Only a whole frame is written:\n"
    "11 to 31 bytes, as many as its length byte says, with the right checksum, and\n"
    "not all zero. Anything else is refused with the reason, and nothing is written,\n"
    "unless --raw is given. Exits with 1 when the frame is refused or the port cannot\n"
    "be opened or written.\n"
    "\n"
    "Options:\n"
    KWN_SERIAL_OPTIONS_HELP
    "  --raw             write the bytes as given even when they are no whole frame,\n"
    "                    to see what a device makes of them; the reason goes to\n"
    "                    standard error. At most 4096 bytes, what the serial driver\n"
    "                    takes at once (over 4 s of the bus at 9600 baud): more is\n"
    "                    text given by mistake, such as a whole file, not a test.\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

// How long send waits for the device to take the frame.
constexpr int kSendTimeoutMs = 5000;

// The most --raw writes (see the help above).
constexpr int kMaxRawBytes = 4096;

// The bytes the arguments give: built from the encode options, or read from
// the frame text. Returns kExitOk, or the exit status after saying what is
// wrong.
int bytesToSend(const QCommandLineParser &parser, const QString &usage, QByteArray *bytes)
{
    if (parser.isSet(QStringLiteral("device")) || parser.isSet(QStringLiteral("message")))
        return cli::encodeFrame(parser, parser.positionalArguments(), usage, bytes);
    if (parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("give a frame text, or --device and --message"), usage);
    const QString text = parser.positionalArguments().join(QLatin1Char(' '));
    // No bytes at all, not even for --raw.
    const QString problem = frameTextBytes(text, bytes);
    if (!problem.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: not sent: %1\n").arg(problem));
        return kExitFailure;
    }
    return kExitOk;
}

// Writes the bytes through a bus session, as the Bus page does, and waits
// until the port has taken them. The bytes were checked already.
int writeToPort(const SerialSettings &settings, const QByteArray &bytes, const QString &folder)
{
    BusSession session(folder);
    session.setPreparingTexts(false);
    if (!session.open(settings)) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(session.errorText()));
        return kExitFailure;
    }
    QEventLoop loop;
    QString failure = QStringLiteral("timed out writing to %1").arg(settings.port);
    QObject::connect(&session, &BusSession::frameSent, &loop, [&] {
        failure.clear();
        loop.quit();
    });
    QObject::connect(&session, &BusSession::connectionLost, &loop, [&](const QString &text) {
        failure = text;
        loop.quit();
    });
    QTimer::singleShot(kSendTimeoutMs, &loop, &QEventLoop::quit);
    const QString refused = session.send(bytes, BusSession::SendCheck::AsGiven);
    if (refused.isEmpty())
        loop.exec();
    else
        failure = refused;
    session.close();
    if (!failure.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(failure));
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int runSend(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    cli::addEncodeOptions(parser);
    parser.addOption({QStringLiteral("raw"), QStringLiteral("Send the bytes as given.")});
    parser.addPositionalArgument(QStringLiteral("frame"), QStringLiteral("Frame text, or NAME=VALUE pairs."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kSendUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kSendHelp), &status))
        return status;
    QString problem;
    const SerialSettings settings = cli::serialSettings(parser, &problem);
    if (!problem.isEmpty())
        return cli::usageError(problem, usage);

    QByteArray bytes;
    status = bytesToSend(parser, usage, &bytes);
    if (status != kExitOk)
        return status;
    // Built frames are checked too: encode builds a message whose data does
    // not fit, with a warning.
    const bool raw = parser.isSet(QStringLiteral("raw"));
    const QString reason = frameProblem(bytes);
    if (!reason.isEmpty() && (!raw || bytes.size() > kMaxRawBytes)) {
        cli::writeErr(QStringLiteral("kwn-frame: not sent: %1\n")
                          .arg(raw ? QStringLiteral("--raw sends at most %1 bytes; this is %2 bytes")
                                         .arg(kMaxRawBytes)
                                         .arg(bytes.size())
                                   : reason));
        return kExitFailure;
    }
    status = writeToPort(settings, bytes, cli::catalogueFolder(parser));
    if (status == kExitOk && !reason.isEmpty())
        cli::writeErr(QStringLiteral("kwn-frame: sent as given (--raw): %1\n").arg(reason));
    return status;
}
