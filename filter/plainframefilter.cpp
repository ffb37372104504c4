#include "filter/plainframefilter.h"

#include "filter/filterevaluation.h"
#include "filter/filterframe.h"

#include <QVector>

#include <limits>

namespace {

// Where a parameter that the expression names is in a message's data.
struct Place
{
    const ParameterDefinition *definition = nullptr;
    quint64 offset = 0;
    enum Type { Integer, Bits, Other } type = Other;
    bool isSigned = false;
};

} // namespace

struct PlainFrameFilter::Prepared
{
    quint64 neededBytes = 0; // fewer data bytes make the frame incomplete
    // Per name of the expression, the shown parameters of that name in
    // order: the first that the data reaches is the frame's.
    QVector<QVector<Place>> places;
    // The answer for every frame of the message, when it is one.
    PlainFrameGate::Rule rule = PlainFrameGate::Rule::AskEach;
};

namespace {

// The facts of a complete frame of a known message, as the quick report
// writer read them; its parameters read from the data when asked. What
// FilterFrame asks, for filterevaluation's functions alone.
class PlainFilterFrame
{
public:
    PlainFilterFrame(const PlainFrameFacts &facts, const QString &direction, PlainFrameFilter &filter)
        : m_facts(facts), m_direction(direction), m_filter(filter)
    {
    }

    bool parsed() const { return true; }
    bool checksumOk() const { return m_facts.checksumOk; }
    bool productFound() const { return true; }
    const FrameFields &fields() const { return m_facts.fields; }
    const QString &device() const { return m_facts.product; }
    const QString &message() const { return m_facts.message.name; }
    QString status() const { return decodedStatusText(); }
    const QString &direction() const { return m_direction; }

    bool parameter(int index, const QString &, bool *hasRaw, qint64 *raw) const
    {
        const Place *p = place(index);
        if (!p)
            return false;
        *hasRaw = p->type != Place::Other;
        const QByteArray &data = m_facts.fields.data;
        if (p->type == Place::Integer) {
            const quint32 pattern = readParameterPattern(data, p->offset, p->definition->size, p->isSigned);
            *raw = p->isSigned ? qint64(qint32(pattern)) : qint64(pattern);
        } else if (p->type == Place::Bits) {
            *raw = readUnsigned(data, p->offset, p->definition->size);
        }
        return true;
    }

    QString parameterText(int index, const QString &) const
    {
        const Place *p = place(index);
        return p ? filterParameterText(decodeParameter(*p->definition, m_facts.fields.data, p->offset)) : QString();
    }

private:
    // As decodeMessageData makes the rows: a parameter the data does not
    // reach has none (an incomplete frame never comes here).
    const Place *place(int index) const
    {
        if (!m_prepared)
            m_prepared = &m_filter.prepared(m_facts);
        for (const Place &p : m_prepared->places.at(index))
            if (p.offset < quint64(m_facts.fields.data.size()))
                return &p;
        return nullptr;
    }

    const PlainFrameFacts &m_facts;
    const QString &m_direction;
    PlainFrameFilter &m_filter;
    mutable const PlainFrameFilter::Prepared *m_prepared = nullptr; // looked up when first asked
};

// --- Answers that a message fixes --------------------------------------------------

// A test's answer for every frame of one message, when the message fixes it.
enum class Known : quint8 { False, True, Unknown };

Known known(bool holds)
{
    return holds ? Known::True : Known::False;
}

// The numbers a parameter's raw can be, as PlainFilterFrame reads it: its
// size's whole range (readUnsigned, readSigned), a signed field read
// unsigned when the data stops inside it.
struct Range
{
    qint64 low = 0;
    qint64 high = 0;
};

Range rangeOf(const Place &place)
{
    const quint32 size = place.definition->size;
    if (size == 0)
        return {};
    if (size >= 4) {
        return place.isSigned && place.type == Place::Integer
            ? Range{std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()}
            : Range{0, qint64(std::numeric_limits<quint32>::max())};
    }
    const qint64 top = (qint64(1) << (8 * size)) - 1;
    return place.isSigned && place.type == Place::Integer ? Range{-(qint64(1) << (8 * size - 1)), top}
                                                          : Range{0, top};
}

Known compareRange(Range r, FilterOp op, qint64 v)
{
    if (r.low == r.high)
        return known(filterevaluation::compareNumbers(r.low, op, v));
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return v < r.low || v > r.high ? Known::False : Known::Unknown;
    case FilterOp::NotEqual:
        return v < r.low || v > r.high ? Known::True : Known::Unknown;
    case FilterOp::Less:
        return r.high < v ? Known::True : r.low >= v ? Known::False : Known::Unknown;
    case FilterOp::LessEqual:
        return r.high <= v ? Known::True : r.low > v ? Known::False : Known::Unknown;
    case FilterOp::Greater:
        return r.low > v ? Known::True : r.high <= v ? Known::False : Known::Unknown;
    case FilterOp::GreaterEqual:
        return r.low >= v ? Known::True : r.high < v ? Known::False : Known::Unknown;
    case FilterOp::BitAnd:
        return v == 0 ? Known::False : Known::Unknown;
    default:
        return Known::False;
    }
}

