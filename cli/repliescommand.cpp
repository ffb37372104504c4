// kwn-frame replies: every request of bus logs and captures, in time order,
// with the replies it had, paired by replies/ as the Bus page and the
// Wireshark dissector pair them.

#include "capture/inputfile.h"
#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/filteroption.h"
#include "cli/logrecord.h"
#include "cli/linereader.h"
#include "cli/replyoutput.h"
#include "codec/busrecorddecoder.h"

#include <memory>
#include <vector>

namespace {

const char kUsage[] = "kwn-frame replies [--timeout MS] [--json] [--filter EXPR] [--xml DIR] LOG...";
const char kHelp[] =
    "Reads bus logs or pcap captures (told apart by their content, as stats does) and\n"
    "lists every request in time order with its replies.\n"
    "A request is a frame with a good checksum whose message the catalogue knows and is\n"
    "not a slave message (node_mode=\"slave\"), sent to a node, to all (FFFFFF) or to a\n"
    "group (000000); a reply is a frame with a good checksum of a slave message. A reply\n"
    "from node B to node A answers the oldest unanswered request from A to B made no more\n"
    "than the timeout before it; else it joins the newest request from A to all within the\n"
    "timeout, which gathers every reply; else the newest group request within the timeout\n"
    "(a group request's sender is not on the wire). A request to a node takes one reply; a\n"
    "request without a reply when its timeout has passed is unanswered. A reply's delay\n"
    "is its time minus its request's. Each log is paired on its own; frames without a time\n"
    "of their own (plain frame lines) are passed over. At most 4096 requests wait for\n"
    "replies at a time: past that the oldest waiting without a reply is dropped, and how\n"
    "many were is said on standard error.\n"
    "Exits with 1 when a log cannot be read or the logs hold no frame.\n"
    "\n"
    "Options:\n"
    "  --timeout MS      how long a node has to answer, 1 to 60000 ms (default 1000)\n"
    "  --json            one JSON object a line a request: time, source, destination,\n"
    "                    mode, device, message and replies (each time, source, message\n"
    "                    and afterMs); \"replies\": [] for an unanswered one\n"
    KWN_FILTER_OPTION_HELP
    "                    Only the requests EXPR selects are listed; they are paired\n"
    "                    with every frame all the same\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

struct OpenedLog
{
    capture::InputFile input;
    capture::RereadableFile file;
};

class RepliesReader
{
public:
    RepliesReader(const QString &folder, qint64 timeoutUs, bool json)
        : m_catalogue(folder), m_decoder(m_catalogue, BusRecordDecoder::Texts::Left), m_pairing(timeoutUs),
          m_json(json)
    {
        m_pairing.setSettledHandler([this](const PairedRequest &request) { write(request); });
    }
    bool setUpFilter(const QCommandLineParser &parser) { return m_choice.setUp(parser, m_catalogue); }
    void start(bool precise);
    bool read(const OpenedLog &log);
    void finish();
    quint64 frames() const { return m_frames; }
    quint64 dropped() const { return m_pairing.statistics().dropped(); }

private:
    void add(const capture::RecordView &view);
    void write(const PairedRequest &request);

    DecodeCatalogue m_catalogue;
    BusRecordDecoder m_decoder;
    cli::FrameChoice m_choice;
    ReplyPairing m_pairing;
    std::unique_ptr<cli::RequestRows> m_rows;
    bool m_json;
    bool m_precise = false;
    bool m_headed = false;
    quint64 m_frames = 0;
    QByteArray m_out;
};

void RepliesReader::start(bool precise)
{
    m_precise = precise;
    if (!m_json)
        m_rows = std::make_unique<cli::RequestRows>(m_catalogue, precise);
}

void RepliesReader::finish()
{
    // The heading over no rows, but for logs without a frame.
    if (m_rows && !m_headed && m_frames > 0)
        m_out += m_rows->heading();
    cli::flushOut(&m_out);
}

bool RepliesReader::read(const OpenedLog &log)
{
    const capture::RecordScan scan = log.file.scan([this](const capture::RecordView &view) {
        add(view);
        return true;
    });
    m_pairing.finish();
    if (!scan.error.isEmpty()) {
        cli::flushOut(&m_out);
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(scan.error));
        return false;
    }
    return true;
}

void RepliesReader::add(const capture::RecordView &view)
{
    if (view.kind == BusRecord::Event)
        return;
    const BusRecord record = cli::recordOf(view, m_decoder);
    const QByteArray &bytes = record.bytes;
    const bool frame = view.kind != BusRecord::Noise;
    m_frames += frame ? 1 : 0;
    const bool chosen = frameRole(record) != FrameRole::Request || m_choice.keeps(bytes, directionText(view.kind));
    m_pairing.add(record, m_frames, chosen);
    if (m_out.size() > (1 << 16))
        cli::flushOut(&m_out);
}

void RepliesReader::write(const PairedRequest &request)
{
    if (!request.chosen)
        return;
    if (m_rows && !m_headed) {
        m_out += m_rows->heading();
        m_headed = true;
    }
    m_out += m_rows ? m_rows->rows(request) : cli::RequestRows::jsonLine(request, m_precise);
}

} // namespace

int runReplies(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringLiteral("timeout"), QStringLiteral("How long a node has to answer."), QStringLiteral("MS")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object a line.")});
    cli::addFilterOption(parser);
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("Bus logs or captures."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("a log is needed"), usage);
    qint64 timeoutMs = ReplyPairing::kDefaultTimeoutUs / 1000;
    if (parser.isSet(QStringLiteral("timeout"))) {
        bool ok = false;
        timeoutMs = parser.value(QStringLiteral("timeout")).toLongLong(&ok);
        if (!ok || timeoutMs < 1 || timeoutMs > ReplyPairing::kMaxTimeoutUs / 1000)
            return cli::usageError(QStringLiteral("--timeout takes a number of ms from 1 to 60000"), usage);
    }
    RepliesReader reader(cli::catalogueFolder(parser), timeoutMs * 1000, parser.isSet(QStringLiteral("json")));
    if (!reader.setUpFilter(parser))
        return kExitUsage;
    // Every log opened first: a pipe is kept to be read twice, once for the
    // precision of the times (to the µs when any log's has them).
    std::vector<std::unique_ptr<OpenedLog>> logs;
    bool precise = false;
    for (const QString &path : parser.positionalArguments()) {
        logs.push_back(std::make_unique<OpenedLog>());
        OpenedLog &log = *logs.back();
        if (!log.input.open(path) || !log.file.open(log.input, path)) {
            const QString error = log.input.errorText().isEmpty() ? log.file.errorText() : log.input.errorText();
            cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(error));
            return kExitFailure;
        }
        precise = precise || log.file.timesFinerThanMs();
    }
    reader.start(precise);
    for (const std::unique_ptr<OpenedLog> &log : logs) {
        if (!reader.read(*log))
            return kExitFailure;
    }
    reader.finish();
    if (reader.dropped() > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 request(s) dropped: too many were waiting for replies\n")
                          .arg(reader.dropped()));
    if (reader.frames() == 0) {
        cli::writeErr(QStringLiteral("kwn-frame: the logs hold no frame\n"));
        return kExitFailure;
    }
    return kExitOk;
}
