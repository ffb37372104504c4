// kwn-frame stats: what a bus log holds, node by node, and how busy the bus
// was over its time span. The same node table and load figures as the Bus
// page keeps live.

#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/serialoptions.h"
#include "codec/buslog.h"
#include "codec/busrecorddecoder.h"
#include "codec/framereport.h"
#include "insight/busload.h"
#include "insight/nodetable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

const char kUsage[] = "kwn-frame stats [--baud N --data-bits N --parity P --stop-bits S] [--json] [--xml DIR] LOG...";
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
    "frames (their source field holds the group index). The span runs\n"
    "from the first bit of the first frame to the last byte of the last.\n"
    "Lines that are no frame are counted on standard error. Exits with 1 when a log cannot\n"
    "be read.\n"
    "\n"
    "Options:\n"
    "  --baud N          baud rate (default 9600)\n"
    "  --data-bits N     5, 6, 7 or 8 (default 8)\n"
    "  --parity P        none, even, odd, mark or space (default none)\n"
    "  --stop-bits S     1, 1.5 or 2 (default 1)\n"
    "  --json            one JSON object\n"
    "  --xml DIR         catalogue folder (default: xml in the current directory)\n";

WireFormat wireFormatOf(const SerialSettings &settings)
{
    WireFormat format;
    format.baudRate = settings.baudRate;
    format.dataBits = settings.dataBits;
    format.parity = settings.parity != QLatin1String("none");
    format.stopBits = settings.stopBits.toDouble();
    return format;
}

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
    quint64 refused() const { return m_refused; }
    bool precise() const { return m_precise; }

private:
    void add(const capture::RecordView &view);

    DecodeCatalogue m_catalogue;
    BusRecordDecoder m_decoder; // each distinct frame decoded once
    NodeTable &m_nodes;
    BusLoadMeter &m_load;
    quint64 m_refused = 0;
    bool m_precise = false;
};

bool LogReader::read(const QString &path)
{
    const capture::RecordScan scan = capture::scanRecordFile(path, [this](const capture::RecordView &view) {
        add(view);
        return true;
    });
    m_refused += quint64(scan.refusedLines);
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
    const QByteArray bytes(view.bytes, view.size);
    BusRecord record = view.kind == BusRecord::Noise ? BusRecord() : m_decoder.decoded(bytes);
    if (view.kind == BusRecord::Noise)
        record.bytes = bytes;
    record.kind = view.kind;
    // A plain frame line has no time of its own: it counts, but not for the span.
    record.timeUs = view.hasTime ? view.timeUs : -1;
    // Times of another precision than milliseconds are kept in the output.
    if (view.hasTime && view.timeUs % 1000 != 0)
        m_precise = true;
    m_load.add(record);
    m_nodes.add(record);
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

QByteArray jsonOf(const NodeTable &nodes, const LoadFigures &figures, bool precise)
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
    QJsonArray rows;
    for (int index : nodes.byNode()) {
        const NodeRow &row = nodes.row(index);
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
        rows.append(node);
    }
    all.insert(QStringLiteral("nodes"), rows);
    return QJsonDocument(all).toJson(QJsonDocument::Compact) + '\n';
}

// Columns padded to their widest cell, the last left as it is.
QString alignedTable(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.append(0);
            widths[c] = qMax(widths[c], row.at(c).size());
        }
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row.at(c).leftJustified(widths.at(c) + 2) : row.at(c);
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

QString textOf(const NodeTable &nodes, const LoadFigures &figures, bool precise)
{
    const QVector<QStringList> totals{
        {QStringLiteral("Frames"), QString::number(figures.frames)},
        {QStringLiteral("Bad checksums"), QString::number(figures.badChecksums)},
        {QStringLiteral("Noise bytes"), QString::number(figures.noiseBytes)},
        {QStringLiteral("First"), timeText(figures.firstUs, precise)},
        {QStringLiteral("Last"), timeText(figures.lastUs, precise)},
        {QStringLiteral("Seconds"), QString::number(figures.seconds, 'f', 6)},
        {QStringLiteral("Frames/s"), QString::number(figures.framesPerSecond, 'f', 3)},
        {QStringLiteral("Bus load"), QString::number(figures.busLoad, 'f', 3) + QStringLiteral(" %")},
    };
    QVector<QStringList> table{{QStringLiteral("Node"), QStringLiteral("Type"), QStringLiteral("Device"),
                                QStringLiteral("Frames"), QStringLiteral("Bytes"), QStringLiteral("Frames/s"),
                                QStringLiteral("First"), QStringLiteral("Last"), QStringLiteral("Messages")}};
    for (int index : nodes.byNode()) {
        const NodeRow &row = nodes.row(index);
        QStringList messages;
        for (int m = 0; m < row.messages.size(); ++m)
            messages << NodeTable::messageKey(row, m) + QStringLiteral(": ")
                            + QString::number(row.messages.at(m).count);
        table.append({nodeIdText(row.node), QString::number(row.nodeType),
                      row.device.isEmpty() ? QStringLiteral("-") : row.device, QString::number(row.frames),
                      QString::number(row.bytes), QString::number(nodeRate(row, figures), 'f', 3),
                      row.firstUs < 0 ? QStringLiteral("-") : timeText(row.firstUs, precise),
                      row.lastUs < 0 ? QStringLiteral("-") : timeText(row.lastUs, precise),
                      messages.join(QStringLiteral(", "))});
    }
    return alignedTable(totals) + QLatin1Char('\n') + alignedTable(table);
}

} // namespace

int runStats(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    cli::addSerialOptions(parser);
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object.")});
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
    BusLoadMeter load(wireFormatOf(settings));
    LogReader reader(cli::catalogueFolder(parser), nodes, load);
    for (const QString &path : parser.positionalArguments()) {
        if (!reader.read(path))
            return kExitFailure;
    }
    const LoadFigures figures = load.overall();
    if (parser.isSet(QStringLiteral("json"))) {
        const QByteArray json = jsonOf(nodes, figures, reader.precise());
        std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    } else {
        cli::writeOut(textOf(nodes, figures, reader.precise()));
    }
    if (reader.refused() > 0)
        cli::writeErr(QStringLiteral("kwn-frame: %1 line(s) were no frame\n").arg(reader.refused()));
    return kExitOk;
}
