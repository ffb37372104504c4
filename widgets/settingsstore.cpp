#include "widgets/settingsstore.h"

#include <QFileInfo>

QSettings settingsStore()
{
    return QSettings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
}

namespace {

QString folderKey(const QString &kind)
{
    return QStringLiteral("folders/") + kind;
}

} // namespace

QString lastFolder(const QString &kind)
{
    const QString folder = settingsStore().value(folderKey(kind)).toString();
    // A folder since removed would open the dialog nowhere useful.
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void rememberFolderOf(const QString &kind, const QString &path)
{
    if (!path.isEmpty())
        settingsStore().setValue(folderKey(kind), QFileInfo(path).absolutePath());
}
