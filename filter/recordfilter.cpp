#include "filter/recordfilter.h"

#include "catalogue/catalogue.h"
#include "filter/plainframefilter.h"

#include <QRegularExpression>

namespace {

// Frames judged by decoding kept, before the memory starts anew.
const int kDecodedVerdicts = 4096;

const char *const kFieldNames[] = {"device",    "message", "status",      "source",   "destination", "mode",
                                   "direction", "ack",     "checksum_ok", "node_type"};

bool isFieldName(const QString &word)
{
    for (const char *name : kFieldNames) {
        if (word.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isOneOf(const QString &word, std::initializer_list<const char *> words)
{
    for (const char *w : words) {
        if (word.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The text without what is between double quotes (a phrase of words, or a
// string of an expression, with \" and \\ in it).
QString outsideQuotes(const QString &text)
{
    QString outside;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted)
            outside += c;
    }
    return outside;
}

} // namespace

bool looksLikeFilterExpression(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1Char('!')))
        return true;
    const QString outside = outsideQuotes(trimmed);
    for (const char *mark : {"==", "!=", "<", ">", "&", "|", "(", ")", "[", "]", "{", "}"}) {
        if (outside.contains(QLatin1String(mark)))
            return true;
    }
    static const QRegularExpression space(QStringLiteral("\\s+"));
    const QStringList words = trimmed.split(space, Qt::SkipEmptyParts);
    if (words.size() < 2)
        return false;
    if (isFieldName(words.at(0)))
        return isOneOf(words.at(1), {"contains", "matches", "in", "and", "or"});
    return words.at(0).compare(QLatin1String("not"), Qt::CaseInsensitive) == 0 && isFieldName(words.at(1));
}

RecordFilter::RecordFilter(const QString &text) : m_text(text), m_words(text) {}

RecordFilter::RecordFilter(const QString &text, DecodeCatalogue &catalogue) : m_text(text)
{
    if (!looksLikeFilterExpression(text)) {
        m_words = BusFilter(text);
        return;
    }
    catalogue.refresh();
    m_expression = FilterExpression::compile(text, catalogueParameterNames(catalogue.profiles()), &m_error);
    if (m_expression.isEmpty()) {
        m_kind = Refused;
        return;
    }
    m_kind = Expression;
    m_catalogue = &catalogue;
    m_quick = std::make_unique<PlainFrameFilter>(catalogue, m_expression);
}

RecordFilter::~RecordFilter() = default;

bool RecordFilter::isEmpty() const
{
    return m_kind == Refused || (m_kind == Words && m_words.isEmpty());
}

bool RecordFilter::matches(const BusRecord &record) const
{
    switch (m_kind) {
    case Words:
        return m_words.matches(record);
    case Expression:
        return (record.kind == BusRecord::Received || record.kind == BusRecord::Sent) && frameMatches(record);
    case Refused:
        break;
    }
    return true;
}

bool RecordFilter::frameMatches(const BusRecord &record) const
{
    static const QString received = QStringLiteral("RX");
    static const QString sent = QStringLiteral("TX");
    const QString &direction = record.kind == BusRecord::Sent ? sent : received;
    const PlainFrameFilter::Verdict verdict = m_quick->judge(record.bytes, direction);
    if (verdict != PlainFrameFilter::Undecided)
        return verdict == PlainFrameFilter::Matches;
    if (m_decodedGeneration != m_catalogue->generation()) {
        m_decoded.clear();
        m_decodedGeneration = m_catalogue->generation();
    }
    const QByteArray key = record.bytes + char(record.kind);
    const auto known = m_decoded.constFind(key);
    if (known != m_decoded.cend())
        return *known;
    FrameReport report = m_catalogue->decodeBytes(record.bytes);
    report.direction = direction;
    const bool holds = m_quick->matches(report);
    if (m_decoded.size() >= kDecodedVerdicts)
        m_decoded.clear();
    m_decoded.insert(key, holds);
    return holds;
}
