#ifndef KWN_CLI_FILTEROPTION_H
#define KWN_CLI_FILTEROPTION_H

// --filter EXPR of the commands that read frames: the expression compiled
// against the catalogue's parameter names, and the choice of the frames it
// selects, quick for plain frames.

#include "filter/filterexpression.h"
#include "filter/plainframefilter.h"

#include <QCommandLineParser>

#include <memory>

// The help lines of the option, for a command's help whose option texts
// start at column 21.
#define KWN_FILTER_OPTION_HELP \
    "  --filter EXPR     only the frames EXPR selects, as '[Position] > 80 and\n" \
    "                    not checksum_ok'; fields: device, message, status, source,\n" \
    "                    destination, mode, direction, ack, checksum_ok, node_type,\n" \
    "                    [Parameter name]. An EXPR that does not compile ends the\n" \
    "                    command with 2, nothing done\n"

namespace cli {

void addFilterOption(QCommandLineParser &parser);

// The frames a command keeps.
class FrameChoice
{
public:
    // Every frame.
    FrameChoice() = default;
    // The frames of --filter, when given. False after saying on standard
    // error what is wrong with the expression ("kwn-frame: filter: ... at
    // column N"): the command then ends with kExitUsage, printing nothing.
    bool setUp(const QCommandLineParser &parser, DecodeCatalogue &catalogue);

    bool isFiltering() const { return m_quick != nullptr; }
    // Whether the frame (as on the bus) is kept; direction "RX", "TX" or "".
    bool keeps(const QByteArray &bytes, const QString &direction);
    // For a line of nothing but a frame's digits, of a known device and
    // message: its report appended when the frame is kept
    // (DecodeCatalogue::appendPlainFrameReport), the frame read once.
    PlainReport appendPlainFrameReport(ReportStyle style, const char *line, qsizetype size, QByteArray &out,
                                       const QByteArray &time = QByteArray(), const QString &direction = QString());
    // The same for a report already made.
    bool keeps(const FrameReport &report) const;

private:
    DecodeCatalogue *m_catalogue = nullptr;
    FilterExpression m_expression;
    std::unique_ptr<PlainFrameFilter> m_quick;
};

} // namespace cli

#endif
