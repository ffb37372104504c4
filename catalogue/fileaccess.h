#ifndef KWN_CATALOGUE_FILEACCESS_H
#define KWN_CATALOGUE_FILEACCESS_H

// Reading files whose names anyone with access to their folder may give to
// something else (definition files, cache files), and making the tool's own
// folders.

#include <QByteArray>
#include <QString>

class QFile;

// The bytes of `path` when it names a regular file (or a link to one) of at
// most `maxBytes` bytes; nothing, `ok` false, for anything else: a missing or
// unreadable file, a folder, a pipe, a socket, a device or a larger file.
// Never waits for a writer and never reads more than maxBytes + 1 bytes, even
// when the name is given to something else between the look and the open.
// `maxBytes` is at most kMaxRegularFileBytes.
QByteArray readRegularFile(const QString &path, qint64 maxBytes, bool *ok);

// What one QByteArray holds, with room to spare.
constexpr qint64 kMaxRegularFileBytes = qint64(1) << 30;

// Makes the folder `path` and every missing folder above it, each for the
// user alone (mode 0700); folders already there are left as they are. True
// when `path` is a folder afterwards.
bool makePrivateFolder(const QString &path);

// Opens `file` on `path` for writing a file the user chose to write (a log,
// a recording), replacing what is there. A new file is made with the user's
// umask and never through a link: a name that another user turned into a
// link after it was chosen is refused, as is a link to nothing. A link that
// names an existing file is followed, as the user confirmed replacing it.
// False, with the reason in words, when it cannot be opened.
bool openForWriting(QFile &file, const QString &path, QString *error);

#endif
