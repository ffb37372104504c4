#include "cli/filteroption.h"

#include "catalogue/catalogue.h"
#include "cli/commands.h"

namespace cli {

void addFilterOption(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("filter"), QStringLiteral("Only the frames EXPR selects."), QStringLiteral("EXPR")});
}

bool FrameChoice::setUp(const QCommandLineParser &parser, DecodeCatalogue &catalogue)
{
    if (!parser.isSet(QStringLiteral("filter")))
        return true;
    FilterError error;
    catalogue.refresh();
    m_expression = FilterExpression::compile(parser.value(QStringLiteral("filter")),
                                             catalogueParameterNames(catalogue.profiles()), &error);
    if (m_expression.isEmpty()) {
        writeErr(QStringLiteral("kwn-frame: filter: %1\n").arg(error.text()));
        return false;
    }
    m_catalogue = &catalogue;
    m_quick = std::make_unique<PlainFrameFilter>(catalogue, m_expression);
    return true;
}

bool FrameChoice::keeps(const QByteArray &bytes, const QString &direction)
{
    if (!m_quick)
        return true;
    const PlainFrameFilter::Verdict verdict = m_quick->judge(bytes, direction);
    if (verdict != PlainFrameFilter::Undecided)
        return verdict == PlainFrameFilter::Matches;
    FrameReport report = m_catalogue->decodeBytes(bytes);
    report.direction = direction;
    return m_quick->matches(report);
}

PlainFrameFilter::Verdict FrameChoice::judgeText(const char *text, qsizetype size, const QString &direction)
{
    return m_quick ? m_quick->judgeText(text, size, direction) : PlainFrameFilter::Matches;
}

bool FrameChoice::keeps(const FrameReport &report) const
{
    return !m_quick || m_quick->matches(report);
}

} // namespace cli
