#ifndef KWN_CATALOGUE_DEVICECATALOGUE_H
#define KWN_CATALOGUE_DEVICECATALOGUE_H

// The catalogue of one folder as a reader of many frames needs it: the
// product that each pair of node types names, and per product the message
// that each identifier names (the first by name, as on the Decode page). Read
// when first needed, a device at a time; the files are checked again
// (identity, size, modification and change times) at most once per recheck
// interval, and whatever changed is read again, so a long-running reader sees
// edits and deletions.

#include "catalogue/definitions.h"
#include "catalogue/filestamp.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// The product whose profile decodes a frame of these node types: the one
// whose node type is the source node type. A frame sent by a controller
// carries source node type 0 and names its receiver only in the destination
// node type; when no product has node type 0, such a frame is decoded with
// the receiver's product. Empty when neither names a product.
QString productForNodeTypes(const ProfileMap &profiles, quint8 sourceNodeType, quint8 destinationNodeType);

class DeviceCatalogue
{
public:
    struct Device
    {
        QString product;
        QStringList files; // the message files its messages come from
        std::array<int, 256> messageIndex{};
        QVector<MessageDefinition> messages;

        // The message of an identifier, or none (nullptr).
        const MessageDefinition *message(quint8 id) const
        {
            const int i = messageIndex[id];
            return i < 0 ? nullptr : &messages.at(i);
        }
    };

    explicit DeviceCatalogue(const QString &folder) : m_folder(folder) {}
    DeviceCatalogue(const DeviceCatalogue &) = delete;
    DeviceCatalogue &operator=(const DeviceCatalogue &) = delete;

    QString folder() const { return m_folder; }

    // Default 1000 ms; 0 checks before every refresh.
    void setRecheckIntervalMs(int ms) { m_recheckMs = ms; }

    // Reads the profiles when first called, and checks the files again when
    // the recheck interval has passed since the last check. Cheap otherwise:
    // meant to be called before every frame.
    void refresh()
    {
        if (!m_loaded)
            reload();
        else if (coarseClockMs() - m_checkedAtMs >= m_recheckMs)
            recheck();
    }

    // Checks the files now, whatever the interval.
    void recheck();

    // The device that decodes frames of these node types (each taken modulo
    // 16), its message files read when first asked; nullptr when no product
    // applies. Valid until the generation changes.
    const Device *deviceForNodeTypes(int sourceNodeType, int destinationNodeType)
    {
        const int pair = (sourceNodeType & 0x0F) << 4 | (destinationNodeType & 0x0F);
        if (const Device *known = m_deviceOfPair[pair])
            return known;
        return lookUp(pair);
    }

    // The profiles as last read (none before the first refresh).
    const ProfileMap &profiles() const { return m_profiles; }

    // Changes whenever a device given out may have gone or been read again,
    // so that what a caller keeps of one is known to be stale.
    quint64 generation() const { return m_generation; }

    // Milliseconds of a monotonic clock, a few milliseconds fine where the
    // system has a cheap coarse clock.
    static qint64 coarseClockMs();

private:
    void reload();
    const Device *lookUp(int pair);
    void watch(const QString &path);

    QString m_folder;
    bool m_loaded = false;
    int m_recheckMs = 1000;
    qint64 m_checkedAtMs = 0; // coarseClockMs() at the last check
    quint64 m_generation = 0;
    ProfileMap m_profiles;
    std::array<bool, 256> m_productKnown{};
    std::array<QString, 256> m_productOfPair;
    QHash<QString, Device> m_devices;
    std::array<const Device *, 256> m_deviceOfPair{}; // into m_devices, cleared when it changes
    QHash<QString, FileStamp> m_stamps; // every file and folder read, as it was then
    QSet<QString> m_profileFiles;
};

#endif
