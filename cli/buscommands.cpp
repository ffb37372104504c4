// kwn-frame monitor: the bus on a serial port from a terminal or a script,
// printed exactly as kwn-frame decode prints frames.

#include "capture/recordwriter.h"
#include "cli/commands.h"
#include "cli/filteroption.h"
#include "cli/interrupt.h"
#include "cli/linereader.h"
#include "cli/serialoptions.h"
#include "codec/buslog.h"
#include "codec/framereport.h"
#include "serial/bussession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstring>
#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const char kMonitorUsage[] =
    "kwn-frame monitor (--port DEV [--baud N] [--data-bits 5..8] [--parity P] [--stop-bits S]\n"
    "       | --input FILE) [--gap MS] [--precise] [--pcap FILE] [--single-line | --json]\n"
    "       [--filter EXPR [--stop-after-match [N]]] [--xml DIR]";
const char kMonitorHelp[] =
    "Prints each frame read from a serial port as it arrives, exactly as kwn-frame\n"
    "decode prints it, after its time (UTC; to the microsecond with --precise)\n"
    "and RX. Bytes that belong to no frame are printed as \"noise: HEX\"\n"
    "({\"noise\": \"HEX\", \"time\": ...} with --json).\n"
    "Ctrl-C, or the end of the input file, ends it with exit status 0; a port that\n"
    "cannot be opened or goes away ends it with 1.\n"
    "\n"
    "Nothing read is lost to slow output: while the output is not read (a full\n"
    "pipe, a paused terminal), the frames read wait, up to 200000 of them or 8 MB,\n"
    "and then the monitor stops reading the port. The bytes then wait in the serial\n"
    "driver and the adapter, which hold a few KB: a device that goes on sending past\n"
    "that loses bytes on the line, where the monitor cannot count them. Should frames\n"
    "read still have to be dropped, standard error says how many when it first\n"
    "happens and at the end, and the exit status is 1.\n"
    "\n"
    "Options:\n"
    KWN_SERIAL_OPTIONS_HELP
    "  --gap MS          a partial frame with no new byte for MS ms is noise (default 100)\n"
    "  --input FILE      read a raw binary capture (- for standard input) instead of a port\n"
    "  --pcap FILE       also write every frame and noise run to a pcap capture FILE,\n"
    "                    for Wireshark (see kwn-frame dissector); flushed after every\n"
    "                    batch read, complete once the monitor ends\n"
    "  --precise         times to the microsecond (2026-12-06T22:42:16.123456Z)\n"
    "  --single-line     one line per frame\n"
    "  --json            one JSON object per line\n"
    KWN_FILTER_OPTION_HELP
    "                    Only those frames are printed, no noise; --pcap still\n"
    "                    writes every frame and noise run\n"
    "  --stop-after-match [N]\n"
    "                    with --filter: end, with status 0, after the first frame\n"
    "                    EXPR selects and N more frames (default 0), printing those\n"
    "                    of them that it selects\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

static_assert(SerialConnection::kMaxWaitingItems == 200000 && SerialConnection::kMaxWaitingBytes == 8 * 1024 * 1024,
              "the help names the connection's limits");


// Prints the session's records as decode prints frames, after their time
// and direction.
class RecordPrinter
{
public:
    RecordPrinter(const QString &folder, ReportStyle style, bool precise)
        : m_catalogue(folder), m_style(style), m_precise(precise)
    {
    }

    // --filter and --stop-after-match; false when the expression is refused.
    bool setUpFilter(const QCommandLineParser &parser, int framesAfterMatch)
    {
        m_framesAfterMatch = framesAfterMatch;
        return m_choice.setUp(parser, m_catalogue);
    }
    // The frames asked for by --stop-after-match are printed.
    bool done() const { return m_done; }

    void print(const QVector<BusRecord> &records)
    {
        for (const BusRecord &record : records) {
            if (m_done)
                break;
            if (record.timeUs != m_timeUs || m_time.isEmpty()) {
                m_timeUs = record.timeUs;
                m_time = busLogTimeUs(record.timeUs, m_precise);
            }
            m_text.resize(0);
            if (record.kind == BusRecord::Noise) {
                if (!m_choice.isFiltering())
                    appendNoise(m_style, record.bytes, m_time, m_text);
            } else {
                FrameReport r = m_catalogue.decodeBytes(record.bytes);
                r.time = m_time;
                r.direction = directionText(record.kind);
                const bool kept = m_choice.keeps(r);
                if (kept)
                    appendReport(m_style, r, m_text);
                countForStop(kept);
            }
            m_out += m_text.toUtf8();
        }
        flush();
    }

