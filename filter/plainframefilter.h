#ifndef KWN_FILTER_PLAINFRAMEFILTER_H
#define KWN_FILTER_PLAINFRAMEFILTER_H

// A filter over the frames of a busy bus, read quickly: for a whole frame of
// a known device and message (the frames that make up nearly all of a log)
// the expression is evaluated over the header and over the parameters it
// names, read from the data bytes at offsets found once per device and
// message, without decoding the frame into a report. Any other frame is left
// to the general way: decode the report and evaluate over it
// (ReportFilterFrame). Both give the same answer.
// It is also the gate of DecodeCatalogue's quick report writer, judging the
// frame on what the writer read of it, so that a frame read for its report
// is not read again for the filter.
// Where the expression's answer is the same for every whole frame of a
// device and message (it asks only what the message fixes: its device and
// name, the node type, whether a parameter is there, a number beside the
// whole range of a parameter's size), that answer is found once, when the
// message is first met, and no frame of it is evaluated:
// "checksum_ok or not checksum_ok" admits every frame for nothing.

#include "filter/filterexpression.h"

#include <memory>
#include <vector>

class PlainFrameFilter : private PlainFrameGate
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
    // The same for the facts the quick report writer read of a frame.
    bool matches(const PlainFrameFacts &facts, const QString &direction);
    // The gate for DecodeCatalogue::appendPlainFrameReport, for frames of
    // `direction`, which must outlive its use.
    PlainFrameGate &gate(const QString &direction)
    {
        m_direction = &direction;
        return *this;
    }

    // The general way: whether the report matches.
    bool matches(const FrameReport &report) const;

    // Where the expression's parameters are in a message's data, found
    // once per message.
    struct Prepared;
    const Prepared &prepared(const PlainFrameFacts &facts)
    {
        const FrameFields &fields = facts.fields;
        const size_t key = size_t(fields.sourceNodeType & 0x0F) << 12 | size_t(fields.destinationNodeType & 0x0F) << 8
            | fields.messageId;
        if (m_generation == m_catalogue.generation() && !m_prepared.empty() && m_prepared[key])
            return *m_prepared[key];
        return prepare(key, facts);
    }

private:
    const Prepared &prepare(size_t key, const PlainFrameFacts &facts);
    Rule ruleOf(const Prepared &prepared, const PlainFrameFacts &facts);
    Rule ruleFor(const PlainFrameFacts &facts) override;
    bool admits(const PlainFrameFacts &facts) override { return matches(facts, *m_direction); }

    DecodeCatalogue &m_catalogue;
    const FilterExpression &m_expression;
    // By node types and message identifier, made when first met.
    std::vector<std::unique_ptr<Prepared>> m_prepared;
    quint64 m_generation = 0;
    FrameFields m_fields; // the frame of judge, reused
    const QString *m_direction = nullptr;
};

#endif
