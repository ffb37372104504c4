#include "catalogue/catalogue.h"
#include "catalogue/filestamp.h"
#include "catalogue/profilecache.h"

#include <QCryptographicHash>
#include <QtTest>

#include <atomic>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace {

// The clock the cache reads here: the system's, moved on by clockAheadNs.
qint64 clockAheadNs = 0;
constexpr qint64 kSecondNs = 1000000000;

qint64 movedClock()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000 + clockAheadNs;
}

// What the cache did with the files since `before`.
ProfileCacheCounts countsSince(const ProfileCacheCounts &before)
{
    const ProfileCacheCounts now = profileCacheCounts();
    ProfileCacheCounts d;
    d.parsed = now.parsed - before.parsed;
    d.compared = now.compared - before.compared;
    d.restamped = now.restamped - before.restamped;
    return d;
}

// A stamp as the disk cache holds it.
QByteArray storedStamp(const FileStamp &stamp)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << stamp.device << stamp.inode << stamp.size << stamp.modifiedNs << stamp.changedNs;
    return bytes;
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile out(path);
    QVERIFY2(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size(), qPrintable(path));
}

QByteArray profile(const QByteArray &product, const QByteArray &revision, int nodeType)
{
    return "<profiles_def><profile product=\"" + product + "\" revision=\"" + revision + "\" node_type=\""
        + QByteArray::number(nodeType) + "\" standard_msg=\"/std.xml\" standard_motor_msg=\"/motor.xml\"/>"
        + "</profiles_def>";
}

// What the files say, read one by one with nothing kept.
ProfileMap parsedAfresh(const QString &folder)
{
    ProfileMap map;
    for (const QString &path : profileFilePaths(folder)) {
        const ProfileDefinition p = readProfileFile(path);
        map.insert(profileKey(p), p);
    }
    return map;
}

// Gives the file back the modification time it had, so that only its change
// time, identity or content can tell the edit.
void keepModificationTime(const QString &path, const QDateTime &before)
{
#ifdef Q_OS_UNIX
    struct utimbuf times;
    times.actime = before.toSecsSinceEpoch();
    times.modtime = before.toSecsSinceEpoch();
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
#else
    Q_UNUSED(path)
    Q_UNUSED(before)
#endif
}

// The bytes this process has read so far, by any means; -1 where the system
// does not tell.
qint64 bytesReadSoFar()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

#ifdef Q_OS_UNIX
// Far beyond what a load takes; only a wait for ever reaches it.
constexpr qint64 kHangMs = 10000;

// Runs `load` on a thread of its own; false when it has not returned within
// kHangMs. A thread stuck opening the pipe `pipe` is then set free by a
// writer that comes and goes, so that the test can end.
template <class Load>
bool returnsInTime(const Load &load, const QByteArray &pipe)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        load();
        done = true;
    });
    QElapsedTimer wait;
    wait.start();
    while (!done && wait.elapsed() < kHangMs)
        QThread::msleep(10);
    const bool hung = !done;
    while (!done) {
        const int fd = pipe.isEmpty() ? -1 : ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        QThread::msleep(10);
    }
    worker.join();
    return !hung;
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}
#endif

} // namespace

class ProfileCacheTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString cache;

    // Each row has its own catalogue, one for each way of loading it again.
    QString folderOf(const QString &row, bool throughDisk) const
    {
        return root.path() + QStringLiteral("/") + row + (throughDisk ? QStringLiteral("-disk") : QString())
            + QStringLiteral("/xml");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(root.isValid());
        QStandardPaths::setTestModeEnabled(true);
        cache = root.path() + QStringLiteral("/cache");
        setDefinitionCacheFolder(cache);
        // Every row's catalogue is written first and left still for longer than
        // the time within which a file is also compared by content, so that the
        // rows check what the identity, size and times alone tell.
        for (const char *row : {"edited same size", "edited same size, recent", "edited longer", "renamed",
                                "replaced", "deleted", "added", "cache damaged", "cache cut short",
                                "cache of another folder", "cache empty", "cache not ours"}) {
            for (bool disk : {false, true}) {
                const QString dir = folderOf(QString::fromLatin1(row), disk);
                write(dir + "/a.xml", profile("Alpha", "1", 1));
                write(dir + "/b.xml", profile("Beta", "2", 2));
                write(dir + "/c.xml", "<profiles_def><profile product=\"Broken\"");
            }
        }
        QThread::sleep(4);
    }

    void init()
    {
        clockAheadNs = 0;
        setProfileCacheClock(movedClock);
    }

    void cleanupTestCase()
    {
        setProfileCacheClock(nullptr);
        setDefinitionCacheFolder(QString());
    }

    void neverStale_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("throughDisk"); // as at a later start

        for (bool disk : {false, true}) {
            const char *where = disk ? ", next start" : ", same process";
            for (const char *change : {"edited same size", "edited same size, recent", "edited longer", "renamed",
                                       "replaced", "deleted", "added"})
                QTest::newRow(qPrintable(QString::fromLatin1(change) + where)) << QString::fromLatin1(change) << disk;
        }
        for (const char *change : {"cache damaged", "cache cut short", "cache of another folder", "cache empty",
                                   "cache not ours"})
            QTest::newRow(change) << QString::fromLatin1(change) << true;
    }

    void neverStale()
    {
        QFETCH(QString, change);
        QFETCH(bool, throughDisk);
        const QString dir = folderOf(change, throughDisk);

        const ProfileMap first = loadProfiles(dir);
        QCOMPARE(first, parsedAfresh(dir));
        QVERIFY(first.contains("Alpha_1"));
        QVERIFY(first.contains("_")); // the malformed file counts, as nothing
        const QString cacheFile = profileCacheFile(QFileInfo(dir).absoluteFilePath());
        if (throughDisk)
            QVERIFY(QFileInfo::exists(cacheFile));

        const QString a = dir + "/a.xml";
        const QDateTime before = QFileInfo(a).lastModified();
        if (change == "edited same size") {
            write(a, profile("Alpho", "1", 1));
            keepModificationTime(a, before);
        } else if (change == "edited same size, recent") {
            write(a, profile("Alpho", "1", 1));
            loadProfiles(dir); // now kept as a file changed moments ago
            write(a, profile("Alphi", "1", 1));
            keepModificationTime(a, before);
        } else if (change == "edited longer") {
            write(a, profile("Alpha longer", "1", 1));
        } else if (change == "renamed") {
            QVERIFY(QFile::rename(a, dir + "/d.xml"));
            QVERIFY(QFile::rename(dir + "/b.xml", a)); // a.xml is now Beta
        } else if (change == "replaced") {
            // Another file of the same size and times takes its place.
            write(dir + "/new.tmp", profile("Gamma", "1", 1));
            keepModificationTime(dir + "/new.tmp", before);
            QVERIFY(QFile::remove(a));
            QVERIFY(QFile::rename(dir + "/new.tmp", a));
        } else if (change == "deleted") {
            QVERIFY(QFile::remove(a));
        } else if (change == "added") {
            write(dir + "/e.xml", profile("Epsilon", "5", 5));
        } else {
            // The files stay; the cache file is spoiled so that trusting it
            // would show a product that no file names.
            QFile file(cacheFile);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray bytes = file.readAll();
            file.close();
            const QByteArray alpha = QByteArray::fromRawData(reinterpret_cast<const char *>(u"Alpha"), 10);
            const int at = bytes.indexOf(alpha);
            QVERIFY(at > 0);
            if (change == "cache damaged") {
                bytes[at] = 'O'; // "Olpha"
            } else if (change == "cache cut short") {
                bytes.truncate(at + 4);
            } else if (change == "cache of another folder") {
                // A sound cache written for another folder that holds other files.
                const QString other = root.path() + "/other/xml";
                write(other + "/a.xml", profile("Other", "1", 1));
                loadProfiles(other);
                QFile otherFile(profileCacheFile(QFileInfo(other).absoluteFilePath()));
                QVERIFY(otherFile.open(QIODevice::ReadOnly));
                bytes = otherFile.readAll();
            } else if (change == "cache empty") {
                bytes.clear();
            } else {
                bytes = "<html>not a cache</html>" + bytes.mid(40);
            }
            write(cacheFile, bytes);
        }

        if (throughDisk)
            forgetKeptProfiles();
        const ProfileMap second = loadProfiles(dir);
        QCOMPARE(second, parsedAfresh(dir));
        QVERIFY(!second.contains("Olpha_1") && !second.contains("Other_1"));
        if (change.startsWith("edited same size"))
            QVERIFY(!second.contains("Alpha_1"));

        // The cache written now serves a later start with the same result.
        forgetKeptProfiles();
        QCOMPARE(loadProfiles(dir), second);
    }

    // Files loaded moments after they were written are kept with their
    // content's hash and read at each load to compare it; the first load after
    // they have been still long enough keeps them on their stamps alone, so
    // that the second page loading at start, and every later start, reads
    // none of them.
    void settledRecordsRestamped_data()
    {
        QTest::addColumn<bool>("throughDisk"); // each load as at a later start
        QTest::newRow("same process") << false;
        QTest::newRow("next start") << true;
    }

    void settledRecordsRestamped()
    {
        QFETCH(bool, throughDisk);
        const QString dir = root.path() + (throughDisk ? "/settling-disk/xml" : "/settling/xml");
        // Padded, so that reading one shows among whatever else the process reads.
        const QByteArray padding = "<!-- " + QByteArray(256 * 1024, 'x') + " -->";
        for (const char *name : {"a", "b"}) {
            QByteArray text = profile(name, "1", 1);
            text.insert(text.indexOf("</profiles_def>"), padding);
            write(dir + "/" + name + ".xml", text);
        }
        const ProfileMap expected = parsedAfresh(dir);
        QCOMPARE(expected.size(), 2);
        const auto start = [&] {
            if (throughDisk)
                forgetKeptProfiles();
        };

        ProfileCacheCounts before = profileCacheCounts();
        QCOMPARE(loadProfiles(dir), expected);
        QCOMPARE(countsSince(before).parsed, qint64(2));
        // Written just now: compared by content.
        start();
        before = profileCacheCounts();
        QCOMPARE(loadProfiles(dir), expected);
        QCOMPARE(countsSince(before).parsed, qint64(0));
        QCOMPARE(countsSince(before).compared, qint64(2));
        QCOMPARE(countsSince(before).restamped, qint64(0));

        // Still for longer than the settling time: compared once more and kept
        // on the stamps alone, which the second page finds already.
        clockAheadNs = 4 * kSecondNs;
        start();
        before = profileCacheCounts();
        QCOMPARE(loadProfiles(dir), expected);
        QCOMPARE(countsSince(before).parsed, qint64(0));
        QCOMPARE(countsSince(before).compared, qint64(2));
        QCOMPARE(countsSince(before).restamped, qint64(2));
        before = profileCacheCounts();
        QCOMPARE(loadProfiles(dir), expected);
        QCOMPARE(countsSince(before).compared, qint64(0));

        // Every later start reads none of the files.
        for (int i = 0; i < 2; ++i) {
            forgetKeptProfiles();
            before = profileCacheCounts();
            const qint64 readBefore = bytesReadSoFar();
            QCOMPARE(loadProfiles(dir), expected);
            const qint64 read = bytesReadSoFar() - readBefore;
            QCOMPARE(countsSince(before).parsed, qint64(0));
            QCOMPARE(countsSince(before).compared, qint64(0));
            if (readBefore >= 0)
                QVERIFY2(read < padding.size(), qPrintable(QStringLiteral("%1 bytes read").arg(read)));
        }
    }

    // A file changed again under the stamp it was kept with, as where the
    // file system keeps only seconds: its content tells, whether or not it
    // has settled since. The kept record is given the new stamp by hand.
    void sameStampChangeSeen_data()
    {
        QTest::addColumn<qint64>("clockMovedNs");
        QTest::newRow("moments later") << qint64(0);
        QTest::newRow("once settled") << 4 * kSecondNs;
    }

    void sameStampChangeSeen()
    {
        QFETCH(qint64, clockMovedNs);
        const QString dir = root.path() + QStringLiteral("/same-stamp/%1/xml").arg(clockMovedNs);
        const QString a = dir + "/a.xml";
        write(a, profile("Alpha", "1", 1));
        QVERIFY(loadProfiles(dir).contains("Alpha_1"));
        const FileStamp kept = fileStampOf(a);
        write(a, profile("Alpho", "1", 1));
        const FileStamp now = fileStampOf(a);
        QCOMPARE(now.size, kept.size);

        const QString cacheFile = profileCacheFile(QFileInfo(dir).absoluteFilePath());
        QFile file(cacheFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        const QByteArray magic = bytes.left(8);
        QByteArray payload;
        QVERIFY(unsealCacheData(magic.constData(), bytes, &payload));
        QCOMPARE(payload.count(storedStamp(kept)), 1);
        payload.replace(storedStamp(kept), storedStamp(now));
        write(cacheFile, sealCacheData(magic.constData(), payload));

        clockAheadNs = clockMovedNs;
        for (const char *start : {"next start", "start after"}) {
            forgetKeptProfiles();
            const ProfileMap loaded = loadProfiles(dir);
            QVERIFY2(loaded.contains("Alpho_1") && !loaded.contains("Alpha_1"), start);
            QCOMPARE(loaded, parsedAfresh(dir));
        }
    }

    // Message files that the DOM reader reads (here for the document type)
    // are kept under their content's hash: a changed file is another entry,
    // and a spoiled entry is parsed again.
    void messagesNeverStale_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"unchanged", "edited same size", "cache damaged", "cache cut short",
                                   "cache of another file", "cache empty"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void messagesNeverStale()
    {
        QFETCH(QString, change);
        const QString path = root.path() + "/messages/" + change + "/m.xml";
        const QByteArray original = "<!DOCTYPE message_def><message_def><message name=\"Start\" msg_id=\"0x10\">"
                                    "<parameter name=\"Speed\" size=\"2\" min=\"0x8000\" sign=\"signed\">"
                                    "<value value=\"1\" description=\"Slow\"/></parameter><!-- note -->"
                                    "</message><message name=\"Stop\" node_mode=\"slave\"/></message_def>";
        write(path, original);
        clearMessageFileCache();
        QCOMPARE(readMessageFile(path).messages, readMessageData(original));
        QCOMPARE(readMessageFile(path).messages.size(), 2);

        const QString kept = cache + "/messages/"
            + QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha1).toHex()) + ".cache";
        QVERIFY(QFileInfo::exists(kept));
        QByteArray current = original;
        if (change == "edited same size") {
            current.replace("Slow", "Fast");
            write(path, current);
        } else if (change != "unchanged") {
            QFile file(kept);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray bytes = file.readAll();
            file.close();
            const QByteArray slow = QByteArray::fromRawData(reinterpret_cast<const char *>(u"Slow"), 8);
            const int at = bytes.indexOf(slow);
            QVERIFY(at > 0);
            if (change == "cache damaged") {
                bytes[at] = 'F';
            } else if (change == "cache cut short") {
                bytes.truncate(at);
            } else if (change == "cache of another file") {
                const QByteArray other = "<!DOCTYPE message_def><message_def><message name=\"Other\"/></message_def>";
                write(path + ".other", other);
                readMessageFile(path + ".other");
                QFile otherFile(cache + "/messages/"
                                + QString::fromLatin1(QCryptographicHash::hash(other, QCryptographicHash::Sha1).toHex())
                                + ".cache");
                QVERIFY(otherFile.open(QIODevice::ReadOnly));
                bytes = otherFile.readAll();
            } else {
                bytes.clear();
            }
            write(kept, bytes);
        }
        // As at a later start: nothing in memory.
        clearMessageFileCache();
        QCOMPARE(readMessageFile(path).messages, readMessageData(current));
    }

    // What the pages list comes from these queries: the same with the cache,
    // cold and warm, as without it.
    void sampleCatalogueSameWithCache()
    {
        const QString sample = QStringLiteral(KWN_SOURCE_DIR "/xml");
        setDefinitionCacheFolder(QString());
        forgetKeptProfiles();
        clearMessageFileCache();
        const ProfileMap plain = loadProfiles(sample);
        QVERIFY(plain.size() > 1);
        QMap<QString, MessageMap> plainMessages;
        for (const ProfileDefinition &p : plain) {
            plainMessages.insert(profileKey(p) + "+", messagesOfProfile(p, false));
            plainMessages.insert(profileKey(p) + "-", messagesOfProfile(p, true));
        }
        setDefinitionCacheFolder(root.path() + "/samplecache");
        for (const char *pass : {"cold", "warm"}) {
            forgetKeptProfiles();
            clearMessageFileCache();
            const ProfileMap cached = loadProfiles(sample);
            QVERIFY2(cached == plain, pass);
            QCOMPARE(productNames(cached), productNames(plain));
            for (const ProfileDefinition &p : cached) {
                QCOMPARE(revisionsOf(cached, p.product), revisionsOf(plain, p.product));
                QVERIFY2(messagesOfProfile(p, false) == plainMessages.value(profileKey(p) + "+"), pass);
                QVERIFY2(messagesOfProfile(p, true) == plainMessages.value(profileKey(p) + "-"), pass);
            }
        }
        // Its profiles are kept; its message files are plain, read again
        // each time sooner than from a kept copy, so none is written.
        QVERIFY(!QDir(root.path() + "/samplecache").entryList(QStringList{"profiles-*.cache"}, QDir::Files).isEmpty());
        QVERIFY(QDir(root.path() + "/samplecache/messages").entryList(QDir::Files).isEmpty());
        setDefinitionCacheFolder(cache);
    }

    void boundedNumberOfFolders()
    {
        for (int i = 0; i < kMaxCachedFolders + 5; ++i) {
            const QString dir = root.path() + QStringLiteral("/many/%1/xml").arg(i);
            write(dir + "/a.xml", profile("Alpha", QByteArray::number(i), 1));
            loadProfiles(dir);
        }
        const QStringList files = QDir(cache).entryList(QStringList{"profiles-*.cache"}, QDir::Files);
        QVERIFY2(files.size() <= kMaxCachedFolders, qPrintable(QString::number(files.size())));
    }

    void noCacheFolderWritesNothing()
    {
        setDefinitionCacheFolder(QString());
        const QString dir = root.path() + "/nocache/xml";
        write(dir + "/a.xml", profile("Alpha", "1", 1));
        QCOMPARE(loadProfiles(dir), parsedAfresh(dir));
        setDefinitionCacheFolder(cache);
        QVERIFY(!QFileInfo::exists(profileCacheFile(QFileInfo(dir).absoluteFilePath())));
    }

