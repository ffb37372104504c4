#include "dissector/wiresharkfilter.h"

#include "filter/filterprogram.h"

#include <QRegularExpression>

#include <limits>

namespace dissector {

namespace {

// A test that no frame passes.
const QString kNever = QStringLiteral("(kwn.status && !kwn.status)");

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

QString anyOf(const QStringList &tests)
{
    if (tests.isEmpty())
        return kNever;
    return tests.size() == 1 ? tests.first() : QLatin1Char('(') + tests.join(QStringLiteral(" || ")) + QLatin1Char(')');
}

QString both(const QString &a, const QString &b)
{
    return QStringLiteral("(%1 && %2)").arg(a, b);
}

// Whether the dissector shows a string's character otherwise than as it is
// (an escape in kwn.parameter; see visible_char).
bool shownEscaped(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0xAD || c == QLatin1Char('\\'))
            return true;
    }
    return false;
}

// A regular expression made to match within the text after `prefix` only:
// each ^ or \A outside a class becomes "just after the prefix".
QString anchoredAfter(const QString &pattern, const QString &prefix)
{
    const QString start = QStringLiteral("(?<=^%1)").arg(QRegularExpression::escape(prefix));
    QString out;
    bool inClass = false;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            const QChar next = pattern.at(i + 1);
            if (next == QLatin1Char('Q')) {
                const int end = pattern.indexOf(QLatin1String("\\E"), i + 2);
                const int stop = end < 0 ? pattern.size() : end + 2;
                out += pattern.mid(i, stop - i);
                i = stop - 1;
            } else if (next == QLatin1Char('A') && !inClass) {
                out += start;
                ++i;
            } else {
                out += c;
                out += next;
                ++i;
            }
            continue;
        }
        if (inClass) {
            if (c == QLatin1Char('[') && pattern.mid(i, 2) == QLatin1String("[:")) {
                const int end = pattern.indexOf(QLatin1String(":]"), i + 2);
                if (end > 0) {
                    out += pattern.mid(i, end + 2 - i);
                    i = end + 1;
                    continue;
                }
            }
            inClass = c != QLatin1Char(']');
            out += c;
        } else if (c == QLatin1Char('[')) {
            inClass = true;
            out += c;
            // A "]" first (after a "^") is a member.
            if (i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('^'))
                out += pattern.at(++i);
            if (i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char(']'))
                out += pattern.at(++i);
        } else {
            out += c == QLatin1Char('^') ? start : QString(c);
        }
    }
    return out;
}

// `field OP v` for a field whose values run from lo to hi, `present` the
// test that it is there: a value past either end (which Wireshark would
// refuse for the field) decided here.
QString numberTest(const QString &field, const QString &present, FilterOp op, qint64 v, qint64 lo, qint64 hi,
                   const std::function<QString(qint64)> &text)
{
    const bool inside = v >= lo && v <= hi;
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return inside ? QStringLiteral("%1 == %2").arg(field, text(v)) : kNever;
    case FilterOp::NotEqual:
        return inside ? both(present, QStringLiteral("!(%1 == %2)").arg(field, text(v))) : present;
    case FilterOp::Less:
        return v > hi ? present : v <= lo ? kNever : QStringLiteral("%1 < %2").arg(field, text(v));
    case FilterOp::LessEqual:
        return v >= hi ? present : v < lo ? kNever : QStringLiteral("%1 <= %2").arg(field, text(v));
    case FilterOp::Greater:
        return v < lo ? present : v >= hi ? kNever : QStringLiteral("%1 > %2").arg(field, text(v));
    case FilterOp::GreaterEqual:
        return v <= lo ? present : v > hi ? kNever : QStringLiteral("%1 >= %2").arg(field, text(v));
    default:
        return kNever;
    }
}

// The tests of a node over its values: any of them for "in".
QString overValues(const FilterNode &n, const std::function<QString(const FilterValue &)> &one)
{
    QStringList tests;
    for (const FilterValue &v : n.values)
        tests << one(v);
    return anyOf(tests);
}

// A text test of a field of text (device, message, status, an address, a
// parameter's string): case as the filter's own; a field that is absent
// fails "!=" too.
QString textTest(const QString &field, FilterOp op, const QString &value)
{
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return QStringLiteral("%1 == %2").arg(field, literal(value));
    case FilterOp::NotEqual:
        return both(field, QStringLiteral("!(%1 == %2)").arg(field, literal(value)));
    case FilterOp::Contains:
        return QStringLiteral("%1 contains %2").arg(field, literal(value));
    case FilterOp::Matches:
        // Wireshark's regular expressions ignore case, as the filter's do.
        return QStringLiteral("%1 matches %2").arg(field, literal(value));
    default:
        return kNever;
    }
}

