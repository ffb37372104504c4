#ifndef KWN_FILTER_FILTEREVALUATION_H
#define KWN_FILTER_FILTEREVALUATION_H

// Evaluating a compiled filter over one frame, for any reader of frames: the
// general one through FilterFrame, and readers whose own class the compiler
// sees, so that a frame's facts are read without a call through a table.

#include "filter/filterprogram.h"

namespace filterevaluation {

inline bool compareNumbers(qint64 x, FilterOp op, qint64 v)
{
    switch (op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return x == v;
    case FilterOp::NotEqual:
        return x != v;
    case FilterOp::Less:
        return x < v;
    case FilterOp::LessEqual:
        return x <= v;
    case FilterOp::Greater:
        return x > v;
    case FilterOp::GreaterEqual:
        return x >= v;
    case FilterOp::BitAnd:
        return (quint64(x) & quint64(v)) != 0;
    default:
        return false;
    }
}

inline bool compareTexts(const QString &x, const FilterNode &node, const FilterValue &v, Qt::CaseSensitivity cs)
{
    switch (node.op) {
    case FilterOp::Equal:
    case FilterOp::In:
        return x.compare(v.text, cs) == 0;
    case FilterOp::NotEqual:
        return x.compare(v.text, cs) != 0;
    case FilterOp::Contains:
        return x.contains(v.text, cs);
    case FilterOp::Matches:
        return node.regex.match(x).hasMatch();
    default:
        return false;
    }
}

// A test over a number that may also be asked for as text (an address, a
// mode): a value that is a number compares numbers, else the text.
template <class Text>
bool testNumber(const FilterNode &node, qint64 x, Text text, Qt::CaseSensitivity cs)
{
    for (const FilterValue &v : node.values) {
        const bool holds = v.isNumber ? compareNumbers(x, node.op, v.number) : compareTexts(text(), node, v, cs);
        if (node.op != FilterOp::In || holds)
            return holds;
    }
    return false;
}

inline bool testText(const FilterNode &node, const QString &x, Qt::CaseSensitivity cs)
{
    for (const FilterValue &v : node.values) {
        const bool holds = compareTexts(x, node, v, cs);
        if (node.op != FilterOp::In || holds)
            return holds;
    }
    return false;
}

template <class Frame>
bool testParameter(const FilterExpression::Program &program, const FilterNode &node, const Frame &frame)
{
    const QString &name = program.parameters.at(node.parameter);
    bool hasRaw = false;
    qint64 raw = 0;
    if (!frame.parameter(node.parameter, name, &hasRaw, &raw))
        return false;
    if (node.op == FilterOp::Holds)
        return true;
    QString text;
    bool textRead = false;
    for (const FilterValue &v : node.values) {
        bool holds = false;
        if (v.isNumber) {
            holds = hasRaw && compareNumbers(raw, node.op, v.number);
        } else {
            if (!textRead) {
                text = frame.parameterText(node.parameter, name);
                textRead = true;
            }
            holds = !text.isNull() && compareTexts(text, node, v, Qt::CaseSensitive);
        }
        if (node.op != FilterOp::In || holds)
            return holds;
    }
    return false;
}

template <class Frame>
bool testField(const FilterExpression::Program &program, const FilterNode &node, const Frame &frame)
{
    const bool holds = node.op == FilterOp::Holds;
    switch (node.field) {
    case FilterField::Status:
        return holds || testText(node, frame.status(), Qt::CaseSensitive);
    case FilterField::ChecksumOk:
        if (!frame.parsed())
            return false;
        return holds ? frame.checksumOk() : compareNumbers(frame.checksumOk(), node.op, node.values.at(0).number);
    case FilterField::Direction:
        if (frame.direction().isEmpty())
            return false;
        return holds || testText(node, frame.direction(), Qt::CaseInsensitive);
    case FilterField::Parameter:
        return testParameter(program, node, frame);
    default:
        break;
    }
    // The rest are known when a product decodes the frame.
    if (!frame.productFound())
        return false;
    const FrameFields &f = frame.fields();
    switch (node.field) {
    case FilterField::Device:
        return holds || testText(node, frame.device(), Qt::CaseSensitive);
    case FilterField::Message:
        return holds || testText(node, frame.message(), Qt::CaseSensitive);
    case FilterField::Source:
        return holds
            || testNumber(node, f.sourceAddress, [&f] { return nodeIdText(f.sourceAddress); }, Qt::CaseInsensitive);
    case FilterField::Destination:
        return holds
            || testNumber(node, f.destinationAddress, [&f] { return nodeIdText(f.destinationAddress); },
                          Qt::CaseInsensitive);
    case FilterField::Mode: {
        const int mode = int(addressingModeOf(f.destinationAddress));
        // Its name only for a test of its text: a comparison reads its number.
        const auto name = [mode] {
            const char *const names[] = {"P2P", "Group", "Broadcast"};
            return QString::fromLatin1(names[mode]);
        };
        return holds || testNumber(node, mode, name, Qt::CaseInsensitive);
    }
    case FilterField::Ack:
        return holds ? f.ackRequested : compareNumbers(f.ackRequested, node.op, node.values.at(0).number);
    case FilterField::NodeType:
        return holds || testNumber(node, f.sourceNodeType, [] { return QString(); }, Qt::CaseSensitive);
    default:
        return false;
    }
}

template <class Frame>
bool evaluate(const FilterExpression::Program &program, int index, const Frame &frame)
{
    const FilterNode &node = program.nodes.at(index);
    switch (node.kind) {
    case FilterNode::And:
        return evaluate(program, node.left, frame) && evaluate(program, node.right, frame);
    case FilterNode::Or:
        return evaluate(program, node.left, frame) || evaluate(program, node.right, frame);
    case FilterNode::Not:
        return !evaluate(program, node.left, frame);
    case FilterNode::Test:
        return testField(program, node, frame);
    }
    return false;
}

// The whole expression, step by step.
template <class Frame>
bool run(const FilterExpression::Program &program, const Frame &frame)
{
    int at = program.firstStep;
    while (at >= 0) {
        const FilterStep &step = program.steps.at(at);
        at = testField(program, program.nodes.at(step.test), frame) ? step.ifTrue : step.ifFalse;
    }
    return at == FilterStep::kMatches;
}

} // namespace filterevaluation

#endif
