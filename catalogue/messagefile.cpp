#include "catalogue/catalogue.h"

#include "catalogue/fileaccess.h"
#include "catalogue/plaintree.h"
#include "catalogue/profilecache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDomDocument>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

namespace {

bool selectsHexadecimal(const QString &text)
{
    return text.toLower().contains(QLatin1String("0x"));
}

// Integer limits of a field of `size` bytes. A size of 0 holds no value, so
// every limit is 0; sizes above 4 (strings) get the 4-byte limits, since
// values are 32-bit quantities.
void limitsOfSize(quint32 size, qint32 *minSigned, qint32 *maxSigned, quint32 *maxUnsigned)
{
    if (size == 0) {
        *minSigned = 0;
        *maxSigned = 0;
        *maxUnsigned = 0;
        return;
    }
    const int bits = 8 * int(qMin<quint32>(size, 4));
    *minSigned = qint32(-(qint64(1) << (bits - 1)));
    *maxSigned = qint32((qint64(1) << (bits - 1)) - 1);
    *maxUnsigned = quint32((quint64(1) << bits) - 1);
}

// "min", "max" and "default" when given: hexadecimal when the text holds
// "0x", else decimal. A hexadecimal signed value is a bit pattern of the
// field, so a set top bit of a 1 to 3 byte field makes it negative.
void convertLimit(const QString &text, quint32 size, qint32 *signedValue, quint32 *unsignedValue)
{
    bool ok = false;
    if (selectsHexadecimal(text)) {
        const quint32 u = text.toUInt(&ok, 16);
        *unsignedValue = ok ? u : 0;
        const qint64 wide = text.toLongLong(&ok, 16);
        qint32 s = 0;
        if (ok && wide >= -(qint64(1) << 31) && wide <= qint64(0xFFFFFFFFu))
            s = qint32(quint32(quint64(wide)));
        if (size >= 1 && size <= 3) {
            const quint32 topBit = quint32(1) << (8 * size - 1);
            if (quint32(s) & topBit)
                s = qint32(quint32(s) | ~((topBit << 1) - 1));
        }
        *signedValue = s;
    } else {
        const quint32 u = text.toUInt(&ok, 10);
        *unsignedValue = ok ? u : 0;
        const qint32 s = text.toInt(&ok, 10);
        *signedValue = ok ? s : 0;
    }
}

// The reader reads either tree through one face: a node's attributes (none
// for a null node, text or a comment) and its child nodes.
struct DomNode
{
    QDomNode node;

    QString attribute(const QString &name, const QString &absent = QString()) const
    {
        return node.toElement().attribute(name, absent);
    }
    DomNode firstChild() const { return DomNode{node.firstChild()}; }
    DomNode nextSibling() const { return DomNode{node.nextSibling()}; }
    bool isNull() const { return node.isNull(); }
};

struct PlainNode
{
    const PlainTree *tree;
    int index;

