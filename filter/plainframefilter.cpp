#include "filter/plainframefilter.h"

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
    bool usable = false;     // a known message
    QString product;
    const MessageDefinition *message = nullptr;
    quint64 neededBytes = 0; // fewer data bytes make the frame incomplete
    // Per name of the expression, the shown parameters of that name in
    // order: the first that the data reaches is the frame's.
    QVector<QVector<Place>> places;
};

namespace {

// The facts of a complete frame of a known message, read from its bytes.
class PlainFilterFrame : public FilterFrame
{
public:
    PlainFilterFrame(const PlainFrameFilter::Prepared &prepared, const FrameFields &fields, const QByteArray &bytes,
                     const QString &direction)
        : m_prepared(prepared), m_fields(fields), m_bytes(bytes), m_direction(direction)
    {
    }

    bool parsed() const override { return true; }
    bool checksumOk() const override
    {
        if (m_checksumOk < 0)
            m_checksumOk = checksumMatches(m_bytes);
        return m_checksumOk;
    }
    bool productFound() const override { return true; }
    const FrameFields &fields() const override { return m_fields; }
    const QString &device() const override { return m_prepared.product; }
    const QString &message() const override { return m_prepared.message->name; }
    QString status() const override { return QString(); } // never asked: see judge
    const QString &direction() const override { return m_direction; }

    bool parameter(int index, const QString &, bool *hasRaw, qint64 *raw) const override
    {
        const Place *p = place(index);
        if (!p)
            return false;
        *hasRaw = p->type != Place::Other;
        if (p->type == Place::Integer) {
            const quint32 pattern = readParameterPattern(m_fields.data, p->offset, p->definition->size, p->isSigned);
            *raw = p->isSigned ? qint64(qint32(pattern)) : qint64(pattern);
        } else if (p->type == Place::Bits) {
            *raw = readUnsigned(m_fields.data, p->offset, p->definition->size);
        }
        return true;
    }

    QString parameterText(int index, const QString &) const override
    {
        const Place *p = place(index);
        return p ? filterParameterText(decodeParameter(*p->definition, m_fields.data, p->offset)) : QString();
    }

private:
    // As decodeMessageData makes the rows: a parameter the data does not
    // reach has none (an incomplete frame never comes here).
    const Place *place(int index) const
    {
        for (const Place &p : m_prepared.places.at(index))
            if (p.offset < quint64(m_fields.data.size()))
                return &p;
        return nullptr;
    }

    const PlainFrameFilter::Prepared &m_prepared;
    const FrameFields &m_fields;
    const QByteArray &m_bytes;
    mutable int m_checksumOk = -1; // summed when first asked
    const QString &m_direction;
};

} // namespace

PlainFrameFilter::PlainFrameFilter(DecodeCatalogue &catalogue, const FilterExpression &expression)
    : m_catalogue(catalogue), m_expression(expression)
{
}

PlainFrameFilter::~PlainFrameFilter() = default;

const PlainFrameFilter::Prepared &PlainFrameFilter::prepared(const DeviceCatalogue::Device &device,
                                                             const FrameFields &fields)
{
    if (m_generation != m_catalogue.generation() || m_prepared.empty()) {
        m_prepared.clear();
        m_prepared.resize(1 << 16);
        m_generation = m_catalogue.generation();
    }
    const int key = (fields.sourceNodeType & 0x0F) << 12 | (fields.destinationNodeType & 0x0F) << 8 | fields.messageId;
    std::unique_ptr<Prepared> &slot = m_prepared[size_t(key)];
    if (slot)
        return *slot;
    slot = std::make_unique<Prepared>();
    Prepared &p = *slot;
    p.message = DecodeCatalogue::messageOf(device, fields.messageId);
    if (!p.message)
        return p;
    p.usable = true;
    p.product = device.product;
    const QStringList &names = m_expression.parameterNames();
    p.places.resize(names.size());
    // The offsets as decodeMessageData walks them.
    quint64 offset = 0;
    for (const ParameterDefinition &parameter : p.message->parameters) {
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
    if (m_expression.readsStatus() || bytes.size() < kFrameOverheadBytes)
        return Undecided;
    unpackFrame(bytes, m_fields);
    // Not longer than announced, nor shorter.
    if (m_fields.length != bytes.size())
        return Undecided;
    m_catalogue.refresh();
    const DeviceCatalogue::Device *device =
        m_catalogue.deviceOf(m_fields.sourceNodeType, m_fields.destinationNodeType);
    if (!device)
        return Undecided;
    const Prepared &p = prepared(*device, m_fields);
    if (!p.usable || quint64(m_fields.data.size()) < p.neededBytes)
        return Undecided;
    const PlainFilterFrame frame(p, m_fields, bytes, direction);
    return m_expression.matches(frame) ? Matches : Fails;
}

PlainFrameFilter::Verdict PlainFrameFilter::judgeText(const char *text, qsizetype size, const QString &direction)
{
    if (m_expression.isEmpty())
        return Matches;
    if (!plainFrameBytes(text, size, m_bytes))
        return Undecided;
    return judge(m_bytes, direction);
}

bool PlainFrameFilter::matches(const FrameReport &report) const
{
    return m_expression.matches(ReportFilterFrame(report));
}
