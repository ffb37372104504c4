#include "catalogue/devicecatalogue.h"

#include "catalogue/catalogue.h"

#include <QElapsedTimer>

#ifdef Q_OS_UNIX
#include <time.h>
#endif

QString productForNodeTypes(const ProfileMap &profiles, quint8 sourceNodeType, quint8 destinationNodeType)
{
    const QString sender = productForNodeType(profiles, sourceNodeType);
    if (!sender.isEmpty() || sourceNodeType != 0)
        return sender;
    return productForNodeType(profiles, destinationNodeType);
}

// Asked before every frame, so where the system has a cheap coarse clock that
// one is used: the recheck interval is a second.
qint64 DeviceCatalogue::coarseClockMs()
{
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

void DeviceCatalogue::watch(const QString &path)
{
    if (!path.isEmpty() && !m_stamps.contains(path))
        m_stamps.insert(path, fileStampOf(path));
}

// Stamps are taken before the files are read: an edit in between is seen as
// a change at the next check, never missed.
void DeviceCatalogue::reload()
{
    ++m_generation;
    m_stamps.clear();
    m_devices.clear();
    m_deviceOfPair.fill(nullptr);
    m_productKnown.fill(false);
    watch(m_folder);
    m_profileFiles.clear();
    for (const QString &path : profileFilePaths(m_folder)) {
        watch(path);
        m_profileFiles.insert(path);
    }
    m_profiles = loadProfiles(m_folder);
    m_loaded = true;
    m_checkedAtMs = coarseClockMs();
}

void DeviceCatalogue::recheck()
{
    if (!m_loaded) {
        reload();
        return;
    }
    m_checkedAtMs = coarseClockMs();
    QSet<QString> changed;
    for (auto it = m_stamps.begin(); it != m_stamps.end(); ++it) {
        const FileStamp now = fileStampOf(it.key());
        if (now != it.value()) {
            changed.insert(it.key());
            it.value() = now;
        }
    }
    if (changed.isEmpty())
        return;
    if (changed.contains(m_folder) || changed.intersects(m_profileFiles)) {
        reload();
        return;
    }
    // Only message files: drop the devices that read them.
    ++m_generation;
    m_deviceOfPair.fill(nullptr);
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        bool stale = false;
        for (const QString &file : qAsConst(it->files))
            stale = stale || changed.contains(file);
        if (stale)
            it = m_devices.erase(it);
        else
            ++it;
    }
}

const DeviceCatalogue::Device *DeviceCatalogue::lookUp(int pair)
{
    if (!m_productKnown[pair]) {
        m_productKnown[pair] = true;
        m_productOfPair[pair] = productForNodeTypes(m_profiles, quint8(pair >> 4), quint8(pair & 0x0F));
    }
    const QString &product = m_productOfPair[pair];
    if (product.isEmpty())
        return nullptr;
    auto it = m_devices.find(product);
    if (it == m_devices.end()) {
        Device d;
        d.product = product;
        d.messageIndex.fill(-1);
        const ProfileDefinition profile =
            findProfile(m_profiles, product, revisionsOf(m_profiles, product).value(0));
        d.files = QStringList{profile.standardMsgPath, profile.standardMotorMsgPath, profile.filePath};
        for (const QString &file : qAsConst(d.files))
            watch(file);
        const MessageMap all = messagesOfProfile(profile, false);
        for (const MessageDefinition &m : all) {
            if (d.messageIndex[m.msgId] < 0) {
                d.messageIndex[m.msgId] = d.messages.size();
                d.messages.append(m);
            }
        }
        // An insertion may move the other entries.
        ++m_generation;
        m_deviceOfPair.fill(nullptr);
        it = m_devices.insert(product, d);
    }
    m_deviceOfPair[pair] = &it.value();
    return &it.value();
}
