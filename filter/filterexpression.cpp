// Compiling a filter expression, and evaluating it over one frame.

#include "filter/filterexpression.h"

#include "catalogue/catalogue.h"
#include "filter/filterevaluation.h"
#include "filter/filtertokens.h"

bool evaluateFilter(const FilterExpression::Program &program, int index, const FilterFrame &frame)
{
    return filterevaluation::evaluate(program, index, frame);
}

namespace {

// The first step of the node's tests, going on to `ifTrue` or `ifFalse`
// as the node holds or not.
int plan(FilterExpression::Program &program, int index, int ifTrue, int ifFalse)
{
    const FilterNode &node = program.nodes.at(index);
    switch (node.kind) {
    case FilterNode::And:
        return plan(program, node.left, plan(program, node.right, ifTrue, ifFalse), ifFalse);
    case FilterNode::Or:
        return plan(program, node.left, ifTrue, plan(program, node.right, ifTrue, ifFalse));
    case FilterNode::Not:
        return plan(program, node.left, ifFalse, ifTrue);
    case FilterNode::Test:
        break;
    }
    program.steps.append(FilterStep{index, ifTrue, ifFalse});
    return program.steps.size() - 1;
}

} // namespace

void planFilterSteps(FilterExpression::Program *program)
{
    program->steps.clear();
    program->firstStep = plan(*program, program->root, FilterStep::kMatches, FilterStep::kFails);
}

QString FilterError::text() const
{
    return QStringLiteral("%1 at column %2").arg(what).arg(column);
}

FilterExpression::FilterExpression() = default;
FilterExpression::~FilterExpression() = default;
FilterExpression::FilterExpression(FilterExpression &&) noexcept = default;
FilterExpression &FilterExpression::operator=(FilterExpression &&) noexcept = default;

FilterExpression FilterExpression::compile(const QString &text, const QSet<QString> &parameterNames,
                                           FilterError *error)
{
    FilterExpression expression;
    QVector<FilterToken> tokens;
    FilterError refused;
    auto program = std::make_unique<Program>();
    if (!tokenizeFilter(text, &tokens, &refused) || !parseFilter(tokens, parameterNames, program.get(), &refused)) {
        if (error)
            *error = refused;
        return expression;
    }
    planFilterSteps(program.get());
    expression.m_program = std::move(program);
    return expression;
}

bool FilterExpression::matches(const FilterFrame &frame) const
{
    return !m_program || filterevaluation::run(*m_program, frame);
}

const QStringList &FilterExpression::parameterNames() const
{
    static const QStringList none;
    return m_program ? m_program->parameters : none;
}

QSet<QString> catalogueParameterNames(const ProfileMap &profiles)
{
    QSet<QString> names;
    for (const ProfileDefinition &profile : profiles) {
        const MessageMap messages = messagesOfProfile(profile, false);
        for (const MessageDefinition &message : messages)
            for (const ParameterDefinition &parameter : message.parameters)
                names.insert(parameter.name);
    }
    return names;
}
