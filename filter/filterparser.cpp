// The parser of filter expressions: tokens into the tree of a Program, every
// test checked against the kind of its field when compiled.

#include "filter/filterprogram.h"
#include "filter/filtertokens.h"

#include <algorithm>

namespace {

struct FieldName
{
    const char *name;
    FilterField field;
};
const FieldName kFields[] = {
    {"device", FilterField::Device},        {"message", FilterField::Message},
    {"status", FilterField::Status},        {"source", FilterField::Source},
    {"destination", FilterField::Destination}, {"mode", FilterField::Mode},
    {"direction", FilterField::Direction},  {"ack", FilterField::Ack},
    {"checksum_ok", FilterField::ChecksumOk}, {"node_type", FilterField::NodeType},
};

const char *const kModes[] = {"P2P", "Group", "Broadcast"};

// Edit distance of two texts, ignoring case; anything above `limit` is
// given as limit + 1.
int distance(const QString &a, const QString &b, int limit)
{
    if (qAbs(a.size() - b.size()) > limit)
        return limit + 1;
    const QString x = a.toCaseFolded();
    const QString y = b.toCaseFolded();
    QVector<int> row(y.size() + 1);
    for (int j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        int best = row[0];
        for (int j = 1; j <= y.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x.at(i - 1) == y.at(j - 1) ? 0 : 1)});
            diagonal = above;
            best = std::min(best, row[j]);
        }
        if (best > limit)
            return limit + 1;
    }
    return std::min(row[y.size()], limit + 1);
}

// " (did you mean "X"?)" for the nearest of `names` within two edits, or "".
QString suggestion(const QString &written, const QStringList &names)
{
    constexpr int kLimit = 2;
    QString best;
    int bestDistance = kLimit + 1;
    for (const QString &name : names) {
        const int d = distance(written, name, kLimit);
        if (d < bestDistance || (d == bestDistance && d <= kLimit && name < best)) {
            best = name;
            bestDistance = d;
        }
    }
    return bestDistance <= kLimit ? QStringLiteral(" (did you mean \"%1\"?)").arg(best) : QString();
}