// As testParameter reads the frame: the first place whose offset the data
// reaches. A place before the bytes every whole frame has is always the one.
Known parameterTest(const FilterNode &node, const PlainFrameFilter::Prepared &prepared)
{
    const QVector<Place> &places = prepared.places.at(node.parameter);
    if (places.isEmpty())
        return Known::False;
    const Place &place = places.first();
    if (place.offset >= prepared.neededBytes)
        return Known::Unknown;
    if (node.op == FilterOp::Holds)
        return Known::True;
    bool unknown = false;
    for (const FilterValue &v : node.values) {
        Known k = Known::Unknown;
        if (v.isNumber)
            k = place.type == Place::Other ? Known::False : compareRange(rangeOf(place), node.op, v.number);
        if (node.op != FilterOp::In || k == Known::True)
            return k;
        unknown |= k == Known::Unknown;
    }
    return unknown ? Known::Unknown : Known::False;
}

// Two tests that ask the same of a frame: one answer on any one path.
bool sameTest(const FilterNode &a, const FilterNode &b)
{
    if (a.field != b.field || a.parameter != b.parameter || a.op != b.op || a.values.size() != b.values.size()
        || a.regex.pattern() != b.regex.pattern() || a.regex.patternOptions() != b.regex.patternOptions())
        return false;
    for (int i = 0; i < a.values.size(); ++i) {
        const FilterValue &x = a.values.at(i);
        const FilterValue &y = b.values.at(i);
        if (x.isNumber != y.isNumber || x.number != y.number || x.text != y.text)
            return false;
    }
    return true;
}

// Every way through the steps, the tests the message fixes answered as it
// fixes them and each other test both ways (the same answer for the same
// test on one way): the rule is to admit all when every way ends matching,
// none when every way ends failing. Small expressions only: past a bound
// of ways, each frame is asked.
class RuleSearch
{
public:
    RuleSearch(const FilterExpression::Program &program, QVector<Known> fixed)
        : m_program(program), m_fixed(std::move(fixed)), m_variable(m_fixed.size(), -1)
    {
        for (int i = 0; i < m_fixed.size(); ++i) {
            if (m_fixed.at(i) != Known::Unknown)
                continue;
            for (int j = 0; j < i && m_variable[i] < 0; ++j) {
                if (m_variable.at(j) >= 0 && sameTest(program.nodes.at(i), program.nodes.at(j)))
                    m_variable[i] = m_variable.at(j);
            }
            if (m_variable[i] < 0) {
                m_variable[i] = m_values.size();
                m_values.append(-1);
            }
        }
    }

    PlainFrameGate::Rule rule()
    {
        walk(m_program.firstStep);
        if (m_budget < 0 || m_matches == m_fails)
            return PlainFrameGate::Rule::AskEach;
        return m_matches ? PlainFrameGate::Rule::AdmitAll : PlainFrameGate::Rule::AdmitNone;
    }

private:
    // False once the answer is known to vary, or the bound is passed.
    bool walk(int at)
    {
        if (--m_budget < 0)
            return false;
        if (at < 0) {
            (at == FilterStep::kMatches ? m_matches : m_fails) = true;
            return !(m_matches && m_fails);
        }
        const FilterStep &step = m_program.steps.at(at);
        const Known k = m_fixed.at(step.test);
        if (k != Known::Unknown)
            return walk(k == Known::True ? step.ifTrue : step.ifFalse);
        const int variable = m_variable.at(step.test);
        if (m_values.at(variable) >= 0)
            return walk(m_values.at(variable) ? step.ifTrue : step.ifFalse);
        m_values[variable] = 1;
        bool going = walk(step.ifTrue);
        if (going) {
            m_values[variable] = 0;
            going = walk(step.ifFalse);
        }
        m_values[variable] = -1;
        return going;
    }

    const FilterExpression::Program &m_program;
    QVector<Known> m_fixed;    // per node
    QVector<int> m_variable;   // per node, for those not fixed
    QVector<qint8> m_values;   // per variable: -1 not yet chosen on this way, 0 or 1
    int m_budget = 4096;
    bool m_matches = false;
    bool m_fails = false;
};

} // namespace

