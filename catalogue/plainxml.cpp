#include "catalogue/catalogue.h"

// A quick check for the plain XML that definition files are written in: one
// pass over the bytes, no allocation but for the attributes asked for. It
// says yes only where it is sure: anything less plain (a document type, a
// processing instruction other than the declaration, CDATA, an encoding
// other than UTF-8, names outside ASCII or with a colon, a '>' or a
// reference it does not know...) is left to the full parser, which then
// decides as it always did.

namespace {

inline bool isSpace(uchar c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
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
inline bool reservedName(const QByteArray &name)
{
    return name.size() >= 3 && (name.at(0) | 0x20) == 'x' && (name.at(1) | 0x20) == 'm' && (name.at(2) | 0x20) == 'l';
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
    QByteArray name()
    {
        const uchar *start = p;
        if (p < end && isNameStart(*p)) {
            ++p;
            while (p < end && isNameChar(*p))
                ++p;
        }
        return QByteArray::fromRawData(reinterpret_cast<const char *>(start), int(p - start));
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
    // ordinary characters.
    bool reference()
    {
        static const char *const named[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"};
        for (const char *n : named) {
            if (startsWith(n)) {
                p += qstrlen(n);
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
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || digits >= 6)
                return false;
            value = value * (hex ? 16 : 10) + uint(d);
        }
        if (p == end || digits == 0)
            return false;
        ++p;
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

} // namespace

bool plainXmlCheck(const QByteArray &xml, const char *element, QVector<QPair<QByteArray, QByteArray>> *attributes,
                   bool *found)
{
    *found = false;
    attributes->clear();
    if (xml.isEmpty() || xml.size() > kMaxDefinitionFileBytes)
        return false;
    Scanner s{reinterpret_cast<const uchar *>(xml.constData()), reinterpret_cast<const uchar *>(xml.constData()) + xml.size()};
    if (!declaration(s))
        return false;

    QVector<QByteArray> open; // element names, outermost first
    bool rootDone = false;
    qint64 nodes = 0;
    QVector<QByteArray> names; // attributes of the current element
    while (s.p < s.end) {
        if (*s.p != '<') {
            // Text: outside the root element only white space.
            ++nodes;
            while (s.p < s.end && *s.p != '<') {
                if (open.isEmpty()) {
                    if (!isSpace(*s.p))
                        return false;
                    ++s.p;
                } else if (*s.p == '&') {
                    if (!s.reference())
                        return false;
                } else if (*s.p == '>' || *s.p == ']') {
                    return false;
                } else if (!s.character()) {
                    return false;
                }
            }
            continue;
        }
        if (s.startsWith("<!--")) {
            ++nodes;
            s.p += 4;
            for (;;) {
                if (s.p == s.end || *s.p == '<' || *s.p == '&')
                    return false;
                if (s.startsWith("--")) {
                    if (!s.startsWith("-->"))
                        return false;
                    s.p += 3;
                    break;
                }
                if (!s.character())
                    return false;
            }
            continue;
        }
        ++s.p;
        if (s.p < s.end && *s.p == '/') {
            ++s.p;
            const QByteArray name = s.name();
            s.skipSpace();
            if (open.isEmpty() || name != open.last() || s.p == s.end || *s.p != '>')
                return false;
            ++s.p;
            open.removeLast();
            rootDone = open.isEmpty();
            continue;
        }
        // A start tag (a '!' or '?' gives no name).
        const QByteArray name = s.name();
        if (name.isEmpty() || rootDone || reservedName(name) || s.p == s.end)
            return false;
        if (open.size() >= kMaxDefinitionDepth)
            return false;
        const bool wanted = element && !*found && name == element;
        names.clear();
        ++nodes;
        for (;;) {
            const uchar *before = s.p;
            s.skipSpace();
            if (s.p == s.end)
                return false;
            if (*s.p == '>' || s.startsWith("/>"))
                break;
            if (s.p == before)
                return false;
            const QByteArray attribute = s.name();
            if (attribute.isEmpty() || reservedName(attribute) || names.contains(attribute))
                return false;
            names.append(attribute);
            ++nodes;
            uchar quote = 0;
            if (!s.equalsAndQuote(&quote))
                return false;
            const uchar *value = s.p;
            bool verbatim = true; // no reference, tab or line end to turn into something else
            while (s.p < s.end && *s.p != quote) {
                const uchar c = *s.p;
                if (c == '<' || c == '>')
                    return false;
                if (c == '&') {
                    verbatim = false;
                    if (!s.reference())
                        return false;
                    continue;
                }
                if (c == '\t' || c == '\n' || c == '\r')
                    verbatim = false;
                if (!s.character())
                    return false;
            }
            if (s.p == s.end)
                return false;
            if (wanted) {
                if (!verbatim)
                    return false;
                attributes->append(qMakePair(attribute, QByteArray(reinterpret_cast<const char *>(value),
                                                                   int(s.p - value))));
            }
            ++s.p;
        }
        if (wanted)
            *found = true;
        if (*s.p == '>') {
            ++s.p;
            open.append(name);
        } else {
            s.p += 2;
            rootDone = open.isEmpty();
        }
        if (nodes > kMaxDefinitionNodes / 2)
            return false;
    }
    return rootDone && open.isEmpty();
}