bool isKeyword(const FilterToken &t, const char *word)
{
    return t.kind == FilterToken::Name && t.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

class Parser
{
public:
    Parser(const QVector<FilterToken> &tokens, const QSet<QString> &names, FilterExpression::Program *program,
           FilterError *error)
        : m_tokens(tokens), m_names(names), m_program(program), m_error(error)
    {
    }

    bool parse()
    {
        int root = -1;
        if (!expression(&root))
            return false;
        if (peek().kind != FilterToken::End)
            return fail(QStringLiteral("unexpected \"%1\"").arg(peek().text), peek().column);
        m_program->root = root;
        return true;
    }

private:
    const FilterToken &peek() const { return m_tokens.at(m_at); }
    const FilterToken &next() { return m_tokens.at(m_at++); }

    bool fail(const QString &what, int column)
    {
        m_error->what = what;
        m_error->column = column;
        return false;
    }

    int add(FilterNode node)
    {
        m_program->nodes.append(std::move(node));
        return m_program->nodes.size() - 1;
    }

    int join(FilterNode::Kind kind, int left, int right)
    {
        FilterNode node;
        node.kind = kind;
        node.left = left;
        node.right = right;
        return add(node);
    }

    bool expression(int *node)
    {
        if (!conjunction(node))
            return false;
        while (isKeyword(peek(), "or") || peek().kind == FilterToken::OrOr) {
            next();
            int right = -1;
            if (!conjunction(&right))
                return false;
            *node = join(FilterNode::Or, *node, right);
        }
        return true;
    }

    bool conjunction(int *node)
    {
        if (!negation(node))
            return false;
        while (isKeyword(peek(), "and") || peek().kind == FilterToken::AndAnd) {
            next();
            int right = -1;
            if (!negation(&right))
                return false;
            *node = join(FilterNode::And, *node, right);
        }
        return true;
    }

    bool negation(int *node)
    {
        if (isKeyword(peek(), "not") || peek().kind == FilterToken::Bang) {
            next();
            int inner = -1;
            if (!negation(&inner))
                return false;
            *node = join(FilterNode::Not, inner, -1);
            return true;
        }
        if (peek().kind == FilterToken::Open) {
            next();
            if (!expression(node))
                return false;
            if (peek().kind != FilterToken::Close)
                return fail(QStringLiteral("expected \")\""), peek().column);
            next();
            return true;
        }
        return test(node);
    }

    bool field(FilterNode &node)
    {
        const FilterToken &t = next();
        if (t.kind == FilterToken::Parameter) {
            if (!m_names.contains(t.text)) {
                return fail(QStringLiteral("no message has a parameter \"%1\"%2")
                                .arg(t.text, suggestion(t.text, m_names.values())),
                            t.column);
            }
            node.field = FilterField::Parameter;
            node.parameter = m_program->parameters.indexOf(t.text);
            if (node.parameter < 0) {
                node.parameter = m_program->parameters.size();
                m_program->parameters.append(t.text);
            }
            return true;
        }
        if (t.kind != FilterToken::Name || isKeyword(t, "and") || isKeyword(t, "or") || isKeyword(t, "in")) {
            const QString found = t.kind == FilterToken::End ? QStringLiteral("the end")
                                                             : QStringLiteral("\"%1\"").arg(t.text);
            return fail(QStringLiteral("expected a field, \"[parameter]\", \"not\" or \"(\" but found %1").arg(found),
                        t.column);
        }
        QStringList names;
        for (const FieldName &f : kFields) {
            names << QLatin1String(f.name);
            if (t.text.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) {
                node.field = f.field;
                return true;
            }
        }
        return fail(QStringLiteral("unknown field \"%1\"%2").arg(t.text, suggestion(t.text, names)), t.column);
    }

    bool test(int *index)
    {
        FilterNode node;
        if (!field(node))
            return false;
        const FilterToken &op = peek();
        static const QVector<QPair<FilterToken::Kind, FilterOp>> symbols = {
            {FilterToken::Equal, FilterOp::Equal},   {FilterToken::NotEqual, FilterOp::NotEqual},
            {FilterToken::Less, FilterOp::Less},     {FilterToken::LessEqual, FilterOp::LessEqual},
            {FilterToken::Greater, FilterOp::Greater}, {FilterToken::GreaterEqual, FilterOp::GreaterEqual},
            {FilterToken::BitAnd, FilterOp::BitAnd}};
        node.op = FilterOp::Holds;
        for (const auto &s : symbols)
            if (op.kind == s.first)
                node.op = s.second;
        if (isKeyword(op, "contains"))
            node.op = FilterOp::Contains;
        else if (isKeyword(op, "matches"))
            node.op = FilterOp::Matches;
        else if (isKeyword(op, "in"))
            node.op = FilterOp::In;
        if (node.op == FilterOp::Holds) {
            *index = add(node);
            return true;
        }
        next();
        if (node.op == FilterOp::In) {
            if (!set(node, op))
                return false;
        } else {
            const FilterToken &v = next();
            if (!value(node, op, v))
                return false;
        }
        *index = add(node);
        return true;
    }

    bool set(FilterNode &node, const FilterToken &op)
    {
        if (peek().kind != FilterToken::OpenSet)
            return fail(QStringLiteral("expected \"{\" after \"in\""), peek().column);
        next();
        while (true) {
            const FilterToken &v = next();
            if (!value(node, op, v))
                return false;
            const FilterToken &t = next();
            if (t.kind == FilterToken::CloseSet)
                return true;
            if (t.kind != FilterToken::Comma)
                return fail(QStringLiteral("expected \",\" or \"}\" in the set"), t.column);
        }
    }

    // A value of the test, checked against its field and operator.
    bool value(FilterNode &node, const FilterToken &op, const FilterToken &v);
    bool checkOperator(const FilterNode &node, const FilterToken &op, bool number);
    bool fieldValue(const FilterNode &node, const FilterToken &op, const FilterToken &v, const QString &name,
                    FilterValue &value);

    const QVector<FilterToken> &m_tokens;
    const QSet<QString> &m_names;
    FilterExpression::Program *m_program;
    FilterError *m_error;
    int m_at = 0;
};

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isOrdering(FilterOp op)
{
    return op == FilterOp::Less || op == FilterOp::LessEqual || op == FilterOp::Greater
        || op == FilterOp::GreaterEqual || op == FilterOp::BitAnd;
}

QString fieldText(const FilterNode &node, const QStringList &parameters)
{
    if (node.field == FilterField::Parameter)
        return QStringLiteral("[%1]").arg(parameters.at(node.parameter));
    for (const FieldName &f : kFields)
        if (f.field == node.field)
            return QLatin1String(f.name);
    return QString();
}

bool Parser::checkOperator(const FilterNode &node, const FilterToken &op, bool number)
{
    if (!number && isOrdering(node.op))
        return fail(QStringLiteral("\"%1\" takes a number").arg(op.text), op.column);
    if (number && (node.op == FilterOp::Contains || node.op == FilterOp::Matches))
        return fail(QStringLiteral("\"%1\" takes a string").arg(op.text), op.column);
    return true;
}

// A value as its field reads it: an address's digits or a mode's name as a
// number; a value of the wrong kind refused.
bool Parser::fieldValue(const FilterNode &node, const FilterToken &op, const FilterToken &v, const QString &name,
                        FilterValue &value)
{
    switch (node.field) {
    case FilterField::Device:
    case FilterField::Message:
    case FilterField::Status:
    case FilterField::Direction:
        if (value.isNumber)
            return fail(QStringLiteral("%1 is a text: expected a string").arg(name), v.column);
        if (isOrdering(node.op))
            return fail(QStringLiteral("\"%1\" does not apply to %2, a text").arg(op.text, name), op.column);
        break;
    case FilterField::Source:
    case FilterField::Destination:
        if (!value.isNumber && node.op != FilterOp::Contains && node.op != FilterOp::Matches) {
            bool ok = v.text.size() == 6;
            for (const QChar c : v.text)
                ok = ok && isHexDigit(c);
            value.number = v.text.toLongLong(nullptr, 16);
            if (!ok)
                return fail(QStringLiteral("%1 is six hexadecimal digits").arg(name), v.column);
            value.isNumber = true;
        }
        break;
    case FilterField::Mode:
        if (value.isNumber)
            return fail(QStringLiteral("mode is \"P2P\", \"Group\" or \"Broadcast\""), v.column);
        if (node.op != FilterOp::Contains && node.op != FilterOp::Matches) {
            value.number = -1;
            for (int m = 0; m < 3; ++m)
                if (v.text.compare(QLatin1String(kModes[m]), Qt::CaseInsensitive) == 0)
                    value.number = m;
            if (value.number < 0)
                return fail(QStringLiteral("mode is \"P2P\", \"Group\" or \"Broadcast\""), v.column);
            value.isNumber = true;
        }
        break;
    case FilterField::NodeType:
        if (!value.isNumber)
            return fail(QStringLiteral("node_type is a number"), v.column);
        break;
    default:
        break;
    }
    return true;
}

bool Parser::value(FilterNode &node, const FilterToken &op, const FilterToken &v)
{
    const bool isBool = isKeyword(v, "true") || isKeyword(v, "false");
    if (v.kind != FilterToken::Number && v.kind != FilterToken::String && !isBool)
        return fail(QStringLiteral("expected a value after \"%1\"").arg(op.text), v.column);
    const QString name = fieldText(node, m_program->parameters);
    FilterValue value;
    value.isNumber = v.kind != FilterToken::String;
    value.number = isBool ? qint64(isKeyword(v, "true")) : v.number;
    value.text = v.text;
    const bool flagField = node.field == FilterField::Ack || node.field == FilterField::ChecksumOk;
    if (flagField != isBool)
        return fail(flagField ? QStringLiteral("%1 is true or false").arg(name)
                              : QStringLiteral("%1 is not compared with true or false").arg(name),
                    v.column);
    if (flagField && node.op != FilterOp::Equal && node.op != FilterOp::NotEqual)
        return fail(QStringLiteral("%1 takes \"==\" or \"!=\"").arg(name), op.column);
    if (!fieldValue(node, op, v, name, value))
        return false;
    const bool textField = node.field == FilterField::Device || node.field == FilterField::Message
        || node.field == FilterField::Status || node.field == FilterField::Direction
        || node.field == FilterField::Mode;
    if (!checkOperator(node, op, value.isNumber && !textField))
        return false;
    if (node.op == FilterOp::Matches) {
        node.regex = QRegularExpression(v.text, QRegularExpression::CaseInsensitiveOption);
        if (!node.regex.isValid())
            return fail(QStringLiteral("bad regular expression: %1").arg(node.regex.errorString()),
                        v.column + 1 + node.regex.patternErrorOffset());
        node.regex.optimize();
    }
    node.values.append(value);
    return true;
}

} // namespace

bool parseFilter(const QVector<FilterToken> &tokens, const QSet<QString> &parameterNames,
                 FilterExpression::Program *program, FilterError *error)
{
    return Parser(tokens, parameterNames, program, error).parse();
}
