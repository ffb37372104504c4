#include "filter/filtertokens.h"

#include "filter/filterexpression.h"

namespace {

bool isNameStart(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || c == QLatin1Char('_');
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool fail(FilterError *error, const QString &what, int index)
{
    error->what = what;
    error->column = index + 1;
    return false;
}

// A number at `i` (a sign, then decimal digits or 0x and hexadecimal ones),
// letters right after it being part of it, so that "12ab" is one bad number.
bool readNumber(const QString &text, int &i, FilterToken &token, FilterError *error)
{
    const int start = i;
    bool negative = false;
    if (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))
        negative = text.at(i++) == QLatin1Char('-');
    int digitsAt = i;
    int base = 10;
    if (i + 1 < text.size() && text.at(i) == QLatin1Char('0')
        && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        digitsAt = i + 2;
    }
    int end = digitsAt;
    while (end < text.size() && isNameChar(text.at(end)))
        ++end;
    const QString written = text.mid(start, end - start);
    bool ok = end > digitsAt;
    const quint64 magnitude = text.mid(digitsAt, end - digitsAt).toULongLong(&ok, base);
    if (!ok || end == digitsAt)
        return fail(error, QStringLiteral("bad number \"%1\"").arg(written), start);
    const quint64 limit = negative ? quint64(1) << 63 : (quint64(1) << 63) - 1;
    if (magnitude > limit)
        return fail(error, QStringLiteral("number \"%1\" out of range").arg(written), start);
    token.kind = FilterToken::Number;
    token.text = written;
    token.number = negative ? qint64(quint64(0) - magnitude) : qint64(magnitude);
    i = end;
    return true;
}

bool readString(const QString &text, int &i, FilterToken &token, FilterError *error)
{
    const int start = i++;
    QString value;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            token.kind = FilterToken::String;
            token.text = value;
            ++i;
            return true;
        }
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= text.size())
                break;
            const QChar escaped = text.at(i + 1);
            if (escaped != QLatin1Char('"') && escaped != QLatin1Char('\\'))
                return fail(error, QStringLiteral("unknown escape \"\\%1\" in a string").arg(escaped), i);
            value += escaped;
            i += 2;
            continue;
        }
        value += c;
        ++i;
    }
    return fail(error, QStringLiteral("string not closed by \""), start);
}

bool readParameter(const QString &text, int &i, FilterToken &token, FilterError *error)
{
    const int close = text.indexOf(QLatin1Char(']'), i + 1);
    if (close < 0)
        return fail(error, QStringLiteral("parameter name not closed by \"]\""), i);
    token.kind = FilterToken::Parameter;
    token.text = text.mid(i + 1, close - i - 1).trimmed();
    if (token.text.isEmpty())
        return fail(error, QStringLiteral("expected a parameter name in \"[]\""), i);
    i = close + 1;
    return true;
}

// The operators and punctuation, longest first.
struct Symbol
{
    const char *text;
    FilterToken::Kind kind;
};
const Symbol kSymbols[] = {
    {"==", FilterToken::Equal},    {"!=", FilterToken::NotEqual},  {"<=", FilterToken::LessEqual},
    {">=", FilterToken::GreaterEqual}, {"&&", FilterToken::AndAnd}, {"||", FilterToken::OrOr},
    {"<", FilterToken::Less},      {">", FilterToken::Greater},   {"&", FilterToken::BitAnd},
    {"!", FilterToken::Bang},      {"(", FilterToken::Open},      {")", FilterToken::Close},
    {"{", FilterToken::OpenSet},   {"}", FilterToken::CloseSet},  {",", FilterToken::Comma},
};

bool readSymbol(const QString &text, int &i, FilterToken &token)
{
    for (const Symbol &symbol : kSymbols) {
        const QLatin1String s(symbol.text);
        if (QStringView(text).mid(i, s.size()) == s) {
            token.kind = symbol.kind;
            token.text = s;
            i += s.size();
            return true;
        }
    }
    return false;
}

} // namespace

bool tokenizeFilter(const QString &text, QVector<FilterToken> *tokens, FilterError *error)
{
    tokens->clear();
    int i = 0;
    while (true) {
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        FilterToken token;
        token.column = i + 1;
        if (i >= text.size()) {
            tokens->append(token);
            return true;
        }
        const QChar c = text.at(i);
        const bool signedNumber = (c == QLatin1Char('-') || c == QLatin1Char('+')) && i + 1 < text.size()
            && isDigit(text.at(i + 1));
        if (isDigit(c) || signedNumber) {
            if (!readNumber(text, i, token, error))
                return false;
        } else if (isNameStart(c)) {
            const int start = i;
            while (i < text.size() && isNameChar(text.at(i)))
                ++i;
            token.kind = FilterToken::Name;
            token.text = text.mid(start, i - start);
        } else if (c == QLatin1Char('"')) {
            if (!readString(text, i, token, error))
                return false;
        } else if (c == QLatin1Char('[')) {
            if (!readParameter(text, i, token, error))
                return false;
        } else if (!readSymbol(text, i, token)) {
            if (c == QLatin1Char('='))
                return fail(error, QStringLiteral("expected \"==\" rather than \"=\""), i);
            return fail(error, QStringLiteral("unexpected \"%1\"").arg(c), i);
        }
        tokens->append(token);
    }
}
