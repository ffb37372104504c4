#include "codec/framereport.h"

#include "catalogue/catalogue.h"

#include "codec/readers.h"

#include <QElapsedTimer>
#include <QSet>

#include <cstring>

#ifdef Q_OS_UNIX
#include <time.h>
#endif

namespace {

// Milliseconds of a monotonic clock. Asked before every frame, so where the
// system has a cheap coarse clock (a few milliseconds fine) that one is used:
// the recheck interval is a second.
qint64 coarseClockMs()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

} // namespace

DecodeCatalogue::DecodeCatalogue(const QString &folder) : m_folder(folder) {}

DecodeCatalogue::~DecodeCatalogue() = default;

void DecodeCatalogue::watch(const QString &path)
{
    if (!path.isEmpty() && !m_stamps.contains(path))
        m_stamps.insert(path, fileStampOf(path));
}

// Stamps are taken before the files are read: an edit in between is seen as
// a change at the next check, never missed.
void DecodeCatalogue::reload()
{
    m_stamps.clear();
    m_devices.clear();
    m_deviceOfPair.fill(nullptr);
    m_productKnown.fill(false);
    watch(m_folder);
    m_profileFiles.clear();
    for (const QString &path : profileFilePaths(m_folder)) {
        watch(path);
        m_profileFiles.insert(path);
    }
    m_profiles = loadProfiles(m_folder);
    m_loaded = true;
    m_checkedAtMs = coarseClockMs();
}

void DecodeCatalogue::recheck()
{
    if (!m_loaded) {
        reload();
        return;
    }
    m_checkedAtMs = coarseClockMs();
    QSet<QString> changed;
    for (auto it = m_stamps.begin(); it != m_stamps.end(); ++it) {
        const FileStamp now = fileStampOf(it.key());
        if (now != it.value()) {
            changed.insert(it.key());
            it.value() = now;
        }
    }
    if (changed.isEmpty())
        return;
    if (changed.contains(m_folder) || changed.intersects(m_profileFiles)) {
        reload();
        return;
    }
    // Only message files: drop the devices that read them.
    m_deviceOfPair.fill(nullptr);
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        bool stale = false;
        for (const QString &file : qAsConst(it->files))
            stale = stale || changed.contains(file);
        if (stale)
            it = m_devices.erase(it);
        else
            ++it;
    }
}

void DecodeCatalogue::ensureLoaded()
{
    if (!m_loaded)
        reload();
    else if (coarseClockMs() - m_checkedAtMs >= m_recheckMs)
        recheck();
}

const DecodeCatalogue::Device *DecodeCatalogue::deviceForFrame(const FrameFields &fields)
{
    return deviceForPair(fields.sourceNodeType, fields.destinationNodeType);
}

const DecodeCatalogue::Device *DecodeCatalogue::deviceForPair(int sourceNodeType, int destinationNodeType)
{
    const int pair = (sourceNodeType & 0x0F) << 4 | (destinationNodeType & 0x0F);
    if (const Device *known = m_deviceOfPair[pair])
        return known;
    if (!m_productKnown[pair]) {
        m_productKnown[pair] = true;
        FrameFields fields;
        fields.sourceNodeType = quint8(sourceNodeType & 0x0F);
        fields.destinationNodeType = quint8(destinationNodeType & 0x0F);
        m_productOfPair[pair] = productForFrame(m_profiles, fields);
    }
    const QString &product = m_productOfPair[pair];
    if (product.isEmpty())
        return nullptr;
    auto it = m_devices.find(product);
    if (it == m_devices.end()) {
        Device d;
        d.product = product;
        d.messageIndex.fill(-1);
        const ProfileDefinition profile =
            findProfile(m_profiles, product, revisionsOf(m_profiles, product).value(0));
        d.files = QStringList{profile.standardMsgPath, profile.standardMotorMsgPath, profile.filePath};
        for (const QString &file : qAsConst(d.files))
            watch(file);
        const MessageMap all = messagesOfProfile(profile, false);
        for (const MessageDefinition &m : all) {
            if (d.messageIndex[m.msgId] < 0) {
                d.messageIndex[m.msgId] = d.messages.size();
                d.messages.append(m);
            }
        }
        // An insertion may move the other entries.
        m_deviceOfPair.fill(nullptr);
        it = m_devices.insert(product, d);
    }
    m_deviceOfPair[pair] = &it.value();
    return &it.value();
}

MessageDefinition DecodeCatalogue::messageOf(const Device &device, quint8 id) const
{
    const int i = device.messageIndex[id];
    return i < 0 ? MessageDefinition() : device.messages.at(i);
}

FrameReport DecodeCatalogue::decodeText(const QString &text)
{
    FrameReport r;
    r.input = text;
    r.frame = parseFrameText(text);
    decodeParsed(r);
    return r;
}

FrameReport DecodeCatalogue::decodeText(const char *utf8, qsizetype size)
{
    FrameReport r;
    r.frame = parseFrameText(utf8, size);
    decodeParsed(r);
    return r;
}

FrameReport DecodeCatalogue::decodeBytes(const QByteArray &frameBytes)
{
    FrameReport r;
    r.input = frameToHexText(frameBytes);
    r.frame = parseFrameBytes(frameBytes);
    if (r.frame.ok())
        r.bytesText = r.input;
    decodeParsed(r);
    return r;
}

void DecodeCatalogue::decodeParsed(FrameReport &r)
{
    if (!r.frame.ok()) {
        r.status = r.frame.statusText;
        r.error = true;
        return;
    }
    r.parsed = true;
    r.checksumOk = checksumMatches(r.frame.bytes);
    ensureLoaded();
    const Device *device = deviceForFrame(r.frame.fields);
    if (!device) {
        r.status = QStringLiteral("No product found for the node type set in this frame.");
        r.error = true;
        return;
    }
    r.productFound = true;
    r.device = device->product;
    r.message = decodeMessageData(messageOf(*device, r.frame.fields.messageId), r.frame.fields.data,
                                  r.frame.frameLonger, r.frame.statusText);
    r.status = r.message.statusText;
    r.error = r.message.statusIsError;
}

