// File stamps, and opening the user's file for writing: never through a new
// link, never waiting on a pipe, with the user's umask.

#include "catalogue/fileaccess.h"
#include "catalogue/filestamp.h"
#include "cataloguefiles.h"
#include "support/datarows.h"

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

class FileAccessTest : public QObject
{
    Q_OBJECT

private slots:
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
        QCOMPARE(::openForWriting(file, path, &error), row[1] == "1");
        QVERIFY2(error.contains(row[2]), qPrintable(error));
        QVERIFY(row[1] == "0" || (file.isOpen() && file.write("mine") == 4));
        file.close();
        QVERIFY(!QFile::exists(dir.filePath("missing")));
        QCOMPARE(readFile(other), row[3] == "1" ? QByteArray("mine") : QByteArray("theirs"));
    }

    // A new file gets the mode the user's umask leaves.
    void newFileFollowsUmask()
    {
        for (const QPair<int, int> &maskAndMode : {qMakePair(022, 0644), qMakePair(077, 0600)}) {
            QTemporaryDir dir;
            const QString path = dir.filePath("r.log");
            const mode_t before = ::umask(mode_t(maskAndMode.first));
            QFile file;
            QString error;
            const bool opened = ::openForWriting(file, path, &error);
            ::umask(before);
            QVERIFY2(opened, qPrintable(error));
            struct stat st = {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), maskAndMode.second);
        }
    }
};

QTEST_GUILESS_MAIN(FileAccessTest)
#include "fileaccesstest.moc"
