// kwn-frame replay: the frames of a bus log written onto a serial port with
// the log's spacing, through the same session and replayer as the Bus page.

#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/serialoptions.h"
#include "codec/buslogfile.h"
#include "serial/bussession.h"
#include "serial/replayer.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>


namespace {

const char kUsage[] =
    "kwn-frame replay --port DEV [--baud N --data-bits N --parity P --stop-bits S] [--speed F] [--loop]\n"
    "       [--only RX|TX] LOG";
const char kHelp[] =
    "Writes the frames of a bus log (or of a pcap capture, told apart by its content)\n"
    "onto a serial port, the first at once and each later\n"
    "one when its time in the log, counted from the first frame's, divided by the speed,\n"
    "has passed. Noise and event lines are passed over; a frame line without a time goes\n"
    "right after the frame before it. Frames are written as logged, bad checksums too.\n"
    "Ctrl-C stops it with exit status 0; a port that cannot be opened or goes away, or a\n"
    "log that cannot be read, gives 1.\n"
    "\n"
    "Options:\n" KWN_SERIAL_OPTIONS_HELP
    "  --speed F         the log's pace times F, from 0.1 to 100 (default 1)\n"
    "  --loop            start again from the first frame after the last, until Ctrl-C\n"
    "  --only RX|TX      only the frames logged as received, or as sent\n";

// After the last frame is handed over, how long the port may take to write it.
constexpr int kDrainTimeoutMs = 10000;


// The frames of the log (or capture, told apart by its content) as records
// (time, direction, bytes), the file read once, so a pipe works too; false,
// said on standard error, when it cannot be read whole.
bool readLog(const QString &path, QVector<BusRecord> *records)
{
    const capture::RecordScan scan = capture::scanRecordFile(path, [records](const capture::RecordView &view) {
        BusRecord record;
        record.kind = view.kind;
        record.timeUs = view.hasTime ? view.timeUs : -1;
        record.bytes = QByteArray(view.bytes, view.size);
        records->append(record);
        return true;
    });
    if (!scan.error.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(scan.error));
        return false;
    }
    if (scan.refusedLines > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 line(s) of %2 were no frame\n").arg(scan.refusedLines).arg(path));
    return true;
}

int play(BusSession &session, Replayer &replayer)
{
    QEventLoop loop;
    int status = kExitOk;
    bool done = false;
    int written = 0;
    QObject::connect(&session, &BusSession::frameSent, &loop, [&] {
        ++written;
        if (done && written >= replayer.frameCount())
            loop.quit();
    });
    QObject::connect(&session, &BusSession::connectionLost, &loop, [&](const QString &text) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(text));
        status = kExitFailure;
        loop.quit();
    });
    QObject::connect(&replayer, &Replayer::failed, &loop, [&](const QString &text) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(text));
        status = kExitFailure;
        loop.quit();
    });
    QTimer drain;
    drain.setSingleShot(true);
    QObject::connect(&drain, &QTimer::timeout, &loop, [&] {
        cli::writeErr(QStringLiteral("kwn-frame: timed out writing to %1\n").arg(session.settings().port));
        status = kExitFailure;
        loop.quit();
    });
    QObject::connect(&replayer, &Replayer::finished, &loop, [&] {
        done = true;
        if (written >= replayer.frameCount())
            loop.quit();
        else
            drain.start(kDrainTimeoutMs);
    });
    cli::quitOnInterrupt(loop);
    replayer.start();
    if (!cli::interrupted() && (replayer.isRunning() || !done))
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
    if (!readLog(parser.positionalArguments().first(), &records))
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
    if (replayer.frameCount() == 0) {
        session.close();
        return kExitOk;
    }
    return play(session, replayer);
}
