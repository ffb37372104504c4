// kwn-frame stats: what a bus log holds, node by node, and how busy the bus
// was over its time span. The same node table and load figures as the Bus
// page keeps live.

#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/serialoptions.h"
#include "codec/buslog.h"
#include "codec/buslogfile.h"
#include "codec/busrecorddecoder.h"
#include "codec/framereport.h"
#include "insight/busload.h"
#include "insight/nodetable.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstring>

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

// Reads logs into the table and the meter: the usual frame line at a
// line's cost of a few hash look-ups, everything else as the Open of the
// Bus page reads it.
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
    bool readCapture(const QString &path);
    void line(const char *text, qsizetype size);
    bool quickLine(const char *text, qsizetype size);
    bool quickTime(const char *text, qsizetype size, qint64 *us);
    void add(BusRecord &record);

    DecodeCatalogue m_catalogue;
    BusRecordDecoder m_decoder; // each distinct frame decoded once
    NodeTable &m_nodes;
    BusLoadMeter &m_load;
    QByteArray m_bytes;
    QByteArray m_minute;     // "yyyy-MM-ddThh:mm" of the last time read
    qint64 m_minuteUs = 0;   // its start
    quint64 m_refused = 0;
    bool m_precise = false;
};

bool LogReader::readCapture(const QString &path)
{
    const capture::RecordScan scan = capture::scanRecordFile(path, [this](const capture::RecordView &view) {
        BusRecord record;
        const QByteArray bytes(view.bytes, view.size);
        if (view.kind == BusRecord::Noise)
            record.bytes = bytes;
        else
            record = m_decoder.decoded(bytes);
        record.kind = view.kind;
        record.timeUs = view.timeUs;
        m_precise = m_precise || view.timeUs % 1000 != 0;
        add(record);
        return true;
    });
    if (!scan.error.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(scan.error));
        return false;
    }
    return true;
}

bool LogReader::read(const QString &path)
{
    if (capture::recordFileKind(path) == capture::RecordFileKind::Capture)
        return readCapture(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        cli::writeErr(QStringLiteral("kwn-frame: cannot read %1: %2\n").arg(path, file.errorString()));
        return false;
    }
    BusLogLineReader lines(file);
    QByteArray text;
    bool tooLong = false;
    while (lines.next(&text, &tooLong)) {
        if (tooLong)
            ++m_refused;
        else
            line(text.constData(), text.size());
    }
    if (file.error() != QFileDevice::NoError) {
        cli::writeErr(QStringLiteral("kwn-frame: cannot read %1: %2\n").arg(path, file.errorString()));
        return false;
    }
    return true;
}

void LogReader::add(BusRecord &record)
{
    m_load.add(record);
    m_nodes.add(record);
}

// "…Thh:mm:ss.fffZ" read at the cost of a few digits when its minute is
// that of the line before, which the slow way read.
bool LogReader::quickTime(const char *text, qsizetype size, qint64 *us)
{
    if (size < 20 || text[size - 1] != 'Z' || text[16] != ':')
        return false;
    const int second = (text[17] - '0') * 10 + (text[18] - '0');
    if (second > 59)
        return false; // a leap second is read the slow way
    qint64 fraction = 0;
    if (size > 20) {
        if (text[19] != '.' || size == 21)
            return false;
        qint64 scale = 100000;
        for (qsizetype i = 20; i < size - 1; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            fraction += scale * (text[i] - '0');
            scale /= 10;
        }
    }
    if (fraction % 1000 != 0)
        m_precise = true;
    const qint64 withinMinute = second * qint64(1000000) + fraction;
    if (m_minute.size() == 16 && std::equal(text, text + 16, m_minute.constData())) {
        *us = m_minuteUs + withinMinute;
        return true;
    }
    if (!readBusLogTimeUs(QString::fromLatin1(text, int(size)), us))
        return false;
    m_minute = QByteArray(text, 16);
    m_minuteUs = *us - withinMinute;
    return true;
}

// "TIME RX|TX HEX" of plain ASCII, its time ending in Z and its frame
// whole; false for any other line.
bool LogReader::quickLine(const char *text, qsizetype size)
{
    const char *space = static_cast<const char *>(std::memchr(text, ' ', size_t(size)));
    if (!space || space - text < 19 || text[0] < '0' || text[0] > '9')
        return false;
    const qsizetype timeSize = space - text;
    const char *rest = space + 1;
    const qsizetype restSize = size - timeSize - 1;
    if (restSize < 3 + 2 * kFrameOverheadBytes || (rest[0] != 'R' && rest[0] != 'T') || rest[1] != 'X'
        || rest[2] != ' ')
        return false;
    const char *hex = rest + 3;
    const qsizetype hexSize = restSize - 3;
    if (hexSize % 2 != 0 || hexSize > 2 * kMaxFrameBytes)
        return false;
    for (qsizetype i = 0; i < 19; ++i) {
        const char shape = "dddd-dd-ddTdd:dd:dd"[i];
        if (shape == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape)
            return false;
    }
    m_bytes.resize(int(hexSize / 2));
    for (qsizetype i = 0; i < hexSize; i += 2) {
        int pair = 0;
        for (int k = 0; k < 2; ++k) {
            const char c = hex[i + k];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                                                   : -1;
            if (digit < 0)
                return false;
            pair = pair << 4 | digit;
        }
        m_bytes[int(i / 2)] = char(pair);
    }
    qint64 us = -1;
    if (!quickTime(text, timeSize, &us))
        return false;
    const BusRecord &known = m_decoder.decoded(m_bytes);
    if (!known.parsed)
        return false; // refused the general way
    BusRecord record = known;
    record.kind = rest[0] == 'T' ? BusRecord::Sent : BusRecord::Received;
    record.timeUs = us;
    add(record);
    return true;
}

void LogReader::line(const char *text, qsizetype size)
{
    if (size > 0 && text[size - 1] == '\r')
        --size;
    if (quickLine(text, size))
        return;
    BusLogEntry entry;
    switch (readBusLogLine(QByteArray(text, int(size)), &entry)) {
    case BusLogLineKind::Skipped:
        return;
    case BusLogLineKind::Refused:
        ++m_refused;
        return;
    case BusLogLineKind::Entry:
        break;
    }
    if (entry.kind == BusRecord::Event)
        return;
    BusRecord record;
    if (entry.kind == BusRecord::Noise) {
        record.bytes = entry.bytes;
    } else {
        record = m_decoder.decoded(entry.bytes);
    }
    record.kind = entry.kind;
    record.timeUs = entry.hasTime ? entry.timeUs : -1;
    // Times of another precision than milliseconds are kept in the output.
    if (entry.hasTime && entry.timeUs % 1000 != 0)
        m_precise = true;
    add(record);
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
