// kwn-frame stats: what a bus log holds, node by node, and how busy the bus
// was over its time span. The same node table and load figures as the Bus
// page keeps live.

#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/filteroption.h"
#include "cli/logrecord.h"
#include "cli/replyoutput.h"
#include "cli/serialoptions.h"
#include "codec/buslog.h"
#include "codec/busrecorddecoder.h"
#include "codec/framereport.h"
#include "insight/busload.h"
#include "insight/nodetable.h"
#include "replies/replypairing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

const char kUsage[] =
    "kwn-frame stats [--baud N --data-bits N --parity P --stop-bits S] [--max-nodes N] [--reply-timeout MS]\n"
    "       [--json] [--filter EXPR] [--xml DIR] LOG...";
const char kHelp[] =
    "Reads bus logs whole (\"TIME RX|TX HEX\" lines, noise and event comment lines, plain\n"
    "frame texts), or pcap captures (kwn-frame convert), told apart by their content, and\n"
    "prints, over all of them together: the frames, those with a bad\n"
    "checksum, the noise bytes, the first and last time, the seconds between them, the\n"
    "frames a second and the bus load, the bits on the wire (start, data, parity and stop\n"
    "bits of every byte of frames and noise) in percent of what the baud rate carries.\n"
    "Then one row per source node ID, by node ID: its node type, device, frames, bytes,\n"
    "frames a second over the logs' span, first and last time, and how often it sent each\n"
    "message. Frames with a bad checksum count for the bus, not for a node, nor do group\n"
    "frames (their source field holds the group index). The span runs from the first\n"
    "bit of the earliest frame to the last byte of the latest, whatever order the logs and\n"
    "their lines come in; a log whose clock steps back by more than a second is said\n"
    "(\"Clock steps back\": how often, by up to how much). The table keeps the first N\n"
    "nodes heard (--max-nodes); the nodes heard after are counted as left out, with their\n"
    "frames (\"Nodes left out\"), and their frames count for the bus.\n"
    "Then the requests and their replies, paired as kwn-frame replies pairs them (each log\n"
    "on its own): the requests, those answered and unanswered, the replies that answered\n"
    "nothing (unsolicited), and the delay of a request's first reply (median and 95th\n"
    "percentile by nearest rank, to three significant digits, and the maximum), overall\n"
    "and per node asked and request message, for up to 4096 pairs of them.\n"
    "Lines that are no frame are counted on standard error. Exits with 1 when a log cannot\n"
    "be read.\n"
    "\n"
    "Options:\n"
    "  --baud N          baud rate (default 9600)\n"
    "  --data-bits N     5, 6, 7 or 8 (default 8)\n"
    "  --parity P        none, even, odd, mark or space (default none)\n"
    "  --stop-bits S     1, 1.5 or 2 (default 1)\n"
    "  --max-nodes N     nodes the table keeps, 1 to 16777216 (default 100000)\n"
    "  --reply-timeout MS  how long a node has to answer, 1 to 60000 ms (default 1000);\n"
    "                    0 leaves the requests and replies out\n"
    "  --json            one JSON object; clockStepsBack and largestStepBackSeconds,\n"
    "                    nodesLeftOut, framesLeftOut and maxNodes appear when there are any;\n"
    "                    \"replies\" holds requests, answered, unanswered, unsolicited,\n"
    "                    medianMs, p95Ms, maxMs, timeoutMs and byMessage, a row per node\n"
    "                    and message; dropped and byMessageLeftOut when there are any\n"
    KWN_FILTER_OPTION_HELP
    "                    The frames, bad checksums, frames a second and the node table\n"
    "                    are then of the frames EXPR selects; the time span, the noise\n"
    "                    and the bus load stay those of the whole bus; the requests\n"
    "                    counted are those EXPR selects, paired with every frame\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

// Node IDs have 24 bits.
constexpr int kNodeIds = 1 << 24;

// Reads logs and captures into the table and the meter, each distinct
// frame decoded once.
class LogReader
{
public:
    LogReader(const QString &folder, NodeTable &nodes, BusLoadMeter &load)
        : m_catalogue(folder), m_decoder(m_catalogue, BusRecordDecoder::Texts::Left), m_nodes(nodes), m_load(load)
    {
    }
    // A bus log or a pcap capture, told apart by its content.
    bool read(const QString &path);
    // --filter; false when its expression is refused.
    bool setUpFilter(const QCommandLineParser &parser) { return m_choice.setUp(parser, m_catalogue); }
    // The figures of the whole bus, but for the counts of the frames kept.
    LoadFigures figures() const;
    quint64 refused() const { return m_refused; }
    bool precise() const { return m_precise; }
    // Pairs requests and replies with this timeout.
    void pairReplies(qint64 timeoutUs) { m_pairing = std::make_unique<ReplyPairing>(timeoutUs); }
    // The pairing, or none when it was not asked for.
    const ReplyPairing *pairing() const { return m_pairing.get(); }

private:
    void add(const capture::RecordView &view);

