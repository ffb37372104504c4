#ifndef KWN_BENCH_BUSDEVICE_H
#define KWN_BENCH_BUSDEVICE_H

// What the bus benches share: frames of the bundled messages to play, a
// device writing them to a pseudo-terminal in 10 ms ticks, and the resident
// memory of the process.

#include "catalogue/catalogue.h"
#include "codec/frame.h"

#include <QByteArray>
#include <QFile>
#include <QPair>
#include <QRandomGenerator>
#include <QVector>

#include <chrono>
#include <thread>

#include <unistd.h>

namespace busdevice {

inline double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

// `count` frames of the bundled messages (catalogue in ./xml) with random
// addresses and data.
inline QVector<QByteArray> sampleFrames(int count)
{
    QRandomGenerator random(2026);
    QVector<QPair<quint8, quint8>> kinds;
    for (const ProfileDefinition &profile : loadProfiles(QStringLiteral("xml"))) {
        for (const MessageDefinition &message : messagesOfProfile(profile, false))
            kinds.append({message.msgId, quint8(profile.nodeType)});
    }
    QVector<QByteArray> frames;
    for (int i = 0; i < count && !kinds.isEmpty(); ++i) {
        const int size = random.bounded(kMaxDataBytes + 1);
        QByteArray data(size, Qt::Uninitialized);
        for (char &c : data)
            c = char(random.bounded(256));
        const auto &kind = kinds.at(i % kinds.size());
        frames.append(packFrame(kind.first, false, quint8(kFrameOverheadBytes + size), kind.second, 0,
                                random.bounded(1, 64), random.bounded(1, 64), data));
    }
    return frames;
}

// All of `chunk` to the pseudo-terminal's master, waiting while it is full.
inline void writeAll(int master, const QByteArray &chunk)
{
    for (qsizetype done = 0; done < chunk.size();) {
        const ssize_t n = ::write(master, chunk.constData() + done, size_t(chunk.size() - done));
        if (n > 0)
            done += n;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace busdevice

#endif
