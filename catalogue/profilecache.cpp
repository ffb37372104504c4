#include "catalogue/profilecache.h"

#include "catalogue/catalogue.h"
#include "catalogue/fileaccess.h"
#include "catalogue/filestamp.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#if defined(Q_OS_UNIX)
#include <cstdio>
#endif

namespace {

// The stamp of a regular file; false for anything else.
bool stampOf(const QString &path, FileStamp *stamp)
{
    *stamp = fileStampOf(path);
    return stamp->regular;
}

// File systems stamp times from a clock that may lag by a tick or keep only
// seconds (two on some); a file changed this recently could change again
// under the same stamp, so its record also keeps the content's hash. Once
// the file has been still for longer, a later change shows in its stamp, and
// the record, its hash found equal once more, goes by the stamp alone.
constexpr qint64 kUnsettledNs = qint64(3) * 1000000000;

bool settled(const FileStamp &stamp, qint64 now)
{
    return qMax(stamp.modifiedNs, stamp.changedNs) <= now - kUnsettledNs;
}

qint64 systemNow()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000;
}

std::atomic<ProfileCacheClock> clockNow{nullptr};
std::atomic<qint64> parsedCount{0};
std::atomic<qint64> comparedCount{0};
std::atomic<qint64> restampedCount{0};

QByteArray contentHash(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

struct KeptProfile
{
    FileStamp stamp;
    QByteArray hash; // empty when the stamp alone says enough
    ProfileDefinition profile;

    bool operator==(const KeptProfile &o) const
    {
        return stamp == o.stamp && hash == o.hash && profile == o.profile;
    }
    bool operator!=(const KeptProfile &o) const { return !(*this == o); }
};

using KeptTable = QHash<QString, KeptProfile>;

// Disk format: magic, format number, the folder, then the records; a SHA-1 of
// all that follows, so that nothing of a damaged file is read.
const char kMagic[] = "KWNPROF\n";
constexpr quint32 kFormat = 1;
constexpr int kStreamVersion = QDataStream::Qt_5_15;
constexpr int kMaxKeptFiles = 1000000;

QMutex keptMutex;
QString cacheFolder;
QHash<QString, KeptTable> kept; // by folder
QStringList keptOrder;          // least recently used folder first
constexpr int kMaxFoldersInMemory = 8;

QByteArray serialise(const QString &folder, const KeptTable &table)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << kFormat << folder << quint32(table.size());
    for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
        const KeptProfile &k = it.value();
        const ProfileDefinition &p = k.profile;
        out << it.key() << k.stamp.device << k.stamp.inode << k.stamp.size << k.stamp.modifiedNs
            << k.stamp.changedNs << k.hash << p.filePath << p.product << p.revision << p.nodeType
            << p.standardMsgPath << p.standardMotorMsgPath;
    }
    return sealCacheData(kMagic, payload);
}

bool deserialise(const QByteArray &bytes, const QString &folder, KeptTable *table)
{
    QByteArray payload;
    if (!unsealCacheData(kMagic, bytes, &payload))
        return false;
    QDataStream in(payload);
    in.setVersion(kStreamVersion);
    quint32 format = 0;
    QString storedFolder;
    quint32 count = 0;
    in >> format >> storedFolder >> count;
    if (in.status() != QDataStream::Ok || format != kFormat || storedFolder != folder || count > kMaxKeptFiles)
        return false;
    KeptTable read;
    for (quint32 i = 0; i < count; ++i) {
        QString path;
        KeptProfile k;
        ProfileDefinition &p = k.profile;
        in >> path >> k.stamp.device >> k.stamp.inode >> k.stamp.size >> k.stamp.modifiedNs >> k.stamp.changedNs
            >> k.hash >> p.filePath >> p.product >> p.revision >> p.nodeType >> p.standardMsgPath
            >> p.standardMotorMsgPath;
        if (in.status() != QDataStream::Ok)
            return false;
        // Only regular files have records.
        k.stamp.exists = k.stamp.regular = true;
        read.insert(path, k);
    }
    if (!in.atEnd())
        return false;
    *table = read;
    return true;
}

