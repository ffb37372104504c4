#ifndef KWN_FILTER_FILTERPROGRAM_H
#define KWN_FILTER_FILTERPROGRAM_H

// A compiled filter expression: a tree of tests in one vector, every value
// read and checked when compiled (addresses as numbers, modes as their
// index, regular expressions made), so that evaluating it allocates nothing
// but for the texts that a test of a parameter's text asks the frame for.

#include "filter/filterexpression.h"

#include <QRegularExpression>
#include <QStringList>
#include <QVector>

enum class FilterField {
    Device,
    Message,
    Status,
    Source,
    Destination,
    Mode,
    Direction,
    Ack,
    ChecksumOk,
    NodeType,
    Parameter
};

enum class FilterOp { Holds, Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Contains, Matches, BitAnd, In };

struct FilterValue
{
    bool isNumber = false; // else a text
    qint64 number = 0;     // a number; an address, mode index or flag as one
    QString text;
};

struct FilterNode
{
    enum Kind { And, Or, Not, Test };
    Kind kind = Test;
    int left = -1;  // And, Or, Not
    int right = -1; // And, Or
    FilterField field = FilterField::Device;
    int parameter = -1; // index in Program::parameters
    FilterOp op = FilterOp::Holds;
    QVector<FilterValue> values; // one, or the members of the set of `in`
    QRegularExpression regex;    // Matches
};

// The tree as the tests run one after the other: each test's step says
// which step comes next as it holds or not, so that "and", "or" and "not"
// cost nothing when a frame is judged and a test whose answer no longer
// matters is not run.
struct FilterStep
{
    static constexpr int kMatches = -1;
    static constexpr int kFails = -2;
    int test = -1;   // a node of kind Test
    int ifTrue = kMatches;  // the next step, or kMatches or kFails
    int ifFalse = kFails;
};

struct FilterExpression::Program
{
    QVector<FilterNode> nodes;
    int root = -1;
    QStringList parameters;
    QVector<FilterStep> steps;
    int firstStep = FilterStep::kMatches;
};

// The tree's root as compiled from `tokens`; false with `error` filled.
bool parseFilter(const QVector<struct FilterToken> &tokens, const QSet<QString> &parameterNames,
                 FilterExpression::Program *program, FilterError *error);

// The steps of the tree under `root`, as FilterStep says.
void planFilterSteps(FilterExpression::Program *program);

// Whether the node holds for the frame.
bool evaluateFilter(const FilterExpression::Program &program, int node, const FilterFrame &frame);

#endif
