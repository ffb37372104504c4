#ifndef KWN_WIDGETS_SETTINGSSTORE_H
#define KWN_WIDGETS_SETTINGSSTORE_H

#include <QSettings>

// The application's settings ("Quorvex", "KWN Frame Builder"; on Linux
// ~/.config/Quorvex/KWN Frame Builder.conf). The names are given here rather
// than taken from the application, so a page built without main() reads and
// writes the same store.
QSettings settingsStore();

// The folders file dialogs open in, one per kind of file ("busFiles" for
// logs and captures, "plotExports" for a plot's PNG and CSV): where the last
// file of that kind was chosen; empty before the first.
QString lastFolder(const QString &kind);
// Remembers the folder of `path` for its kind.
void rememberFolderOf(const QString &kind, const QString &path);

#endif
