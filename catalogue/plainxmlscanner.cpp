#include "catalogue/plainxmlscanner.h"

namespace plainxml {

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

} // namespace plainxml
