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

struct FilterExpression::Program
{
    QVector<FilterNode> nodes;
    int root = -1;
    QStringList parameters;
    bool readsStatus = false;
};

// The tree's root as compiled from `tokens`; false with `error` filled.
bool parseFilter(const QVector<struct FilterToken> &tokens, const QSet<QString> &parameterNames,
                 FilterExpression::Program *program, FilterError *error);

// Whether the node holds for the frame.
bool evaluateFilter(const FilterExpression::Program &program, int node, const FilterFrame &frame);

#endif