    void flush() { cli::flushOut(&m_out); }

private:
    // --stop-after-match: done with the first frame kept and N more.
    void countForStop(bool kept)
    {
        if (m_framesLeft > 0)
            m_done = --m_framesLeft == 0;
        else if (kept && m_framesAfterMatch >= 0)
            m_done = (m_framesLeft = m_framesAfterMatch) == 0;
    }

    DecodeCatalogue m_catalogue;
    cli::FrameChoice m_choice;
    int m_framesAfterMatch = -1; // --stop-after-match N; -1: not given
    int m_framesLeft = 0;        // frames still to read after the first match
    bool m_done = false;
    ReportStyle m_style;
    bool m_precise = false;
    qint64 m_timeUs = 0;
    QString m_time;
    QString m_text;
    QByteArray m_out;
};

// Frames and noise runs read from the port but dropped, for want of room
// while the output was not read: said when first seen and at the end.
class DropReport
{
public:
    void check(quint64 dropped)
    {
        if (dropped == 0 || m_said)
            return;
        m_said = true;
        cli::writeErr(QStringLiteral("kwn-frame: the output is not read in time: %1 frames or noise runs read "
                                     "from the port were dropped\n")
                          .arg(dropped));
    }

    int finish(quint64 dropped, int status) const
    {
        if (dropped == 0)
            return status;
        cli::writeErr(QStringLiteral("kwn-frame: %1 frames or noise runs read from the port were dropped in all: "
                                     "the output was not read in time\n")
                          .arg(dropped));
        return kExitFailure;
    }

private:
    bool m_said = false;
};

// The records also written to a capture, when asked: flushed after each
// batch, so that what was read is in the file within the batch's time. A
// write error is said once and ends the recording, not the monitor.
class CaptureRecorder
{
public:
    bool open(const QString &path)
    {
        using capture::RecordWriter;
        QString error;
        m_writer = RecordWriter::open(path, RecordWriter::Kind::Capture, RecordWriter::Opening::AsNamed, &error);
        if (!m_writer) {
            cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(error));
            return false;
        }
        return true;
    }

    void write(const QVector<BusRecord> &records)
    {
        if (m_writer && !m_writer->write(records, true))
            fail();
    }

    int finish(int status)
    {
        if (m_writer && !m_writer->close())
            fail();
        return m_failed ? kExitFailure : status;
    }

private:
    void fail()
    {
        cli::writeErr(QStringLiteral("kwn-frame: the capture stops: %1\n").arg(m_writer->errorText()));
        m_writer->close();
        m_writer.reset();
        m_failed = true;
    }

    std::unique_ptr<capture::RecordWriter> m_writer;
    bool m_failed = false;
};

#if defined(Q_OS_UNIX)
int replayCapture(const QString &input, int gapMs, BusSession &session, const RecordPrinter &printer)
{
    const bool standardInput = input == QLatin1String("-");
    const int fd = standardInput ? cli::kStandardInput : ::open(QFile::encodeName(input).constData(), O_RDONLY);
    if (fd < 0) {
        cli::writeErr(QStringLiteral("kwn-frame: cannot read %1: %2\n").arg(input, QString::fromLocal8Bit(std::strerror(errno))));
        return kExitFailure;
    }
    static char chunk[1 << 16];
    while (!cli::interrupted() && !printer.done()) {
        const qint64 got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        session.feedCapture(chunk, got, QDateTime::currentMSecsSinceEpoch(), gapMs);
    }
    session.finishCapture();
    if (!standardInput)
        ::close(fd);
    return kExitOk;
}
#else
int replayCapture(const QString &input, int gapMs, BusSession &session, const RecordPrinter &printer)
{
    const bool standardInput = input == QLatin1String("-");
    QFile file(standardInput ? QString() : input);
    // Unbuffered: a live capture on standard input is fed as it comes.
    const bool opened = standardInput ? file.open(cli::kStandardInput, QIODevice::ReadOnly | QIODevice::Unbuffered)
                                      : file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    if (!opened) {
        cli::writeErr(QStringLiteral("kwn-frame: cannot read %1: %2\n").arg(input, file.errorString()));
        return kExitFailure;
    }
    static char chunk[1 << 16];
    while (!cli::interrupted() && !printer.done()) {
        const qint64 got = file.read(chunk, sizeof chunk);
        if (got <= 0)
            break;
        session.feedCapture(chunk, got, QDateTime::currentMSecsSinceEpoch(), gapMs);
    }
    session.finishCapture();
    return kExitOk;
}
#endif

