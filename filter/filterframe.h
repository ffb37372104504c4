#ifndef KWN_FILTER_FILTERFRAME_H
#define KWN_FILTER_FILTERFRAME_H

// One frame as a filter reads it: the facts that `decode --json` prints of
// it, under the same conditions (device, message, source, destination, mode,
// ack and node type when a product decodes it; checksum_ok when it parsed;
// direction when it came from a log; a parameter when its row is shown).
// Two readers give them: the report of the general decoding, and the quick
// reader of plain frames (plainframefilter.h), which reads only what the
// expression asks for.

#include "codec/framereport.h"

#include <QString>

class FilterFrame
{
public:
    virtual ~FilterFrame() = default;

    virtual bool parsed() const = 0;
    virtual bool checksumOk() const = 0;
    virtual bool productFound() const = 0;
    // The header; meaningful when productFound.
    virtual const FrameFields &fields() const = 0;
    virtual const QString &device() const = 0;
    virtual const QString &message() const = 0;
    virtual QString status() const = 0;
    // "RX" or "TX"; empty when not known.
    virtual const QString &direction() const = 0;

    // The parameter of that name, `index` in the expression's list of
    // names. False when the frame shows no such parameter. `raw` is the
    // number of "raw" (a signed value with its sign), when `hasRaw`.
    virtual bool parameter(int index, const QString &name, bool *hasRaw, qint64 *raw) const = 0;
    // The text of a parameter that the frame shows: a value's as JSON gives
    // it (a string's own characters), a bitfield's checked bits as the single
    // line shows them ("[Bit 0: Obstacle detected]").
    virtual QString parameterText(int index, const QString &name) const = 0;
};

// The text of a parameter's row as FilterFrame::parameterText gives it
// (null for a row of no known type, which fails every test of its text).
QString filterParameterText(const DecodedRow &row);

// The facts of a decoded report.
class ReportFilterFrame : public FilterFrame
{
public:
    explicit ReportFilterFrame(const FrameReport &report) : m_report(report) {}

    bool parsed() const override { return m_report.parsed; }
    bool checksumOk() const override { return m_report.checksumOk; }
    bool productFound() const override { return m_report.productFound; }
    const FrameFields &fields() const override { return m_report.frame.fields; }
    const QString &device() const override { return m_report.device; }
    const QString &message() const override { return m_report.message.messageName; }
    QString status() const override { return m_report.status; }
    const QString &direction() const override { return m_report.direction; }
    bool parameter(int index, const QString &name, bool *hasRaw, qint64 *raw) const override;
    QString parameterText(int index, const QString &name) const override;

private:
    const DecodedRow *row(const QString &name) const;

    const FrameReport &m_report;
};

#endif
