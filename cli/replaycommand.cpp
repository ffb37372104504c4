// kwn-frame replay: the frames of a bus log written onto a serial port with
// the log's spacing, through the same session and replayer as the Bus page.

#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/serialoptions.h"
#include "serial/bussession.h"
#include "serial/replayer.h"
#include "serial/replayfile.h"

#include <QEventLoop>


namespace {

const char kUsage[] =
    "kwn-frame replay --port DEV [--baud N --data-bits N --parity P --stop-bits S] [--speed F] [--loop]\n"
    "       [--only RX|TX] LOG";
const char kHelp[] =
    "Writes the frames of a bus log (or of a pcap capture, told apart by its content)\n"
    "onto a serial port, the first at once and each later\n"
    "one when its time in the log, counted from the first frame's, divided by the speed,\n"
    "has passed; a pause of more than a day is played as a day. Noise and event lines are\n"
    "passed over; a frame line without a time goes right after the frame before it. Frames\n"
    "are written as logged, bad checksums too. It ends once the last has left the port; a\n"
    "pass of --loop takes at least the time its frames take on the line.\n"
    "Nothing is written unless the whole file reads: a capture with a damaged record, a log\n"
    "with a line that is no frame, noise, event, comment or empty line, a file that is not\n"
    "text, or one without a frame, is refused.\n"
    "Ctrl-C stops it with exit status 0; a port that cannot be opened or goes away, or a\n"
    "file that is refused, gives 1.\n"
    "\n"
    "Options:\n" KWN_SERIAL_OPTIONS_HELP
    "  --speed F         the log's pace times F, from 0.1 to 100 (default 1)\n"
    "  --loop            start again from the first frame after the last, until Ctrl-C\n"
    "  --only RX|TX      only the frames logged as received, or as sent\n";

// The frames of the file, or false, said on standard error, when it is not
// replayed (see serial/replayfile.h).
bool readFrames(const QString &path, QVector<BusRecord> *frames)
{
    ReplayFile file = readReplayFile(path);
    if (!file.ok()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(file.error));
        return false;
    }
    *frames = std::move(file.frames);
    return true;
}

// Until the last frame has left the port, a failure or Ctrl-C.
int play(BusSession &session, Replayer &replayer)
{
    QEventLoop loop;
    int status = kExitOk;
    bool ended = false;
    const auto end = [&](int endStatus, const QString &text) {
        if (!text.isEmpty())
            cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(text));
        status = endStatus;
        ended = true;
        loop.quit();
    };
    QObject::connect(&session, &BusSession::connectionLost, &loop,
                     [&](const QString &text) { end(kExitFailure, text); });
    QObject::connect(&replayer, &Replayer::failed, &loop, [&](const QString &text) { end(kExitFailure, text); });
    QObject::connect(&replayer, &Replayer::finished, &loop, [&] { end(kExitOk, QString()); });
    cli::quitOnInterrupt(loop);
    replayer.start();
    if (!ended && !cli::interrupted())
        loop.exec();
    replayer.stop();
    session.close();
    return status;
}

} // namespace

int runReplay(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    parser.addOption({QStringLiteral("speed"), QStringLiteral("Pace factor."), QStringLiteral("F")});
    parser.addOption({QStringLiteral("loop"), QStringLiteral("Play again and again.")});
    parser.addOption({QStringLiteral("only"), QStringLiteral("RX or TX frames only."), QStringLiteral("DIR")});
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("Bus log."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (parser.positionalArguments().size() != 1)
        return cli::usageError(QStringLiteral("give one log"), usage);
    QString problem;
    const SerialSettings settings = cli::serialSettings(parser, &problem);
    if (!problem.isEmpty())
        return cli::usageError(problem, usage);
    double speed = 1;
    if (parser.isSet(QStringLiteral("speed"))) {
        bool ok = false;
        speed = parser.value(QStringLiteral("speed")).toDouble(&ok);
        if (!ok || !(speed >= Replayer::kMinSpeed && speed <= Replayer::kMaxSpeed))
            return cli::usageError(QStringLiteral("--speed takes a number from 0.1 to 100"), usage);
    }
    Replayer::Only only = Replayer::Only::Both;
    if (parser.isSet(QStringLiteral("only"))) {
        const QString direction = parser.value(QStringLiteral("only"));
        if (direction == QLatin1String("RX"))
            only = Replayer::Only::Received;
        else if (direction == QLatin1String("TX"))
            only = Replayer::Only::Sent;
        else
            return cli::usageError(QStringLiteral("--only takes RX or TX"), usage);
    }

    QVector<BusRecord> records;
    if (!readFrames(parser.positionalArguments().first(), &records))
        return kExitFailure;
    cli::catchInterrupt();
    BusSession session(cli::catalogueFolder(parser));
    session.setPreparingTexts(false);
    if (!session.open(settings)) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(session.errorText()));
        return kExitFailure;
    }
    Replayer replayer(&session);
    replayer.setRecords(records, only);
    replayer.setSpeed(speed);
    replayer.setLoop(parser.isSet(QStringLiteral("loop")));
    if (replayer.gapsShortened() > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 pause(s) of more than a day between frames played as a day\n")
                          .arg(replayer.gapsShortened()));
    if (replayer.frameCount() == 0) {
        session.close();
        return kExitOk;
    }
    return play(session, replayer);
}
