#include "dissector/wiresharkfilter.h"

#include "dissector/luadissector.h"
#include "filter/filterprogram.h"

#include <QRegularExpression>

#include <functional>

namespace dissector {

namespace {

// A display filter's string literal.
QString literal(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

// A frame with the one fact that a translation asks the evaluator about:
// the addressing mode, the direction or a flag.
class Probe : public FilterFrame
{
public:
    bool parsed() const override { return true; }
    bool checksumOk() const override { return flag; }
    bool productFound() const override { return true; }
    const FrameFields &fields() const override { return frameFields; }
    const QString &device() const override { return none; }
    const QString &message() const override { return none; }
    QString status() const override { return none; }
    const QString &direction() const override { return directionText; }
    bool parameter(int, const QString &, bool *, qint64 *) const override { return false; }
    QString parameterText(int, const QString &) const override { return QString(); }

    FrameFields frameFields;
    QString directionText;
    bool flag = false;
    QString none;
};

class Translator
{
public:
    Translator(const FilterExpression::Program &program, const QHash<QString, bool> &fields)
        : m_program(program), m_fields(fields)
    {
    }

    QString node(int index)
    {
        const FilterNode &n = m_program.nodes.at(index);
        switch (n.kind) {
        case FilterNode::And:
            return QStringLiteral("(%1 && %2)").arg(node(n.left), node(n.right));
        case FilterNode::Or:
            return QStringLiteral("(%1 || %2)").arg(node(n.left), node(n.right));
        case FilterNode::Not:
            return QStringLiteral("!(%1)").arg(node(n.left));
        case FilterNode::Test:
            return test(index, n);
        }
        return QString();
    }

    QString problem;

private:
    QString test(int index, const FilterNode &n);
    QString probed(int index, const QString &field, const QVector<QPair<QString, Probe>> &cases);
    QString compared(const QString &field, const FilterNode &n, const std::function<QString(const FilterValue &)> &rhs);
    QString parameterTest(const FilterNode &n);
    QString probedTest(int index, const FilterNode &n);

    QString refuse(const QString &why)
    {
        if (problem.isEmpty())
            problem = why;
        return QStringLiteral("false");
    }

    const FilterExpression::Program &m_program;
    const QHash<QString, bool> &m_fields;
};

const char *operatorText(FilterOp op)
{
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
    case FilterOp::NotEqual:
        return "==";
    case FilterOp::Less:
        return "<";
    case FilterOp::LessEqual:
        return "<=";
    case FilterOp::Greater:
        return ">";
    case FilterOp::GreaterEqual:
        return ">=";
    case FilterOp::Contains:
        return "contains";
    case FilterOp::Matches:
        return "matches";
    case FilterOp::BitAnd:
        return "&";
    default:
        return "";
    }
}

// `field OP value` for each value (any of them for `in`); a field that is
// absent fails `!=` too, as it fails every comparison.
QString Translator::compared(const QString &field, const FilterNode &n,
                             const std::function<QString(const FilterValue &)> &rhs)
{
    QStringList any;
    for (const FilterValue &v : n.values) {
        // Regular expressions ignore case, as the filter's do.
        const QString value = n.op == FilterOp::Matches ? literal(QStringLiteral("(?i)") + v.text) : rhs(v);
        any << QStringLiteral("%1 %2 %3").arg(field, QLatin1String(operatorText(n.op)), value);
    }
    const QString joined = any.size() == 1 ? any.first() : QLatin1Char('(') + any.join(QStringLiteral(" || ")) + QLatin1Char(')');
    return n.op == FilterOp::NotEqual ? QStringLiteral("(%1 && !(%2))").arg(field, joined) : joined;
}

// A field of few values: the values for which the test holds, asked of the
// evaluator itself.
QString Translator::probed(int index, const QString &field, const QVector<QPair<QString, Probe>> &cases)
{
    QStringList holding;
    for (const auto &c : cases)
        if (evaluateFilter(m_program, index, c.second))
            holding << QStringLiteral("%1 == %2").arg(field, c.first);
    if (holding.isEmpty())
        return QStringLiteral("(%1 && !%1)").arg(field);
    return holding.size() == 1 ? holding.first() : QLatin1Char('(') + holding.join(QStringLiteral(" || ")) + QLatin1Char(')');
}

QString Translator::parameterTest(const FilterNode &n)
{
    const QString &name = m_program.parameters.at(n.parameter);
    const QString field = wiresharkFieldName(name);
    if (!m_fields.contains(field)) {
        // No parameter of the name holds a number or text: no comparison holds.
        if (n.op == FilterOp::Holds)
            return refuse(QStringLiteral("[%1] holds no number nor text: no field shows it").arg(name));
        return QStringLiteral("(kwn.status && !kwn.status)");
    }
    if (n.op == FilterOp::Holds)
        return field;
    const bool textField = m_fields.value(field);
    const bool numbers = n.values.first().isNumber;
    for (const FilterValue &v : n.values)
        if (v.isNumber != numbers)
            return refuse(QStringLiteral("%1 is compared with numbers and strings at once").arg(field));
    if (numbers && textField)
        return refuse(QStringLiteral("%1 holds text: strings and numbers share the name").arg(field));
    if (numbers || textField)
        return compared(field, n, [](const FilterValue &v) {
            return v.isNumber ? QString::number(v.number) : literal(v.text);
        });
    // The shown text of a number: "Name=text" in kwn.parameter.
    const QString prefix = name + QLatin1Char('=');
    QStringList any;
    for (const FilterValue &v : n.values) {
        if (n.op == FilterOp::Matches)
            return refuse(QStringLiteral("\"matches\" on the text of [%1], a number: no field holds it alone").arg(name));
        if (n.op == FilterOp::Contains)
            any << QStringLiteral("kwn.parameter matches %1")
                       .arg(literal(QLatin1Char('^') + QRegularExpression::escape(prefix) + QStringLiteral(".*")
                                    + QRegularExpression::escape(v.text)));
        else
            any << QStringLiteral("kwn.parameter == %1").arg(literal(prefix + v.text));
    }
    const QString joined = any.size() == 1 ? any.first() : QLatin1Char('(') + any.join(QStringLiteral(" || ")) + QLatin1Char(')');
    return n.op == FilterOp::NotEqual ? QStringLiteral("(%1 && !(%2))").arg(field, joined) : joined;
}

QString Translator::test(int index, const FilterNode &n)
{
    const auto number = [](const FilterValue &v) { return QString::number(v.number); };
    const auto address = [](const FilterValue &v) {
        return v.isNumber ? literal(QStringLiteral("%1").arg(v.number, 6, 16, QLatin1Char('0')).toUpper())
                          : literal(v.text.toUpper());
    };
    // Header fields are the decoding's only when a product decodes the frame.
    const auto decoded = [](const QString &test) { return QStringLiteral("(kwn.device && %1)").arg(test); };
    switch (n.field) {
    case FilterField::Device:
    case FilterField::Message:
    case FilterField::Status: {
        const QString field = n.field == FilterField::Device ? QStringLiteral("kwn.device")
            : n.field == FilterField::Message              ? QStringLiteral("kwn.message")
                                                           : QStringLiteral("kwn.status");
        return n.op == FilterOp::Holds ? field
                                       : compared(field, n, [](const FilterValue &v) { return literal(v.text); });
    }
    case FilterField::Source:
    case FilterField::Destination: {
        const QString field = n.field == FilterField::Source ? QStringLiteral("kwn.source") : QStringLiteral("kwn.destination");
        if (n.op == FilterOp::BitAnd)
            return refuse(QStringLiteral("\"&\" on %1: it holds text").arg(field));
        if (n.op == FilterOp::Holds)
            return QStringLiteral("kwn.device");
        return decoded(compared(field, n, address));
    }
    case FilterField::NodeType:
        return decoded(n.op == FilterOp::Holds ? QStringLiteral("kwn.node_type")
                                               : compared(QStringLiteral("kwn.node_type"), n, number));
    case FilterField::Parameter:
        return parameterTest(n);
    default:
        break;
    }
    return probedTest(index, n);
}

// Mode, direction and the flags: the values for which the test holds.
QString Translator::probedTest(int index, const FilterNode &n)
{
    const auto decoded = [](const QString &test) { return QStringLiteral("(kwn.device && %1)").arg(test); };
    QVector<QPair<QString, Probe>> cases;
    if (n.field == FilterField::Mode) {
        const quint32 destinations[] = {1, 0, 0xFFFFFF};
        const char *const names[] = {"\"P2P\"", "\"GROUP\"", "\"BROADCAST\""};
        for (int m = 0; m < 3; ++m) {
            Probe probe;
            probe.frameFields.destinationAddress = destinations[m];
            cases.append({QLatin1String(names[m]), probe});
        }
        return decoded(probed(index, QStringLiteral("kwn.mode"), cases));
    }
    if (n.field == FilterField::Direction) {
        for (int d = 0; d < 2; ++d) {
            Probe probe;
            probe.directionText = QLatin1String(d ? "TX" : "RX");
            cases.append({QString::number(d), probe});
        }
        return probed(index, QStringLiteral("kwn.direction"), cases);
    }
    for (int f = 0; f < 2; ++f) {
        Probe probe;
        probe.flag = f;
        probe.frameFields.ackRequested = f;
        cases.append({QString::number(f), probe});
    }
    if (n.field == FilterField::Ack)
        return decoded(probed(index, QStringLiteral("kwn.ack"), cases));
    return probed(index, QStringLiteral("kwn.checksum_ok"), cases);
}

} // namespace

QString wiresharkFilter(const FilterExpression &expression, const QHash<QString, bool> &fields, QString *problem)
{
    const FilterExpression::Program *program = expression.program();
    if (!program)
        return QStringLiteral("kwn.status");
    Translator translator(*program, fields);
    QString filter = translator.node(program->root);
    if (!translator.problem.isEmpty()) {
        if (problem)
            *problem = translator.problem;
        return QString();
    }
    // Noise runs and damaged records are no frames: only a negation could
    // take them in.
    bool negates = false;
    for (const FilterNode &n : program->nodes)
        negates = negates || n.kind == FilterNode::Not;
    return negates ? QStringLiteral("kwn.status && %1").arg(filter) : filter;
}

} // namespace dissector
