// kwn-frame decode: the Decode page in a pipe. Each text is taken exactly as
// text pasted into the page, and the results are the texts the page shows.

#include "catalogue/catalogue.h"
#include "cli/commands.h"
#include "codec/framedecoding.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

#include <array>
#include <cerrno>
#ifdef Q_OS_WIN
#include <io.h>
#define KWN_READ ::_read
#define KWN_STDIN 0
#else
#include <unistd.h>
#define KWN_READ ::read
#define KWN_STDIN STDIN_FILENO
#endif

namespace {

const char kUsage[] = "kwn-frame decode [--single-line | --json] [--xml DIR] [TEXT...]";
const char kHelp[] =
    "Decodes each TEXT, or with none each line of standard input as it arrives, as the\n"
    "Decode page of KWN Frame Builder would: the hexadecimal digits are taken from the\n"
    "text, \"0x\" prefixes and every other character dropped. Empty lines are passed over.\n"
    "Exits with 1 when any input was refused as no frame (\"Invalid frame.\" or \"Invalid\n"
    "frame length.\"), else 0; the status of each frame says whether it was decoded.\n"
    "\n"
    "Options:\n"
    "  --single-line   one line per frame\n"
    "  --json          one JSON object per line\n"
    "  --xml DIR       catalogue folder (default: xml in the current directory)\n";

enum class Style { Blocks, SingleLine, Json };

// Everything the Decode page would show for one input.
struct FrameReport
{
    QString input;
    QString status;
    bool error = false;
    bool parsed = false;       // the text was accepted as a frame
    bool productFound = false; // header, device and message apply
    ParsedFrame frame;
    QString device;
    MessageDecoding message;
};

// The catalogue, read once: profiles, the product that each pair of node
// types names, and per product the message that each identifier names (the
// first by name, as on the page).
class Catalogue
{
public:
    explicit Catalogue(const QString &folder) : profiles(loadProfiles(folder)) {}

    struct Device
    {
        QString product;
        std::array<int, 256> messageIndex{};
        QVector<MessageDefinition> messages;
    };

    // Null when the frame names no product.
    const Device *deviceForFrame(const FrameFields &fields)
    {
        const int pair = (fields.sourceNodeType & 0x0F) << 4 | (fields.destinationNodeType & 0x0F);
        if (!productKnown[pair]) {
            productKnown[pair] = true;
            productOfPair[pair] = productForFrame(profiles, fields);
        }
        const QString &product = productOfPair[pair];
        if (product.isEmpty())
            return nullptr;
        auto it = devices.find(product);
        if (it == devices.end()) {
            Device d;
            d.product = product;
            d.messageIndex.fill(-1);
            const ProfileDefinition profile = findProfile(profiles, product, revisionsOf(profiles, product).value(0));
            const MessageMap all = messagesOfProfile(profile, false);
            for (const MessageDefinition &m : all) {
                if (d.messageIndex[m.msgId] < 0) {
                    d.messageIndex[m.msgId] = d.messages.size();
                    d.messages.append(m);
                }
            }
            it = devices.insert(product, d);
        }
        return &it.value();
    }

