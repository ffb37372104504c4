// kwn-frame convert: bus logs to captures and back, record for record.

#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/filteroption.h"

namespace {

const char kUsage[] = "kwn-frame convert [--filter EXPR] [--xml DIR] IN OUT";
const char kHelp[] =
    "Writes the frames and noise runs of IN into OUT: a bus log (OUT ending in .log)\n"
    "or a pcap capture for Wireshark and tshark (OUT ending in .pcap). IN is either,\n"
    "told apart by its content, whatever its name. A log made from a capture comes\n"
    "back as the same capture, and a capture made from a log of frames and noise\n"
    "comes back as the same log: times to the millisecond, or to the microsecond\n"
    "when any record's time has digits past the millisecond.\n"
    "\n"
    "A capture holds, per record, a byte of direction (0 received, 1 sent, 2 noise)\n"
    "and the bytes as they were on the wire, with link type USER0 (147); open it\n"
    "with the dissector that 'kwn-frame dissector' writes. Connect and disconnect\n"
    "events of a log were never on the wire and have no place in a capture: they\n"
    "are left out, and standard error says how many.\n"
    "Exits with 1 when IN cannot be read whole (a capture cut short, a record that\n"
    "cannot be) or OUT cannot be written, leaving no OUT behind, and when lines of\n"
    "a log were no frame (they are counted on standard error); else 0.\n"
    "\n"
    "Options:\n"
    KWN_FILTER_OPTION_HELP
    "                    Only those frames are written: no noise run, no event\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

} // namespace

int runConvert(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addFilterOption(parser);
    parser.addPositionalArgument(QStringLiteral("in"), QStringLiteral("Log or capture to read."));
    parser.addPositionalArgument(QStringLiteral("out"), QStringLiteral("Log (.log) or capture (.pcap) to write."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    const QStringList files = parser.positionalArguments();
    if (files.size() != 2)
        return cli::usageError(QStringLiteral("give the file to read and the file to write"), usage);
    const QString &in = files.at(0);
    const QString &out = files.at(1);
    const bool toCapture = out.endsWith(QLatin1String(".pcap"), Qt::CaseInsensitive);
    if (!toCapture && !out.endsWith(QLatin1String(".log"), Qt::CaseInsensitive))
        return cli::usageError(QStringLiteral("%1 ends neither in .pcap nor in .log").arg(out), usage);

    DecodeCatalogue catalogue(cli::catalogueFolder(parser));
    cli::FrameChoice frames;
    if (!frames.setUp(parser, catalogue))
        return kExitUsage;
    capture::RecordChoice choice;
    if (frames.isFiltering()) {
        choice = [&frames](const capture::RecordView &view) {
            const bool frame = view.kind == BusRecord::Received || view.kind == BusRecord::Sent;
            return frame && frames.keeps(QByteArray(view.bytes, view.size), directionText(view.kind));
        };
    }
    const capture::ConvertResult result = toCapture ? capture::convertToCapture(in, out, choice)
                                                    : capture::convertToLog(in, out, choice);
    if (!result.ok()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(result.error));
        return kExitFailure;
    }
    if (result.eventsLeftOut > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 left out: a capture holds no events\n")
                          .arg(countText(result.eventsLeftOut, "event line", "event lines")));
    if (result.refusedLines > 0) {
        cli::writeErr(QStringLiteral("kwn-frame: %1 of %2 %3 no frame, noise or event, and left out\n")
                          .arg(countText(quint64(result.refusedLines), "line", "lines"), in,
                               result.refusedLines == 1 ? QStringLiteral("was") : QStringLiteral("were")));
        return kExitFailure;
    }
    return kExitOk;
}
