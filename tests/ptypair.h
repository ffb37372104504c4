#ifndef KWN_TESTS_PTYPAIR_H
#define KWN_TESTS_PTYPAIR_H

// A pseudo-terminal pair in raw mode, made by the test: the test plays the
// bus devices on the master side, the code under test opens the slave path.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

// What a non-blocking descriptor gives until `got` holds `size` bytes, or
// until its end when `size` is negative; bounded in time.
inline QByteArray &readFrom(int fd, QByteArray &got, qsizetype size, int timeoutMs = 10000)
{
    char buffer[4096];
    QElapsedTimer timer;
    timer.start();
    while ((size < 0 || got.size() < size) && timer.elapsed() < timeoutMs) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, int(n));
        else if (n == 0 && size < 0)
            break;
        else
            QTest::qWait(5);
    }
    return got;
}

struct PtyPair
{
    int master = -1;
    int slave = -1;
    QString path;

    PtyPair()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        // Raw before anyone writes: no echo, no line editing.
        termios t;
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        path = QString::fromLocal8Bit(name);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // Programs the test starts must not hold the far end open.
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    }
    ~PtyPair()
    {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master >= 0; }

    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    // Writes `bytes` from `done` on until all are written or the reader took
    // none for `heldMs`, waiting with the event loop running when `withEvents`;
    // returns how far it got.
    qsizetype writeUntilHeld(const QByteArray &bytes, qsizetype done, int heldMs, bool withEvents = false) const
    {
        QElapsedTimer idle;
        idle.start();
        while (done < bytes.size() && idle.elapsed() < heldMs) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(qMin<qsizetype>(bytes.size() - done, 65536)));
            if (n > 0) {
                done += n;
                idle.restart();
            } else if (withEvents) {
                QTest::qWait(1);
            } else {
                QThread::msleep(1);
            }
        }
        return done;
    }
    // All of `bytes`, with the event loop running while the terminal is
    // full; false if the reader took nothing for ten seconds.
    bool write(const QByteArray &bytes) const { return writeUntilHeld(bytes, 0, 10000, true) == bytes.size(); }
    // What the far end wrote, waiting until `size` bytes came or time ran out.
    QByteArray read(qsizetype size, int timeoutMs = 5000) const
    {
        QByteArray bytes;
        return readFrom(master, bytes, size, timeoutMs);
    }
};

#endif
