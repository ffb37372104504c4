#include "catalogue/catalogue.h"
#include "catalogue/hexdigits.h"
#include "catalogue/plaintree.h"

#include <QVarLengthArray>

#include <cstring>

// A quick check for the plain XML that definition files are written in: one
// pass over the bytes, no allocation but for the attributes asked for. It
// says yes only where it is sure: anything less plain (a document type, a
// processing instruction other than the declaration, CDATA, an encoding
// other than UTF-8, names outside ASCII or with a colon, a '>' or a
// reference it does not know...) is left to the full parser, which then
// decides as it always did.

namespace {

// A name in the document's bytes.
struct PlainName
{
    const uchar *at;
    int size;

    bool operator==(const PlainName &o) const { return size == o.size && memcmp(at, o.at, size_t(size)) == 0; }
    bool operator==(const char *text) const
    {
        return int(qstrlen(text)) == size && memcmp(at, text, size_t(size)) == 0;
    }
};

// Attributes of one element beyond which the check leaves the document to
// the parser; a definition element has about ten.
constexpr int kMaxPlainAttributes = 64;

inline bool isSpace(uchar c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Printable ASCII other than the characters markup is made of: what text
// and values mostly are, taken a byte at a time without a further look.
inline bool isOrdinary(uchar c)
{
    return c > ' ' && c < 0x7F && c != '<' && c != '>' && c != '&' && c != '"' && c != '\'';
}

inline bool isNameStart(uchar c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

inline bool isNameChar(uchar c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Names beginning with "xml" in any case are reserved; left to the parser.
inline bool reservedName(const PlainName &name)
{
    return name.size >= 3 && (name.at[0] | 0x20) == 'x' && (name.at[1] | 0x20) == 'm' && (name.at[2] | 0x20) == 'l';
}

struct Scanner
{
    const uchar *p;
    const uchar *end;

    bool startsWith(const char *text) const
    {
        const int n = int(qstrlen(text));
        return end - p >= n && memcmp(p, text, size_t(n)) == 0;
    }

    void skipSpace()
    {
        while (p < end && isSpace(*p))
            ++p;
    }

    // "=" and the opening quote of a value, with white space around the "=".
    bool equalsAndQuote(uchar *quote)
    {
        skipSpace();
        if (p == end || *p != '=')
            return false;
        ++p;
        skipSpace();
        if (p == end || (*p != '"' && *p != '\''))
            return false;
        *quote = *p++;
        return true;
    }

    // A name of ASCII letters, digits, '_', '.' and '-'; empty when none.
    PlainName name()
    {
        const uchar *start = p;
        if (p < end && isNameStart(*p)) {
            ++p;
            while (p < end && isNameChar(*p))
                ++p;
        }
        return PlainName{start, int(p - start)};
    }

    // One character of text, an attribute value or a comment at p, moved
    // past; false when it is not one the check is sure of. A byte below 0x80
    // other than the ones given by the caller is taken as it is.
    bool character()
    {
        const uchar c = *p;
        if (c < 0x20) {
            ++p;
            return c == '\t' || c == '\n' || c == '\r';
        }
        if (c < 0x80) {
            ++p;
            return true;
        }
        // UTF-8, well-formed and naming a character XML allows.
        int more = 0;
        uint value = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            value = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            value = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            value = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        const uint least[] = {0, 0x80, 0x800, 0x10000};
        if (value < least[more] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE
            || value == 0xFFFF)
            return false;
        p += more + 1;
        return true;
    }

    // "&...;" at p: the five named ones and character references to
    // ordinary characters. `value`, when given, is set to the character.
    bool reference(uint *character = nullptr)
    {
        static const char *const named[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"};
        static const char replacement[] = "<>&\"'";
        for (int i = 0; i < 5; ++i) {
            if (startsWith(named[i])) {
                p += qstrlen(named[i]);
                if (character)
                    *character = uchar(replacement[i]);
                return true;
            }
        }
        if (!startsWith("&#"))
            return false;
        p += 2;
        const bool hex = p < end && *p == 'x';
        if (hex)
            ++p;
        uint value = 0;
        int digits = 0;
        for (; p < end && *p != ';'; ++p, ++digits) {
            const uchar c = *p;
            const int d = hex ? hexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
            if (d < 0 || digits >= 6)
                return false;
            value = value * (hex ? 16 : 10) + uint(d);
        }
        if (p == end || digits == 0)
            return false;
        ++p;
        if (character)
            *character = value;
        return value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value < 0xD800);
    }
};

// The declaration, exactly as definition files write it.
bool declaration(Scanner &s)
{
    if (!s.startsWith("<?xml"))
        return true;
    s.p += 5;
    const auto pseudoAttribute = [&s](const char *name, std::initializer_list<const char *> values) {
        const uchar *start = s.p;
        s.skipSpace();
        if (s.p == start || !s.startsWith(name)) {
            s.p = start;
            return false;
        }
        s.p += qstrlen(name);
        uchar quote = 0;
        if (!s.equalsAndQuote(&quote))
            return false;
        for (const char *value : values) {
            const int n = int(qstrlen(value));
            if (s.end - s.p > n && memcmp(s.p, value, size_t(n)) == 0 && s.p[n] == quote) {
                s.p += n + 1;
                return true;
            }
        }
        return false;
    };
    if (!pseudoAttribute("version", {"1.0"}))
        return false;
    const uchar *before = s.p;
    if (!pseudoAttribute("encoding", {"UTF-8", "utf-8"}) && s.p != before)
        return false;
    before = s.p;
    if (!pseudoAttribute("standalone", {"yes", "no"}) && s.p != before)
        return false;
    s.skipSpace();
    if (!s.startsWith("?>"))
        return false;
    s.p += 2;
    return true;
}

// A text run, up to the next '<': outside the root element only white
// space. False when it is not plain.
template <class Visitor>
bool scanText(Scanner &s, bool inRoot, Visitor &visitor)
{
    bool space = true;
    bool references = false;
    while (s.p < s.end && *s.p != '<') {
        if (!inRoot) {
            if (!isSpace(*s.p))
                return false;
            ++s.p;
        } else if (*s.p == '&') {
            space = false;
            references = true;
            if (!s.reference())
                return false;
        } else if (isOrdinary(*s.p) && *s.p != ']') {
            space = false;
            ++s.p;
        } else if (*s.p == '>' || *s.p == ']') {
            return false;
        } else {
            space = space && isSpace(*s.p);
            if (!s.character())
                return false;
        }
    }
    return !inRoot || visitor.text(space, references);
}

// A comment, its "<!--" passed already.
bool scanComment(Scanner &s)
{
    for (;;) {
        if (s.p == s.end || *s.p == '<' || *s.p == '&')
            return false;
        if (s.startsWith("--")) {
            if (!s.startsWith("-->"))
                return false;
            s.p += 3;
            return true;
        }
        if (!s.character())
            return false;
    }
}

// An attribute's value up to its closing quote (left unread).
bool scanAttributeValue(Scanner &s, uchar quote, bool *references, bool *whiteSpace)
{
    while (s.p < s.end && *s.p != quote) {
        const uchar c = *s.p;
        if (isOrdinary(c)) {
            ++s.p;
            continue;
        }
        if (c == '<' || c == '>')
            return false;
        if (c == '&') {
            *references = true;
            if (!s.reference())
                return false;
            continue;
        }
        if (c == '\t' || c == '\n' || c == '\r')
            *whiteSpace = true; // the parser turns it into a space
        if (!s.character())
            return false;
    }
    return s.p != s.end;
}

// The attributes of a start tag, up to its '>' or "/>" (left unread).
template <class Visitor>
bool scanAttributes(Scanner &s, Visitor &visitor, QVarLengthArray<PlainName, 16> &names, qint64 &nodes)
{
    names.clear();
    for (;;) {
        const uchar *before = s.p;
        s.skipSpace();
        if (s.p == s.end)
            return false;
        if (*s.p == '>' || s.startsWith("/>"))
            return true;
        if (s.p == before)
            return false;
        const PlainName attribute = s.name();
        // Many attributes on one element are left to the parser, which
        // finds a repeated one without comparing every pair.
        if (attribute.size == 0 || reservedName(attribute) || names.size() >= kMaxPlainAttributes)
            return false;
        for (const PlainName &other : qAsConst(names)) {
            if (other == attribute)
                return false;
        }
        names.append(attribute);
        ++nodes;
        uchar quote = 0;
        if (!s.equalsAndQuote(&quote))
            return false;
        const uchar *value = s.p;
        bool references = false;
        bool whiteSpace = false;
        if (!scanAttributeValue(s, quote, &references, &whiteSpace))
            return false;
        if (!visitor.attribute(attribute, value, int(s.p - value), references, whiteSpace))
            return false;
        ++s.p;
    }
}

// The one pass of the check. The visitor hears of every element, attribute,
// text run and comment inside the root element as it goes, and may end the
// pass (false: not plain) at any of them.
template <class Visitor>
bool scanPlainXml(const QByteArray &xml, Visitor &visitor)
{
    if (xml.isEmpty() || xml.size() > kMaxDefinitionFileBytes)
        return false;
    Scanner s{reinterpret_cast<const uchar *>(xml.constData()), reinterpret_cast<const uchar *>(xml.constData()) + xml.size()};
    if (!declaration(s))
        return false;

    QVarLengthArray<PlainName, 16> open; // element names, outermost first
    bool rootDone = false;
    qint64 nodes = 0;
    QVarLengthArray<PlainName, 16> names; // attributes of the current element
    while (s.p < s.end) {
        if (*s.p != '<') {
            ++nodes;
            if (!scanText(s, !open.isEmpty(), visitor))
                return false;
            continue;
        }
        if (s.startsWith("<!--")) {
            ++nodes;
            s.p += 4;
            if (!scanComment(s))
                return false;
            if (!open.isEmpty())
                visitor.comment();
            continue;
        }
        ++s.p;
        if (s.p < s.end && *s.p == '/') {
            ++s.p;
            const PlainName name = s.name();
            s.skipSpace();
            if (open.isEmpty() || !(name == open.last()) || s.p == s.end || *s.p != '>')
                return false;
            ++s.p;
            open.removeLast();
            rootDone = open.isEmpty();
            visitor.endElement();
            continue;
        }
        // A start tag (a '!' or '?' gives no name).
        const PlainName name = s.name();
        if (name.size == 0 || rootDone || reservedName(name) || s.p == s.end)
            return false;
        if (open.size() >= kMaxDefinitionDepth)
            return false;
        if (!visitor.startElement(name))
            return false;
        ++nodes;
        if (!scanAttributes(s, visitor, names, nodes))
            return false;
        const bool empty = *s.p != '>';
        if (empty) {
            s.p += 2;
            rootDone = open.isEmpty();
        } else {
            ++s.p;
            open.append(name);
        }
        visitor.endStartTag(empty);
        if (nodes > kMaxDefinitionNodes / 2)
            return false;
    }
    return rootDone && open.isEmpty();
}

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