    DecodeCatalogue m_catalogue;
    BusRecordDecoder m_decoder; // each distinct frame decoded once
    cli::FrameChoice m_choice;
    BusLoadMeter m_kept; // counts the frames --filter selects
    NodeTable &m_nodes;
    BusLoadMeter &m_load;
    std::unique_ptr<ReplyPairing> m_pairing;
    quint64 m_sequence = 0;
    quint64 m_refused = 0;
    bool m_precise = false;
};

bool LogReader::read(const QString &path)
{
    m_load.startLog();
    const capture::RecordScan scan = capture::scanRecordFile(path, [this](const capture::RecordView &view) {
        add(view);
        return true;
    });
    m_refused += quint64(scan.refusedLines);
    if (m_pairing)
        m_pairing->finish(); // each log paired on its own
    if (!scan.error.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(scan.error));
        return false;
    }
    return true;
}

void LogReader::add(const capture::RecordView &view)
{
    if (view.kind == BusRecord::Event)
        return;
    // A plain frame line has no time of its own: it counts, but not for the span.
    const BusRecord record = cli::recordOf(view, m_decoder);
    const QByteArray &bytes = record.bytes;
    // Times of another precision than milliseconds are kept in the output.
    if (view.hasTime && view.timeUs % 1000 != 0)
        m_precise = true;
    m_load.add(record);
    bool kept = true;
    if (m_choice.isFiltering()) {
        kept = view.kind != BusRecord::Noise && m_choice.keeps(bytes, directionText(view.kind));
        if (kept)
            m_kept.add(record);
    }
    // Requests are paired with every frame; those kept are counted.
    if (m_pairing)
        m_pairing->add(record, ++m_sequence, kept);
    if (kept)
        m_nodes.add(record);
}

LoadFigures LogReader::figures() const
{
    LoadFigures figures = m_load.overall();
    if (m_choice.isFiltering()) {
        const LoadFigures kept = m_kept.overall();
        figures.frames = kept.frames;
        figures.badChecksums = kept.badChecksums;
        figures.framesPerSecond = figures.seconds > 0 ? double(kept.frames) / figures.seconds : 0;
    }
    return figures;
}

QString timeText(qint64 us, bool precise)
{
    return us < 0 ? QString() : busLogTimeUs(us, precise);
}

QJsonValue timeValue(qint64 us, bool precise)
{
    return us < 0 ? QJsonValue() : QJsonValue(timeText(us, precise));
}

double rounded(double value, double scale)
{
    return std::round(value * scale) / scale;
}

double nodeRate(const NodeRow &row, const LoadFigures &figures)
{
    return figures.seconds > 0 ? double(row.frames) / figures.seconds : 0;
}

// Writes what is gathered once it is large, and at the end: the output of
// many nodes is never held whole.
class OutputBuffer
{
public:
    ~OutputBuffer() { flush(); }
    void append(const QByteArray &bytes)
    {
        m_bytes += bytes;
        if (m_bytes.size() > kChunk)
            flush();
    }
    void flush()
    {
        std::fwrite(m_bytes.constData(), 1, size_t(m_bytes.size()), stdout);
        m_bytes.clear();
    }

private:
    static constexpr int kChunk = 1 << 16;
    QByteArray m_bytes;
};

QJsonObject nodeJson(const NodeRow &row, const LoadFigures &figures, bool precise)
{
    QJsonObject node;
    node.insert(QStringLiteral("node"), nodeIdText(row.node));
    node.insert(QStringLiteral("nodeType"), int(row.nodeType));
    node.insert(QStringLiteral("device"), row.device);
    node.insert(QStringLiteral("frames"), double(row.frames));
    node.insert(QStringLiteral("bytes"), double(row.bytes));
    node.insert(QStringLiteral("framesPerSecond"), rounded(nodeRate(row, figures), 1e3));
    node.insert(QStringLiteral("first"), timeValue(row.firstUs, precise));
    node.insert(QStringLiteral("last"), timeValue(row.lastUs, precise));
    QJsonObject messages;
    for (int m = 0; m < row.messages.size(); ++m)
        messages.insert(NodeTable::messageKey(row, m), double(row.messages.at(m).count));
    node.insert(QStringLiteral("messages"), messages);
    return node;
}