int monitorPort(const SerialSettings &settings, BusSession &session, const DropReport &drops,
                const RecordPrinter &printer)
{
    if (!session.open(settings)) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(session.errorText()));
        return kExitFailure;
    }
    QEventLoop loop;
    int status = kExitOk;
    QObject::connect(&session, &BusSession::connectionLost, &loop, [&](const QString &text) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(text));
        status = kExitFailure;
        loop.quit();
    });
    QObject::connect(&session, &BusSession::recordsReady, &loop, [&loop, &printer] {
        if (printer.done())
            loop.quit();
    });
    cli::quitOnInterrupt(loop);
    if (!cli::interrupted())
        loop.exec();
    session.close();
    return drops.finish(session.counters().droppedUnread, status);
}

// The arguments with the count that may follow --stop-after-match taken
// out (--stop-after-match N or --stop-after-match=N), into `count`: -1 when
// the option is not given, 0 when given alone, -2 for a count that is no
// number of frames.
QStringList withoutStopCount(const QStringList &arguments, int *count)
{
    QStringList rest;
    *count = -1;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        const int equals = a.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? a : a.left(equals);
        if (name != QLatin1String("--stop-after-match") && name != QLatin1String("-stop-after-match")) {
            rest << a;
            continue;
        }
        rest << name;
        bool ok = true;
        if (equals >= 0)
            *count = a.mid(equals + 1).toInt(&ok);
        else if (i + 1 < arguments.size() && !arguments.at(i + 1).isEmpty() && arguments.at(i + 1).at(0).isDigit())
            *count = arguments.at(++i).toInt(&ok);
        else
            *count = 0;
        if (!ok || *count < 0)
            *count = -2;
    }
    return rest;
}

} // namespace

int runMonitor(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    parser.addOption({QStringLiteral("input"), QStringLiteral("Raw capture to replay."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("pcap"), QStringLiteral("Capture to write."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("precise"), QStringLiteral("Times to the microsecond.")});
    parser.addOption({QStringLiteral("single-line"), QStringLiteral("One line per frame.")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object per line.")});
    cli::addFilterOption(parser);
    parser.addOption({QStringLiteral("stop-after-match"), QStringLiteral("End after the first match and N more frames.")});
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kMonitorUsage);
    int framesAfterMatch = -1;
    const QStringList options = withoutStopCount(arguments, &framesAfterMatch);
    if (!cli::parseArguments(parser, options, usage, QString::fromLatin1(kMonitorHelp), &status))
        return status;
    if (framesAfterMatch < -1)
        return cli::usageError(QStringLiteral("--stop-after-match takes a number of frames, 0 or more"), usage);
    if (parser.isSet(QStringLiteral("stop-after-match")) && !parser.isSet(QStringLiteral("filter")))
        return cli::usageError(QStringLiteral("--stop-after-match needs --filter"), usage);
    if (!parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
                               usage);
    if (parser.isSet(QStringLiteral("single-line")) && parser.isSet(QStringLiteral("json")))
        return cli::usageError(QStringLiteral("--single-line and --json exclude each other"), usage);
    const bool input = parser.isSet(QStringLiteral("input"));
    if (input == parser.isSet(QStringLiteral("port")))
        return cli::usageError(QStringLiteral("give either --port or --input"), usage);

    QString problem;
    SerialSettings settings =
        cli::serialSettings(parser, &problem, input ? cli::PortUse::Unused : cli::PortUse::Required);
    if (!problem.isEmpty())
        return cli::usageError(problem, usage);

    // Before the session, which may still hand over records as it goes.
    CaptureRecorder recorder;
    if (parser.isSet(QStringLiteral("pcap")) && !recorder.open(parser.value(QStringLiteral("pcap"))))
        return kExitFailure;
    cli::catchInterrupt();
    const QString folder = cli::catalogueFolder(parser);
    RecordPrinter printer(folder, cli::reportStyle(parser), parser.isSet(QStringLiteral("precise")));
    if (!printer.setUpFilter(parser, framesAfterMatch))
        return kExitUsage;
    BusSession session(folder);
    session.setPreparingTexts(false); // the printer decodes for its style
    DropReport drops;
    // Drops are counted as a batch is taken: said before it is printed,
    // since printing may wait on the output.
    QObject::connect(&session, &BusSession::recordsReady, &session,
                     [&printer, &drops, &session, &recorder](const QVector<BusRecord> &records) {
                         drops.check(session.counters().droppedUnread);
                         recorder.write(records);
                         printer.print(records);
                     });
    QObject::connect(&session, &BusSession::countersChanged, &session,
                     [&drops, &session] { drops.check(session.counters().droppedUnread); });
    if (input)
        return recorder.finish(replayCapture(parser.value(QStringLiteral("input")), settings.gapMs, session, printer));
    return recorder.finish(monitorPort(settings, session, drops, printer));
}
