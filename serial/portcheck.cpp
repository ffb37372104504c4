#include "serial/portcheck.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <cstring>
#include <limits>
#include <utility>

#ifdef Q_OS_UNIX
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

qint64 PortCheck::lockFileProcess(const QByteArray &contents)
{
    // A process number fits in three bytes, so the binary form holds a zero
    // byte, which no text form does.
    if (contents.size() == 4 && contents.contains('\0')) {
        qint32 pid = 0;
        std::memcpy(&pid, contents.constData(), sizeof pid);
        return pid > 0 ? pid : 0;
    }
    const auto end = contents.indexOf('\n');
    const QByteArray line = (end < 0 ? contents : contents.left(end)).trimmed();
    if (line.isEmpty() || line.size() > 10)
        return 0;
    for (const char c : line) {
        if (c < '0' || c > '9')
            return 0;
    }
    const qint64 pid = line.toLongLong();
    return pid <= std::numeric_limits<qint32>::max() ? pid : 0;
}

QStringList PortCheck::lockFileNames(const QString &device)
{
    QString below = device;
    if (below.startsWith(QLatin1String("/dev/")))
        below.remove(0, 5);
    below.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList names{QStringLiteral("LCK..") + below};
    const QString base = QStringLiteral("LCK..") + device.mid(device.lastIndexOf(QLatin1Char('/')) + 1);
    if (base != names.first())
        names.append(base);
    return names;
}

PortCheck::PortCheck(const QString &path)
{
#ifdef Q_OS_UNIX
    m_verdict = check(path);
#else
    Q_UNUSED(path)
#endif
}

PortCheck::~PortCheck()
{
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0)
        ::close(m_descriptor);
#endif
}

#ifdef Q_OS_UNIX
namespace {

#ifdef Q_OS_LINUX
// The number of a pseudo-terminal slave (majors 136 to 143), else -1.
int ptyIndex(dev_t device)
{
    const unsigned int high = major(device);
    return high >= 136 && high < 144 ? int((high - 136) * 256 + minor(device)) : -1;
}

bool sameDevice(const struct stat &a, const struct stat &b)
{
    // Each container has its own set of pseudo-terminals, numbered alike.
    return S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev
           && (ptyIndex(a.st_rdev) < 0 || a.st_dev == b.st_dev);
}

// False only when sysfs knows the device and files it under another class
// than tty (/dev/null is "mem"): such a device is not even opened. Slaves
// of pseudo-terminals are not in sysfs.
bool terminalClass(dev_t device)
{
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/char/%u:%u/subsystem", major(device), minor(device));
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path, target, sizeof target - 1);
    if (n <= 0)
        return true;
    target[n] = '\0';
    const char *slash = std::strrchr(target, '/');
    return std::strcmp(slash ? slash + 1 : target, "tty") == 0;
}

// The pseudo-terminal a master descriptor serves, -1 when the system does
// not say (before Linux 4.18).
int masterIndex(const QByteArray &fdInfo)
{
    const int descriptor = ::open(fdInfo.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    char text[1024];
    const ssize_t n = ::read(descriptor, text, sizeof text - 1);
    ::close(descriptor);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    const char *field = std::strstr(text, "tty-index:");
    return field ? std::atoi(field + 10) : -1;
}

// Whether process `pid` has the device open. A process that also holds the
// master of a pseudo-terminal plays the device (a terminal window, socat, a
// test), and keeps the slave open only to set its mode: that is no use.
bool processHolds(long pid, const struct stat &device, int index)
{
    const QByteArray proc = "/proc/" + QByteArray::number(qint64(pid));
    DIR *fds = ::opendir(QByteArray(proc + "/fd").constData());
    if (!fds)
        return false; // ended, or another user's
    bool holds = false;
    bool master = false;
    while (const dirent *entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        const QByteArray link = proc + "/fd/" + entry->d_name;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        // Files elsewhere are not looked at: a stat could wait on a network.
        if (std::strncmp(target, "/dev/", 5) != 0)
            continue;
        if (index >= 0 && (std::strcmp(target, "/dev/ptmx") == 0 || std::strcmp(target, "/dev/pts/ptmx") == 0)) {
            const int served = masterIndex(proc + "/fdinfo/" + entry->d_name);
            master = master || served < 0 || served == index;
            continue;
        }
        struct stat st;
        if (!holds && ::stat(link.constData(), &st) == 0 && sameDevice(st, device))
            holds = true;
    }
    ::closedir(fds);
    return holds && !master;
}

// Whether another process has the device open (through whatever name).
bool openElsewhere(const struct stat &device)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    const long self = long(::getpid());
    const int index = ptyIndex(device.st_rdev);
    bool found = false;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (!entry)
            break;
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && pid > 0 && pid != self)
            found = processHolds(pid, device, index);
    }
    ::closedir(proc);
    return found;
}
#else
bool terminalClass(dev_t)
{
    return true;
}

