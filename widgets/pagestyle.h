#ifndef KWN_WIDGETS_PAGESTYLE_H
#define KWN_WIDGETS_PAGESTYLE_H

// What the pages share in building their widgets: the style sheets that show
// a field's validity, and naming a new object as it is made.

#include <QString>

// An invalid field or a failure, and a valid one (also read-only fields).
inline const QString kRed = QStringLiteral("color: red");
inline const QString kBlack = QStringLiteral("color: black");

// Gives `object` its object name and returns it.
template<typename T>
T *named(T *object, const QString &name)
{
    object->setObjectName(name);
    return object;
}

#endif
