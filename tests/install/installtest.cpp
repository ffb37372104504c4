// Installs this build into a temporary prefix and checks what a user gets: the
// programs, the sample catalogue, the icons and the desktop entry.

#include "catalogue/catalogue.h"
#include "toolrun.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// What a program printed, on either channel.
static QByteArray said(const ToolRun &run)
{
    return run.out + run.err;
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
        const ToolRun install =
            runTool(cmake, {"--install", buildDir, "--prefix", prefix.path()}, buildDir, {}, 120000);
        QVERIFY2(install.exitCode == 0, said(install).constData());

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
        const ToolRun validated = runTool(program, validator.mid(1) << file.fileName(), prefix.path(), {}, 120000);
        QVERIFY2(validated.exitCode == 0, said(validated).constData());
        if (validator.size() == 1) // desktop-file-validate prints warnings and hints but still exits 0
            QVERIFY2(said(validated).trimmed().isEmpty(), said(validated).constData());
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
        const ToolRun window = runTool(installed(QStringLiteral("bin/kwn-frame-builder")), {}, folder, {}, 3000);
        QVERIFY2(window.hung, said(window).constData());

#ifndef KWN_CLI_PATH
        QSKIP("kwn-frame is not built in this tree");
#endif
        const ToolRun listed = runTool(installed(QStringLiteral("bin/kwn-frame")), {"list", "devices"}, folder);
        QVERIFY2(listed.exitCode == 0, said(listed).constData());
        for (const QString &product : productNames(loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"))))
            QVERIFY2(listed.out.contains(product.toUtf8()), qPrintable(product + " missing from:\n" + listed.out));

#ifdef KWN_EXTCAP_PATH
        // The installed kwn-frame links the installed capture program for a user.
        const QString home = prefix.path() + QStringLiteral("/home");
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")));
        const ToolRun linking = runTool(installed(QStringLiteral("bin/kwn-frame")), {"dissector", "--install"}, folder);
        const QString linked = QFileInfo(home + QStringLiteral("/.config/wireshark/extcap/kwn-extcap")).canonicalFilePath();
        QVERIFY2(linking.exitCode == 0 && !linked.isEmpty(), said(linking).constData());
        QCOMPARE(linked, QFileInfo(installed(QStringLiteral(KWN_INSTALL_LIBDIR "/wireshark/extcap/kwn-extcap"))).canonicalFilePath());
#endif
    }
};

QTEST_GUILESS_MAIN(InstallTest)
#include "installtest.moc"