#ifdef Q_OS_UNIX
    // Something other than a cache file at a cache file's name, before the
    // first start: it is neither waited on nor read, the catalogue loads as
    // without a cache, and the cache written then is a file of the tool's
    // own in its place (nothing is written into a folder).
    void cacheReplaced_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("replacement");
        for (const char *which : {"profiles", "messages"}) {
            for (const char *replacement : {"pipe", "link to /dev/zero", "folder", "oversized"})
                QTest::newRow(qPrintable(QString::fromLatin1(which) + ", " + replacement))
                    << QString::fromLatin1(which) << QString::fromLatin1(replacement);
        }
    }

    void cacheReplaced()
    {
        QFETCH(QString, which);
        QFETCH(QString, replacement);
        const QString name = which + QLatin1Char('-') + QString(replacement).replace(QLatin1Char('/'), QLatin1Char('_'));
        const QString rowCache = root.path() + "/replaced-cache/" + name;
        const QString dir = root.path() + "/replaced/" + name + "/xml";
        setDefinitionCacheFolder(rowCache);
        // A message file that the DOM reader reads, so that it is kept.
        const QByteArray messages = "<!DOCTYPE message_def><message_def><message name=\"Start\" msg_id=\"0x10\">"
                                    "<parameter name=\"Speed\" size=\"1\"/></message></message_def>";
        write(dir + "/a.xml", profile("Alpha", "1", 1));
        write(dir + "/std.xml", messages);
        const ProfileMap expected = parsedAfresh(dir);
        const MessageMap expectedMessages = readMessageData(messages);
        QCOMPARE(expectedMessages.keys(), QStringList{"Start"});

        const bool profiles = which == "profiles";
        const QString cacheFile = profiles
            ? profileCacheFile(QFileInfo(dir).absoluteFilePath())
            : rowCache + "/messages/"
                + QString::fromLatin1(QCryptographicHash::hash(messages, QCryptographicHash::Sha1).toHex()) + ".cache";
        const qint64 bound = profiles ? kMaxProfileCacheBytes : kMaxMessageCacheFileBytes;
        const QByteArray encoded = QFile::encodeName(cacheFile);
        QVERIFY(QDir().mkpath(QFileInfo(cacheFile).path()));
        if (replacement == "pipe") {
            QCOMPARE(::mkfifo(encoded.constData(), 0600), 0);
        } else if (replacement == "link to /dev/zero") {
            QVERIFY(QFile::link("/dev/zero", cacheFile));
        } else if (replacement == "folder") {
            QVERIFY(QDir().mkpath(cacheFile));
        } else {
            // Sparse: one byte more than any cache file that is read.
            QFile big(cacheFile);
            QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(bound + 1));
        }

        for (const char *start : {"first start", "next start"}) {
            forgetKeptProfiles();
            clearMessageFileCache();
            ProfileMap loaded;
            MessageMap loadedMessages;
            const qint64 readBefore = bytesReadSoFar();
            const bool returned = returnsInTime(
                [&] {
                    loaded = loadProfiles(dir);
                    loadedMessages = messagesOfProfile(loaded.value("Alpha_1"), false);
                },
                replacement == "pipe" ? encoded : QByteArray());
            const qint64 read = bytesReadSoFar() - readBefore;
            QVERIFY2(returned, start);
            // The files of the catalogue are some hundred bytes.
            if (readBefore >= 0)
                QVERIFY2(read < 1024 * 1024, qPrintable(QStringLiteral("%1: %2 bytes read").arg(start).arg(read)));
            QCOMPARE(loaded, expected);
            QCOMPARE(loadedMessages, expectedMessages);
        }

        const QFileInfo after(cacheFile);
        if (replacement == "folder") {
            QVERIFY(after.isDir() && QDir(cacheFile).isEmpty());
        } else {
            QVERIFY(after.isFile() && !after.isSymLink() && after.size() < bound);
        }
        setDefinitionCacheFolder(cache);
    }

    // The cache folders, and any missing folder above them, are the user's
    // alone, whatever the process lets others have of the files it makes.
    void cacheFoldersPrivate()
    {
        const QString top = root.path() + "/private";
        const QString rowCache = top + "/home/cache/kwn";
        const QString dir = root.path() + "/private-catalogue/xml";
        write(dir + "/a.xml", profile("Alpha", "1", 1));
        write(dir + "/std.xml", "<!DOCTYPE message_def><message_def><message name=\"Start\"/></message_def>");
        setDefinitionCacheFolder(rowCache);
        const mode_t mask = ::umask(022);
        forgetKeptProfiles();
        clearMessageFileCache();
        const ProfileMap loaded = loadProfiles(dir);
        const MessageMap messages = messagesOfProfile(loaded.value("Alpha_1"), false);
        ::umask(mask);
        setDefinitionCacheFolder(cache);
        QCOMPARE(messages.keys(), QStringList{"Start"});
        QVERIFY(QFileInfo::exists(rowCache + "/messages"));
        for (const QString &folder : QStringList{top, top + "/home", top + "/home/cache", rowCache, rowCache + "/messages"})
            QVERIFY2(modeOf(folder) == 0700, qPrintable(folder + QStringLiteral(": %1").arg(modeOf(folder), 0, 8)));
    }
#endif
};

QTEST_GUILESS_MAIN(ProfileCacheTest)
#include "profilecachetest.moc"