QString number(qint64 v)
{
    return QString::number(v);
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
    Translator(const FilterExpression::Program &program, const QHash<QString, WiresharkField> &fields)
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
    QString addressTest(const FilterNode &n);
    QString probed(int index, const QString &field, const QVector<QPair<QString, Probe>> &cases);
    QString probedTest(int index, const FilterNode &n);
    QString parameterTest(const FilterNode &n);
    QString parameterNumber(const QString &field, WiresharkField::Type type, FilterOp op, qint64 v);
    QString shownText(const QString &name, FilterOp op, const QString &value);

    QString refuse(const QString &why)
    {
        if (problem.isEmpty())
            problem = why;
        return kNever;
    }

    const FilterExpression::Program &m_program;
    const QHash<QString, WiresharkField> &m_fields;
};

// Header fields are the decoding's only when a product decodes the frame.
QString decoded(const QString &test)
{
    return both(QStringLiteral("kwn.device"), test);
}

QString Translator::test(int index, const FilterNode &n)
{
    switch (n.field) {
    case FilterField::Device:
    case FilterField::Message:
    case FilterField::Status: {
        const QString field = n.field == FilterField::Device ? QStringLiteral("kwn.device")
            : n.field == FilterField::Message              ? QStringLiteral("kwn.message")
                                                           : QStringLiteral("kwn.status");
        if (n.op == FilterOp::Holds)
            return field;
        return overValues(n, [&](const FilterValue &v) { return textTest(field, n.op, v.text); });
    }
    case FilterField::Source:
    case FilterField::Destination:
        return n.op == FilterOp::Holds ? QStringLiteral("kwn.device") : decoded(addressTest(n));
    case FilterField::NodeType:
        if (n.op == FilterOp::Holds)
            return decoded(QStringLiteral("kwn.node_type"));
        return decoded(overValues(n, [&n](const FilterValue &v) {
            if (n.op == FilterOp::BitAnd)
                return v.number & 0xFF ? QStringLiteral("kwn.node_type & %1").arg(v.number & 0xFF) : kNever;
            return numberTest(QStringLiteral("kwn.node_type"), QStringLiteral("kwn.node_type"), n.op, v.number, 0,
                              0xFF, number);
        }));
    case FilterField::Parameter:
        return parameterTest(n);
    default:
        break;
    }
    return probedTest(index, n);
}

// An address: its six digits in kwn.source or kwn.destination; "&" on the
// bytes of the frame, which hold it inverted, least significant byte first.
QString Translator::addressTest(const FilterNode &n)
{
    const bool source = n.field == FilterField::Source;
    const QString field = source ? QStringLiteral("kwn.source") : QStringLiteral("kwn.destination");
    // After the record's direction byte: the identifier, control, node types, source, destination.
    const int firstByte = source ? 4 : 7;
    return overValues(n, [&](const FilterValue &v) {
        if (!v.isNumber) // contains or matches: the digits, in capitals
            return textTest(field, n.op, n.op == FilterOp::Matches ? v.text : v.text.toUpper());
        if (n.op != FilterOp::BitAnd) {
            return numberTest(field, field, n.op, v.number, 0, 0xFFFFFF, [](qint64 address) {
                return literal(QStringLiteral("%1").arg(address, 6, 16, QLatin1Char('0')).toUpper());
            });
        }
        // A bit of the address is set where the frame's bit is clear.
        QStringList bits;
        for (int bit = 0; bit < 24; ++bit) {
            if (quint64(v.number) & (quint64(1) << bit))
                bits << QStringLiteral("!(kwn[%1] & 0x%2)").arg(firstByte + bit / 8).arg(1 << (bit % 8), 2, 16, QLatin1Char('0'));
        }
        return anyOf(bits);
    });
}

