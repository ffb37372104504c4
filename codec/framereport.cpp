#include "codec/framereport.h"

#include "catalogue/catalogue.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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
    if (!r.frame.ok()) {
        r.status = r.frame.statusText;
        r.error = true;
        return r;
    }
    r.parsed = true;
    r.checksumOk = checksumMatches(r.frame.bytes);
    ensureLoaded();
    const Device *device = deviceForFrame(r.frame.fields);
    if (!device) {
        r.status = QStringLiteral("No product found for the node type set in this frame.");
        r.error = true;
        return r;
    }
    r.productFound = true;
    r.device = device->product;
    r.message = decodeMessageData(messageOf(*device, r.frame.fields.messageId), r.frame.fields.data,
                                  r.frame.frameLonger, r.frame.statusText);
    r.status = r.message.statusText;
    r.error = r.message.statusIsError;
    return r;
}

FrameReport DecodeCatalogue::decodeBytes(const QByteArray &frameBytes)
{
    return decodeText(frameToHexText(frameBytes));
}

namespace {

const QLatin1String kBar(" | ");

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
        out += QLatin1String("Bytes:        ") + frameToHexText(r.frame.bytes)
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

void appendJsonObject(const QJsonObject &o, QString &out)
{
    out += QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

void appendJson(const FrameReport &r, QString &out)
{
    QJsonObject o;
    o.insert(QStringLiteral("input"), r.input);
    o.insert(QStringLiteral("status"), r.status);
    o.insert(QStringLiteral("error"), r.error);
    if (!r.time.isEmpty())
        o.insert(QStringLiteral("time"), r.time);
    if (!r.direction.isEmpty())
        o.insert(QStringLiteral("direction"), r.direction);
    if (r.parsed) {
        o.insert(QStringLiteral("bytes"), frameToHexText(r.frame.bytes));
        o.insert(QStringLiteral("checksumOk"), r.checksumOk);
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
    appendJsonObject(o, out);
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
        QJsonObject o{{QStringLiteral("noise"), frameToHexText(bytes)}};
        if (!time.isEmpty())
            o.insert(QStringLiteral("time"), time);
        appendJsonObject(o, out);
        return;
    }
    appendTimePrefix(time, QString(), out);
    out += QLatin1String("noise: ") + frameToHexText(bytes) + QLatin1Char('\n');
    if (style == ReportStyle::Blocks)
        out += QLatin1Char('\n');
}
