#ifndef KWN_CODEC_UTF8OUT_H
#define KWN_CODEC_UTF8OUT_H

#include "catalogue/hexdigits.h"

#include <QByteArray>

#include <cstring>

// Output bytes written through a pointer; room is made for each piece.
class Utf8Out
{
public:
    explicit Utf8Out(QByteArray &out) : m_out(out), m_size(out.size()) {}
    ~Utf8Out() { m_out.resize(int(m_size)); }
    Utf8Out(const Utf8Out &) = delete;
    Utf8Out &operator=(const Utf8Out &) = delete;

    Q_ALWAYS_INLINE void add(const char *bytes, qsizetype n)
    {
        room(n);
        std::memcpy(m_out.data() + m_size, bytes, size_t(n));
        m_size += n;
    }
    template <int N>
    Q_ALWAYS_INLINE void add(const char (&literal)[N])
    {
        add(literal, N - 1);
    }
    void add(const QByteArray &bytes) { add(bytes.constData(), bytes.size()); }
    void addText(const char *text) { add(text, qsizetype(std::strlen(text))); }
    Q_ALWAYS_INLINE void add(char c)
    {
        room(1);
        m_out.data()[m_size++] = c;
    }
    void addDecimal(quint32 value)
    {
        char digits[10];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value);
        room(n);
        char *at = m_out.data() + m_size;
        while (n)
            *at++ = digits[--n];
        m_size = at - m_out.constData();
    }
    // JSON's ,"raw":N for a number read, a signed one with its sign.
    void addRaw(quint32 pattern, bool isSigned)
    {
        const bool negative = isSigned && qint32(pattern) < 0;
        add(",\"raw\":");
        if (negative)
            add('-');
        addDecimal(negative ? quint32(0) - pattern : pattern);
    }
    // JSON's ,"raw":N,"value":"N" for a decimal integer, whose value text is
    // the raw number's digits: put together in place, in one piece of fixed
    // size (the room after it is free).
    void addRawAndValue(const char *digits, int n)
    {
        constexpr int kMost = 7 + 11 + 10 + 11 + 1;
        room(kMost);
        char *at = m_out.data() + m_size;
        std::memcpy(at, ",\"raw\":", 7);
        std::memcpy(at + 7, digits, size_t(n));
        std::memcpy(at + 7 + n, ",\"value\":\"", 10);
        std::memcpy(at + 17 + n, digits, size_t(n));
        at[17 + 2 * n] = '"';
        m_size += 18 + 2 * n;
    }
    void addNodeId(quint32 address) // six digits: the address has three bytes
    {
        room(6);
        char *at = m_out.data() + m_size;
        for (int i = 5; i >= 0; --i, address >>= 4)
            at[i] = kHexDigitsUpper[address & 0xF];
        m_size += 6;
    }
    void addHexBytes(const QByteArray &bytes)
    {
        const int n = bytes.size();
        room(2 * n);
        char *at = m_out.data() + m_size;
        for (int i = 0; i < n; ++i) {
            const quint8 b = quint8(bytes.at(i));
            *at++ = kHexDigitsUpper[b >> 4];
            *at++ = kHexDigitsUpper[b & 0xF];
        }
        m_size += 2 * n;
    }

private:
    Q_ALWAYS_INLINE void room(qsizetype n)
    {
        if (Q_UNLIKELY(m_size + n > m_out.size()))
            grow(n);
    }
    void grow(qsizetype n) { m_out.resize(int(qMax<qsizetype>(2 * m_out.size(), m_size + n + 4096))); }

    QByteArray &m_out;
    qsizetype m_size;
};

#endif