// A number compared with a parameter's number in its field.
QString Translator::parameterNumber(const QString &field, WiresharkField::Type type, FilterOp op, qint64 v)
{
    constexpr qint64 kMin32 = std::numeric_limits<qint32>::min();
    constexpr qint64 kMax32 = std::numeric_limits<qint32>::max();
    if (op == FilterOp::BitAnd) {
        if (type == WiresharkField::Unsigned)
            return v & 0xFFFFFFFF ? QStringLiteral("%1 & %2").arg(field).arg(v & 0xFFFFFFFF) : kNever;
        if (type == WiresharkField::Wide)
            return QStringLiteral("%1 & %2").arg(field).arg(v);
        // A signed number's bits from 31 up are its sign.
        QStringList tests;
        if (v & kMax32)
            tests << QStringLiteral("%1 & %2").arg(field).arg(v & kMax32);
        if (quint64(v) & ~quint64(kMax32))
            tests << QStringLiteral("%1 < 0").arg(field);
        return anyOf(tests);
    }
    const qint64 lo = type == WiresharkField::Unsigned ? 0 : type == WiresharkField::Signed ? kMin32
                                                                                              : std::numeric_limits<qint64>::min();
    const qint64 hi = type == WiresharkField::Unsigned ? 0xFFFFFFFF : type == WiresharkField::Signed ? kMax32
                                                                                                     : std::numeric_limits<qint64>::max();
    return numberTest(field, field, op, v, lo, hi, number);
}

// A test of a number's shown text: "Name=text" in kwn.parameter, one item
// per parameter that has a text.
QString Translator::shownText(const QString &name, FilterOp op, const QString &value)
{
    const QString prefix = name + QLatin1Char('=');
    const QString start = QStringLiteral("(?-i)^") + QRegularExpression::escape(prefix);
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return textTest(QStringLiteral("kwn.parameter"), FilterOp::Equal, prefix + value);
    case FilterOp::NotEqual:
        return both(QStringLiteral("kwn.parameter matches %1").arg(literal(start)),
                    QStringLiteral("!(kwn.parameter == %1)").arg(literal(prefix + value)));
    case FilterOp::Contains:
        return QStringLiteral("kwn.parameter matches %1")
            .arg(literal(start + QStringLiteral("(?s:.*)") + QRegularExpression::escape(value)));
    case FilterOp::Matches:
        return QStringLiteral("kwn.parameter matches %1")
            .arg(literal(start + QStringLiteral("(?s:.*?)(?i:") + anchoredAfter(value, prefix) + QLatin1Char(')')));
    default:
        return kNever;
    }
}

QString Translator::parameterTest(const FilterNode &n)
{
    const QString &name = m_program.parameters.at(n.parameter);
    // Every row shown has its name there, a bare label's too.
    if (n.op == FilterOp::Holds)
        return QStringLiteral("kwn.parameter_name == %1").arg(literal(name));
    const QString field = wiresharkFieldName(name);
    const auto found = m_fields.constFind(field);
    if (found == m_fields.cend())
        return kNever; // no parameter of the name holds a number or text
    const WiresharkField::Type type = found->type;
    const QString test = overValues(n, [&](const FilterValue &v) {
        if (type == WiresharkField::Mixed) {
            if (v.isNumber)
                return refuse(QStringLiteral("%1 holds the numbers of [%2] as text, beside strings: no field "
                                             "holds them as numbers").arg(field, name));
            if (n.op == FilterOp::Contains || n.op == FilterOp::Matches || shownEscaped(v.text))
                return refuse(QStringLiteral("[%1] is a string in some messages and a number in others: no field "
                                             "tells \"%2\" of its string's characters from its shown text")
                                  .arg(name, QString::fromLatin1(n.op == FilterOp::Contains ? "contains"
                                                                 : n.op == FilterOp::Matches ? "matches"
                                                                                             : "==")));
            return shownText(name, n.op, v.text);
        }
        if (type == WiresharkField::Strings)
            return v.isNumber ? kNever : textTest(field, n.op, v.text); // a string has no number
        return v.isNumber ? parameterNumber(field, type, n.op, v.number) : shownText(name, n.op, v.text);
    });
    // Names that share the field: the test is of this one's.
    if (found->names.size() > 1)
        return both(QStringLiteral("kwn.parameter_name == %1").arg(literal(name)), test);
    return test;
}

// A field of few values: the values for which the test holds, asked of the
// evaluator itself.
QString Translator::probed(int index, const QString &field, const QVector<QPair<QString, Probe>> &cases)
{
    QStringList holding;
    for (const auto &c : cases)
        if (evaluateFilter(m_program, index, c.second))
            holding << QStringLiteral("%1 == %2").arg(field, c.first);
    return anyOf(holding);
}

// Mode, direction and the flags: the values for which the test holds.
QString Translator::probedTest(int index, const FilterNode &n)
{
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

QString wiresharkFilter(const FilterExpression &expression, const QHash<QString, WiresharkField> &fields,
                        QString *problem)
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