KeptTable readDiskTable(const QString &cache, const QString &folder)
{
    KeptTable table;
    if (cache.isEmpty())
        return table;
    // Read as definition files are: a pipe, device or folder in its place, or
    // a file larger than the writer ever keeps, is passed over at once.
    bool ok = false;
    const QByteArray bytes = readRegularFile(profileCacheFile(folder), kMaxProfileCacheBytes, &ok);
    if (!ok || !deserialise(bytes, folder, &table))
        table.clear();
    return table;
}

void writeDiskTable(const QString &cache, const QString &folder, const KeptTable &table)
{
    if (cache.isEmpty() || !writeCacheFile(profileCacheFile(folder), serialise(folder, table)))
        return;
    // Bounded: the folders written longest ago lose their records.
    pruneCacheFiles(cache, QStringLiteral("profiles-*.cache"), kMaxCachedFolders, kMaxProfileCacheBytes);
}

// Reads the files of `todo` (indexes into paths) on all cores: they are
// independent, and parsing is most of the time a large catalogue takes.
void readChanged(const QStringList &paths, const QVector<int> &todo, QVector<KeptProfile> *records,
                 QVector<bool> *usable, qint64 now)
{
    // Each thread writes only its own elements; the arrays are detached first.
    KeptProfile *const keptRecords = records->data();
    bool *const fileUsable = usable->data();
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int t = next++; t < todo.size(); t = next++) {
            const int i = todo.at(t);
            const QString &path = paths.at(i);
            KeptProfile &k = keptRecords[i];
            // Stamped before reading: a change while it is read shows at the next load.
            fileUsable[i] = stampOf(path, &k.stamp);
            bool ok = false;
            const QByteArray bytes = readDefinitionBytes(path, &ok);
            k.profile = ok ? readProfileData(bytes, path) : ProfileDefinition();
            if (!ok)
                fileUsable[i] = false;
            else if (!settled(k.stamp, now))
                k.hash = contentHash(bytes);
        }
    };
    const int helpers = todo.size() < 8 ? 0 : qBound(0, QThread::idealThreadCount() - 1, 7);
    std::vector<std::thread> threads;
    for (int t = 0; t < helpers; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
    parsedCount += todo.size();
}

// The records of `previous` still true of the files, into `records`; the
// indexes of the files to read again into `todo`. A hashed record whose file
// has settled and still has that content loses its hash; false when none did.
bool reuseKept(const QStringList &paths, const KeptTable &previous, qint64 now, QVector<KeptProfile> *records,
               QVector<int> *todo)
{
    bool restamped = false;
    for (int i = 0; i < paths.size(); ++i) {
        const auto it = previous.constFind(paths.at(i));
        FileStamp stamp;
        if (it == previous.constEnd() || !stampOf(paths.at(i), &stamp) || stamp != it->stamp) {
            todo->append(i);
            continue;
        }
        if (it->hash.isEmpty()) {
            (*records)[i] = it.value();
            continue;
        }
        ++comparedCount;
        bool ok = false;
        const QByteArray bytes = readDefinitionBytes(paths.at(i), &ok);
        if (!ok || contentHash(bytes) != it->hash) {
            todo->append(i);
            continue;
        }
        (*records)[i] = it.value();
        if (settled(stamp, now)) {
            // Stamped before the read: what was read is what has that stamp.
            (*records)[i].hash.clear();
            ++restampedCount;
            restamped = true;
        }
    }
    return restamped;
}

} // namespace

QByteArray sealCacheData(const char *magic, const QByteArray &payload)
{
    return QByteArray(magic) + contentHash(payload) + payload;
}

bool unsealCacheData(const char *magic, const QByteArray &bytes, QByteArray *payload)
{
    const int headerSize = int(qstrlen(magic));
    const int hashSize = 20;
    if (bytes.size() < headerSize + hashSize || !bytes.startsWith(magic))
        return false;
    *payload = bytes.mid(headerSize + hashSize);
    return contentHash(*payload) == bytes.mid(headerSize, hashSize);
}

