// Installs this build into a temporary prefix and checks what a user gets: the
// programs, the sample catalogue, the icons and the desktop entry.

#include "catalogue/catalogue.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Runs a program for at most msecs: its exit code, -1 if it failed or crashed, -2 if it was still running.
static int run(const QString &program, const QStringList &arguments, const QString &folder, QString *output, int msecs = 120000)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(msecs) && process.exitStatus() == QProcess::NormalExit;
    const int result = finished ? process.exitCode() : process.state() == QProcess::Running ? -2 : -1;
    *output = QString::fromLocal8Bit(process.readAll());
    process.close(); // kills one still running
    return result;
}

static QMap<QString, QByteArray> xmlFilesBelow(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        files.insert(QDir(root).relativeFilePath(file.fileName()), file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return files;
}

class InstallTest : public QObject
{
    Q_OBJECT

    QString installed(const QString &relative) const { return prefix.path() + QLatin1Char('/') + relative; }
    QTemporaryDir prefix;
    QMap<QString, QString> desktopKeys;

private slots:
    void initTestCase()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("TMPDIR", QFile::encodeName(prefix.path())); // killed, the tool cannot remove its lock and socket
        // Tests are built in <build>/tests, so the build folder is the one above.
        const QString buildDir = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).canonicalFilePath();
        QFile cache(buildDir + QStringLiteral("/CMakeCache.txt"));
        QVERIFY2(cache.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(buildDir));
        const QString cmake = QString::fromUtf8(cache.readAll()).section(QStringLiteral("CMAKE_COMMAND:INTERNAL="), 1).section(QLatin1Char('\n'), 0, 0);
        QString output;
        QVERIFY2(run(cmake, {"--install", buildDir, "--prefix", prefix.path()}, buildDir, &output) == 0, qPrintable(output));

        QFile desktop(installed(QStringLiteral("share/applications/kwn-frame-builder.desktop")));
        QVERIFY(desktop.open(QIODevice::ReadOnly | QIODevice::Text));
        for (const QString &line : QString::fromUtf8(desktop.readAll()).split(QLatin1Char('\n')))
            desktopKeys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("iconSize"); // square PNG of this size, 0 for other files
        QTest::addColumn<QStringList>("validator"); // program and options that must pass the file, if any
        QStringList plain = {"bin/kwn-frame-builder", "share/man/man1/kwn-frame-builder.1.gz", "share/doc/kwn-frame-builder/catalogue.md"};
#ifdef KWN_CLI_PATH
        plain << "bin/kwn-frame" << "share/man/man1/kwn-frame.1.gz";
        // The capture program and the dissector where Wireshark looks.
        plain << KWN_INSTALL_LIBDIR "/wireshark/plugins/kwn.lua";
#endif
#ifdef KWN_EXTCAP_PATH
        plain << KWN_INSTALL_LIBDIR "/wireshark/extcap/kwn-extcap" << "share/man/man1/kwn-extcap.1.gz";
#endif
        for (const QString &path : plain)
            QTest::newRow(qPrintable(path)) << path << 0 << QStringList();
        QTest::newRow("desktop entry") << "share/applications/kwn-frame-builder.desktop" << 0 << QStringList{"desktop-file-validate"};
        QTest::newRow("AppStream metadata") << "share/metainfo/io.github.quorvex.kwnframebuilder.metainfo.xml" << 0 << QStringList{"appstreamcli", "validate", "--no-net"};
        for (int size : {16, 32, 48, 64, 128, 256})
            QTest::addRow("icon %d", size) << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(desktopKeys.value(QStringLiteral("Icon")))
                                           << size << QStringList();
    }
    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(int, iconSize);
        QFETCH(QStringList, validator);
        QFile file(installed(path));
        QVERIFY2(file.open(QIODevice::ReadOnly) && file.size() > 0, qPrintable(path));
        QCOMPARE(QFileInfo(file).isExecutable(), path.startsWith(QLatin1String("bin/")) || path.endsWith(QLatin1String("/kwn-extcap")));
        QVERIFY(file.permissions() & QFileDevice::ReadOther); // everyone may read what is installed
        if (iconSize) {
            const QByteArray head = file.read(24);
            QCOMPARE(head.left(16), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16)); // then width and height, big-endian
            QCOMPARE(head.mid(16).toHex(), QByteArray::number(iconSize, 16).rightJustified(8, '0').repeated(2));
        }
        if (validator.isEmpty())
            return;
        const QString program = QStandardPaths::findExecutable(validator.first());
        if (program.isEmpty())
            QSKIP(qPrintable(validator.first() + QStringLiteral(" is not installed")));
        QString output;
        QVERIFY2(run(program, validator.mid(1) << file.fileName(), prefix.path(), &output) == 0, qPrintable(output));
        if (validator.size() == 1) // desktop-file-validate prints warnings and hints but still exits 0
            QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
    }

    void catalogueAsInSource()
    {
        const QMap<QString, QByteArray> files = xmlFilesBelow(QStringLiteral(KWN_SOURCE_DIR "/xml"));
        QVERIFY(!files.keys().filter(QStringLiteral("/")).isEmpty()); // message files in subfolders too
        QCOMPARE(xmlFilesBelow(installed(QStringLiteral("share/kwn-frame-builder/xml"))), files);
    }

    void desktopEntryStartsTool()
    {
        QCOMPARE(QStringList({desktopKeys.value("Name"), desktopKeys.value("Exec")}), QStringList({"KWN Frame Builder", "kwn-frame-builder"}));
        // The tool reads xml/ in its working folder: the installed one, not the one the build was configured for.
        const QString folder = QFileInfo(desktopKeys.value(QStringLiteral("Path"))).canonicalFilePath();
        QCOMPARE(folder, QFileInfo(installed(QStringLiteral("share/kwn-frame-builder"))).canonicalFilePath());
        // A window stays up until it is closed; a start that fails ends at once.
        QString output;
        QVERIFY2(run(installed(QStringLiteral("bin/kwn-frame-builder")), {}, folder, &output, 3000) == -2, qPrintable(output));

#ifndef KWN_CLI_PATH
        QSKIP("kwn-frame is not built in this tree");
#endif
        QVERIFY2(run(installed(QStringLiteral("bin/kwn-frame")), {"list", "devices"}, folder, &output) == 0, qPrintable(output));
        for (const QString &product : productNames(loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"))))
            QVERIFY2(output.contains(product), qPrintable(product + QStringLiteral(" missing from:\n") + output));

#ifdef KWN_EXTCAP_PATH
        // The installed kwn-frame links the installed capture program for a user.
        const QString home = prefix.path() + QStringLiteral("/home");
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        QVERIFY2(run(installed(QStringLiteral("bin/kwn-frame")), {"dissector", "--install"}, folder, &output) == 0, qPrintable(output));
        const QString linked = QFileInfo(home + QStringLiteral("/.config/wireshark/extcap/kwn-extcap")).canonicalFilePath();
        QVERIFY2(!linked.isEmpty(), qPrintable(output));
        QCOMPARE(linked, QFileInfo(installed(QStringLiteral(KWN_INSTALL_LIBDIR "/wireshark/extcap/kwn-extcap"))).canonicalFilePath());
#endif
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "installtest.moc"
