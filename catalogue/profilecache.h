#ifndef KWN_CATALOGUE_PROFILECACHE_H
#define KWN_CATALOGUE_PROFILECACHE_H

// Profile records kept between loads of a folder, one per file, so that a
// load parses only the files that changed. A record is used again only when
// the file has the same identity, size and modification and change times (to
// the nanosecond where the system keeps them); a file changed within the last
// seconds, where two edits can share a time stamp, is compared by content as
// well. Kept in memory for the process and, when a cache folder is set, on
// disk there for the next start. A cache file that is damaged, cut short or
// written by something else is ignored, never trusted; one that is no regular
// file (a pipe, a device, a folder) or is too large is not even read.

#include "catalogue/definitions.h"

#include <QStringList>
#include <QVector>

// The profile records of `paths`, in the same order; what readProfileFile
// gives for each.
QVector<ProfileDefinition> readProfileFilesKept(const QString &folder, const QStringList &paths);

// The folder the records are kept in between starts; empty (the default)
// keeps them in memory only. The tool sets its user cache folder.
void setDefinitionCacheFolder(const QString &folder);
QString definitionCacheFolder();

// The file under the cache folder that holds the records of `folder`.
QString profileCacheFile(const QString &folder);

// The clock a load reads "now" from, in nanoseconds since the epoch: it
// tells a file changed moments ago, kept with its content's hash, from one
// long still. Null (the default) is the system clock; tests set one they
// can move.
using ProfileCacheClock = qint64 (*)();
void setProfileCacheClock(ProfileCacheClock clock);

// What the loads of this process did with the files, counted from the start.
struct ProfileCacheCounts
{
    qint64 parsed = 0;    // files read and parsed
    qint64 compared = 0;  // kept files read to compare their content's hash
    qint64 restamped = 0; // hashed records whose file had settled, kept on the stamp alone since
};
ProfileCacheCounts profileCacheCounts();

// Forgets the records kept in memory; the next load reads the disk cache, if
// any, and the files.
void forgetKeptProfiles();

// At most this many folders keep records on disk, in at most this many
// bytes; the least recently written go first. So no larger profile cache file
// is read either: one that size would have been removed as soon as written.
// A record takes some hundred bytes, so that is room for about a hundred
// thousand files in one folder.
constexpr int kMaxCachedFolders = 32;
constexpr qint64 kMaxProfileCacheBytes = 64 * 1024 * 1024;
// No kept message file larger than this is written or read. A real message
// file of a few hundred kilobytes is kept in about as many again; only a file
// far beyond any real one would need more, and it is then parsed every time.
constexpr qint64 kMaxMessageCacheFileBytes = 32 * 1024 * 1024;

// Helpers of the cache files. A file is a magic text, the SHA-1 of the
// payload, then the payload: nothing of a damaged file is read.
QByteArray sealCacheData(const char *magic, const QByteArray &payload);
bool unsealCacheData(const char *magic, const QByteArray &bytes, QByteArray *payload);
// Written whole or not at all, never through a link or into a pipe or device
// that has the name (the folder is made for the user alone when missing).
bool writeCacheFile(const QString &path, const QByteArray &bytes);
// Removes the files of `folder` matching `pattern` written longest ago until
// at most `maxFiles` files and `maxBytes` bytes are left.
void pruneCacheFiles(const QString &folder, const QString &pattern, int maxFiles, qint64 maxBytes);

#endif
