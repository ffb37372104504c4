#ifndef KWN_ENCODER_PARAMETERVALIDATORS_H
#define KWN_ENCODER_PARAMETERVALIDATORS_H

// Validators of the parameter and node ID fields. Each one asks the shared rule of
// codec/valueencoding.h, so the colour of a field and the warnings of the
// command line always agree. Acceptable texts show black, Intermediate red;
// Invalid keystrokes are refused.

#include "catalogue/definitions.h"

#include <QValidator>

// Plain decimal integers within the limits; no exponent, separators, dot or plus.
class DecimalValidator : public QValidator
{
public:
    DecimalValidator(qint64 low, qint64 high, QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;

private:
    qint64 m_low;
    qint64 m_high;
};

// Up to 2 x size hexadecimal digits; the range is judged by the page.
class HexaValidator : public QValidator
{
public:
    explicit HexaValidator(const ParameterDefinition &parameter, QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;

private:
    ParameterDefinition m_parameter;
};

// Exactly `size` 7-bit ASCII characters.
class StringValidator : public QValidator
{
public:
    explicit StringValidator(const ParameterDefinition &parameter, QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;

private:
    ParameterDefinition m_parameter;
};

// Node ID fields: up to six hexadecimal digits of either case, all
// Acceptable (whether they make a valid node ID is judged apart); anything
// else Invalid.
class NodeIdValidator : public QValidator
{
public:
    explicit NodeIdValidator(QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;
};

#endif
