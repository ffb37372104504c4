#ifndef KWN_TESTS_SUPPORT_BOUNDEDRUN_H
#define KWN_TESTS_SUPPORT_BOUNDEDRUN_H

// Work that must neither wait for ever nor read without bound.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

// Runs `work` on a thread of its own; false when it has not returned within
// 10 s, far beyond what it takes. A thread stuck opening the pipe `pipe` is
// then set free by a writer that comes and goes, so that the test can end.
template <class Work>
bool returnsInTime(const Work &work, const QByteArray &pipe = QByteArray())
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QElapsedTimer wait;
    wait.start();
    while (!done && wait.elapsed() < 10000)
        QThread::msleep(10);
    const bool hung = !done;
    for (int fd; !done; QThread::msleep(10)) {
        if ((fd = pipe.isEmpty() ? -1 : ::open(pipe.constData(), O_WRONLY | O_NONBLOCK)) >= 0)
            ::close(fd);
    }
    worker.join();
    return !hung;
}

// The bytes this process has read so far, by any means; -1 where the system
// does not tell.
inline qint64 bytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    const QList<QByteArray> lines = io.open(QIODevice::ReadOnly) ? io.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray &line : lines) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

#endif
