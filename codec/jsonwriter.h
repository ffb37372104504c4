#ifndef KWN_CODEC_JSONWRITER_H
#define KWN_CODEC_JSONWRITER_H

// The JSON writer of the reports (reportwriters.cpp) and of the plain-frame
// path (plainframereport.cpp).

#include "catalogue/hexdigits.h"

#include <QString>

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
        const char *hex = kHexDigitsLower;
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

#endif