PlainFrameFilter::PlainFrameFilter(DecodeCatalogue &catalogue, const FilterExpression &expression)
    : m_catalogue(catalogue), m_expression(expression)
{
}

PlainFrameFilter::~PlainFrameFilter() = default;

const PlainFrameFilter::Prepared &PlainFrameFilter::prepare(size_t key, const PlainFrameFacts &facts)
{
    const MessageDefinition &message = facts.message;
    if (m_generation != m_catalogue.generation() || m_prepared.empty()) {
        m_prepared.clear();
        m_prepared.resize(1 << 16);
        m_generation = m_catalogue.generation();
    }
    std::unique_ptr<Prepared> &slot = m_prepared[key];
    if (slot)
        return *slot;
    slot = std::make_unique<Prepared>();
    Prepared &p = *slot;
    const QStringList &names = m_expression.parameterNames();
    p.places.resize(names.size());
    // The offsets as decodeMessageData walks them.
    quint64 offset = 0;
    for (const ParameterDefinition &parameter : message.parameters) {
        if (isDecodedType(parameter) && !parameter.optional)
            p.neededBytes = qMax(p.neededBytes, offset + 1);
        const int index = names.indexOf(parameter.name);
        if (parameter.display && index >= 0) {
            Place place;
            place.definition = &parameter;
            place.offset = offset;
            if (parameter.type == QLatin1String("integer")) {
                place.type = Place::Integer;
                place.isSigned = isSignedForm(integerFormOf(parameter));
            } else if (parameter.type == QLatin1String("bitfield")) {
                place.type = Place::Bits;
            }
            p.places[index].append(place);
        }
        offset = offsetAfter(parameter, offset);
    }
    p.rule = ruleOf(p, facts);
    return p;
}

// The tests of the device, the message, the status and the node type are
// answered on the first frame, as they are the same on every frame of it.
PlainFrameGate::Rule PlainFrameFilter::ruleOf(const Prepared &prepared, const PlainFrameFacts &facts)
{
    const FilterExpression::Program *program = m_expression.program();
    if (!program)
        return Rule::AdmitAll;
    static const QString noDirection;
    const PlainFilterFrame frame(facts, noDirection, *this);
    QVector<Known> fixed(program->nodes.size(), Known::Unknown);
    for (int i = 0; i < fixed.size(); ++i) {
        const FilterNode &node = program->nodes.at(i);
        if (node.kind != FilterNode::Test)
            continue;
        switch (node.field) {
        case FilterField::Device:
        case FilterField::Message:
        case FilterField::Status:
        case FilterField::NodeType:
            fixed[i] = known(filterevaluation::testField(*program, node, frame));
            break;
        case FilterField::Parameter:
            fixed[i] = parameterTest(node, prepared);
            break;
        default:
            break;
        }
    }
    return RuleSearch(*program, std::move(fixed)).rule();
}

PlainFrameGate::Rule PlainFrameFilter::ruleFor(const PlainFrameFacts &facts)
{
    return prepared(facts).rule;
}

PlainFrameFilter::Verdict PlainFrameFilter::judge(const QByteArray &bytes, const QString &direction)
{
    if (m_expression.isEmpty())
        return Matches;
    if (bytes.size() < kFrameOverheadBytes)
        return Undecided;
    unpackFrame(bytes, m_fields);
    // Not longer than announced, nor shorter.
    if (m_fields.length != bytes.size())
        return Undecided;
    m_catalogue.refresh();
    const DeviceCatalogue::Device *device =
        m_catalogue.deviceOf(m_fields.sourceNodeType, m_fields.destinationNodeType);
    const MessageDefinition *message = device ? DecodeCatalogue::messageOf(*device, m_fields.messageId) : nullptr;
    if (!message)
        return Undecided;
    const PlainFrameFacts facts{bytes, m_fields, device->product, *message, checksumMatches(bytes)};
    const Prepared &p = prepared(facts);
    if (quint64(m_fields.data.size()) < p.neededBytes)
        return Undecided;
    if (p.rule != Rule::AskEach)
        return p.rule == Rule::AdmitAll ? Matches : Fails;
    return matches(facts, direction) ? Matches : Fails;
}

bool PlainFrameFilter::matches(const PlainFrameFacts &facts, const QString &direction)
{
    const FilterExpression::Program *program = m_expression.program();
    // Evaluated over this very class: its facts are read inline.
    return !program || filterevaluation::run(*program, PlainFilterFrame(facts, direction, *this));
}

bool PlainFrameFilter::matches(const FrameReport &report) const
{
    return m_expression.matches(ReportFilterFrame(report));
}