namespace {

const QLatin1String kBar(" | ");

// The frame's bytes as hexadecimal text, written straight into `out`
// rather than built apart and copied: a frame may be a long line's worth.
void appendBytesText(const FrameReport &r, QString &out)
{
    if (r.bytesText.isEmpty())
        appendHexText(r.frame.bytes, out);
    else
        out += r.bytesText;
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
// Where the input text and the frame's bytes as hexadecimal text go in the
// output, when they are written apart from it.
struct Splice
{
    int inputAt = -1;
    int bytesAt = -1; // the formatter leaves the bytes text out
};

// Each formatter fills in `*splice`, when given.
void appendBlock(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    if (!r.time.isEmpty() || !r.direction.isEmpty()) {
        out += QLatin1String("Time:         ") + r.time + QLatin1Char('\n');
        out += QLatin1String("Direction:    ") + r.direction + QLatin1Char('\n');
    }
    out += QLatin1String("Input:        ");
    if (splice)
        splice->inputAt = out.size();
    out += r.input + QLatin1Char('\n');
    if (r.parsed) {
        out += QLatin1String("Bytes:        ");
        if (splice)
            splice->bytesAt = out.size();
        else
            appendBytesText(r, out);
        out += r.checksumOk ? QLatin1String(" (checksum ok)\n") : QLatin1String(" (checksum wrong)\n");
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

// The parameters of the single line, after `lead` when there is any: each
// row but a bare label as "Name=value", a bitfield's checked bits in
// brackets, joined by ", ".
void appendParameters(const FrameReport &r, QLatin1String lead, QString &out)
{
    if (!r.productFound)
        return;
    bool first = true;
    for (const DecodedRow &row : r.message.rows) {
        if (row.kind == DecodedRow::LabelOnly)
            continue;
        out += first ? lead : QLatin1String(", ");
        first = false;
        out += row.parameterName + QLatin1Char('=');
        if (row.kind == DecodedRow::Bits)
            out += QLatin1Char('[') + checkedBits(row) + QLatin1Char(']');
        else
            out += row.value;
    }
}

// The single line after the input text and its bar.
void appendLineBody(const FrameReport &r, QString &out)
{
    out += (r.error ? QLatin1String("error: ") : QLatin1String("")) + r.status;
    if (r.productFound) {
        const FrameFields &f = r.frame.fields;
        out += kBar + r.device + kBar + addressingModeName(f.destinationAddress) + kBar
               + nodeIdText(f.sourceAddress) + QLatin1String(" -> ") + nodeIdText(f.destinationAddress) + kBar
               + (f.ackRequested ? QLatin1String("ack") : QLatin1String("no ack")) + kBar
               + QLatin1String("node type ") + QString::number(f.sourceNodeType) + kBar + r.message.messageName;
        appendParameters(r, kBar, out);
    }
}

void appendTimePrefix(const QString &time, const QString &direction, QString &out)
{
    if (!time.isEmpty())
        out += time + QLatin1Char(' ');
    if (!direction.isEmpty())
        out += direction + QLatin1Char(' ');
}

void appendLine(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    appendTimePrefix(r.time, r.direction, out);
    if (splice)
        splice->inputAt = out.size();
    out += r.input.trimmed() + kBar;
    appendLineBody(r, out);
    out += QLatin1Char('\n');
}

// JSON written directly, as QJsonDocument's compact form writes the same
// object (keys in sorted order, the same escapes, a lone surrogate as \\uXXXX),
// for a fraction of the cost: a piped log spends most of its time here.
// Test: parsing the text and writing it again with QJsonDocument gives the
// same bytes.
class JsonWriter
{
public:
    explicit JsonWriter(QString &out) : m_out(out) {}

    void begin(QChar bracket)
    {
        m_out += bracket;
        m_first = true;
    }
    void end(QChar bracket)
    {
        m_out += bracket;
        m_first = false;
    }
    void key(const char *name)
    {
        comma();
        // Appended piece by piece: a builder would reserve the exact size,
        // copying a long text again for every key that follows it.
        m_out += QLatin1Char('"');
        m_out += QLatin1String(name);
        m_out += QLatin1String("\":");
        m_first = true;
    }
    void element() { comma(); }
    void text(const char *name, const QString &value)
    {
        key(name);
        string(value);
    }
    void flag(const char *name, bool value)
    {
        key(name);
        boolean(value);
    }
    void number(const char *name, qint64 value)
    {
        key(name);
        number(value);
    }
    // A string value that needs no escapes (such as hexadecimal digits),
    // written by `write` straight into the text.
    template <typename Write>
    void unescaped(const char *name, Write write)
    {
        key(name);
        m_out += QLatin1Char('"');
        write(m_out);
        m_out += QLatin1Char('"');
        m_first = false;
    }
    void string(const QString &text)
    {
        comma();
        m_out += QLatin1Char('"');
        static const char hex[] = "0123456789abcdef";
        const int n = text.size();
        const QChar *chars = text.constData();
        for (int i = 0; i < n; ++i) {
            // A run of characters that need no escape is appended at once.
            const int run = i;
            while (i < n && chars[i].unicode() >= 0x20 && chars[i] != QLatin1Char('"')
                   && chars[i] != QLatin1Char('\\') && !chars[i].isSurrogate())
                ++i;
            if (i > run)
                m_out.append(chars + run, i - run);
            if (i == n)
                break;
            const QChar c = chars[i];
            const ushort u = c.unicode();
            if (c.isHighSurrogate() && i + 1 < n && chars[i + 1].isLowSurrogate()) {
                m_out += c;
                m_out += chars[++i];
                continue;
            }
            if (u >= 0x20 && u != '"' && u != '\\' && !c.isSurrogate()) {
                m_out += c;
                continue;
            }
            m_out += QLatin1Char('\\');
            switch (u) {
            case '"': m_out += QLatin1Char('"'); break;
            case '\\': m_out += QLatin1Char('\\'); break;
            case '\b': m_out += QLatin1Char('b'); break;
            case '\f': m_out += QLatin1Char('f'); break;
            case '\n': m_out += QLatin1Char('n'); break;
            case '\r': m_out += QLatin1Char('r'); break;
            case '\t': m_out += QLatin1Char('t'); break;
            default: // other control characters, and a surrogate without its other half
                m_out += QLatin1Char('u') + QLatin1Char(hex[u >> 12]) + QLatin1Char(hex[(u >> 8) & 0xF])
                         + QLatin1Char(hex[(u >> 4) & 0xF]) + QLatin1Char(hex[u & 0xF]);
            }
        }
        m_out += QLatin1Char('"');
        m_first = false;
    }
    void boolean(bool value)
    {
        comma();
        m_out += value ? QLatin1String("true") : QLatin1String("false");
        m_first = false;
    }
    void number(qint64 value)
    {
        comma();
        // The digits appended as they are, without a text of their own.
        char digits[24];
        int at = int(sizeof digits);
        quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
        do {
            digits[--at] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (value < 0)
            digits[--at] = '-';
        m_out += QLatin1String(digits + at, int(sizeof digits) - at);
        m_first = false;
    }

private:
    void comma()
    {
        if (!m_first)
            m_out += QLatin1Char(',');
        m_first = false;
    }

    QString &m_out;
    bool m_first = true;
};

void appendJson(const FrameReport &r, QString &out, Splice *splice = nullptr)
{
    static const char *const modes[] = {"P2P", "Group", "Broadcast"};
    const FrameFields &f = r.frame.fields;
    JsonWriter w(out);
    // Keys in sorted order.
    w.begin(QLatin1Char('{'));
    if (r.productFound)
        w.flag("ack", f.ackRequested);
    if (r.parsed) {
        w.unescaped("bytes", [&r, splice](QString &text) {
            if (splice)
                splice->bytesAt = text.size();
            else
                appendBytesText(r, text);
        });
        w.flag("checksumOk", r.checksumOk);
    }
    if (r.productFound) {
        w.text("destination", nodeIdText(f.destinationAddress));
        w.text("device", r.device);
    }
    if (!r.direction.isEmpty())
        w.text("direction", r.direction);
    w.flag("error", r.error);
    w.key("input");
    if (splice)
        splice->inputAt = out.size() + 1; // after the quote
    w.string(r.input);
    if (r.productFound) {
        w.text("message", r.message.messageName);
        w.text("mode", QLatin1String(modes[int(addressingModeOf(f.destinationAddress))]));
        w.number("nodeType", f.sourceNodeType);
        w.key("parameters");
        w.begin(QLatin1Char('['));
        for (const DecodedRow &row : r.message.rows) {
            w.element();
            w.begin(QLatin1Char('{'));
            if (row.kind == DecodedRow::Bits) {
                w.key("bits");
                w.begin(QLatin1Char('['));
                for (const DecodedBit &b : row.bits) {
                    w.element();
                    w.begin(QLatin1Char('{'));
                    w.number("bit", b.bit);
                    w.flag("checked", b.checked);
                    w.text("label", b.label);
                    w.end(QLatin1Char('}'));
                }
                w.end(QLatin1Char(']'));
            }
            w.text("name", row.parameterName);
            if (row.hasRaw)
                w.number("raw", row.rawNumber());
            // JSON's own escapes keep every character of a string visible.
            if (row.kind == DecodedRow::Value)
                w.text("value", row.unescapedValue);
            w.end(QLatin1Char('}'));
        }
        w.end(QLatin1Char(']'));
        w.text("source", nodeIdText(f.sourceAddress));
    }
    w.text("status", r.status);
    if (!r.time.isEmpty())
        w.text("time", r.time);
    w.end(QLatin1Char('}'));
    out += QLatin1Char('\n');
}

} // namespace

namespace {

void appendReport(ReportStyle style, const FrameReport &report, QString &out, Splice *splice)
{
    switch (style) {
    case ReportStyle::SingleLine:
        appendLine(report, out, splice);
        break;
    case ReportStyle::Json:
        appendJson(report, out, splice);
        break;
    case ReportStyle::Blocks:
        appendBlock(report, out, splice);
        break;
    }
}

} // namespace

void appendReport(ReportStyle style, const FrameReport &report, QString &out)
{
    appendReport(style, report, out, nullptr);
}

namespace {

// The two upper-case hexadecimal digits of each byte value.
struct HexPairs
{
    char text[256][2];
    constexpr HexPairs() : text()
    {
        for (int i = 0; i < 256; ++i) {
            text[i][0] = "0123456789ABCDEF"[i >> 4];
            text[i][1] = "0123456789ABCDEF"[i & 0x0F];
        }
    }
};
constexpr HexPairs kHexPairs;

bool isPlainAscii(uchar c)
{
    return c >= 0x20 && c <= 0x7E && c != '"' && c != '\\';
}

} // namespace

bool isPlainAsciiText(const char *text, qsizetype size)
{
    // Block by block, without a branch per byte: a line may be hundreds of
    // megabytes long.
    constexpr int kBlock = 4096;
    const uchar *bytes = reinterpret_cast<const uchar *>(text);
    qsizetype i = 0;
    for (; size - i >= kBlock; i += kBlock) {
        uchar other = 0;
        for (int k = 0; k < kBlock; ++k)
            other |= uchar(!isPlainAscii(bytes[i + k]));
        if (other)
            return false;
    }
    for (; i < size; ++i) {
        if (!isPlainAscii(bytes[i]))
            return false;
    }
    return true;
}

namespace {

// The bytes of the white space, as QString::trimmed sees it, that UTF-8 text
// starts with (or, `atEnd`, ends with): a character at a time, from the edge.
qsizetype edgeSpaceBytes(const char *text, qsizetype size, bool atEnd)
{
    qsizetype taken = 0;
    while (taken < size) {
        qsizetype n = 1;
        if (atEnd) {
            // Back over the continuation bytes to the start of the character.
            while (n < qMin<qsizetype>(4, size - taken) && (uchar(text[size - taken - n]) & 0xC0) == 0x80)
                ++n;
        } else if (uchar(text[taken]) >= 0x80) {
            const uchar lead = uchar(text[taken]);
            n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        }
        const char *c = atEnd ? text + size - taken - n : text + taken;
        const bool space = n == 1 ? QChar(ushort(uchar(*c))).isSpace()
                                  : QString::fromUtf8(c, int(n)).front().isSpace();
        if (!space)
            break;
        taken += n;
    }
    return taken;
}

// Each byte as it goes in a JSON string of UTF-8 text, with the escapes of
// JsonWriter::string: itself, or its escape.
struct JsonEscapes
{
    char text[256][8];
    int size[256];
    constexpr JsonEscapes() : text(), size()
    {
        for (int c = 0; c < 256; ++c) {
            const char *named = c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '\b' ? "\\b" : c == '\f' ? "\\f"
                : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
            if (named) {
                text[c][0] = named[0];
                text[c][1] = named[1];
                size[c] = 2;
            } else if (c < 0x20) {
                const char u[] = {'\\', 'u', '0', '0', "0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 0xF]};
                for (int k = 0; k < 6; ++k)
                    text[c][k] = u[k];
                size[c] = 6;
            } else {
                text[c][0] = char(c);
                size[c] = 1;
            }
        }
    }
};
constexpr JsonEscapes kJsonEscapes;

// Text that is to be a JSON string, escaped, handed to `write` a piece at a
// time. Blocks that need no escape are checked without a branch per byte and
// go as they are; a block that needs one is escaped without either.
void writeJsonEscaped(const char *text, qsizetype size, const std::function<void(const char *, qsizetype)> &write)
{
    constexpr int kBlock = 64;
    char chunk[1 << 16];
    int used = 0;
    const auto flush = [&]() {
        write(chunk, used);
        used = 0;
    };
    qsizetype runStart = 0; // of the blocks that need no escape, not yet written
    for (qsizetype at = 0; at < size;) {
        const qsizetype end = qMin(size, at + kBlock);
        uchar escape = 0;
        for (qsizetype k = at; k < end; ++k) {
            const uchar c = uchar(text[k]);
            escape |= uchar((c < 0x20) | (c == '"') | (c == '\\'));
        }
        if (!escape) {
            at = end;
            continue;
        }
        if (at > runStart) {
            flush();
            write(text + runStart, at - runStart);
        }
        if (used > int(sizeof chunk) - 8 * kBlock)
            flush();
        for (; at < end; ++at) {
            const uchar c = uchar(text[at]);
            std::memcpy(chunk + used, kJsonEscapes.text[c], 8);
            used += kJsonEscapes.size[c];
        }
        runStart = end;
    }
    flush();
    if (size > runStart)
        write(text + runStart, size - runStart);
}

} // namespace

bool isEchoedUtf8Text(const char *text, qsizetype size)
{
    const uchar *s = reinterpret_cast<const uchar *>(text);
    // QString::fromUtf8 drops a byte order mark at the start.
    if (size >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF)
        return false;
    constexpr int kBlock = 64;
    for (qsizetype i = 0; i < size;) {
        // ASCII a block at a time, without a branch per byte.
        if (size - i >= kBlock) {
            uchar high = 0;
            for (int k = 0; k < kBlock; ++k)
                high |= s[i + k];
            if (high < 0x80) {
                i += kBlock;
                continue;
            }
        }
        for (const qsizetype stop = qMin(size, i + kBlock); i < stop;) {
            const uchar lead = s[i];
            if (lead < 0x80) {
                ++i;
                continue;
            }
            // A sequence that QString::fromUtf8 would replace: overlong, a
            // surrogate, beyond U+10FFFF, cut short, a stray byte or a byte
            // that leads no sequence (F8 to FF).
            const int n = lead >= 0xF8 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
            if (n == 0 || size - i < n)
                return false;
            uint code = lead & (0x7Fu >> n);
            for (int k = 1; k < n; ++k) {
                if ((s[i + k] & 0xC0) != 0x80)
                    return false;
                code = code << 6 | (s[i + k] & 0x3Fu);
            }
            static const uint least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return false;
            i += n;
        }
    }
    return true;
}

void writeReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                     const std::function<void(const char *, qsizetype)> &write)
{
    Q_ASSERT(report.input.isEmpty() && isEchoedUtf8Text(input, size));
    if (style == ReportStyle::SingleLine) {
        const qsizetype front = edgeSpaceBytes(input, size, false);
        input += front;
        size -= front;
        size -= edgeSpaceBytes(input, size, true);
    }
    QString text;
    Splice splice;
    appendReport(style, report, text, &splice);
    const auto writeText = [&write, &text](int from, int to) {
        const QByteArray utf8 = QStringView(text).mid(from, to - from).toUtf8();
        write(utf8.constData(), utf8.size());
    };
    // The pieces in the order they go: the bytes text comes first in JSON.
    const bool bytesFirst = splice.bytesAt >= 0 && splice.bytesAt <= splice.inputAt;
    const int firstAt = bytesFirst ? splice.bytesAt : splice.inputAt;
    const int secondAt = bytesFirst ? splice.inputAt : splice.bytesAt;
    const auto writeBytesText = [&write, &report]() {
        const QByteArray &bytes = report.frame.bytes;
        const uchar *in = reinterpret_cast<const uchar *>(bytes.constData());
        char chunk[1 << 16];
        for (int i = 0; i < bytes.size();) {
            const int n = qMin(bytes.size() - i, int(sizeof chunk / 2));
            for (int k = 0; k < n; ++k, ++i)
                std::memcpy(chunk + 2 * k, kHexPairs.text[in[i]], 2);
            write(chunk, 2 * qsizetype(n));
        }
    };
    const auto writeSpliced = [&](bool bytes) {
        if (bytes)
            writeBytesText();
        else if (style == ReportStyle::Json)
            writeJsonEscaped(input, size, write);
        else
            write(input, size);
    };
    writeText(0, firstAt);
    writeSpliced(bytesFirst);
    if (secondAt >= 0) {
        writeText(firstAt, secondAt);
        writeSpliced(!bytesFirst);
        writeText(secondAt, text.size());
    } else {
        writeText(firstAt, text.size());
    }
}

void appendReportUtf8(ReportStyle style, const FrameReport &report, const char *input, qsizetype size,
                      QByteArray &out)
{
    writeReportUtf8(style, report, input, size,
                    [&out](const char *bytes, qsizetype n) { out.append(bytes, int(n)); });
}

QString singleLineText(const FrameReport &report, bool withInput)
{
    QString line;
    if (withInput)
        line += report.input.trimmed() + kBar;
    appendLineBody(report, line);
    return line;
}

QString parametersText(const FrameReport &report)
{
    QString text;
    appendParameters(report, QLatin1String(), text);
    return text;
}

void appendNoise(ReportStyle style, const QByteArray &bytes, const QString &time, QString &out)
{
    if (style == ReportStyle::Json) {
        JsonWriter w(out);
        w.begin(QLatin1Char('{'));
        w.text("noise", frameToHexText(bytes));
        if (!time.isEmpty()) {
            w.text("time", time);
        }
        w.end(QLatin1Char('}'));
        out += QLatin1Char('\n');
        return;
    }
    appendTimePrefix(time, QString(), out);
    out += QLatin1String("noise: ") + frameToHexText(bytes) + QLatin1Char('\n');
    if (style == ReportStyle::Blocks)
        out += QLatin1Char('\n');
}

// The plain-frame path of the command line: the same texts as the formatters
// above, but prepared once per device and message as UTF-8 and written
// straight into the output bytes. Anything it does not cover (other text
// around the digits, a frame longer or shorter than announced, an unknown
// device or message, an incomplete frame) goes the general way.

namespace {

struct PreparedText
{
    QByteArray utf8;
    QByteArray json; // quoted and escaped
};

PreparedText prepared(const QString &text)
{
    QString quoted;
    JsonWriter(quoted).string(text);
    return {text.toUtf8(), quoted.toUtf8()};
}

struct PreparedBit
{
    quint32 shift = 0;
    QByteArray number;
    PreparedText label; // "Bit N: description"
};

struct PreparedValue
{
    quint32 unsignedValue = 0;
    qint32 signedValue = 0;
    PreparedText text;
};

// How a shown parameter's value text is made.
enum class ValueWay { Decimal, LowerHex, Named, Bits, General, None };

struct PreparedParameter
{
    ParameterDefinition definition; // for the general way
    quint64 offset = 0;
    DecodedRow::Kind kind = DecodedRow::Value;
    ValueWay way = ValueWay::General;
    bool isSigned = false;
    PreparedText name;
    QByteArray label; // "name:"
    QVector<PreparedValue> values;
    QVector<PreparedBit> bits;
};

} // namespace

struct DecodeCatalogue::PreparedMessage
{
    bool usable = false; // a known message whose parameters this path covers
    PreparedText name;
    quint64 neededBytes = 0; // fewer data bytes make the frame incomplete
    QVector<PreparedParameter> shown;
};

struct DecodeCatalogue::PreparedDevice
{
    PreparedText product;
    std::array<std::unique_ptr<PreparedMessage>, 256> messages;
};

namespace {

DecodeCatalogue::PreparedMessage prepareMessage(const MessageDefinition &message)
{
    DecodeCatalogue::PreparedMessage m;
    if (message.name.isEmpty())
        return m;
    m.usable = true;
    m.name = prepared(message.name);
    // The offsets as decodeMessageData walks them.
    quint64 offset = 0;
    for (const ParameterDefinition &p : message.parameters) {
        const bool integer = p.type == QLatin1String("integer");
        const bool known = integer || p.type == QLatin1String("string") || p.type == QLatin1String("bitfield");
        if (known && !p.optional)
            m.neededBytes = qMax(m.neededBytes, offset + 1);
        if (p.display) {
            PreparedParameter shown;
            shown.definition = p;
            shown.offset = offset;
            shown.isSigned = p.isSigned();
            shown.name = prepared(p.name);
            shown.label = (p.name + QLatin1Char(':')).toUtf8();
            if (!known) {
                shown.kind = DecodedRow::LabelOnly;
                shown.way = ValueWay::None;
            } else if (p.type == QLatin1String("bitfield")) {
                shown.kind = DecodedRow::Bits;
                shown.way = ValueWay::Bits;
                for (const ValueDefinition &entry : p.values) {
                    PreparedBit bit;
                    bit.shift = entry.unsignedValue % 32;
                    bit.number = QByteArray::number(entry.unsignedValue);
                    bit.label = prepared(QLatin1String("Bit ") + QString::number(entry.unsignedValue)
                                         + QLatin1String(": ") + entry.description);
                    shown.bits.append(bit);
                }
            } else if (integer && p.size >= 1 && p.size <= 4) {
                if (!p.values.isEmpty()) {
                    shown.way = ValueWay::Named;
                    for (const ValueDefinition &entry : p.values)
                        shown.values.append({entry.unsignedValue, entry.signedValue, prepared(entry.description)});
                } else if (!p.isHexa()) {
                    shown.way = ValueWay::Decimal;
                } else if (!shown.isSigned) {
                    shown.way = ValueWay::LowerHex;
                }
            }
            m.shown.append(shown);
        }
        if (known)
            offset += p.size;
    }
    return m;
}

const char kHexUpper[] = "0123456789ABCDEF";
const char kHexLower[] = "0123456789abcdef";

// 0..15 for a hexadecimal digit, 0xFF for any other byte.
struct HexTable
{
    quint8 value[256];
    constexpr HexTable() : value()
    {
        for (int i = 0; i < 256; ++i)
            value[i] = 0xFF;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = quint8(i);
        for (int i = 0; i < 6; ++i) {
            value['a' + i] = quint8(10 + i);
            value['A' + i] = quint8(10 + i);
        }
    }
};
constexpr HexTable kHexValue;

// Output bytes written through a pointer; room is made for each piece.
class Utf8Out
{
public:
    explicit Utf8Out(QByteArray &out) : m_out(out), m_size(out.size()) {}
    ~Utf8Out() { m_out.resize(int(m_size)); }
    Utf8Out(const Utf8Out &) = delete;
    Utf8Out &operator=(const Utf8Out &) = delete;

    Q_ALWAYS_INLINE void add(const char *bytes, qsizetype n)
    {
        room(n);
        std::memcpy(m_out.data() + m_size, bytes, size_t(n));
        m_size += n;
    }
    template <int N>
    Q_ALWAYS_INLINE void add(const char (&literal)[N])
    {
        add(literal, N - 1);
    }
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    void addText(const char *text) { add(text, qsizetype(std::strlen(text))); }
    Q_ALWAYS_INLINE void add(char c)
    {
        room(1);
        m_out.data()[m_size++] = c;
    }
    void addDecimal(quint32 value)
    {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value);
        room(n);
        char *at = m_out.data() + m_size;
        while (n)
            *at++ = digits[--n];
        m_size = at - m_out.constData();
    }
    void addSigned(qint32 value)
    {
        if (value < 0) {
            add('-');
            addDecimal(quint32(0) - quint32(value));
        } else {
            addDecimal(quint32(value));
        }
    }
    void addLowerHex(quint32 value)
    {
        char digits[8];
        int n = 0;
        do {
            digits[n++] = kHexLower[value & 0xF];
            value >>= 4;
        } while (value);
        room(n);
        char *at = m_out.data() + m_size;
        while (n)
            *at++ = digits[--n];
        m_size = at - m_out.constData();
    }
    // JSON's ,"raw":N for a number read, a signed one with its sign, and when
    // asked ,"value":"N" after it (a decimal value is the same digits): the
    // digits made once, the whole put together apart and copied in one piece
    // of fixed size (the room after it is free).
    void addRaw(quint32 pattern, bool isSigned, bool decimalValue)
    {
        char digits[11];
        int n = 0;
        const bool negative = isSigned && qint32(pattern) < 0;
        quint32 magnitude = negative ? quint32(0) - pattern : pattern;
        do {
            digits[n++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (negative)
            digits[n++] = '-';
        char text[7 + 11 + 10 + 11 + 1];
        std::memcpy(text, ",\"raw\":", 7);
        int at = 7;
        for (int k = n; k;)
            text[at++] = digits[--k];
        if (decimalValue) {
            std::memcpy(text + at, ",\"value\":\"", 10);
            at += 10;
            for (int k = n; k;)
                text[at++] = digits[--k];
            text[at++] = '"';
        }
        room(sizeof text);
        std::memcpy(m_out.data() + m_size, text, sizeof text);
        m_size += at;
    }
    void addNodeId(quint32 address) // six digits: the address has three bytes
    {
        room(6);
        char *at = m_out.data() + m_size;
        for (int i = 5; i >= 0; --i, address >>= 4)
            at[i] = kHexUpper[address & 0xF];
        m_size += 6;
    }
    void addHexBytes(const quint8 *bytes, int n)
    {
        room(2 * n);
        char *at = m_out.data() + m_size;
        for (int i = 0; i < n; ++i) {
            *at++ = kHexUpper[bytes[i] >> 4];
            *at++ = kHexUpper[bytes[i] & 0xF];
        }
        m_size += 2 * n;
    }

private:
    Q_ALWAYS_INLINE void room(qsizetype n)
    {
        if (Q_UNLIKELY(m_size + n > m_out.size()))
            grow(n);
    }
    void grow(qsizetype n) { m_out.resize(int(qMax<qsizetype>(2 * m_out.size(), m_size + n + 4096))); }

    QByteArray &m_out;
    qsizetype m_size;
};

Q_ALWAYS_INLINE bool isIntegerWay(ValueWay way)
{
    return way == ValueWay::Decimal || way == ValueWay::LowerHex || way == ValueWay::Named;
}

// The number that a parameter of an integer way holds, as decodeParameter
// reads it: for a signed one, the two's complement of readSigned.
Q_ALWAYS_INLINE quint32 readPattern(const PreparedParameter &p, const QByteArray &data)
{
    return p.isSigned ? quint32(readSigned(data, p.offset, p.definition.size))
                      : readUnsigned(data, p.offset, p.definition.size);
}

// The value text of an integer way, in the style's form (JSON: quoted).
Q_ALWAYS_INLINE void addIntegerValue(const PreparedParameter &p, quint32 pattern, bool json, Utf8Out &out)
{
    if (p.way == ValueWay::Named) {
        for (const PreparedValue &entry : p.values) {
            if (p.isSigned ? entry.signedValue == qint32(pattern) : entry.unsignedValue == pattern) {
                out.add(json ? entry.text.json : entry.text.utf8);
                return;
            }
        }
        const PreparedText invalid = prepared(invalidValueText(pattern, p.definition.size));
        out.add(json ? invalid.json : invalid.utf8);
        return;
    }
    if (json)
        out.add('"');
    if (p.way == ValueWay::LowerHex) // never signed
        out.addLowerHex(pattern);
    else if (p.isSigned)
        out.addSigned(qint32(pattern));
    else
        out.addDecimal(pattern);
    if (json)
        out.add('"');
}

// As the general path has it: the row's shown value, or for JSON the value
// before escaping.
void addRowValue(const DecodedRow &row, bool json, Utf8Out &out)
{
    if (json) {
        QString quoted;
        JsonWriter(quoted).string(row.unescapedValue);
        out.add(quoted.toUtf8());
    } else {
        out.add(row.value.toUtf8());
    }
}

// The value text of a Value row in a block or a line.
void addValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (isIntegerWay(p.way))
        addIntegerValue(p, readPattern(p, data), false, out);
    else
        addRowValue(decodeParameter(p.definition, data, p.offset), false, out);
}

// The "raw" (when the row has one) and "value" members of a Value row in
// JSON, each after its comma: the number is read once for both.
void addJsonRawAndValue(const PreparedParameter &p, const QByteArray &data, Utf8Out &out)
{
    if (isIntegerWay(p.way)) {
        const quint32 pattern = readPattern(p, data);
        const bool decimal = p.way == ValueWay::Decimal;
        out.addRaw(pattern, p.isSigned, decimal);
        if (!decimal) {
            out.add(",\"value\":");
            addIntegerValue(p, pattern, true, out);
        }
        return;
    }
    const DecodedRow row = decodeParameter(p.definition, data, p.offset);
    if (row.hasRaw)
        out.addRaw(row.raw, row.rawIsSigned, false);
    out.add(",\"value\":");
    addRowValue(row, true, out);
}

const char *const kModeNames[] = {"Point to point", "Group", "Broadcast"};

bool bitChecked(const PreparedBit &bit, quint32 bits)
{
    return (bits >> bit.shift) & 1u;
}

} // namespace

namespace {

// What the three styles print of a plain frame.
struct PlainFrame
{
    const char *line;
    qsizetype size;
    const quint8 *bytes;
    int n;
    bool checksumOk;
    bool ack;
    quint32 sourceNodeType;
    quint32 source;
    quint32 destination;
    AddressingMode mode;
    const PreparedText &product;
    const DecodeCatalogue::PreparedMessage &message;
    const QByteArray &data;
    const QByteArray &time;
    const QByteArray &direction;
};

// The block of appendBlock.
void writeBlock(const PlainFrame &f, Utf8Out &o)
{
    if (!f.time.isEmpty() || !f.direction.isEmpty()) {
        o.add("Time:         ");
        o.add(f.time);
        o.add("\nDirection:    ");
        o.add(f.direction);
        o.add('\n');
    }
    o.add("Input:        ");
    o.add(f.line, f.size);
    o.add("\nBytes:        ");
    o.addHexBytes(f.bytes, f.n);
    o.addText(f.checksumOk ? " (checksum ok)\n" : " (checksum wrong)\n");
    o.add("Device:       ");
    o.add(f.product.utf8);
    o.add("\nAddressing:   ");
    o.addText(kModeNames[int(f.mode)]);
    o.add("\nSource:       ");
    o.addNodeId(f.source);
    o.add("\nDestination:  ");
    o.addNodeId(f.destination);
    o.addText(f.ack ? "\nAcknowledge:  yes" : "\nAcknowledge:  no");
    o.add("\nNode type:    ");
    o.addDecimal(f.sourceNodeType);
    o.add("\nMessage:      ");
    o.add(f.message.name.utf8);
    o.add('\n');
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()))
            continue;
        o.add("  ");
        o.add(p.label);
        if (p.kind == DecodedRow::Value) {
            o.add(' ');
            addValue(p, f.data, o);
        }
        o.add('\n');
        if (p.kind == DecodedRow::Bits) {
            const quint32 bits = readUnsigned(f.data, p.offset, p.definition.size);
            for (const PreparedBit &b : p.bits) {
                o.addText(bitChecked(b, bits) ? "    [x] " : "    [ ] ");
                o.add(b.label.utf8);
                o.add('\n');
            }
        }
    }
    o.add("Status:       Frame decoded successfully.\n\n");
}

// The line of appendLine.
void writeLine(const PlainFrame &f, Utf8Out &o)
{
    for (const QByteArray *text : {&f.time, &f.direction}) {
        if (!text->isEmpty()) {
            o.add(*text);
            o.add(' ');
        }
    }
    o.add(f.line, f.size);
    o.add(" | Frame decoded successfully. | ");
    o.add(f.product.utf8);
    o.add(" | ");
    o.addText(kModeNames[int(f.mode)]);
    o.add(" | ");
    o.addNodeId(f.source);
    o.add(" -> ");
    o.addNodeId(f.destination);
    o.addText(f.ack ? " | ack | node type " : " | no ack | node type ");
    o.addDecimal(f.sourceNodeType);
    o.add(" | ");
    o.add(f.message.name.utf8);
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()) || p.kind == DecodedRow::LabelOnly)
            continue;
        o.addText(first ? " | " : ", ");
        first = false;
        o.add(p.name.utf8);
        o.add('=');
        if (p.kind == DecodedRow::Bits) {
            const quint32 bits = readUnsigned(f.data, p.offset, p.definition.size);
            o.add('[');
            bool firstBit = true;
            for (const PreparedBit &b : p.bits) {
                if (!bitChecked(b, bits))
                    continue;
                if (!firstBit)
                    o.add("; ");
                firstBit = false;
                o.add(b.label.utf8);
            }
            o.add(']');
        } else {
            addValue(p, f.data, o);
        }
    }
    o.add('\n');
}

