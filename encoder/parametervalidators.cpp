#include "encoder/parametervalidators.h"

#include "codec/valueencoding.h"

namespace {

QValidator::State toState(TextValidity validity)
{
    switch (validity) {
    case TextValidity::Acceptable:
        return QValidator::Acceptable;
    case TextValidity::Intermediate:
        return QValidator::Intermediate;
    case TextValidity::Invalid:
        break;
    }
    return QValidator::Invalid;
}

// Only the fields the validators need: values and descriptions may be long.
ParameterDefinition limitsOnly(const ParameterDefinition &parameter)
{
    ParameterDefinition p = parameter;
    p.values.clear();
    p.description.clear();
    p.defaultText.clear();
    return p;
}

} // namespace

DecimalValidator::DecimalValidator(qint64 low, qint64 high, QObject *parent)
    : QValidator(parent), m_low(low), m_high(high)
{
}

QValidator::State DecimalValidator::validate(QString &input, int &) const
{
    return toState(validateDecimalText(input, m_low, m_high));
}

HexaValidator::HexaValidator(const ParameterDefinition &parameter, QObject *parent)
    : QValidator(parent), m_parameter(limitsOnly(parameter))
{
}

QValidator::State HexaValidator::validate(QString &input, int &) const
{
    return toState(validateHexaText(m_parameter, input));
}

StringValidator::StringValidator(const ParameterDefinition &parameter, QObject *parent)
    : QValidator(parent), m_parameter(limitsOnly(parameter))
{
}

QValidator::State StringValidator::validate(QString &input, int &) const
{
    return toState(validateStringText(m_parameter, input));
}

NodeIdValidator::NodeIdValidator(QObject *parent) : QValidator(parent)
{
}

QValidator::State NodeIdValidator::validate(QString &input, int &) const
{
    return isNodeIdText(input) ? Acceptable : Invalid;
}
