#ifndef KWN_APP_LOCALSOCKET_H
#define KWN_APP_LOCALSOCKET_H

// What the hand-over between two starts of the tool needs of the system: a
// deadline as the milliseconds a waiting call takes, and, off Windows, the
// local stream sockets it talks over.

#include <QDeadlineTimer>
#include <QFile>

#if !defined(Q_OS_WIN)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

inline int remainingMs(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? -1 : int(qMin<qint64>(left, 0x7fffffff));
}

#if !defined(Q_OS_WIN)
// The address of the socket file `path`; false when the path is too long for one.
inline bool socketAddress(const QString &path, sockaddr_un *address)
{
    const QByteArray name = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (name.isEmpty() || size_t(name.size()) >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, name.constData(), size_t(name.size()));
    return true;
}

#if defined(MSG_NOSIGNAL)
const int kNoSignal = MSG_NOSIGNAL; // a closed peer is an error, not a signal
#else
const int kNoSignal = 0;
#endif

inline void makeNonBlocking(int descriptor)
{
    ::fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

// A local stream socket that is not inherited and never blocks.
inline int openSocket()
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (descriptor >= 0)
        makeNonBlocking(descriptor);
    return descriptor;
}

// Waits until `descriptor` is ready for `events` or the deadline passes.
inline bool waitFor(int descriptor, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd entry = {descriptor, events, 0};
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

#endif

#endif