bool writeCacheFile(const QString &path, const QByteArray &bytes)
{
    if (!makePrivateFolder(QFileInfo(path).path()))
        return false;
    // Written beside and renamed into place, so a reader sees the old file or
    // the new one, and whatever had the name (a pipe, a link to a device) is
    // replaced, never written through; a folder there stays and nothing is
    // kept. Not synced to disk: that takes milliseconds, and what a crash
    // might leave half written fails its seal and is ignored.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return false;
#if defined(Q_OS_UNIX)
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return false;
#else
    QFile::remove(path);
    if (!file.rename(path))
        return false;
#endif
    file.setAutoRemove(false);
    return true;
}

void pruneCacheFiles(const QString &folder, const QString &pattern, int maxFiles, qint64 maxBytes)
{
    QFileInfoList files = QDir(folder).entryInfoList(QStringList{pattern}, QDir::Files, QDir::Time);
    qint64 total = 0;
    for (const QFileInfo &file : qAsConst(files))
        total += file.size();
    while (!files.isEmpty() && (files.size() > maxFiles || total > maxBytes)) {
        total -= files.last().size();
        QFile::remove(files.takeLast().filePath());
    }
}

QString profileCacheFile(const QString &folder)
{
    QMutexLocker lock(&keptMutex);
    const QByteArray name = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(20);
    return cacheFolder + QStringLiteral("/profiles-") + QString::fromLatin1(name) + QStringLiteral(".cache");
}

void setDefinitionCacheFolder(const QString &folder)
{
    QMutexLocker lock(&keptMutex);
    cacheFolder = folder;
}

QString definitionCacheFolder()
{
    QMutexLocker lock(&keptMutex);
    return cacheFolder;
}

void setProfileCacheClock(ProfileCacheClock clock)
{
    clockNow = clock;
}

ProfileCacheCounts profileCacheCounts()
{
    ProfileCacheCounts counts;
    counts.parsed = parsedCount;
    counts.compared = comparedCount;
    counts.restamped = restampedCount;
    return counts;
}

void forgetKeptProfiles()
{
    QMutexLocker lock(&keptMutex);
    kept.clear();
    keptOrder.clear();
}

QVector<ProfileDefinition> readProfileFilesKept(const QString &folder, const QStringList &paths)
{
    const QString key = QFileInfo(folder).absoluteFilePath();
    const QString cache = definitionCacheFolder();
    KeptTable previous;
    bool fromMemory = false;
    {
        QMutexLocker lock(&keptMutex);
        const auto it = kept.constFind(key);
        if (it != kept.constEnd()) {
            previous = it.value();
            fromMemory = true;
        }
    }
    KeptTable onDisk;
    if (!fromMemory) {
        onDisk = readDiskTable(cache, key);
        previous = onDisk;
    }

    const ProfileCacheClock clock = clockNow;
    const qint64 now = clock ? clock() : systemNow();
    QVector<KeptProfile> records(paths.size());
    QVector<bool> usable(paths.size(), true);
    QVector<int> todo;
    const bool restamped = reuseKept(paths, previous, now, &records, &todo);
    readChanged(paths, todo, &records, &usable, now);

    KeptTable table;
    QVector<ProfileDefinition> result;
    result.reserve(paths.size());
    for (int i = 0; i < paths.size(); ++i) {
        result.append(records.at(i).profile);
        if (usable.at(i))
            table.insert(paths.at(i), records.at(i));
    }
    {
        QMutexLocker lock(&keptMutex);
        kept.insert(key, table);
        keptOrder.removeOne(key);
        keptOrder.append(key);
        while (keptOrder.size() > kMaxFoldersInMemory)
            kept.remove(keptOrder.takeFirst());
    }
    if (!fromMemory && table != onDisk)
        writeDiskTable(cache, key, table);
    else if (fromMemory && (!todo.isEmpty() || restamped))
        writeDiskTable(cache, key, table);
    return result;
}
