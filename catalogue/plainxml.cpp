#include "catalogue/catalogue.h"
#include "catalogue/plaintree.h"
#include "catalogue/plainxmlscanner.h"

namespace {

using namespace plainxml;

// Takes the attributes of the first element of a name.
struct FirstElement
{
    const char *element;
    QVector<QPair<QByteArray, QByteArray>> *attributes;
    bool *found;
    bool wanted = false;

    bool startElement(const PlainName &name)
    {
        wanted = element && !*found && name == element;
        return true;
    }
    bool attribute(const PlainName &name, const uchar *value, int size, bool references, bool whiteSpace)
    {
        if (!wanted)
            return true;
        if (references || whiteSpace)
            return false;
        attributes->append(qMakePair(QByteArray(reinterpret_cast<const char *>(name.at), name.size),
                                     QByteArray(reinterpret_cast<const char *>(value), size)));
        return true;
    }
    void endStartTag(bool)
    {
        if (wanted)
            *found = true;
        wanted = false;
    }
    void endElement() {}
    bool text(bool, bool) { return true; }
    void comment() {}
};

// Builds the tree of elements, text and comments that the DOM reader would.
struct TreeBuilder
{
    PlainTree *tree;
    const uchar *base;
    int current = -1; // the open element

    int append(PlainTree::Kind kind)
    {
        PlainTree::Node node;
        node.kind = kind;
        node.parent = current;
        const int index = int(tree->nodes.size());
        if (current >= 0) {
            PlainTree::Node &parent = tree->nodes[size_t(current)];
            if (parent.lastChild >= 0)
                tree->nodes[size_t(parent.lastChild)].nextSibling = index;
            else
                parent.firstChild = index;
            parent.lastChild = index;
        }
        tree->nodes.push_back(node);
        return index;
    }

    bool startElement(const PlainName &name)
    {
        current = append(PlainTree::Element);
        PlainTree::Node &node = tree->nodes.back();
        node.nameAt = int(name.at - base);
        node.nameSize = name.size;
        node.firstAttribute = int(tree->attributes.size());
        return true;
    }
    bool attribute(const PlainName &name, const uchar *value, int size, bool references, bool whiteSpace)
    {
        // The parser normalises tabs and line ends in values; left to it.
        if (whiteSpace)
            return false;
        PlainTree::Attribute a;
        a.nameAt = int(name.at - base);
        a.nameSize = name.size;
        a.valueAt = int(value - base);
        a.valueSize = size;
        if (references) {
            QByteArray text;
            if (!expandReferences(value, value + size, &text))
                return false;
            a.expanded = int(tree->expanded.size());
            tree->expanded.push_back(QString::fromUtf8(text));
        }
        tree->attributes.push_back(a);
        ++tree->nodes[size_t(current)].attributeCount;
        return true;
    }
    void endStartTag(bool empty)
    {
        if (empty)
            current = tree->nodes[size_t(current)].parent;
    }
    void endElement() { current = tree->nodes[size_t(current)].parent; }
    bool text(bool space, bool references)
    {
        // White space alone makes no node; a reference in text might split
        // it into several, so such text is left to the parser.
        if (references)
            return false;
        if (!space)
            append(PlainTree::Other);
        return true;
    }
    void comment() { append(PlainTree::Other); }

    // The value with its references replaced, in UTF-8; false for a
    // reference to a tab or line end, which the parser may treat apart.
    static bool expandReferences(const uchar *from, const uchar *to, QByteArray *text)
    {
        Scanner s{from, to};
        text->reserve(int(to - from));
        while (s.p < s.end) {
            if (*s.p != '&') {
                text->append(char(*s.p++));
                continue;
            }
            uint c = 0;
            if (!s.reference(&c) || c < 0x20)
                return false;
            // In UTF-8; references name characters below U+D800 only.
            if (c < 0x80) {
                text->append(char(c));
            } else if (c < 0x800) {
                text->append(char(0xC0 | (c >> 6)));
                text->append(char(0x80 | (c & 0x3F)));
            } else {
                text->append(char(0xE0 | (c >> 12)));
                text->append(char(0x80 | ((c >> 6) & 0x3F)));
                text->append(char(0x80 | (c & 0x3F)));
            }
        }
        return true;
    }
};

} // namespace

bool plainXmlCheck(const QByteArray &xml, const char *element, QVector<QPair<QByteArray, QByteArray>> *attributes,
                   bool *found)
{
    *found = false;
    attributes->clear();
    FirstElement visitor{element, attributes, found};
    return scanPlainXml(xml, visitor);
}

bool readPlainTree(const QByteArray &xml, PlainTree *tree)
{
    tree->xml = xml;
    tree->nodes.clear();
    tree->attributes.clear();
    tree->expanded.clear();
    // About one node per 60 bytes and two attributes per node in real files.
    tree->nodes.reserve(size_t(xml.size() / 60 + 1));
    tree->attributes.reserve(size_t(xml.size() / 30 + 1));
    TreeBuilder visitor{tree, reinterpret_cast<const uchar *>(xml.constData())};
    return scanPlainXml(xml, visitor);
}

QString PlainTree::attribute(int node, const QString &name, const QString &absent) const
{
    const Node &n = nodes[size_t(node)];
    const char *text = xml.constData();
    for (int i = n.firstAttribute; i < n.firstAttribute + n.attributeCount; ++i) {
        const Attribute &a = attributes[size_t(i)];
        if (a.nameSize != name.size())
            continue;
        int k = 0;
        while (k < a.nameSize && QChar(uchar(text[a.nameAt + k])) == name.at(k))
            ++k;
        if (k < a.nameSize)
            continue;
        if (a.expanded >= 0)
            return expanded[size_t(a.expanded)];
        return QString::fromUtf8(text + a.valueAt, a.valueSize);
    }
    return absent;
}

bool PlainTree::isNamed(int node, const char *name) const
{
    const Node &n = nodes[size_t(node)];
    return n.kind == Element && int(qstrlen(name)) == n.nameSize
        && memcmp(xml.constData() + n.nameAt, name, size_t(n.nameSize)) == 0;
}
