#ifndef KWN_WIDGETS_SETTINGSSTORE_H
#define KWN_WIDGETS_SETTINGSSTORE_H

#include <QSettings>

// The application's settings ("Quorvex", "KWN Frame Builder"; on Linux
// ~/.config/Quorvex/KWN Frame Builder.conf). The names are given here rather
// than taken from the application, so a page built without main() reads and
// writes the same store.
QSettings settingsStore();

#endif
