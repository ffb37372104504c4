#include "codec/framereport.h"

#include "catalogue/catalogue.h"

#include <QFileInfo>
#include <QSet>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

DecodeCatalogue::DecodeCatalogue(const QString &folder) : m_folder(folder) {}

DecodeCatalogue::~DecodeCatalogue() = default;

DecodeCatalogue::Stamp DecodeCatalogue::stampOf(const QString &path)
{
    Stamp s;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.device = quint64(st.st_dev);
    s.inode = quint64(st.st_ino);
    s.size = qint64(st.st_size);
    s.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return s;
    s.exists = true;
    s.size = info.size();
    s.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    s.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1000000;
#endif
    return s;
}

void DecodeCatalogue::watch(const QString &path)
{
    if (!path.isEmpty() && !m_stamps.contains(path))
        m_stamps.insert(path, stampOf(path));
}

// Stamps are taken before the files are read: an edit in between is seen as
// a change at the next check, never missed.
void DecodeCatalogue::reload()
{
    m_stamps.clear();
    m_devices.clear();
    m_productKnown.fill(false);
    watch(m_folder);
    m_profileFiles.clear();
    for (const QString &path : profileFilePaths(m_folder)) {
        watch(path);
        m_profileFiles.insert(path);
    }
    m_profiles = loadProfiles(m_folder);
    m_loaded = true;
    m_sinceCheck.start();
}

void DecodeCatalogue::recheck()
{
    if (!m_loaded) {
        reload();
        return;
    }
    m_sinceCheck.start();
    QSet<QString> changed;
    for (auto it = m_stamps.begin(); it != m_stamps.end(); ++it) {
        const Stamp now = stampOf(it.key());
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
    else if (m_sinceCheck.elapsed() >= m_recheckMs)
        recheck();
}

const DecodeCatalogue::Device *DecodeCatalogue::deviceForFrame(const FrameFields &fields)
{
    const int pair = (fields.sourceNodeType & 0x0F) << 4 | (fields.destinationNodeType & 0x0F);
    if (!m_productKnown[pair]) {
        m_productKnown[pair] = true;
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
        it = m_devices.insert(product, d);
    }
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

QString bytesTextOf(const FrameReport &r)
{
    return r.bytesText.isEmpty() ? frameToHexText(r.frame.bytes) : r.bytesText;
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
void appendBlock(const FrameReport &r, QString &out)
{
    if (!r.time.isEmpty() || !r.direction.isEmpty()) {
        out += QLatin1String("Time:         ") + r.time + QLatin1Char('\n');
        out += QLatin1String("Direction:    ") + r.direction + QLatin1Char('\n');
    }
    out += QLatin1String("Input:        ") + r.input + QLatin1Char('\n');
    if (r.parsed) {
        out += QLatin1String("Bytes:        ") + bytesTextOf(r)
               + (r.checksumOk ? QLatin1String(" (checksum ok)\n") : QLatin1String(" (checksum wrong)\n"));
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
        bool first = true;
        for (const DecodedRow &row : r.message.rows) {
            if (row.kind == DecodedRow::LabelOnly)
                continue;
            out += first ? kBar : QLatin1String(", ");
            first = false;
            out += row.parameterName + QLatin1Char('=');
            if (row.kind == DecodedRow::Bits)
                out += QLatin1Char('[') + checkedBits(row) + QLatin1Char(']');
            else
                out += row.value;
        }
    }
}

void appendTimePrefix(const QString &time, const QString &direction, QString &out)
{
    if (!time.isEmpty())
        out += time + QLatin1Char(' ');
    if (!direction.isEmpty())
        out += direction + QLatin1Char(' ');
}

void appendLine(const FrameReport &r, QString &out)
{
    appendTimePrefix(r.time, r.direction, out);
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
    void string(const QString &text)
    {
        comma();
        m_out += QLatin1Char('"');
        static const char hex[] = "0123456789abcdef";
        const int n = text.size();
        const QChar *chars = text.constData();
        for (int i = 0; i < n; ++i) {
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
        m_out += QString::number(value);
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

void appendJson(const FrameReport &r, QString &out)
{
    static const char *const modes[] = {"P2P", "Group", "Broadcast"};
    const FrameFields &f = r.frame.fields;
    JsonWriter w(out);
    // Keys in sorted order.
    w.begin(QLatin1Char('{'));
    if (r.productFound)
        w.flag("ack", f.ackRequested);
    if (r.parsed) {
        w.text("bytes", bytesTextOf(r));
        w.flag("checksumOk", r.checksumOk);
    }
    if (r.productFound) {
        w.text("destination", nodeIdText(f.destinationAddress));
        w.text("device", r.device);
    }
    if (!r.direction.isEmpty())
        w.text("direction", r.direction);
    w.flag("error", r.error);
    w.text("input", r.input);
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
            if (row.kind == DecodedRow::Value)
                w.text("value", row.value);
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

void appendReport(ReportStyle style, const FrameReport &report, QString &out)
{
    switch (style) {
    case ReportStyle::SingleLine:
        appendLine(report, out);
        break;
    case ReportStyle::Json:
        appendJson(report, out);
        break;
    case ReportStyle::Blocks:
        appendBlock(report, out);
        break;
    }
}

QString singleLineText(const FrameReport &report, bool withInput)
{
    QString line;
    if (withInput)
        line += report.input.trimmed() + kBar;
    appendLineBody(report, line);
    return line;
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
