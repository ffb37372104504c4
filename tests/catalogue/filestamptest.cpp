#include "catalogue/filestamp.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class FileStampTest : public QObject
{
    Q_OBJECT

private slots:
    void kinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("regular");
        QTest::addColumn<qint64>("size");
        QTest::newRow("file") << "f.xml" << true << true << qint64(5);
        QTest::newRow("link to a file") << "link.xml" << true << true << qint64(5);
        QTest::newRow("folder") << "sub" << true << false << qint64(-1);
        QTest::newRow("nothing") << "none.xml" << false << false << qint64(0);
        QTest::newRow("dangling link") << "dangling.xml" << false << false << qint64(0);
        QTest::newRow("empty path") << "" << false << false << qint64(0);
    }

    void kinds()
    {
        QFETCH(QString, name);
        QFETCH(bool, exists);
        QFETCH(bool, regular);
        QFETCH(qint64, size);
        QTemporaryDir dir;
        QVERIFY(write(dir.path() + "/f.xml", "12345"));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QVERIFY(QFile::link(dir.path() + "/f.xml", dir.path() + "/link.xml"));
        QVERIFY(QFile::link(dir.path() + "/gone.xml", dir.path() + "/dangling.xml"));
        const FileStamp stamp = fileStampOf(name.isEmpty() ? QString() : dir.path() + "/" + name);
        QCOMPARE(stamp.exists, exists);
        QCOMPARE(stamp.regular, regular);
        if (size >= 0)
            QCOMPARE(stamp.size, size);
        if (!exists)
            QVERIFY(stamp == FileStamp());
        else
            QVERIFY(stamp.modifiedNs > 0 && stamp.changedNs > 0 && stamp.inode != 0);
    }

    // A change of the file's identity or times changes the stamp. (An edit
    // within one tick of the file system's clock may keep its times; the
    // profile cache compares such recent files by content.)
    void changes_data()
    {
        QTest::addColumn<QString>("change");
        for (const char *change : {"replaced by another file", "touched", "removed"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }

    void changes()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString path = dir.path() + "/f.xml";
        QVERIFY(write(path, "alpha"));
        const FileStamp before = fileStampOf(path);
        QVERIFY(fileStampOf(path) == before);
        if (change == "replaced by another file") {
            QVERIFY(write(path + ".new", "alpha"));
            QVERIFY(::rename(QFile::encodeName(path + ".new").constData(), QFile::encodeName(path).constData()) == 0);
        } else if (change == "touched") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        } else {
            QVERIFY(QFile::remove(path));
        }
        QVERIFY(fileStampOf(path) != before);
    }
};

QTEST_GUILESS_MAIN(FileStampTest)
#include "filestamptest.moc"
