#ifndef KWN_CATALOGUE_FILESTAMP_H
#define KWN_CATALOGUE_FILESTAMP_H

// What says that a file (or folder) is still the one that was read: its
// identity, size, and modification and change times, to the nanosecond where
// the system keeps them.

#include <QString>

struct FileStamp
{
    bool exists = false;
    bool regular = false; // a regular file, or a link to one
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    bool operator==(const FileStamp &o) const
    {
        return exists == o.exists && regular == o.regular && device == o.device && inode == o.inode
            && size == o.size && modifiedNs == o.modifiedNs && changedNs == o.changedNs;
    }
    bool operator!=(const FileStamp &o) const { return !(*this == o); }
};

// The stamp of what `path` names now; all zero (exists false) for nothing.
FileStamp fileStampOf(const QString &path);

#endif