    QString attribute(const QString &name, const QString &absent = QString()) const
    {
        return tree->attribute(index, name, absent);
    }
    PlainNode firstChild() const { return PlainNode{tree, tree->nodes[size_t(index)].firstChild}; }
    PlainNode nextSibling() const { return PlainNode{tree, tree->nodes[size_t(index)].nextSibling}; }
    bool isNull() const { return index < 0; }
};

template <class Node>
ValueDefinition readValue(const Node &element)
{
    ValueDefinition value;
    const QString text = element.attribute(QStringLiteral("value"));
    const int base = selectsHexadecimal(text) ? 16 : 10;
    bool ok = false;
    const quint64 u = text.toULongLong(&ok, base);
    value.unsignedValue = ok ? quint32(u) : 0;
    const qint64 s = text.toLongLong(&ok, base);
    value.signedValue = ok ? qint32(quint32(quint64(s))) : 0;
    value.description = element.attribute(QStringLiteral("description"));
    return value;
}

// Any child node of a message is a parameter and any child node of a
// parameter a value; a comment is a node without attributes, so it reads as
// an element whose attributes are all absent.
template <class Node>
ParameterDefinition readParameter(const Node &element)
{
    ParameterDefinition parameter;
    parameter.optional = element.attribute(QStringLiteral("optional")).toLower() == QLatin1String("yes");
    parameter.display = element.attribute(QStringLiteral("display")).toLower() != QLatin1String("no");
    parameter.name = element.attribute(QStringLiteral("name"));
    parameter.type = element.attribute(QStringLiteral("type")).toLower();
    bool ok = false;
    const quint32 size = element.attribute(QStringLiteral("size")).toUInt(&ok, 10);
    parameter.size = ok ? size : 0;
    parameter.sign = element.attribute(QStringLiteral("sign"), QStringLiteral("unsigned"));

    qint32 minOfSize = 0;
    qint32 maxOfSize = 0;
    quint32 maxUnsignedOfSize = 0;
    limitsOfSize(parameter.size, &minOfSize, &maxOfSize, &maxUnsignedOfSize);

    const QString minText = element.attribute(QStringLiteral("min"));
    if (minText.isEmpty()) {
        parameter.minSigned = minOfSize;
        parameter.minUnsigned = 0;
    } else {
        convertLimit(minText, parameter.size, &parameter.minSigned, &parameter.minUnsigned);
    }
    const QString maxText = element.attribute(QStringLiteral("max"));
    if (maxText.isEmpty()) {
        parameter.maxSigned = maxOfSize;
        parameter.maxUnsigned = maxUnsignedOfSize;
    } else {
        convertLimit(maxText, parameter.size, &parameter.maxSigned, &parameter.maxUnsigned);
    }
    parameter.defaultText = element.attribute(QStringLiteral("default"));
    if (parameter.defaultText.isEmpty()) {
        parameter.defaultSigned = parameter.minSigned;
        parameter.defaultUnsigned = parameter.minUnsigned;
    } else {
        convertLimit(parameter.defaultText, parameter.size, &parameter.defaultSigned,
                     &parameter.defaultUnsigned);
    }

    parameter.inputFormat = element.attribute(QStringLiteral("input_format"), QStringLiteral("decimal")).toLower();
    parameter.description = element.attribute(QStringLiteral("description"));
    for (Node child = element.firstChild(); !child.isNull(); child = child.nextSibling())
        parameter.values.append(readValue(child));
    return parameter;
}

template <class Node>
MessageDefinition readMessage(const Node &element)
{
    MessageDefinition message;
    message.name = element.attribute(QStringLiteral("name"));
    message.category = element.attribute(QStringLiteral("category"));
    bool ok = false;
    const quint16 id = element.attribute(QStringLiteral("msg_id")).toUShort(&ok, 16);
    message.msgId = ok ? quint8(id & 0xFF) : 0;
    message.description = element.attribute(QStringLiteral("description"));
    message.addressingMode = element.attribute(QStringLiteral("addressingMode"));
    message.nodeMode = element.attribute(QStringLiteral("node_mode")).toLower() == QLatin1String("slave")
        ? NodeMode::Slave
        : NodeMode::Master;
    for (Node child = element.firstChild(); !child.isNull(); child = child.nextSibling())
        message.parameters.append(readParameter(child));
    return message;
}

MessageMap messagesOfDocument(const QDomDocument &doc)
{
    MessageMap messages;
    // Every "message" element at any depth, in document order; walked without
    // recursion.
    QDomNode node = doc.documentElement();
    const QDomNode root = node;
    while (!node.isNull()) {
        if (node.isElement() && node.nodeName() == QLatin1String("message")) {
            const DomNode element{node};
            messages.insert(element.attribute(QStringLiteral("name")), readMessage(element));
        }
        if (node.hasChildNodes()) {
            node = node.firstChild();
            continue;
        }
        while (!node.isNull() && node != root && node.nextSibling().isNull())
            node = node.parentNode();
        if (node.isNull() || node == root)
            break;
        node = node.nextSibling();
    }
    return messages;
}

// The same from the plain tree, whose nodes are in document order already.
MessageMap messagesOfTree(const PlainTree &tree)
{
    MessageMap messages;
    for (int i = 0; i < int(tree.nodes.size()); ++i) {
        if (tree.isNamed(i, "message")) {
            const PlainNode element{&tree, i};
            messages.insert(element.attribute(QStringLiteral("name")), readMessage(element));
        }
    }
    return messages;
}

// Cache of parsed message files. The encoder reads three files at every change
// of device and the decoder at every keystroke; parsing is what costs, reading
// and comparing the bytes is cheap. The content itself is the key's check, so
// an edit is seen however close in time and size it is to the cached copy.
struct CachedFile
{
    QByteArray bytes;
    MessageMap messages;
};

constexpr int kMaxCachedFiles = 64;
constexpr qint64 kMaxCachedBytes = 64 * 1024 * 1024;

QMutex cacheMutex;
QMap<QString, CachedFile> cache;
QStringList cacheOrder; // least recently used first
qint64 cachedBytes = 0;

void forget(const QString &key)
{
    const auto it = cache.find(key);
    if (it == cache.end())
        return;
    cachedBytes -= it->bytes.size();
    cache.erase(it);
    cacheOrder.removeOne(key);
}

// Parsed message files are also kept in the cache folder, when one is set,
// under the SHA-1 of their content: what a file gives depends on its bytes
// alone, so an edited file simply has another name there.
const char kMessagesMagic[] = "KWNMSGS\n";
constexpr quint32 kMessagesFormat = 1;
constexpr int kMaxKeptMessageFiles = 512;
constexpr qint64 kMaxKeptMessageBytes = 128 * 1024 * 1024;

QString keptMessagesPath(const QString &cache, const QByteArray &hash)
{
    return cache + QStringLiteral("/messages/") + QString::fromLatin1(hash.toHex()) + QStringLiteral(".cache");
}

QByteArray serialiseMessages(const QByteArray &hash, const MessageMap &messages)
{
    QByteArray payload;
    payload.reserve(qMin(messages.size(), 1 << 16) * 1024);
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    out << kMessagesFormat << hash << quint32(messages.size());
    for (auto it = messages.constBegin(); it != messages.constEnd(); ++it) {
        const MessageDefinition &m = it.value();
        out << it.key() << m.name << m.category << m.msgId << m.description << m.addressingMode
            << qint32(m.nodeMode) << quint32(m.parameters.size());
        for (const ParameterDefinition &p : m.parameters) {
            out << p.optional << p.display << p.name << p.type << p.size << p.sign << p.inputFormat << p.minSigned
                << p.maxSigned << p.defaultSigned << p.minUnsigned << p.maxUnsigned << p.defaultUnsigned
                << p.defaultText << p.description << quint32(p.values.size());
            for (const ValueDefinition &v : p.values)
                out << v.unsignedValue << v.signedValue << v.description;
        }
    }
    return sealCacheData(kMessagesMagic, payload);
}

bool deserialiseMessages(const QByteArray &bytes, const QByteArray &hash, MessageMap *messages)
{
    QByteArray payload;
    if (!unsealCacheData(kMessagesMagic, bytes, &payload))
        return false;
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_5_15);
    quint32 format = 0;
    QByteArray storedHash;
    quint32 count = 0;
    in >> format >> storedHash >> count;
    if (in.status() != QDataStream::Ok || format != kMessagesFormat || storedHash != hash
        || count > kMaxDefinitionNodes)
        return false;
    MessageMap read;
    for (quint32 i = 0; i < count; ++i) {
        QString key;
        MessageDefinition m;
        qint32 nodeMode = 0;
        quint32 parameters = 0;
        in >> key >> m.name >> m.category >> m.msgId >> m.description >> m.addressingMode >> nodeMode >> parameters;
        if (in.status() != QDataStream::Ok || parameters > kMaxDefinitionNodes
            || (nodeMode != qint32(NodeMode::Master) && nodeMode != qint32(NodeMode::Slave)))
            return false;
        m.nodeMode = NodeMode(nodeMode);
        for (quint32 j = 0; j < parameters; ++j) {
            ParameterDefinition p;
            quint32 values = 0;
            in >> p.optional >> p.display >> p.name >> p.type >> p.size >> p.sign >> p.inputFormat >> p.minSigned
                >> p.maxSigned >> p.defaultSigned >> p.minUnsigned >> p.maxUnsigned >> p.defaultUnsigned
                >> p.defaultText >> p.description >> values;
            if (in.status() != QDataStream::Ok || values > kMaxDefinitionNodes)
                return false;
            for (quint32 k = 0; k < values; ++k) {
                ValueDefinition v;
                in >> v.unsignedValue >> v.signedValue >> v.description;
                p.values.append(v);
            }
            m.parameters.append(p);
        }
        if (in.status() != QDataStream::Ok)
            return false;
        read.insert(key, m);
    }
    if (!in.atEnd())
        return false;
    *messages = read;
    return true;
}

