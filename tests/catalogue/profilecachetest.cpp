// The kept catalogue, in memory and on disk: never stale, files read only while
// they may still change, never a wait or an unbounded read at a cache file's name.
// File stamps, and opening the user's file for writing: never through a new
// link, never waiting on a pipe, with the user's umask.

#include "catalogue/catalogue.h"
#include "catalogue/fileaccess.h"
#include "catalogue/filestamp.h"
#include "catalogue/profilecache.h"
#include "cataloguefiles.h"
#include "support/boundedrun.h"
#include "support/datarows.h"

#include <QCryptographicHash>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

// What happens to the files of a catalogue, or to its cache file, between two loads.
const QStringList kFileChanges{"edited same size", "edited same size, recent", "edited longer", "renamed", "replaced",
                               "deleted", "added"};
const QStringList kCacheChanges{"cache damaged", "cache cut short", "cache of another folder", "cache empty",
                                "cache not ours"};

// The clock the cache reads here: the system's, moved on by clockAheadNs.
qint64 clockAheadNs = 0;
constexpr qint64 kSecondNs = 1000000000;

qint64 movedClock()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000000 + clockAheadNs;
}

QByteArray profile(const QByteArray &product, const QByteArray &revision = "1")
{
    return "<profiles_def><profile product=\"" + product + "\" revision=\"" + revision
        + "\" node_type=\"1\" standard_msg=\"/std.xml\" standard_motor_msg=\"/motor.xml\"/></profiles_def>";
}

// A message file that the DOM reader reads (for the document type), so that it is kept.
const QByteArray kMessages = "<!DOCTYPE message_def><message_def><message name=\"Start\" msg_id=\"0x10\">"
                             "<parameter name=\"Speed\" size=\"2\" min=\"0x8000\" sign=\"signed\"><value value=\"1\" "
                             "description=\"Slow\"/></parameter><!-- note --></message><message name=\"Stop\" "
                             "node_mode=\"slave\"/></message_def>";

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

// "parsed/compared/restamped" of a load of `folder` ("stale" unless it gives
// what the files say); the bytes it read go to `read` (-1: not told).
QString load(const QString &folder, qint64 *read = nullptr)
{
    const ProfileCacheCounts before = profileCacheCounts();
    const qint64 readBefore = bytesReadSoFar();
    const ProfileMap map = loadProfiles(folder);
    if (read)
        *read = readBefore < 0 ? -1 : bytesReadSoFar() - readBefore;
    const ProfileCacheCounts now = profileCacheCounts();
    if (map != parsedAfresh(folder))
        return QStringLiteral("stale");
    return QStringLiteral("%1/%2/%3").arg(now.parsed - before.parsed).arg(now.compared - before.compared)
        .arg(now.restamped - before.restamped);
}

// Gives the file back its modification time: only change time, identity or content tell.
void keepModificationTime(const QString &path, const QDateTime &before)
{
    const struct utimbuf times = {before.toSecsSinceEpoch(), before.toSecsSinceEpoch()};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

// The cache file spoiled at the UTF-16 text `marker`, emptied, or replaced by `other`.
void spoil(const QString &cacheFile, const QString &how, const QString &marker, const QByteArray &other)
{
    QByteArray bytes = readFile(cacheFile);
    const int at = bytes.indexOf(QByteArray(reinterpret_cast<const char *>(marker.utf16()), marker.size() * 2));
    QVERIFY(at > 0);
    if (how == "cache damaged")
        bytes[at] = 'O';
    else if (how == "cache cut short")
        bytes.truncate(at + 1);
    else if (how == "cache empty")
        bytes.clear();
    else if (how == "cache not ours")
        bytes = "<html>not a cache</html>" + bytes.mid(40);
    else
        bytes = other;
    QVERIFY(writeFile(cacheFile, bytes));
}

QString messageCacheFile(const QString &cache, const QByteArray &messages)
{
    return cache + "/messages/" + QCryptographicHash::hash(messages, QCryptographicHash::Sha1).toHex() + ".cache";
}

} // namespace

class ProfileCacheTest : public QObject
{
    Q_OBJECT

    QTemporaryDir root;
    QString cache;