bool openElsewhere(const struct stat &)
{
    return false;
}
#endif

QMutex heldPortsMutex;
QSet<quint64> heldPorts; // device numbers of the ports this process holds

bool heldHere(dev_t device)
{
    QMutexLocker lock(&heldPortsMutex);
    return heldPorts.contains(quint64(device));
}

// Whether the terminal is in exclusive mode, as QSerialPort sets it.
bool exclusive(int descriptor)
{
#ifdef TIOCGEXCL
    int on = 0;
    return ::ioctl(descriptor, TIOCGEXCL, &on) == 0 && on != 0;
#else
    Q_UNUSED(descriptor)
    return false;
#endif
}

// A regular file's first bytes; false for anything else (a FIFO planted in
// the lock folder must not hold the check up).
bool readSmallFile(const QString &path, QByteArray *contents)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct stat st;
    char bytes[256];
    ssize_t n = -1;
    if (::fstat(descriptor, &st) == 0 && S_ISREG(st.st_mode))
        n = ::read(descriptor, bytes, sizeof bytes);
    ::close(descriptor);
    if (n < 0)
        return false;
    *contents = QByteArray(bytes, int(n));
    return true;
}

bool running(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

// The running process that a lock file of the device names, 0 if none. The
// lock files of ended processes are removed, as UUCP programs do: Qt takes
// over only those in its own text form, and refuses the binary ones.
qint64 lockHolder(const QString &given, const QString &device)
{
    QStringList names = PortCheck::lockFileNames(device);
    const QString qtName = PortCheck::lockFileNames(given).first();
    if (!names.contains(qtName))
        names.append(qtName);
    QStringList folders;
    for (const char *folder : {"/run/lock", "/var/lock"}) {
        const QString canonical = QFileInfo(QString::fromLatin1(folder)).canonicalFilePath();
        if (!canonical.isEmpty() && !folders.contains(canonical))
            folders.append(canonical);
    }
    for (const QString &folder : std::as_const(folders)) {
        for (const QString &name : std::as_const(names)) {
            const QString file = folder + QLatin1Char('/') + name;
            QByteArray contents;
            if (!readSmallFile(file, &contents))
                continue;
            const qint64 pid = PortCheck::lockFileProcess(contents);
            if (pid <= 0)
                continue;
            if (running(pid))
                return pid;
            QByteArray again;
            if (readSmallFile(file, &again) && again == contents)
                QFile::remove(file);
        }
    }
    return 0;
}

} // namespace

quint64 PortCheck::holdPort(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    QMutexLocker lock(&heldPortsMutex);
    heldPorts.insert(quint64(st.st_rdev));
    return quint64(st.st_rdev);
}

void PortCheck::releasePort(quint64 held)
{
    QMutexLocker lock(&heldPortsMutex);
    heldPorts.remove(held);
}

PortCheck::Verdict PortCheck::check(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat st;
    if (::stat(file.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Missing : Openable;
    if (!S_ISCHR(st.st_mode) || !terminalClass(st.st_rdev))
        return NotSerial;
    bool denied = false;
    m_descriptor = ::open(file.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_descriptor < 0) {
        if (errno == EBUSY)
            return InUse; // exclusive mode, for a user other than root
        denied = errno == EACCES || errno == EPERM;
    } else {
        // Judged on what was opened, not on what the name pointed to before.
        if (::fstat(m_descriptor, &st) == 0 && !S_ISCHR(st.st_mode))
            return NotSerial;
        if (!::isatty(m_descriptor) && errno == ENOTTY)
            return NotSerial;
    }
    const bool elsewhere = openElsewhere(st);
    if (m_descriptor >= 0 && exclusive(m_descriptor)) {
        if (elsewhere || heldHere(st.st_rdev))
            return InUse;
#ifdef TIOCNXCL
        // Left set by a program that ended without closing the port: the
        // terminal stays so while anything (socat, a terminal window) keeps
        // it open, and nobody uses it.
        ::ioctl(m_descriptor, TIOCNXCL);
#endif
    }
    if (elsewhere)
        return InUse;
    const QString device = QFileInfo(path).canonicalFilePath();
    m_lockPid = lockHolder(path, device.isEmpty() ? path : device);
    if (m_lockPid > 0)
        return Locked;
    return denied ? NoAccess : Openable;
}
#endif

#ifndef Q_OS_UNIX
quint64 PortCheck::holdPort(const QString &)
{
    return 0;
}

void PortCheck::releasePort(quint64)
{
}
#endif