// One compact JSON object, its node rows made and written one by one.
void writeJson(const NodeTable &nodes, const LoadFigures &figures, bool precise, const ReplyPairing *pairing)
{
    QJsonObject all;
    all.insert(QStringLiteral("frames"), double(figures.frames));
    all.insert(QStringLiteral("badChecksums"), double(figures.badChecksums));
    all.insert(QStringLiteral("noiseBytes"), double(figures.noiseBytes));
    all.insert(QStringLiteral("first"), timeValue(figures.firstUs, precise));
    all.insert(QStringLiteral("last"), timeValue(figures.lastUs, precise));
    all.insert(QStringLiteral("seconds"), rounded(figures.seconds, 1e6));
    all.insert(QStringLiteral("framesPerSecond"), rounded(figures.framesPerSecond, 1e3));
    all.insert(QStringLiteral("busLoad"), rounded(figures.busLoad, 1e3));
    if (figures.clockStepsBack > 0) {
        all.insert(QStringLiteral("clockStepsBack"), double(figures.clockStepsBack));
        all.insert(QStringLiteral("largestStepBackSeconds"), rounded(double(figures.largestStepBackUs) / 1e6, 1e6));
    }
    if (nodes.nodesLeftOut() > 0) {
        all.insert(QStringLiteral("nodesLeftOut"), double(nodes.nodesLeftOut()));
        all.insert(QStringLiteral("framesLeftOut"), double(nodes.framesLeftOut()));
        all.insert(QStringLiteral("maxNodes"), nodes.maxNodes());
    }
    if (pairing)
        all.insert(QStringLiteral("replies"), cli::replySectionJson(pairing->statistics(), pairing->timeoutUs()));
    // The other values are numbers, times and the replies' section, which
    // holds no nodes: the empty array is found once.
    all.insert(QStringLiteral("nodes"), QJsonArray());
    const QByteArray frame = QJsonDocument(all).toJson(QJsonDocument::Compact);
    const QByteArray emptyNodes = "\"nodes\":[]";
    const int at = frame.indexOf(emptyNodes) + emptyNodes.size() - 1;
    OutputBuffer out;
    out.append(frame.left(at));
    bool first = true;
    for (int index : nodes.byNode()) {
        if (!first)
            out.append(",");
        first = false;
        out.append(QJsonDocument(nodeJson(nodes.row(index), figures, precise)).toJson(QJsonDocument::Compact));
    }
    out.append(frame.mid(at) + '\n');
}

QStringList nodeCells(const NodeRow &row, const LoadFigures &figures, bool precise)
{
    QStringList messages;
    for (int m = 0; m < row.messages.size(); ++m)
        messages << NodeTable::messageKey(row, m) + QStringLiteral(": ") + QString::number(row.messages.at(m).count);
    return {nodeIdText(row.node),
            QString::number(row.nodeType),
            row.device.isEmpty() ? QStringLiteral("-") : row.device,
            QString::number(row.frames),
            QString::number(row.bytes),
            QString::number(nodeRate(row, figures), 'f', 3),
            row.firstUs < 0 ? QStringLiteral("-") : timeText(row.firstUs, precise),
            row.lastUs < 0 ? QStringLiteral("-") : timeText(row.lastUs, precise),
            messages.join(QStringLiteral(", "))};
}

QString totalsText(const NodeTable &nodes, const LoadFigures &figures, bool precise)
{
    QVector<QStringList> totals{
        {QStringLiteral("Frames"), QString::number(figures.frames)},
        {QStringLiteral("Bad checksums"), QString::number(figures.badChecksums)},
        {QStringLiteral("Noise bytes"), QString::number(figures.noiseBytes)},
        {QStringLiteral("First"), timeText(figures.firstUs, precise)},
        {QStringLiteral("Last"), timeText(figures.lastUs, precise)},
        {QStringLiteral("Seconds"), QString::number(figures.seconds, 'f', 6)},
        {QStringLiteral("Frames/s"), QString::number(figures.framesPerSecond, 'f', 3)},
        {QStringLiteral("Bus load"), QString::number(figures.busLoad, 'f', 3) + QStringLiteral(" %")},
    };
    if (figures.clockStepsBack > 0) {
        totals.append({QStringLiteral("Clock steps back"),
                       QStringLiteral("%1 time(s), by up to %2 s")
                           .arg(figures.clockStepsBack)
                           .arg(double(figures.largestStepBackUs) / 1e6, 0, 'f', 6)});
    }
    if (nodes.nodesLeftOut() > 0) {
        totals.append({QStringLiteral("Nodes left out"),
                       QStringLiteral("%1, with %2 frame(s); the table keeps %3 (--max-nodes)")
                           .arg(nodes.nodesLeftOut())
                           .arg(nodes.framesLeftOut())
                           .arg(nodes.maxNodes())});
    }
    return cli::alignedTable(totals);
}