    // Each row has its own catalogue, one for each way of loading it again.
    QString folderOf(const QString &row, bool throughDisk) const
    {
        return root.path() + '/' + row + (throughDisk ? "-disk" : "") + "/xml";
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        cache = root.path() + "/cache";
        setDefinitionCacheFolder(cache);
        setProfileCacheClock(movedClock);
        // Left still past the settling time: the rows check what stamps alone tell.
        for (const QString &row : kFileChanges + kCacheChanges) {
            for (bool disk : {false, true}) {
                const QString dir = folderOf(row, disk);
                QVERIFY(writeFile(dir + "/a.xml", profile("Alpha")) && writeFile(dir + "/b.xml", profile("Beta", "2")));
                QVERIFY(writeFile(dir + "/c.xml", "<profiles_def><profile product=\"Broken\""));
            }
        }
        QThread::sleep(4);
    }

    void init() { clockAheadNs = 0; }
    void cleanupTestCase() { setDefinitionCacheFolder(QString()); }

    void neverStale_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("throughDisk"); // as at a later start
        for (bool disk : {false, true}) {
            for (const QString &change : kFileChanges)
                QTest::addRow("%s, %s", qPrintable(change), disk ? "next start" : "same process") << change << disk;
        }
        for (const QString &change : kCacheChanges)
            QTest::newRow(qPrintable(change)) << change << true;
    }
    void neverStale()
    {
        QFETCH(QString, change);
        QFETCH(bool, throughDisk);
        const QString dir = folderOf(change, throughDisk), a = dir + "/a.xml";
        QVERIFY(load(dir) != "stale" && parsedAfresh(dir).size() == 3); // the malformed file counts, as nothing
        const QString cacheFile = profileCacheFile(QFileInfo(dir).absoluteFilePath());
        QVERIFY(!throughDisk || QFileInfo::exists(cacheFile));
        const QDateTime before = QFileInfo(a).lastModified();
        if (change.startsWith("edited same size")) {
            if (change.endsWith("recent")) {
                QVERIFY(writeFile(a, profile("Alpho")));
                loadProfiles(dir); // now kept as a file changed moments ago
            }
            QVERIFY(writeFile(a, profile("Alphi")));
            keepModificationTime(a, before);
        } else if (change == "edited longer") {
            QVERIFY(writeFile(a, profile("Alpha longer")));
        } else if (change == "renamed") {
            QVERIFY(QFile::rename(a, dir + "/d.xml") && QFile::rename(dir + "/b.xml", a)); // a.xml is now Beta
        } else if (change == "replaced") {
            // Another file of the same size and times takes its place.
            QVERIFY(writeFile(dir + "/new.tmp", profile("Gamma")));
            keepModificationTime(dir + "/new.tmp", before);
            QVERIFY(QFile::remove(a) && QFile::rename(dir + "/new.tmp", a));
        } else if (change == "deleted") {
            QVERIFY(QFile::remove(a));
        } else if (change == "added") {
            QVERIFY(writeFile(dir + "/e.xml", profile("Epsilon", "5")));
        } else {
            const QString other = root.path() + "/other/xml";
            QVERIFY(writeFile(other + "/a.xml", profile("Other")));
            loadProfiles(other);
            spoil(cacheFile, change, "Alpha", readFile(profileCacheFile(QFileInfo(other).absoluteFilePath())));
        }
        if (throughDisk)
            forgetKeptProfiles();
        QVERIFY(load(dir) != "stale");
        // The cache written now serves a later start.
        forgetKeptProfiles();
        QVERIFY(load(dir) != "stale");
    }

    // Files written moments ago are compared by content at each load; once
    // settled they are restamped, and later loads read none of them.
    void settledRecordsRestamped()
    {
        for (bool throughDisk : {false, true}) {
            const QString dir = root.path() + (throughDisk ? "/settling-disk/xml" : "/settling/xml");
            // Padded, so that reading one shows among whatever else the process reads.
            const QByteArray padding = "<!-- " + QByteArray(256 * 1024, 'x') + " -->";
            for (const char *name : {"a", "b"})
                QVERIFY(writeFile(dir + "/" + name + ".xml",
                                  QByteArray(profile(name)).replace("</profiles_def>", QByteArray(padding + "</profiles_def>"))));
            const auto start = [&] {
                if (throughDisk)
                    forgetKeptProfiles();
            };
            clockAheadNs = 0;
            QCOMPARE(load(dir), "2/0/0");
            start();
            QCOMPARE(load(dir), "0/2/0"); // written just now: compared by content
            clockAheadNs = 4 * kSecondNs; // still for longer than the settling time
            start();
            QCOMPARE(load(dir), "0/2/2");
            QCOMPARE(load(dir), "0/0/0");
            for (int i = 0; i < 2; ++i) {
                forgetKeptProfiles();
                qint64 read = 0;
                QCOMPARE(load(dir, &read), "0/0/0");
                QVERIFY2(read < padding.size(), qPrintable(QStringLiteral("%1 bytes read").arg(read)));
            }
        }
    }

    // A file changed under the stamp it was kept with (the kept record is given
    // the new stamp by hand): its content tells, settled or not.
    void sameStampChangeSeen()
    {
        for (qint64 clockMovedNs : {qint64(0), 4 * kSecondNs}) {
            const QString dir = root.path() + QStringLiteral("/same-stamp/%1/xml").arg(clockMovedNs), a = dir + "/a.xml";
            QVERIFY(writeFile(a, profile("Alpha")) && loadProfiles(dir).contains("Alpha_1"));
            const FileStamp kept = fileStampOf(a);
            QVERIFY(writeFile(a, profile("Alpho")));
            const FileStamp now = fileStampOf(a);
            QCOMPARE(now.size, kept.size);
            const auto stored = [](const FileStamp &stamp) {
                QByteArray bytes;
                QDataStream(&bytes, QIODevice::WriteOnly) << stamp.device << stamp.inode << stamp.size << stamp.modifiedNs
                                                          << stamp.changedNs;
                return bytes;
            };
            const QString cacheFile = profileCacheFile(QFileInfo(dir).absoluteFilePath());
            const QByteArray bytes = readFile(cacheFile), magic = bytes.left(8);
            QByteArray payload;
            QVERIFY(unsealCacheData(magic.constData(), bytes, &payload));
            QCOMPARE(payload.count(stored(kept)), 1);
            QVERIFY(writeFile(cacheFile, sealCacheData(magic.constData(), payload.replace(stored(kept), stored(now)))));
            clockAheadNs = clockMovedNs;
            for (const char *start : {"next start", "start after"}) {
                forgetKeptProfiles();
                QVERIFY2(load(dir) != "stale", start);
            }
        }
    }

    // Message files read by the DOM reader are kept under their content's hash.
    void messagesNeverStale()
    {
        for (const QString change : {"unchanged", "edited same size", "cache damaged", "cache cut short",
                                     "cache of another file", "cache empty"}) {
            const QString path = root.path() + "/messages/" + change + "/m.xml";
            QVERIFY(writeFile(path, kMessages));
            clearMessageFileCache();
            QCOMPARE(readMessageFile(path).messages, readMessageData(kMessages));
            QCOMPARE(readMessageFile(path).messages.size(), 2);
            const QString kept = messageCacheFile(cache, kMessages);
            QVERIFY(QFileInfo::exists(kept));
            QByteArray current = kMessages;
            if (change == "edited same size") {
                QVERIFY(writeFile(path, current.replace("Slow", "Fast")));
            } else if (change != "unchanged") {
                const QByteArray other = "<!DOCTYPE message_def><message_def><message name=\"Other\"/></message_def>";
                QVERIFY(writeFile(path + ".other", other));
                readMessageFile(path + ".other");
                spoil(kept, change, "Slow", readFile(messageCacheFile(cache, other)));
            }
            clearMessageFileCache(); // as at a later start
            QVERIFY2(readMessageFile(path).messages == readMessageData(current), qPrintable(change));
        }
    }

    void boundedNumberOfFolders()
    {
        for (int i = 0; i < kMaxCachedFolders + 5; ++i) {
            const QString dir = root.path() + QStringLiteral("/many/%1/xml").arg(i);
            QVERIFY(writeFile(dir + "/a.xml", profile("Alpha", QByteArray::number(i))));
            loadProfiles(dir);
        }
        QVERIFY(QDir(cache).entryList({"profiles-*.cache"}, QDir::Files).size() <= kMaxCachedFolders);
        // Without a cache folder nothing is written.
        setDefinitionCacheFolder(QString());
        const QString dir = root.path() + "/nocache/xml";
        QVERIFY(writeFile(dir + "/a.xml", profile("Alpha")) && load(dir) != "stale");
        setDefinitionCacheFolder(cache);
        QVERIFY(!QFileInfo::exists(profileCacheFile(QFileInfo(dir).absoluteFilePath())));
    }

    // Something else at a cache file's name is neither waited on nor read, and
    // is replaced by a cache file of our own (nothing is written into a folder).
    void cacheReplaced_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("replacement");
        for (const char *which : {"profiles", "messages"}) {
            for (const char *replacement : {"pipe", "link to /dev/zero", "folder", "oversized"})
                QTest::addRow("%s, %s", which, replacement) << QString(which) << QString(replacement);
        }
    }
    void cacheReplaced()
    {
        QFETCH(QString, which);
        QFETCH(QString, replacement);
        const QString name = which + '-' + QString(replacement).replace('/', '_');
        const QString rowCache = root.path() + "/replaced-cache/" + name, dir = root.path() + "/replaced/" + name + "/xml";
        setDefinitionCacheFolder(rowCache);
        QVERIFY(writeFile(dir + "/a.xml", profile("Alpha")) && writeFile(dir + "/std.xml", kMessages));
        const bool profiles = which == "profiles";
        const QString cacheFile =
            profiles ? profileCacheFile(QFileInfo(dir).absoluteFilePath()) : messageCacheFile(rowCache, kMessages);
        const qint64 bound = profiles ? kMaxProfileCacheBytes : kMaxMessageCacheFileBytes;
        const QByteArray encoded = QFile::encodeName(cacheFile);
        QVERIFY(QDir().mkpath(QFileInfo(cacheFile).path()));
        QFile big(cacheFile);
        if (replacement == "pipe")
            QCOMPARE(::mkfifo(encoded.constData(), 0600), 0);
        else if (replacement == "folder")
            QVERIFY(QDir().mkpath(cacheFile));
        else
            QVERIFY(replacement == "oversized" ? big.open(QIODevice::WriteOnly) && big.resize(bound + 1) // sparse
                                               : QFile::link("/dev/zero", cacheFile));
        for (const char *start : {"first start", "next start"}) {
            forgetKeptProfiles();
            clearMessageFileCache();
            ProfileMap loaded;
            MessageMap messages;
            const qint64 readBefore = bytesReadSoFar();
            QVERIFY2(returnsInTime([&] {
                         loaded = loadProfiles(dir);
                         messages = messagesOfProfile(loaded.value("Alpha_1"), false);
                     }, replacement == "pipe" ? encoded : QByteArray()),
                     start);
            // The files of the catalogue are some hundred bytes.
            const qint64 read = bytesReadSoFar() - readBefore;
            QVERIFY2(readBefore < 0 || read < 1024 * 1024, qPrintable(QStringLiteral("%1: %2 bytes read").arg(start).arg(read)));
            QCOMPARE(loaded, parsedAfresh(dir));
            QCOMPARE(messages, readMessageData(kMessages));
        }
        const QFileInfo after(cacheFile);
        if (replacement == "folder")
            QVERIFY(after.isDir() && QDir(cacheFile).isEmpty());
        else
            QVERIFY(after.isFile() && !after.isSymLink() && after.size() < bound);
        setDefinitionCacheFolder(cache);
    }

    // The cache folders, and any missing folder above them, are the user's alone.
    void cacheFoldersPrivate()
    {
        const QString top = root.path() + "/private", rowCache = top + "/home/cache/kwn";
        const QString dir = root.path() + "/private-catalogue/xml";
        QVERIFY(writeFile(dir + "/a.xml", profile("Alpha")) && writeFile(dir + "/std.xml", kMessages));
        setDefinitionCacheFolder(rowCache);
        const mode_t mask = ::umask(022);
        forgetKeptProfiles();
        clearMessageFileCache();
        const MessageMap messages = messagesOfProfile(loadProfiles(dir).value("Alpha_1"), false);
        ::umask(mask);
        setDefinitionCacheFolder(cache);
        QCOMPARE(messages.size(), 2);
        for (const QString &folder : QStringList{top, top + "/home", top + "/home/cache", rowCache, rowCache + "/messages"}) {
            struct stat st;
            QVERIFY2(::stat(QFile::encodeName(folder).constData(), &st) == 0 && (st.st_mode & 07777) == 0700, qPrintable(folder));
        }
    }

    void stamps_data() { addDataRows(QStringLiteral("catalogue/filestamps.txt")); }
    void stamps()
    {
        QFETCH(QStringList, row);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("f.xml"), "12345") && QDir(dir.path()).mkdir("sub"));
        QVERIFY(QFile::link(dir.filePath("f.xml"), dir.filePath("link.xml")));
        QVERIFY(QFile::link(dir.filePath("gone.xml"), dir.filePath("dangling.xml")));
        const FileStamp stamp = fileStampOf(row[0].isEmpty() ? QString() : dir.filePath(row[0]));
        QCOMPARE(stamp.exists, row[1] == "1");
        QCOMPARE(stamp.regular, row[2] == "1");
        QVERIFY(row[3] == "-" || stamp.size == row[3].toLongLong());
        QVERIFY(stamp.exists ? stamp.modifiedNs > 0 && stamp.changedNs > 0 && stamp.inode != 0 : stamp == FileStamp());
    }

    // A change of the file's identity or times changes the stamp. (An edit
    // within one tick of the file system's clock may keep its times; the
    // profile cache compares such recent files by content.)
    void stampChanges()
    {
        for (const QString change : {"replaced by another file", "touched", "removed"}) {
            QTemporaryDir dir;
            const QString path = dir.filePath("f.xml");
            QVERIFY(writeFile(path, "alpha"));
            const FileStamp before = fileStampOf(path);
            QVERIFY(fileStampOf(path) == before);
            QFile file(path);
            if (change == "replaced by another file")
                QVERIFY(writeFile(path + ".new", "alpha") && QFile::remove(path) && QFile::rename(path + ".new", path));
            else if (change == "touched")
                QVERIFY(file.open(QIODevice::ReadWrite)
                        && file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
            else
                QVERIFY(file.remove());
            QVERIFY2(fileStampOf(path) != before, qPrintable(change));
        }
    }

    void openForWriting_data() { addDataRows(QStringLiteral("catalogue/openforwriting.txt")); }
    void openForWriting()
    {
        QFETCH(QStringList, row);
        const QString kind = row[0];
        QTemporaryDir dir;
        const QString path = dir.filePath("bus.log"), other = dir.filePath("other");
        QVERIFY(writeFile(other, "theirs"));
        if (kind == "file")
            QVERIFY(writeFile(path, "old"));
        else if (kind == "dangling")
            QVERIFY(QFile::link(dir.filePath("missing"), path));
        else if (kind == "link")
            QVERIFY(QFile::link(other, path));
        else if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir(dir.path()).mkdir("bus.log"));
        QFile file;
        QString error;
        const QStringList maskAndMode = row.value(4).split(' ', Qt::SkipEmptyParts);
        const mode_t before = ::umask(mode_t(maskAndMode.value(0, "022").toUInt(nullptr, 8)));
        const bool opened = ::openForWriting(file, path, &error);
        ::umask(before);
        QCOMPARE(opened, row[1] == "1");
        QVERIFY2(error.contains(row[2]), qPrintable(error));
        QVERIFY(row[1] == "0" || (file.isOpen() && file.write("mine") == 4));
        file.close();
        QVERIFY(!QFile::exists(dir.filePath("missing")));
        QCOMPARE(readFile(other), row[3] == "1" ? QByteArray("mine") : QByteArray("theirs"));
        if (!maskAndMode.isEmpty()) {
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(uint(st.st_mode & 0777), maskAndMode[1].toUInt(nullptr, 8));
        }
    }
};

QTEST_GUILESS_MAIN(ProfileCacheTest)
#include "profilecachetest.moc"
