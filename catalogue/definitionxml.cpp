#include "catalogue/catalogue.h"

#include "catalogue/fileaccess.h"

#include <QDomDocument>
#include <QXmlStreamReader>

QByteArray readDefinitionBytes(const QString &path, bool *ok)
{
    return readRegularFile(path, kMaxDefinitionFileBytes, ok);
}

// The streaming pass runs before any DOM is built. QDomDocument builds and
// frees its tree recursively (a document nested some tens of thousands of levels deep
// overflows the stack) and expands internal entities without an overall limit
// (a few kilobytes of references to one 4 kB entity cost gigabytes). Both are
// refused here, cheaply, along with documents of absurd node counts.
bool scanDefinitionXml(const QByteArray &xml, const std::function<void(const QXmlStreamReader &)> &visit)
{
    if (xml.isEmpty() || xml.size() > kMaxDefinitionFileBytes)
        return false;
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false); // as the DOM reads: "x:y" is just a name
    const qint64 charBudget = xml.size() + kMaxEntityExpansionChars;
    qint64 chars = 0;
    qint64 nodes = 0;
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (++depth > kMaxDefinitionDepth)
                return false;
            const QXmlStreamAttributes attributes = reader.attributes();
            nodes += 1 + attributes.size();
            for (const QXmlStreamAttribute &attribute : attributes)
                chars += attribute.value().size() + attribute.qualifiedName().size();
            if (visit)
                visit(reader);
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            ++nodes;
            chars += reader.text().size();
            break;
        default:
            break;
        }
        if (nodes > kMaxDefinitionNodes || chars > charBudget)
            return false;
    }
    // A document this pass cannot read through is not used either, so that the
    // limits above are known to hold for the whole of what the DOM would build.
    return !reader.hasError();
}

bool parseDefinitionXml(const QByteArray &xml, QDomDocument *doc)
{
    // Plain XML within the limits needs no second look; the rest is scanned.
    QVector<QPair<QByteArray, QByteArray>> none;
    bool found = false;
    if (!plainXmlCheck(xml, nullptr, &none, &found) && !scanDefinitionXml(xml))
        return false;
    // The parser's default setting: no namespace processing, whitespace-only
    // text dropped, comments kept as nodes.
    return doc->setContent(xml);
}