// The totals, then the node table, its rows made twice (for the widths,
// then to write them) rather than held.
void writeText(const NodeTable &nodes, const LoadFigures &figures, bool precise, const ReplyPairing *pairing)
{
    const QStringList heading{QStringLiteral("Node"),     QStringLiteral("Type"),   QStringLiteral("Device"),
                              QStringLiteral("Frames"),   QStringLiteral("Bytes"),  QStringLiteral("Frames/s"),
                              QStringLiteral("First"),    QStringLiteral("Last"),   QStringLiteral("Messages")};
    const QVector<int> order = nodes.byNode();
    QVector<int> widths;
    cli::widen(widths, heading);
    for (int index : order)
        cli::widen(widths, nodeCells(nodes.row(index), figures, precise));
    OutputBuffer out;
    out.append((totalsText(nodes, figures, precise) + QLatin1Char('\n') + cli::alignedLine(heading, widths)).toUtf8());
    for (int index : order)
        out.append(cli::alignedLine(nodeCells(nodes.row(index), figures, precise), widths).toUtf8());
    if (pairing)
        out.append('\n' + cli::replySectionText(pairing->statistics(), pairing->timeoutUs()).toUtf8());
}

} // namespace

int runStats(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object.")});
    parser.addOption({QStringLiteral("max-nodes"), QStringLiteral("Nodes the table keeps."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("reply-timeout"), QStringLiteral("How long a node has to answer."),
                      QStringLiteral("MS")});
    cli::addFilterOption(parser);
    parser.addPositionalArgument(QStringLiteral("log"), QStringLiteral("Bus logs."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (parser.isSet(QStringLiteral("port")) || parser.isSet(QStringLiteral("gap")))
        return cli::usageError(QStringLiteral("stats reads logs: it takes no --port or --gap"), usage);
    if (parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("a log is needed"), usage);
    QString problem;
    const SerialSettings settings = cli::serialSettings(parser, &problem, cli::PortUse::Unused);
    if (!problem.isEmpty())
        return cli::usageError(problem, usage);

    NodeTable nodes;
    if (parser.isSet(QStringLiteral("max-nodes"))) {
        bool ok = false;
        const int count = parser.value(QStringLiteral("max-nodes")).toInt(&ok);
        if (!ok || count < 1 || count > kNodeIds)
            return cli::usageError(QStringLiteral("--max-nodes takes a number from 1 to %1").arg(kNodeIds), usage);
        nodes.setMaxNodes(count);
    }
    qint64 timeoutMs = ReplyPairing::kDefaultTimeoutUs / 1000;
    if (parser.isSet(QStringLiteral("reply-timeout"))) {
        bool ok = false;
        timeoutMs = parser.value(QStringLiteral("reply-timeout")).toLongLong(&ok);
        if (!ok || timeoutMs < 0 || timeoutMs > ReplyPairing::kMaxTimeoutUs / 1000)
            return cli::usageError(QStringLiteral("--reply-timeout takes a number of ms from 0 to 60000"), usage);
    }
    BusLoadMeter load(wireFormatOf(settings));
    LogReader reader(cli::catalogueFolder(parser), nodes, load);
    if (!reader.setUpFilter(parser))
        return kExitUsage;
    if (timeoutMs > 0)
        reader.pairReplies(timeoutMs * 1000);
    for (const QString &path : parser.positionalArguments()) {
        if (!reader.read(path))
            return kExitFailure;
    }
    const LoadFigures figures = reader.figures();
    if (parser.isSet(QStringLiteral("json")))
        writeJson(nodes, figures, reader.precise(), reader.pairing());
    else
        writeText(nodes, figures, reader.precise(), reader.pairing());
    if (reader.refused() > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 line(s) were no frame\n").arg(reader.refused()));
    return kExitOk;
}