// The object of appendJson.
void writeJson(const PlainFrame &f, Utf8Out &o)
{
    static const char *const modes[] = {"\"P2P\"", "\"Group\"", "\"Broadcast\""};
    o.addText(f.ack ? "{\"ack\":true,\"bytes\":\"" : "{\"ack\":false,\"bytes\":\"");
    o.addHexBytes(f.bytes, f.n);
    o.addText(f.checksumOk ? "\",\"checksumOk\":true,\"destination\":\"" : "\",\"checksumOk\":false,\"destination\":\"");
    o.addNodeId(f.destination);
    o.add("\",\"device\":");
    o.add(f.product.json);
    if (!f.direction.isEmpty()) {
        o.add(",\"direction\":\"");
        o.add(f.direction);
        o.add('"');
    }
    o.add(",\"error\":false,\"input\":\"");
    o.add(f.line, f.size);
    o.add("\",\"message\":");
    o.add(f.message.name.json);
    o.add(",\"mode\":");
    o.addText(modes[int(f.mode)]);
    o.add(",\"nodeType\":");
    o.addDecimal(f.sourceNodeType);
    o.add(",\"parameters\":[");
    bool first = true;
    for (const PreparedParameter &p : f.message.shown) {
        if (p.offset >= quint64(f.data.size()))
            continue;
        o.addText(first ? "{" : ",{");
        first = false;
        quint32 bits = 0;
        if (p.kind == DecodedRow::Bits) {
            bits = readUnsigned(f.data, p.offset, p.definition.size);
            o.add("\"bits\":[");
            bool firstBit = true;
            for (const PreparedBit &b : p.bits) {
                o.addText(firstBit ? "{\"bit\":" : ",{\"bit\":");
                firstBit = false;
                o.add(b.number);
                o.addText(bitChecked(b, bits) ? ",\"checked\":true,\"label\":" : ",\"checked\":false,\"label\":");
                o.add(b.label.json);
                o.add('}');
            }
            o.add("],");
        }
        o.add("\"name\":");
        o.add(p.name.json);
        if (p.kind == DecodedRow::Bits)
            o.addRaw(bits, false, false);
        else if (p.kind == DecodedRow::Value)
            addJsonRawAndValue(p, f.data, o);
        o.add('}');
    }
    o.add("],\"source\":\"");
    o.addNodeId(f.source);
    o.add("\",\"status\":\"Frame decoded successfully.\"");
    if (!f.time.isEmpty()) {
        o.add(",\"time\":\"");
        o.add(f.time);
        o.add('"');
    }
    o.add("}\n");
}

} // namespace

