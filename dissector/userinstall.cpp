#include "dissector/userinstall.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace dissector {

namespace {

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
        && file.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

// A link named `path` to `target`, whatever file or link had the name.
bool linkFile(const QString &target, const QString &path, QString *error)
{
    const QFileInfo there(path);
    if (there.isDir() && !there.isSymLink()) {
        *error = QStringLiteral("cannot link %1: a folder has that name").arg(path);
        return false;
    }
    if (!QDir().mkpath(there.path()) || ((there.exists() || there.isSymLink()) && !QFile::remove(path))
        || !QFile::link(target, path)) {
        *error = QStringLiteral("cannot link %1 to %2").arg(path, target);
        return false;
    }
    return true;
}

} // namespace

#if defined(Q_OS_WIN)
QString personalLuaFolder()
{
    return qEnvironmentVariable("APPDATA") + QStringLiteral("/Wireshark/plugins");
}

QStringList personalExtcapFolders()
{
    return {qEnvironmentVariable("APPDATA") + QStringLiteral("/Wireshark/extcap")};
}
#else
// Wireshark's own configuration folder: ~/.wireshark when it is there (it
// keeps to it), else the XDG one.
static QString configFolder()
{
    const QString legacy = QDir::homePath() + QStringLiteral("/.wireshark");
    if (QFileInfo(legacy).isDir())
        return legacy;
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/wireshark");
}

QString personalLuaFolder()
{
    return QDir::homePath() + QStringLiteral("/.local/lib/wireshark/plugins");
}

QStringList personalExtcapFolders()
{
    return {configFolder() + QStringLiteral("/extcap"), QDir::homePath() + QStringLiteral("/.local/lib/wireshark/extcap")};
}
#endif

UserInstall installForUser(const QByteArray &lua, const QString &extcapProgram)
{
    UserInstall install;
    const QString luaPath = personalLuaFolder() + QLatin1Char('/') + kDissectorFileName;
    if (!writeFile(luaPath, lua, &install.error))
        return install;
    install.done << QStringLiteral("Wrote %1").arg(luaPath);
    if (extcapProgram.isEmpty())
        return install;
    const QString target = QFileInfo(extcapProgram).absoluteFilePath();
    for (const QString &folder : personalExtcapFolders()) {
        const QString path = folder + QLatin1Char('/') + QFileInfo(target).fileName();
        if (!linkFile(target, path, &install.error))
            return install;
        install.done << QStringLiteral("Linked %1 to %2").arg(path, target);
    }
    return install;
}

} // namespace dissector