// Pruning looks at every kept file, so it is done at the first write of a
// process and then at every so many: the bounds may be passed by that many
// files in between, never for long.
constexpr int kWritesBetweenPrunes = 16;
std::atomic<int> keptWrites{0};

void keepMessages(const QString &path, const QByteArray &hash, const MessageMap &messages)
{
    const QByteArray kept = serialiseMessages(hash, messages);
    if (kept.size() <= kMaxMessageCacheFileBytes && writeCacheFile(path, kept)
        && keptWrites++ % kWritesBetweenPrunes == 0)
        pruneCacheFiles(QFileInfo(path).path(), QStringLiteral("*.cache"), kMaxKeptMessageFiles, kMaxKeptMessageBytes);
}

// The messages of `bytes`. Only a file that the DOM reader reads is kept in
// the cache folder: a plain file is read again sooner than a kept copy.
MessageMap parseOrKept(const QByteArray &bytes)
{
    MessageMap messages;
    if (readPlainMessageData(bytes, &messages))
        return messages;
    const QString cache = definitionCacheFolder();
    if (cache.isEmpty())
        return readMessageDataThroughDom(bytes);
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
    const QString path = keptMessagesPath(cache, hash);
    // Read as definition files are: a pipe, device or folder in its place, or
    // a file larger than any kept one, is passed over and the file parsed.
    bool ok = false;
    const QByteArray kept = readRegularFile(path, kMaxMessageCacheFileBytes, &ok);
    if (ok && deserialiseMessages(kept, hash, &messages))
        return messages;
    messages = readMessageDataThroughDom(bytes);
    keepMessages(path, hash, messages);
    return messages;
}

} // namespace

