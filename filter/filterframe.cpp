#include "filter/filterframe.h"

const DecodedRow *ReportFilterFrame::row(const QString &name) const
{
    if (!m_report.productFound)
        return nullptr;
    for (const DecodedRow &r : m_report.message.rows)
        if (r.parameterName == name)
            return &r;
    return nullptr;
}

bool ReportFilterFrame::parameter(int, const QString &name, bool *hasRaw, qint64 *raw) const
{
    const DecodedRow *r = row(name);
    if (!r)
        return false;
    *hasRaw = r->hasRaw;
    *raw = r->rawNumber();
    return true;
}

QString ReportFilterFrame::parameterText(int, const QString &name) const
{
    const DecodedRow *r = row(name);
    return r ? filterParameterText(*r) : QString();
}

QString filterParameterText(const DecodedRow &row)
{
    if (row.kind == DecodedRow::LabelOnly)
        return QString();
    if (row.kind == DecodedRow::Bits)
        return parameterValueText(row);
    // Never null: a null text is a row without one.
    return row.unescapedValue.isNull() ? QStringLiteral("") : row.unescapedValue;
}
