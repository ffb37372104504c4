// kwn-frame decode: the Decode page in a pipe. Each text is taken exactly as
// text pasted into the page, and the results are the texts the page shows.

#include "capture/inputfile.h"
#include "capture/recordfile.h"
#include "cli/commands.h"
#include "cli/filteroption.h"
#include "cli/linereader.h"
#include "codec/buslog.h"
#include "codec/framereport.h"
#include "insight/csvwriter.h"

namespace {

const char kUsage[] =
    "kwn-frame decode [--single-line | --json | --csv] [--filter EXPR] [--xml DIR] [--input FILE | TEXT...]";
const char kHelp[] =
    "Decodes each TEXT, or with none each line of standard input as it arrives, as the\n"
    "Decode page of KWN Frame Builder would: the hexadecimal digits are taken from the\n"
    "text, \"0x\" prefixes and every other character dropped. Empty lines are passed over.\n"
    "Lines of a bus log, \"TIME RX HEX\" or \"TIME TX HEX\" with an ISO 8601 time, keep\n"
    "their time and direction in the output (\"time\" and \"direction\" in JSON), the time\n"
    "as written whatever it holds (a leap second, 23:59:60, or even 02-30): its digits are\n"
    "never read as frame bytes. Log lines starting with \"#\" are passed over.\n"
    "--input FILE reads a bus log or a pcap capture (kwn-frame convert), told apart\n"
    "by its content: a capture's frames are decoded as the lines of the log that\n"
    "kwn-frame convert makes of it, and its noise runs passed over as noise lines are.\n"
    "Exits with 1 when any input was refused as no frame (\"Invalid frame.\" or \"Invalid\n"
    "frame length.\"), else 0; the status of each frame says whether it was decoded.\n"
    "\n"
    "Options:\n"
    "  --single-line   one line per frame\n"
    "  --json          one JSON object per line\n"
    "  --csv           CSV, a header row and then one row per parameter:\n"
    "                  time,direction,source,destination,device,message,parameter,value,raw,\n"
    "                  status,checksum_ok\n"
    "                  (the value as --single-line shows it, raw the number read from the\n"
    "                  frame; status the frame's status line and checksum_ok true or false\n"
    "                  on every row of the frame; a frame refused has its status as the\n"
    "                  value too. Node IDs are written 0x1E0005; a text that would start a\n"
    "                  formula (= + - @ tab CR) or read as a number (0042, 12e4) gets a\n"
    "                  leading ')\n"
    "  --input FILE    read a bus log or capture rather than standard input\n"
    "  --filter EXPR   only the frames EXPR selects, as '[Position] > 80 and not\n"
    "                  checksum_ok'; fields: device, message, status, source,\n"
    "                  destination, mode, direction, ack, checksum_ok, node_type,\n"
    "                  [Parameter name]. Comparisons == != < <= > >= contains matches\n"
    "                  & in {...}; and, or, not, parentheses. An EXPR that does not\n"
    "                  compile ends the command with 2, nothing printed\n"
    "  --xml DIR       catalogue folder (default: xml in the current directory)\n";

// Appends `text` to `out` as UTF-8. `text` is scratch space, kept between
// frames so that its buffer is allocated once; the report of a very long
// line is moved rather than copied, and its buffers are not kept.
void appendUtf8(QString &text, QByteArray &out)
{
    constexpr int kLong = 1 << 20;
    if (out.isEmpty() && text.size() >= kLong)
        out = text.toUtf8();
    else
        out += text.toUtf8();
    if (text.capacity() >= kLong)
        text = QString();
}

// Appends the report to `out` as UTF-8.
void format(ReportStyle style, const FrameReport &r, QString &text, QByteArray &out)
{
    text.resize(0);
    appendReport(style, r, text);
    appendUtf8(text, out);
}

// From this long on, the input text and the frame's bytes text of a report
// are written out apart, straight from their bytes.
constexpr qsizetype kLongLine = 1 << 12;

// Decodes a line of standard input into `out`; false when it was refused as
// no frame. A plain frame, bare or in a bus log line, is written straight
// from its bytes; so is any other line of plain ASCII text, whatever its
// length, and any long line of valid UTF-8, and the report's large pieces go
// out without a copy. The texts are the same as by the general way, which
// takes the rest.
bool decodeLine(DecodeCatalogue &catalogue, cli::FrameChoice &choice, ReportStyle style, const char *line,
                qsizetype size, QString &text, QByteArray &out)
{
    // A frame the filter leaves out is a frame all the same.
    if (choice.appendPlainFrameReport(style, line, size, out) != PlainReport::NotPlain)
        return true;
    BusLogLine logged;
    qsizetype textStart = 0;
    if (parseBusLogLine(line, size, &logged, &textStart)) {
        if (logged.kind == BusLogLine::Comment)
            return true;
        const char *frameText = line + textStart;
        const qsizetype frameSize = size - textStart;
        if (!logged.time.isEmpty() && frameSize <= 2 * kMaxFrameBytes
            && choice.appendPlainFrameReport(style, frameText, frameSize, out, logged.time.toLatin1(),
                                             logged.direction)
                != PlainReport::NotPlain)
            return true;
        // A long line is echoed from its bytes whatever its characters, as
        // long as they are read as they are.
        if (frameSize >= kLongLine ? isEchoedUtf8Text(frameText, frameSize)
                                   : isPlainAsciiText(frameText, frameSize)) {
            FrameReport r = catalogue.decodeText(frameText, frameSize);
            r.time = logged.time;
            r.direction = logged.direction;
            if (!choice.keeps(r))
                return r.parsed;
            if (frameSize >= kLongLine) {
                writeReportUtf8(style, r, frameText, frameSize,
                                [&out](const char *bytes, qsizetype n) { cli::writeOut(&out, bytes, n); });
                return r.parsed;
            }
            // A short report is quicker made whole, in the text kept for it.
            r.input = QString::fromLatin1(frameText, int(frameSize));
            format(style, r, text, out);
            return r.parsed;
        }
    }
    logged = parseBusLogLine(QString::fromUtf8(line, int(size)));
    if (logged.kind == BusLogLine::Comment)
        return true;
    FrameReport r = catalogue.decodeText(logged.frameText);
    r.time = logged.time;
    r.direction = logged.direction;
    if (!choice.keeps(r))
        return r.parsed;
    text.resize(0);
    appendReport(style, r, text);
    const bool parsed = r.parsed;
    // The line and its frame may be large: gone before the text is converted.
    r = FrameReport();
    logged = BusLogLine();
    appendUtf8(text, out);
    return parsed;
}

// --csv: a log line's time and direction by their shape alone, as
// parseBusLogLine finds them in plain ASCII; false for a line that it must
// read as a whole (not ASCII where a time could be).
bool splitAsciiLogLine(const char *line, qsizetype size, QByteArray *time, QByteArray *direction,
                       qsizetype *textStart)
{
    static const char shape[] = "dddd-dd-ddTdd:dd:dd";
    const qsizetype shapeSize = qsizetype(sizeof shape) - 1;
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    qsizetype i = 0;
    while (i < size && isSpace(line[i]))
        ++i;
    *textStart = 0;
    time->clear();
    direction->clear();
    if (size - i < shapeSize)
        return true;
    for (qsizetype k = 0; k < shapeSize; ++k) {
        const char c = line[i + k];
        if (uchar(c) >= 0x80)
            return false;
        if (shape[k] == 'd' ? !(c >= '0' && c <= '9') : c != shape[k])
            return true;
    }
    qsizetype timeEnd = i;
    while (timeEnd < size && !isSpace(line[timeEnd])) {
        if (uchar(line[timeEnd]) >= 0x80)
            return false;
        ++timeEnd;
    }
    qsizetype dir = timeEnd;
    while (dir < size && isSpace(line[dir]))
        ++dir;
    if (dir == timeEnd || dir + 2 > size || (line[dir] != 'R' && line[dir] != 'T') || line[dir + 1] != 'X'
        || (dir + 2 < size && !isSpace(line[dir + 2])))
        return true;
    qsizetype start = dir + 2;
    while (start < size && isSpace(line[start]))
        ++start;
    *time = QByteArray(line + i, int(timeEnd - i));
    *direction = QByteArray(line + dir, 2);
    *textStart = start;
    return true;
}

// A line of standard input as CSV rows; false when it was refused as no
// frame. A plain frame is decoded once per distinct frame; any other line
// goes the way decode reads it.
bool csvLine(CsvWriter &csv, DecodeCatalogue &catalogue, cli::FrameChoice &choice, const char *line, qsizetype size,
             QByteArray &out)
{
    QByteArray time;
    QByteArray direction;
    qsizetype textStart = 0;
    if (splitAsciiLogLine(line, size, &time, &direction, &textStart)) {
        qsizetype first = 0;
        while (first < size && (line[first] == ' ' || line[first] == '\t'))
            ++first;
        if (first < size && line[first] == '#')
            return true;
        QByteArray bytes;
        if (plainFrameBytes(line + textStart, size - textStart, bytes)) {
            if (choice.isFiltering() && !choice.keeps(bytes, QString::fromLatin1(direction)))
                return true;
            return csv.appendFrame(bytes, time, direction, out);
        }
    }
    const BusLogLine logged = parseBusLogLine(QString::fromUtf8(line, int(size)));
    if (logged.kind == BusLogLine::Comment)
        return true;
    FrameReport r = catalogue.decodeText(logged.frameText);
    r.time = logged.time;
    r.direction = logged.direction;
    if (choice.keeps(r))
        CsvWriter::appendReport(r, out);
    return r.parsed;
}

// Decodes each text given, or else each line of `head` and then of `fd` (a
// CR at its end and empty lines passed over), appending to `out`: `ofText`
// and `ofLine` say whether theirs was a frame. Returns the exit status.
template <class OfText, class OfLine>
int decodeAll(const QStringList &texts, int fd, const QByteArray &head, QByteArray &out, OfText ofText,
              OfLine ofLine)
{
    bool anyRefused = false;
    if (!texts.isEmpty()) {
        for (const QString &argument : texts)
            anyRefused = !ofText(argument) || anyRefused;
        cli::flushOut(&out);
        return anyRefused ? kExitFailure : kExitOk;
    }
    cli::LineReader reader(fd, head);
    out.reserve(1 << 17);
    const char *line = nullptr;
    qsizetype size = 0;
    while (reader.nextView(&line, &size, &out)) {
        if (size > 0 && line[size - 1] == '\r')
            --size;
        if (size == 0)
            continue;
        anyRefused = !ofLine(line, size) || anyRefused;
        if (out.size() > (1 << 16))
            cli::flushOut(&out);
    }
    cli::flushOut(&out);
    return anyRefused ? kExitFailure : kExitOk;
}

// The frames of a capture, as decodeLine (or csvLine) decodes the log lines
// that kwn-frame convert makes of them, record by record: read once for the
// precision of the times, then again for the frames.
int decodeCapture(DecodeCatalogue &catalogue, cli::FrameChoice &choice, ReportStyle style, bool csv,
                  capture::InputFile &input, const QString &path)
{
    capture::RereadableFile file;
    if (!file.open(input, path)) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(file.errorText()));
        return kExitFailure;
    }
    const bool precise = file.timesFinerThanMs();
    CsvWriter csvWriter(catalogue);
    QByteArray out = csv ? CsvWriter::header() : QByteArray();
    QString text;
    BusRecord record;
    const capture::RecordScan scan = file.scan([&](const capture::RecordView &view) {
        if (view.kind == BusRecord::Noise)
            return true;
        record.kind = view.kind;
        record.timeUs = view.timeUs;
        record.bytes = QByteArray(view.bytes, view.size);
        if (!choice.keeps(record.bytes, directionText(record.kind)))
            return true;
        if (csv) {
            csvWriter.appendRecord(record, precise, out);
        } else {
            FrameReport r = catalogue.decodeBytes(record.bytes);
            r.input = frameToHexText(record.bytes);
            r.time = busLogTimeUs(record.timeUs, precise);
            r.direction = directionText(record.kind);
            format(style, r, text, out);
        }
        if (out.size() > (1 << 16))
            cli::flushOut(&out);
        return true;
    });
    cli::flushOut(&out);
    if (!scan.error.isEmpty()) {
        cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(scan.error));
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int runDecode(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringLiteral("single-line"), QStringLiteral("One line per frame.")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object per line.")});
    parser.addOption({QStringLiteral("csv"), QStringLiteral("CSV, one row per parameter.")});
    parser.addOption({QStringLiteral("input"), QStringLiteral("Log or capture to read."), QStringLiteral("FILE")});
    cli::addFilterOption(parser);
    parser.addPositionalArgument(QStringLiteral("text"), QStringLiteral("Frame texts."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (parser.isSet(QStringLiteral("single-line")) && parser.isSet(QStringLiteral("json")))
        return cli::usageError(QStringLiteral("--single-line and --json exclude each other"), usage);
    const bool csv = parser.isSet(QStringLiteral("csv"));
    if (csv && (parser.isSet(QStringLiteral("single-line")) || parser.isSet(QStringLiteral("json"))))
        return cli::usageError(QStringLiteral("--csv excludes --single-line and --json"), usage);
    const ReportStyle style = cli::reportStyle(parser);

    DecodeCatalogue catalogue(cli::catalogueFolder(parser));
    cli::FrameChoice choice;
    if (!choice.setUp(parser, catalogue))
        return kExitUsage;
    QByteArray out;
    QString text;

    const QStringList texts = parser.positionalArguments();
    // The file is opened once and read on from the bytes that told a log
    // from a capture, so that a pipe or FIFO loses none.
    capture::InputFile input;
    if (parser.isSet(QStringLiteral("input"))) {
        const QString path = parser.value(QStringLiteral("input"));
        if (!texts.isEmpty())
            return cli::usageError(QStringLiteral("give either --input or frame texts"), usage);
        if (!input.open(path)) {
            cli::writeErr(QStringLiteral("kwn-frame: %1\n").arg(input.errorText()));
            return kExitFailure;
        }
        if (input.isCapture())
            return decodeCapture(catalogue, choice, style, csv, input, path);
    }
    const int fd = input.handle() >= 0 ? input.handle() : cli::kStandardInput;
    const QByteArray head = input.head();
    if (csv) {
        CsvWriter csvWriter(catalogue);
        out = CsvWriter::header();
        return decodeAll(
            texts, fd, head, out,
            [&](const QString &argument) {
                const FrameReport r = catalogue.decodeText(argument);
                if (choice.keeps(r))
                    CsvWriter::appendReport(r, out);
                return r.parsed;
            },
            [&](const char *line, qsizetype size) { return csvLine(csvWriter, catalogue, choice, line, size, out); });
    }
    return decodeAll(
        texts, fd, head, out,
        [&](const QString &argument) {
            const FrameReport r = catalogue.decodeText(argument);
            if (choice.keeps(r))
                format(style, r, text, out);
            return r.parsed;
        },
        [&](const char *line, qsizetype size) {
            return decodeLine(catalogue, choice, style, line, size, text, out);
        });
}
