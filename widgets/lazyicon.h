#ifndef KWN_WIDGETS_LAZYICON_H
#define KWN_WIDGETS_LAZYICON_H

// An icon read from its file only when something first draws it or asks for
// one of its sizes. A multi-image icon file costs milliseconds to decode,
// which a window's start need not pay when the window system never shows it.

#include <QIcon>
#include <QString>

QIcon lazyIcon(const QString &fileName);

#endif
