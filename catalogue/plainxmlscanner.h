#ifndef KWN_CATALOGUE_PLAINXMLSCANNER_H
#define KWN_CATALOGUE_PLAINXMLSCANNER_H

// A quick check for the plain XML that definition files are written in: one
// pass over the bytes, no allocation but for the attributes asked for. It
// says yes only where it is sure: anything less plain (a document type, a
// processing instruction other than the declaration, CDATA, an encoding
// other than UTF-8, names outside ASCII or with a colon, a '>' or a
// reference it does not know...) is left to the full parser, which then
// decides as it always did.

#include "catalogue/catalogue.h"
#include "catalogue/hexdigits.h"

#include <QByteArray>
#include <QVarLengthArray>

#include <cstring>

namespace plainxml {

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
bool declaration(Scanner &s);

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
bool scanComment(Scanner &s);

// An attribute's value up to its closing quote (left unread).
bool scanAttributeValue(Scanner &s, uchar quote, bool *references, bool *whiteSpace);

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

} // namespace plainxml

#endif
