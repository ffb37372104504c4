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
    m_catalogue = &catalogue;
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

PlainReport FrameChoice::appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                                const QByteArray &time, const QString &direction)
{
    const QByteArray directionText = direction.isEmpty() ? QByteArray() : direction.toLatin1();
    if (!m_quick) {
        return m_catalogue->appendPlainFrameReport(style, line, size, out, time, directionText) ? PlainReport::Written
                                                                                                : PlainReport::NotPlain;
    }
    return m_catalogue->appendPlainFrameReport(style, line, size, m_quick->gate(direction), out, time, directionText);
}

bool FrameChoice::keeps(const FrameReport &report) const
{
    return !m_quick || m_quick->matches(report);
}

} // namespace cli
