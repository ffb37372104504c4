// Installs this build into a temporary prefix and checks what a user gets: the
// programs, the sample catalogue, the icons and the desktop entry.

#include "catalogue/catalogue.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Runs a program to its end; the exit code, or -1 if it did not end normally.
int run(const QString &program, const QStringList &arguments, const QString &folder, QString *output)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    *output = QString::fromLocal8Bit(process.readAll());
    return finished ? process.exitCode() : -1;
}

QMap<QString, QByteArray> xmlFilesBelow(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        files.insert(QDir(root).relativeFilePath(file.fileName()), file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    }
    return files;
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void catalogueAsInSource();
    void validators_data();
    void validators();
    void desktopEntryStartsTool();

private:
    QString installed(const QString &relative) const { return prefix.path() + QLatin1Char('/') + relative; }

    QTemporaryDir prefix;
    QMap<QString, QString> desktopKeys;
};

void InstallTest::initTestCase()
{
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

void InstallTest::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("iconSize"); // square PNG of this size, 0 for other files

    QTest::newRow("GUI program") << "bin/kwn-frame-builder" << 0;
#ifdef KWN_CLI_PATH
    QTest::newRow("command-line program") << "bin/kwn-frame" << 0;
    QTest::newRow("command-line manual") << "share/man/man1/kwn-frame.1.gz" << 0;
#endif
    QTest::newRow("GUI manual") << "share/man/man1/kwn-frame-builder.1.gz" << 0;
    QTest::newRow("catalogue guide") << "share/doc/kwn-frame-builder/catalogue.md" << 0;
    // The icon the desktop entry names, in every size.
    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("icon %d", size) << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(desktopKeys.value(QStringLiteral("Icon")))
                                       << size;
}

void InstallTest::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(int, iconSize);

    QFile file(installed(path));
    QVERIFY2(file.open(QIODevice::ReadOnly) && file.size() > 0, qPrintable(path));
    QCOMPARE(QFileInfo(file).isExecutable(), path.startsWith(QLatin1String("bin/")));
    QVERIFY(file.permissions() & QFileDevice::ReadOther); // everyone may read what is installed
    if (iconSize) {
        const QByteArray head = file.read(24);
        // PNG signature, then the IHDR chunk with width and height, big-endian.
        QCOMPARE(head.left(16), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
        QCOMPARE(head.mid(16).toHex(), QByteArray::number(iconSize, 16).rightJustified(8, '0').repeated(2));
    }
}

void InstallTest::catalogueAsInSource()
{
    const QMap<QString, QByteArray> files = xmlFilesBelow(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    QCOMPARE(xmlFilesBelow(installed(QStringLiteral("share/kwn-frame-builder/xml"))), files);
    // Profile files directly in xml/, message files in a subfolder.
    QVERIFY(!files.keys().filter(QStringLiteral("/")).isEmpty());
    QVERIFY(files.keys().filter(QStringLiteral("/")).size() < files.size());
}

void InstallTest::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList{installed("share/applications/kwn-frame-builder.desktop")};
    QTest::newRow("AppStream metadata") << "appstreamcli" << QStringList{"validate", "--no-net", installed("share/metainfo/io.github.quorvex.kwnframebuilder.metainfo.xml")};
}

void InstallTest::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);

    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));
    QString output;
    QVERIFY2(run(program, arguments, prefix.path(), &output) == 0, qPrintable(output));
    if (tool == QLatin1String("desktop-file-validate")) // prints warnings and hints but still exits 0
        QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
}

void InstallTest::desktopEntryStartsTool()
{
    QCOMPARE(desktopKeys.value(QStringLiteral("Name")), QStringLiteral("KWN Frame Builder"));
    QCOMPARE(desktopKeys.value(QStringLiteral("Exec")), QStringLiteral("kwn-frame-builder"));
    // The tool reads xml/ in its working folder: the entry must start it where
    // this install put the catalogue, not where the build was configured for.
    const QString folder = QFileInfo(desktopKeys.value(QStringLiteral("Path"))).canonicalFilePath();
    QCOMPARE(folder, QFileInfo(installed(QStringLiteral("share/kwn-frame-builder"))).canonicalFilePath());
    QTemporaryDir temporary; // killed, the tool cannot remove its single-instance lock and socket
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    QProcess gui;
    gui.setProcessEnvironment(environment);
    gui.setProcessChannelMode(QProcess::MergedChannels);
    gui.setWorkingDirectory(folder);
    gui.start(installed(QStringLiteral("bin/kwn-frame-builder")), QStringList());
    // A window stays up until it is closed; a start that fails ends at once.
    QVERIFY2(!gui.waitForFinished(3000), qPrintable(QString::fromLocal8Bit(gui.readAll())));
    gui.close();

#ifndef KWN_CLI_PATH
    QSKIP("kwn-frame is not built in this tree");
#endif
    QString output;
    QVERIFY2(run(installed(QStringLiteral("bin/kwn-frame")), {"list", "devices"}, folder, &output) == 0, qPrintable(output));
    const QStringList products = productNames(loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml")));
    QVERIFY(!products.isEmpty());
    for (const QString &product : products)
        QVERIFY2(output.contains(product), qPrintable(product + QStringLiteral(" missing from:\n") + output));
}

QTEST_GUILESS_MAIN(InstallTest)
#include "installtest.moc"
