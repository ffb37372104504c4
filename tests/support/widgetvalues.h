#ifndef KWN_TESTS_SUPPORT_WIDGETVALUES_H
#define KWN_TESTS_SUPPORT_WIDGETVALUES_H

// Checks of a page written as "name.property=value", or "name=present" and
// "name=missing" for whether a child of that name exists.

#include <QObject>
#include <QStringList>

#include <functional>

// The text of "name.property" of the first child of `root` so named.
inline QString widgetValue(const QObject *root, const QString &key)
{
    const QObject *object = root->findChild<QObject *>(key.section(QLatin1Char('.'), 0, 0));
    if (!object)
        return QStringLiteral("missing");
    if (!key.contains(QLatin1Char('.')))
        return QStringLiteral("present");
    const QVariant value = object->property(key.section(QLatin1Char('.'), 1).toLatin1().constData());
    return value.isValid() ? value.toString() : QStringLiteral("no such property");
}

// The checks as they hold now, each key with the value `valueOf` gives it:
// compared with the checks, a failure names the check.
inline QStringList actualChecks(const QStringList &checks, const std::function<QString(const QString &)> &valueOf)
{
    QStringList actual;
    for (const QString &check : checks) {
        const QString key = check.section(QLatin1Char('='), 0, 0);
        actual << key + QLatin1Char('=') + valueOf(key);
    }
    return actual;
}

#endif
