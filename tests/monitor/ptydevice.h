#ifndef KWN_TESTS_MONITOR_PTYDEVICE_H
#define KWN_TESTS_MONITOR_PTYDEVICE_H

// A pseudo-terminal pair made by the test: the page opens the slave by its
// path, and the test plays the bus devices on the master side.

#include "catalogue/catalogue.h"
#include "codec/frame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>
#include <QVector>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyDevice
{
public:
    PtyDevice()
    {
        int slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        path = QString::fromLocal8Bit(name);
        // Raw on both sides before anyone writes: no echo, no line editing.
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyDevice() { closeMaster(); }
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    bool ok() const { return master >= 0; }

    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        QElapsedTimer waited;
        waited.start();
        while (done < bytes.size() && waited.elapsed() < 10000) {
            const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else
                QTest::qWait(1); // the terminal's buffer is full: let the page read
        }
        return done == bytes.size();
    }

    // Everything the page wrote, waiting until `size` bytes came or a timeout.
    QByteArray read(qsizetype size, int timeoutMs = 5000)
    {
        QByteArray bytes;
        QElapsedTimer waited;
        waited.start();
        char buffer[4096];
        while (bytes.size() < size && waited.elapsed() < timeoutMs) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, int(n));
            else
                QTest::qWait(5);
        }
        return bytes;
    }

    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }

    QString path;

private:
    int master = -1;
};

// A frame of message `id` with random addresses and data.
inline QByteArray randomFrame(QRandomGenerator &random, quint8 id, quint8 nodeType, int dataSize)
{
    QByteArray data(dataSize, Qt::Uninitialized);
    for (char &c : data)
        c = char(random.bounded(256));
    return packFrame(id, random.bounded(2) == 1, quint8(kFrameOverheadBytes + dataSize), nodeType,
                     quint8(random.bounded(16)), random.bounded(1, 0xFFFFFE),
                     random.bounded(1, 0xFFFFFE), data);
}

// Random frames of the messages of every bundled profile, each message in turn.
inline QVector<QByteArray> bundledFrames(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    struct Kind { quint8 id; quint8 nodeType; };
    QVector<Kind> kinds;
    const ProfileMap profiles = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    for (const ProfileDefinition &profile : profiles) {
        const MessageMap messages = messagesOfProfile(profile, false);
        for (const MessageDefinition &message : messages)
            kinds.append({quint8(message.msgId), quint8(profile.nodeType)});
    }
    QVector<QByteArray> frames;
    for (int i = 0; i < count && !kinds.isEmpty(); ++i) {
        const Kind &kind = kinds.at(i % kinds.size());
        frames.append(randomFrame(random, kind.id, kind.nodeType, random.bounded(kMaxDataBytes + 1)));
    }
    return frames;
}

#endif
