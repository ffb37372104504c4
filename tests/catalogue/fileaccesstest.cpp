// Opening a file the user chose for writing: never through a link that
// appeared at a new name, never waiting on a pipe, with the user's umask.

#include "catalogue/fileaccess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

class FileAccessTest : public QObject
{
    Q_OBJECT

private slots:
    void openForWriting_data()
    {
        QTest::addColumn<QString>("kind");      // what is at the name before the open
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("reason");    // part of the refusal
        QTest::addColumn<QByteArray>("victim"); // the other file's contents afterwards
        QTest::newRow("new file") << "none" << true << "" << QByteArray("theirs");
        QTest::newRow("existing file replaced") << "file" << true << "" << QByteArray("theirs");
        QTest::newRow("link to nothing") << "dangling" << false << "does not exist" << QByteArray();
        QTest::newRow("link to an existing file, chosen") << "link" << true << "" << QByteArray();
        QTest::newRow("pipe with no reader") << "fifo" << false << "" << QByteArray("theirs");
        QTest::newRow("folder") << "folder" << false << "" << QByteArray("theirs");
    }
    void openForWriting()
    {
        QFETCH(QString, kind);
        QFETCH(bool, opens);
        QFETCH(QString, reason);
        QFETCH(QByteArray, victim);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        const QString other = dir.filePath(QStringLiteral("other"));
        {
            QFile theirs(other);
            QVERIFY(theirs.open(QIODevice::WriteOnly));
            theirs.write("theirs");
        }
        const QByteArray name = QFile::encodeName(path);
        if (kind == QLatin1String("file"))
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        else if (kind == QLatin1String("dangling"))
            QVERIFY(QFile::link(dir.filePath(QStringLiteral("missing")), path));
        else if (kind == QLatin1String("link"))
            QVERIFY(QFile::link(other, path));
        else if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("bus.log")));

        QFile file;
        QString error;
        QCOMPARE(::openForWriting(file, path, &error), opens);
        QVERIFY2(error.contains(reason), qPrintable(error));
        if (opens) {
            QVERIFY(file.isOpen());
            QCOMPARE(file.write("mine"), qint64(4));
            file.close();
        }
        if (kind == QLatin1String("dangling"))
            QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
        QFile after(other);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), victim.isEmpty() && opens ? QByteArray("mine") : QByteArray("theirs"));
    }

    // A new file gets the mode the user's umask leaves.
    void newFileFollowsUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("mode");
        QTest::newRow("022") << 022 << 0644;
        QTest::newRow("077") << 077 << 0600;
    }
    void newFileFollowsUmask()
    {
        QFETCH(int, mask);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.log"));
        const mode_t before = ::umask(mode_t(mask));
        QFile file;
        QString error;
        const bool opened = ::openForWriting(file, path, &error);
        ::umask(before);
        QVERIFY2(opened, qPrintable(error));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), mode);
    }
};

QTEST_GUILESS_MAIN(FileAccessTest)
#include "fileaccesstest.moc"
