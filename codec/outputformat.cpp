#include "codec/outputformat.h"

#include <QStringList>

namespace {
const QLatin1String kBytePlaceholder("##");
}

bool isValidFormat(const QString &format)
{
    return format.contains(kBytePlaceholder);
}

QString formatOutputText(const QString &frameHexText, const QString &format)
{
    const QStringList parts = format.split(kBytePlaceholder, Qt::KeepEmptyParts);
    const QString prefix = parts.value(0);
    const QString suffix = parts.value(1);

    QString result;
    result.reserve((frameHexText.size() / 2) * (prefix.size() + 2 + suffix.size()));
    for (int i = 0; i + 1 < frameHexText.size(); i += 2)
        result += prefix + frameHexText.mid(i, 2).toUpper() + suffix;
    return result;
}