MessageDefinition readMessageElement(const QDomElement &element)
{
    return readMessage(DomNode{element});
}

bool readPlainMessageData(const QByteArray &xml, MessageMap *messages)
{
    PlainTree tree;
    if (!readPlainTree(xml, &tree))
        return false;
    *messages = messagesOfTree(tree);
    return true;
}

MessageMap readMessageDataThroughDom(const QByteArray &xml)
{
    QDomDocument doc;
    if (!parseDefinitionXml(xml, &doc))
        return MessageMap();
    return messagesOfDocument(doc);
}

MessageMap readMessageData(const QByteArray &xml)
{
    // Plain files, nearly all, are read many times faster without a DOM.
    MessageMap messages;
    if (readPlainMessageData(xml, &messages))
        return messages;
    return readMessageDataThroughDom(xml);
}

MessageDefinitionFile readMessageFile(const QString &path)
{
    MessageDefinitionFile file;
    bool ok = false;
    const QByteArray bytes = readDefinitionBytes(path, &ok);
    if (!ok)
        return file;

    const QString key = QFileInfo(path).absoluteFilePath();
    {
        QMutexLocker lock(&cacheMutex);
        const auto it = cache.constFind(key);
        if (it != cache.constEnd() && it->bytes == bytes) {
            cacheOrder.removeOne(key);
            cacheOrder.append(key);
            file.messages = it->messages;
            return file;
        }
    }

    file.messages = parseOrKept(bytes);

    QMutexLocker lock(&cacheMutex);
    forget(key);
    if (bytes.size() <= kMaxCachedBytes / 4) {
        cache.insert(key, CachedFile{bytes, file.messages});
        cacheOrder.append(key);
        cachedBytes += bytes.size();
        while (cache.size() > kMaxCachedFiles || cachedBytes > kMaxCachedBytes)
            forget(cacheOrder.first());
    }
    return file;
}

MessageDefinitionFile::MessageDefinitionFile(const QString &path)
    : messages(readMessageFile(path).messages)
{
}

void clearMessageFileCache()
{
    QMutexLocker lock(&cacheMutex);
    cache.clear();
    cacheOrder.clear();
    cachedBytes = 0;
}