    MessageDefinition message(const Device &d, quint8 id) const
    {
        const int i = d.messageIndex[id];
        return i < 0 ? MessageDefinition() : d.messages.at(i);
    }

private:
    ProfileMap profiles;
    std::array<bool, 256> productKnown{};
    std::array<QString, 256> productOfPair;
    QHash<QString, Device> devices;
};

FrameReport decodeText(Catalogue &catalogue, const QString &text)
{
    FrameReport r;
    r.input = text;
    r.frame = parseFrameText(text);
    if (!r.frame.ok()) {
        r.status = r.frame.statusText;
        r.error = true;
        return r;
    }
    r.parsed = true;
    const Catalogue::Device *device = catalogue.deviceForFrame(r.frame.fields);
    if (!device) {
        r.status = QStringLiteral("No product found for the node type set in this frame.");
        r.error = true;
        return r;
    }
    r.productFound = true;
    r.device = device->product;
    r.message = decodeMessageData(catalogue.message(*device, r.frame.fields.messageId), r.frame.fields.data,
                                  r.frame.frameLonger, r.frame.statusText);
    r.status = r.message.statusText;
    r.error = r.message.statusIsError;
    return r;
}

QString hexBytes(const QByteArray &bytes)
{
    return frameToHexText(bytes);
}

QString checkedBits(const DecodedRow &row)
{
    QStringList on;
    for (const DecodedBit &b : row.bits)
        if (b.checked)
            on << b.label;
    return on.join(QStringLiteral("; "));
}

// The formatters append piece by piece rather than with QString::arg: a piped
// log of a million frames spends most of its time here.
void formatBlock(const FrameReport &r, QString &out)
{
    out += QLatin1String("Input:        ") + r.input + QLatin1Char('\n');
    if (r.parsed) {
        out += QLatin1String("Bytes:        ") + hexBytes(r.frame.bytes)
               + (checksumMatches(r.frame.bytes) ? QLatin1String(" (checksum ok)\n")
                                                  : QLatin1String(" (checksum wrong)\n"));
    }
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        out += QLatin1String("Device:       ") + r.device;
        out += QLatin1String("\nAddressing:   ") + addressingModeName(f.destinationAddress);
        out += QLatin1String("\nSource:       ") + nodeIdText(f.sourceAddress);
        out += QLatin1String("\nDestination:  ") + nodeIdText(f.destinationAddress);
        out += QLatin1String("\nAcknowledge:  ") + (f.ackRequested ? QLatin1String("yes") : QLatin1String("no"));
        out += QLatin1String("\nNode type:    ") + QString::number(f.sourceNodeType);
        out += QLatin1String("\nMessage:      ") + r.message.messageName + QLatin1Char('\n');
        for (const DecodedRow &row : r.message.rows) {
            out += QLatin1String("  ") + row.label;
            if (row.kind == DecodedRow::Value)
                out += QLatin1Char(' ') + row.value;
            out += QLatin1Char('\n');
            if (row.kind == DecodedRow::Bits) {
                for (const DecodedBit &b : row.bits)
                    out += (b.checked ? QLatin1String("    [x] ") : QLatin1String("    [ ] ")) + b.label
                           + QLatin1Char('\n');
            }
        }
    }
    out += QLatin1String("Status:       ") + (r.error ? QLatin1String("error: ") : QLatin1String("")) + r.status
           + QLatin1String("\n\n");
}

void formatLine(const FrameReport &r, QString &out)
{
    const QLatin1String bar(" | ");
    out += r.input.trimmed() + bar + (r.error ? QLatin1String("error: ") : QLatin1String("")) + r.status;
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        out += bar + r.device + bar + addressingModeName(f.destinationAddress) + bar
               + nodeIdText(f.sourceAddress) + QLatin1String(" -> ") + nodeIdText(f.destinationAddress) + bar
               + (f.ackRequested ? QLatin1String("ack") : QLatin1String("no ack")) + bar
               + QLatin1String("node type ") + QString::number(f.sourceNodeType) + bar + r.message.messageName;
        bool first = true;
        for (const DecodedRow &row : r.message.rows) {
            if (row.kind == DecodedRow::LabelOnly)
                continue;
            out += first ? bar : QLatin1String(", ");
            first = false;
            out += row.parameterName + QLatin1Char('=');
            if (row.kind == DecodedRow::Bits)
                out += QLatin1Char('[') + checkedBits(row) + QLatin1Char(']');
            else
                out += row.value;
        }
    }
    out += QLatin1Char('\n');
}

QString formatJson(const FrameReport &r)
{
    QJsonObject o;
    o.insert(QStringLiteral("input"), r.input);
    o.insert(QStringLiteral("status"), r.status);
    o.insert(QStringLiteral("error"), r.error);
    if (r.parsed) {
        o.insert(QStringLiteral("bytes"), hexBytes(r.frame.bytes));
        o.insert(QStringLiteral("checksumOk"), checksumMatches(r.frame.bytes));
    }
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        static const char *const modes[] = {"P2P", "Group", "Broadcast"};
        o.insert(QStringLiteral("device"), r.device);
        o.insert(QStringLiteral("mode"), QLatin1String(modes[int(addressingModeOf(f.destinationAddress))]));
        o.insert(QStringLiteral("source"), nodeIdText(f.sourceAddress));
        o.insert(QStringLiteral("destination"), nodeIdText(f.destinationAddress));
        o.insert(QStringLiteral("ack"), f.ackRequested);
        o.insert(QStringLiteral("nodeType"), int(f.sourceNodeType));
        o.insert(QStringLiteral("message"), r.message.messageName);
        QJsonArray parameters;
        for (const DecodedRow &row : r.message.rows) {
            QJsonObject p;
            p.insert(QStringLiteral("name"), row.parameterName);
            if (row.kind == DecodedRow::Bits) {
                QJsonArray bits;
                for (const DecodedBit &b : row.bits)
                    bits.append(QJsonObject{{QStringLiteral("bit"), qint64(b.bit)},
                                            {QStringLiteral("label"), b.label},
                                            {QStringLiteral("checked"), b.checked}});
                p.insert(QStringLiteral("bits"), bits);
            } else if (row.kind == DecodedRow::Value) {
                p.insert(QStringLiteral("value"), row.value);
            }
            parameters.append(p);
        }
        o.insert(QStringLiteral("parameters"), parameters);
    }
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

