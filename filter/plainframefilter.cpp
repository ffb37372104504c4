#include "filter/plainframefilter.h"

#include "filter/filterevaluation.h"
#include "filter/filterframe.h"

#include <QVector>

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
            m_prepared = &m_filter.prepared(m_facts.fields, m_facts.message);
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

} // namespace

PlainFrameFilter::PlainFrameFilter(DecodeCatalogue &catalogue, const FilterExpression &expression)
    : m_catalogue(catalogue), m_expression(expression)
{
}

PlainFrameFilter::~PlainFrameFilter() = default;

const PlainFrameFilter::Prepared &PlainFrameFilter::prepare(size_t key, const MessageDefinition &message)
{
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
    return p;
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
    if (!message || quint64(m_fields.data.size()) < prepared(m_fields, *message).neededBytes)
        return Undecided;
    const PlainFrameFacts facts{bytes, m_fields, device->product, *message, checksumMatches(bytes)};
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
