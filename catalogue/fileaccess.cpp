#include "catalogue/fileaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QByteArray readRegularFile(const QString &path, qint64 maxBytes, bool *ok)
{
    *ok = false;
    maxBytes = qBound<qint64>(0, maxBytes, kMaxRegularFileBytes);
    // Only regular files: a folder names no file, and a pipe or device would
    // block or never end. Devices are not even opened when the path names one.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() > maxBytes)
        return QByteArray();
#if defined(Q_OS_UNIX)
    // Something else may take the file's place between that look and the
    // open, and opening a pipe without a writer waits for ever: open without
    // blocking and judge what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    struct stat opened;
    QFile file;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_size > maxBytes
        || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QByteArray();
    }
    const qint64 expected = qint64(opened.st_size);
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxBytes)
        return QByteArray();
    const qint64 expected = file.size();
#endif
    // One byte past the size found, and then past the limit when the file
    // grew since, so that a file grown beyond the limit is refused rather
    // than cut short. No buffer of the limit's size is taken for a small file.
    QByteArray bytes = file.read(expected + 1);
    if (bytes.size() > expected && bytes.size() <= maxBytes)
        bytes += file.read(maxBytes + 1 - bytes.size());
    if (bytes.size() > maxBytes || file.error() != QFile::NoError)
        return QByteArray();
    *ok = true;
    return bytes;
}

bool makePrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
#if defined(Q_OS_UNIX)
    // The missing folders, the topmost first; a folder made meanwhile by
    // another process is as good as one made here.
    QStringList missing;
    for (QString at = folder; !QFileInfo::exists(at);) {
        missing.prepend(at);
        const QString above = QFileInfo(at).path();
        if (above == at)
            break;
        at = above;
    }
    for (const QString &at : qAsConst(missing)) {
        if (::mkdir(QFile::encodeName(at).constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return QFileInfo(folder).isDir();
#else
    return QDir().mkpath(folder);
#endif
}

bool openForWriting(QFile &file, const QString &path, QString *error)
{
#if defined(Q_OS_UNIX)
    const QByteArray name = QFile::encodeName(path);
    struct stat link = {};
    int fd = -1;
    if (::lstat(name.constData(), &link) != 0 && errno == ENOENT) {
        // New: made here or not at all, whatever appeared at the name meanwhile.
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } else if (S_ISLNK(link.st_mode)) {
        struct stat target = {};
        if (::stat(name.constData(), &target) != 0) {
            *error = QStringLiteral("%1 is a link to a file that does not exist").arg(path);
            return false;
        }
        fd = ::open(name.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    } else {
        fd = ::open(name.constData(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        if (errno == ELOOP)
            *error = QStringLiteral("%1 was replaced by a link after it was chosen").arg(path);
        else if (errno == EEXIST)
            *error = QStringLiteral("%1 was made by another program after it was chosen").arg(path);
        else
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // Writes block as they do on any file; only the open was not to wait on a pipe.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return false;
    }
    return true;
#else
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}
