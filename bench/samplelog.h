#ifndef KWN_BENCH_SAMPLELOG_H
#define KWN_BENCH_SAMPLELOG_H

// A bus log of the bundled sample catalogue, shared by the command-line
// benches: frame texts, one per line.

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "codec/valueencoding.h"

#include <QFile>
#include <QStringList>

constexpr int kMessagesPerDevice = 6;

// The frames a bus log holds: for every device, a spread of its messages,
// each once as the device's reply (its own node type as source, some bits
// set) and once as the Encode page builds it to the device (source node type
// 0, defaults), over the three addressing modes.
inline QStringList logFrames(const QString &folder)
{
    const ProfileMap profiles = loadProfiles(folder);
    static const char *const destinations[] = {"1A2B3C", "000000", "FFFFFF"};
    QStringList frames;
    int k = 0;
    for (const QString &product : productNames(profiles)) {
        const ProfileDefinition profile = findProfile(profiles, product, revisionsOf(profiles, product).value(0));
        const QList<MessageDefinition> messages = messagesOfProfile(profile, false).values();
        const int step = qMax(1, messages.size() / kMessagesPerDevice);
        for (int i = 0; i < messages.size(); i += step) {
            const MessageDefinition &m = messages.at(i);
            QList<ParameterInput> inputs;
            for (const ParameterDefinition &p : m.parameters) {
                ParameterInput input = defaultInput(p);
                for (int b = 0; b < input.bitsChecked.size(); b += 2)
                    input.bitsChecked[b] = true;
                inputs << input;
            }
            const QByteArray reply = encodeParameters(m, inputs);
            frames << frameToHexText(packFrame(m.msgId, false, quint8(reply.size() + kFrameOverheadBytes),
                                               quint8(profile.nodeType), 0, 0x1A2B3C, 0x000001, reply));
            const QByteArray data = encodeParameters(m, {});
            frames << frameToHexText(buildFrameBytes(m, quint8(profile.nodeType), k % 2 == 0,
                                                     QStringLiteral("000001"),
                                                     QLatin1String(destinations[k % 3]), data));
            ++k;
        }
    }
    return frames;
}

inline bool writeLog(const QString &path, const QStringList &frames, int count)
{
    QFile file(path);
    if (frames.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;
    QList<QByteArray> lines;
    for (const QString &f : frames)
        lines << f.toLatin1() + '\n';
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        chunk += lines.at(i % lines.size());
        if (chunk.size() > (1 << 20) || i == count - 1) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return true;
}

#endif
