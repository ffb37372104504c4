#ifndef KWN_FILTER_PLAINFRAMEFILTER_H
#define KWN_FILTER_PLAINFRAMEFILTER_H

// A filter over the frames of a busy bus, read quickly: for a whole frame of
// a known device and message (the frames that make up nearly all of a log)
// the expression is evaluated over the header and over the parameters it
// names, read from the data bytes at offsets found once per device and
// message, without decoding the frame into a report. Any other frame, or an
// expression that reads the status line, is left to the general way: decode
// the report and evaluate over it (ReportFilterFrame). Both give the same
// answer.

#include "filter/filterexpression.h"

#include <memory>
#include <vector>

class PlainFrameFilter
{
public:
    enum Verdict { Undecided, Matches, Fails };

    // Both must outlive this.
    PlainFrameFilter(DecodeCatalogue &catalogue, const FilterExpression &expression);
    ~PlainFrameFilter();
    PlainFrameFilter(const PlainFrameFilter &) = delete;
    PlainFrameFilter &operator=(const PlainFrameFilter &) = delete;

    // The verdict for the frame `bytes` (as on the bus), received or sent
    // as `direction` says ("RX", "TX", or empty when not known).
    Verdict judge(const QByteArray &bytes, const QString &direction);
    // The same for a text of nothing but the hexadecimal digits of a frame
    // (plainFrameBytes); Undecided for any other text.
    Verdict judgeText(const char *text, qsizetype size, const QString &direction);

    // The frame of the last judgeText that read one: its bytes and fields.
    const QByteArray &frameBytes() const { return m_bytes; }
    const FrameFields &frameFields() const { return m_fields; }

    // The general way: whether the report matches.
    bool matches(const FrameReport &report) const;

    struct Prepared;

private:
    const Prepared &prepared(const DeviceCatalogue::Device &device, const FrameFields &fields);

    DecodeCatalogue &m_catalogue;
    const FilterExpression &m_expression;
    // By node types and message identifier, made when first met.
    std::vector<std::unique_ptr<Prepared>> m_prepared;
    quint64 m_generation = 0;
    QByteArray m_bytes;   // the frame of judgeText, reused
    FrameFields m_fields; // the frame at hand, reused
};

#endif