const DecodeCatalogue::PreparedMessage &DecodeCatalogue::preparedMessage(const Device &device, quint8 id)
{
    // The device is const to its users; its prepared texts are a cache.
    PreparedDevice &texts = *device.prepared;
    std::unique_ptr<PreparedMessage> &slot = texts.messages[id];
    if (!slot)
        slot.reset(new PreparedMessage(prepareMessage(messageOf(device, id))));
    return *slot;
}

bool DecodeCatalogue::appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                             const QByteArray &time, const QByteArray &direction)
{
    // Written as they are, in JSON too.
    for (const QByteArray *text : {&time, &direction}) {
        for (const char c : *text) {
            if (c < 0x20 || c > 0x7E || c == '"' || c == '\\')
                return false;
        }
    }
    if (size < 2 * kFrameOverheadBytes || size > 2 * kMaxFrameBytes || size % 2 != 0)
        return false;
    quint8 bytes[kMaxFrameBytes];
    const int n = int(size / 2);
    for (int i = 0; i < n; ++i) {
        const quint8 high = kHexValue.value[quint8(line[2 * i])];
        const quint8 low = kHexValue.value[quint8(line[2 * i + 1])];
        if ((high | low) & 0xF0)
            return false;
        bytes[i] = quint8(high << 4 | low);
    }
    const auto plain = [&bytes](int i) { return quint8(~bytes[i]); };
    const quint8 control = plain(1);
    if ((control & 0x1F) != n)
        return false;
    ensureLoaded();
    const quint8 nodeTypes = plain(2);
    const Device *device = deviceForPair(nodeTypes >> 4, nodeTypes & 0x0F);
    if (!device)
        return false;
    if (!device->prepared) {
        // Made here rather than with the device, which the general path uses too.
        auto texts = std::make_shared<PreparedDevice>();
        texts->product = prepared(device->product);
        const_cast<Device *>(device)->prepared = texts;
    }
    const PreparedMessage &message = preparedMessage(*device, plain(0));
    const int dataBytes = n - kFrameOverheadBytes;
    if (!message.usable || quint64(dataBytes) < message.neededBytes)
        return false;
    m_data.resize(dataBytes);
    for (int i = 0; i < dataBytes; ++i)
        m_data.data()[i] = char(plain(9 + i));

    quint32 sum = 0;
    for (int i = 0; i < n - 2; ++i)
        sum += bytes[i];
    const quint32 destination = quint32(plain(6)) | quint32(plain(7)) << 8 | quint32(plain(8)) << 16;

    const PlainFrame frame{line,
                           size,
                           bytes,
                           n,
                           quint16(sum) == quint16(bytes[n - 2] << 8 | bytes[n - 1]),
                           (control & 0x80) != 0,
                           quint32(nodeTypes >> 4),
                           quint32(plain(3)) | quint32(plain(4)) << 8 | quint32(plain(5)) << 16,
                           destination,
                           addressingModeOf(destination),
                           device->prepared->product,
                           message,
                           m_data,
                           time,
                           direction};
    Utf8Out o(out);
    switch (style) {
    case ReportStyle::Blocks:
        writeBlock(frame, o);
        break;
    case ReportStyle::SingleLine:
        writeLine(frame, o);
        break;
    case ReportStyle::Json:
        writeJson(frame, o);
        break;
    }
    return true;
}