// Appends the report to `out` as UTF-8. `text` is scratch space, kept
// between frames so that its buffer is allocated once.
void format(Style style, const FrameReport &r, QString &text, QByteArray &out)
{
    text.resize(0);
    switch (style) {
    case Style::SingleLine:
        formatLine(r, text);
        break;
    case Style::Json:
        text = formatJson(r);
        break;
    case Style::Blocks:
        formatBlock(r, text);
        break;
    }
    out += text.toUtf8();
}

// Lines of standard input as they arrive. Output is flushed before every read
// that may wait, so a live log is answered frame by frame, while a file or a
// fast pipe is written in large pieces. Memory stays bounded by the longest line.
class LineReader
{
public:
    bool next(QByteArray *line, QByteArray *pendingOut)
    {
        for (;;) {
            const int newline = buffer.indexOf('\n', start);
            if (newline >= 0) {
                *line = buffer.mid(start, newline - start);
                start = newline + 1;
                return true;
            }
            if (eof) {
                if (start < buffer.size()) {
                    *line = buffer.mid(start);
                    start = buffer.size();
                    return true;
                }
                return false;
            }
            buffer.remove(0, start);
            start = 0;
            flush(pendingOut);
            qint64 got;
            do {
                got = KWN_READ(KWN_STDIN, chunk, sizeof chunk);
            } while (got < 0 && errno == EINTR);
            if (got > 0)
                buffer.append(chunk, int(got));
            if (got <= 0)
                eof = true;
        }
    }

    static void flush(QByteArray *out)
    {
        if (!out->isEmpty()) {
            std::fwrite(out->constData(), 1, size_t(out->size()), stdout);
            std::fflush(stdout);
            out->clear();
        }
    }

private:
    char chunk[1 << 16];
    QByteArray buffer;
    int start = 0;
    bool eof = false;
};

} // namespace

int runDecode(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringLiteral("single-line"), QStringLiteral("One line per frame.")});
    parser.addOption({QStringLiteral("json"), QStringLiteral("One JSON object per line.")});
    parser.addPositionalArgument(QStringLiteral("text"), QStringLiteral("Frame texts."));
    int status = kExitOk;
    const QString usage = QString::fromLatin1(kUsage);
    if (!cli::parseArguments(parser, arguments, usage, QString::fromLatin1(kHelp), &status))
        return status;
    if (parser.isSet(QStringLiteral("single-line")) && parser.isSet(QStringLiteral("json")))
        return cli::usageError(QStringLiteral("--single-line and --json exclude each other"), usage);
    const Style style = parser.isSet(QStringLiteral("json"))          ? Style::Json
                        : parser.isSet(QStringLiteral("single-line")) ? Style::SingleLine
                                                                      : Style::Blocks;

    Catalogue catalogue(cli::catalogueFolder(parser));
    bool anyRefused = false;
    QByteArray out;
    QString text;

    const QStringList texts = parser.positionalArguments();
    if (!texts.isEmpty()) {
        for (const QString &argument : texts) {
            const FrameReport r = decodeText(catalogue, argument);
            anyRefused = anyRefused || !r.parsed;
            format(style, r, text, out);
        }
        LineReader::flush(&out);
        return anyRefused ? kExitFailure : kExitOk;
    }

    LineReader reader;
    QByteArray line;
    while (reader.next(&line, &out)) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const FrameReport r = decodeText(catalogue, QString::fromUtf8(line.constData(), line.size()));
        anyRefused = anyRefused || !r.parsed;
        format(style, r, text, out);
        if (out.size() > (1 << 16))
            LineReader::flush(&out);
    }
    LineReader::flush(&out);
    return anyRefused ? kExitFailure : kExitOk;
}
