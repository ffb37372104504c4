// Installs the build this test belongs to into a temporary prefix and checks
// what a user gets: the programs, the sample catalogue with its subfolder, the
// icons, the desktop entry whose working folder holds the catalogue, and that
// the installed tool starts there and reads that catalogue.

#include "catalogue/catalogue.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace {

const char *const kDataFolder = "share/kwn-frame-builder";
const char *const kDesktopFile = "share/applications/kwn-frame-builder.desktop";
const char *const kMetainfoFile = "share/metainfo/io.github.quorvex.kwnframebuilder.metainfo.xml";

// Relative paths of the *.xml files below `root`, sorted.
QStringList xmlFilesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

#ifdef Q_OS_LINUX
// Records which files are opened in a folder tree, through inotify, so the test
// sees what the installed program reads without any hook in the program.
class OpenWatcher
{
public:
    explicit OpenWatcher(const QString &root) : root_(root)
    {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0)
            return;
        QStringList folders{root};
        QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            folders << it.next();
        for (const QString &folder : folders) {
            const int wd = inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN);
            if (wd >= 0)
                folders_.insert(wd, folder);
        }
    }
    ~OpenWatcher()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    OpenWatcher(const OpenWatcher &) = delete;
    OpenWatcher &operator=(const OpenWatcher &) = delete;

    bool isValid() const { return fd_ >= 0 && !folders_.isEmpty(); }

    // Files opened so far, relative to the root.
    QSet<QString> opened()
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t length = read(fd_, buffer, sizeof buffer);
            if (length <= 0)
                break;
            for (ssize_t at = 0; at < length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0 && !(event->mask & IN_ISDIR) && folders_.contains(event->wd)) {
                    const QString path = folders_.value(event->wd) + QLatin1Char('/')
                        + QFile::decodeName(event->name);
                    opened_.insert(QDir(root_).relativeFilePath(path));
                }
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
        return opened_;
    }

private:
    QString root_;
    int fd_ = -1;
    QMap<int, QString> folders_;
    QSet<QString> opened_;
};
#endif

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void catalogueAsInSource();
    void iconSizes_data();
    void iconSizes();
    void desktopEntry_data();
    void desktopEntry();
    void desktopEntryNamesInstalledFiles();
    void validators_data();
    void validators();
    void guiStartsOnBundledCatalogue();
    void cliListsBundledDevices();

private:
    QString installed(const QString &relative) const { return prefix.path() + QLatin1Char('/') + relative; }
    QMap<QString, QString> desktopKeys() const;
    static QString run(const QString &program, const QStringList &arguments, const QString &folder,
                       int *exitCode);

    QTemporaryDir prefix;
    QString buildDir;
};

QString InstallTest::run(const QString &program, const QStringList &arguments, const QString &folder,
                         int *exitCode)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(120000);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    *exitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

void InstallTest::initTestCase()
{
    QVERIFY(prefix.isValid());

    // Tests are built in <build>/tests, so the build folder is the one above.
    buildDir = canonical(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    QFile cache(buildDir + QStringLiteral("/CMakeCache.txt"));
    QVERIFY2(cache.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(buildDir));
    QString cmake;
    while (!cache.atEnd()) {
        const QString line = QString::fromUtf8(cache.readLine()).trimmed();
        if (line.startsWith(QLatin1String("CMAKE_COMMAND:INTERNAL=")))
            cmake = line.section(QLatin1Char('='), 1);
    }
    QVERIFY2(QFileInfo(cmake).isExecutable(), "CMakeCache.txt names no cmake program");

    // Installing needs the programs themselves, not only this test.
    QVERIFY2(QFileInfo(QStringLiteral(KWN_APP_PATH)).isExecutable(),
             "kwn-frame-builder is not built; build the whole project before this test");
#ifdef KWN_CLI_PATH
    QVERIFY2(QFileInfo(QStringLiteral(KWN_CLI_PATH)).isExecutable(),
             "kwn-frame is not built; build the whole project before this test");
#endif

    int exitCode = 0;
    const QString output = run(cmake, {QStringLiteral("--install"), buildDir, QStringLiteral("--prefix"), prefix.path()},
                               buildDir, &exitCode);
    QVERIFY2(exitCode == 0, qPrintable(output));
}

void InstallTest::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");

    QTest::newRow("GUI program") << "bin/kwn-frame-builder" << true;
#ifdef KWN_CLI_PATH
    QTest::newRow("command-line program") << "bin/kwn-frame" << true;
    QTest::newRow("command-line manual") << "share/man/man1/kwn-frame.1.gz" << false;
#endif
    QTest::newRow("desktop entry") << kDesktopFile << false;
    QTest::newRow("AppStream metadata") << kMetainfoFile << false;
    QTest::newRow("copyright") << "share/doc/kwn-frame-builder/copyright" << false;
    QTest::newRow("changelog") << "share/doc/kwn-frame-builder/changelog.gz" << false;
    QTest::newRow("catalogue guide") << "share/doc/kwn-frame-builder/catalogue.md" << false;
    QTest::newRow("GUI manual") << "share/man/man1/kwn-frame-builder.1.gz" << false;
}

void InstallTest::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);

    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    QVERIFY2(info.size() > 0, qPrintable(info.filePath()));
    QCOMPARE(info.isExecutable(), executable);
    // Everyone may read what is installed.
    QVERIFY(info.permission(QFileDevice::ReadOther));
    if (path.endsWith(QLatin1String(".gz"))) {
        QFile file(info.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(2), QByteArray("\x1f\x8b"));
    }
}

void InstallTest::catalogueAsInSource()
{
    const QString source = QStringLiteral(KWN_SOURCE_DIR "/xml");
    const QString target = installed(QStringLiteral("%1/xml").arg(QLatin1String(kDataFolder)));

    const QStringList files = xmlFilesBelow(source);
    QCOMPARE(xmlFilesBelow(target), files);
    // The tool needs profile files directly in xml/ and message files in a subfolder.
    QVERIFY(std::any_of(files.cbegin(), files.cend(), [](const QString &f) { return !f.contains(QLatin1Char('/')); }));
    QVERIFY(std::any_of(files.cbegin(), files.cend(), [](const QString &f) { return f.contains(QLatin1Char('/')); }));
    for (const QString &file : files) {
        QFile a(source + QLatin1Char('/') + file);
        QFile b(target + QLatin1Char('/') + file);
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(b.open(QIODevice::ReadOnly));
        QVERIFY2(a.readAll() == b.readAll(), qPrintable(file));
    }

    // Read through the core, the installed copy offers the same devices with messages.
    const ProfileMap profiles = loadProfiles(target);
    QVERIFY(!profiles.isEmpty());
    QCOMPARE(productNames(profiles), productNames(loadProfiles(source)));
    const QString first = productNames(profiles).constFirst();
    const ProfileDefinition profile = findProfile(profiles, first, revisionsOf(profiles, first).constFirst());
    QVERIFY2(!messagesOfProfile(profile, true).isEmpty(), qPrintable(first));
}

void InstallTest::iconSizes_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void InstallTest::iconSizes()
{
    QFETCH(int, size);
    QFile file(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/kwn-frame-builder.png").arg(size)));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    // PNG signature, then the IHDR chunk with width and height, big-endian.
    const QByteArray head = file.read(24);
    QCOMPARE(head.size(), 24);
    QCOMPARE(head.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    QCOMPARE(head.mid(12, 4), QByteArray("IHDR"));
    const auto be32 = [&head](int at) {
        return (quint32(quint8(head[at])) << 24) | (quint32(quint8(head[at + 1])) << 16)
            | (quint32(quint8(head[at + 2])) << 8) | quint32(quint8(head[at + 3]));
    };
    QCOMPARE(be32(16), quint32(size));
    QCOMPARE(be32(20), quint32(size));
}

QMap<QString, QString> InstallTest::desktopKeys() const
{
    QMap<QString, QString> keys;
    QFile file(installed(QLatin1String(kDesktopFile)));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (lines.isEmpty() || lines.constFirst() != QLatin1String("[Desktop Entry]"))
        return keys;
    for (const QString &line : lines) {
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            keys.insert(line.left(equals), line.mid(equals + 1));
    }
    return keys;
}

void InstallTest::desktopEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("type") << "Type" << "Application";
    QTest::newRow("name") << "Name" << "KWN Frame Builder";
    QTest::newRow("program") << "Exec" << "kwn-frame-builder";
    QTest::newRow("icon") << "Icon" << "kwn-frame-builder";
    QTest::newRow("no terminal") << "Terminal" << "false";
    QTest::newRow("categories") << "Categories" << "Development;Engineering;";
    // The tool reads xml/ in its working folder: the entry must start it where
    // this install put the catalogue, not where the build was configured for.
    QTest::newRow("working folder") << "Path" << canonical(installed(QLatin1String(kDataFolder)));
}

void InstallTest::desktopEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, value);

    const QMap<QString, QString> keys = desktopKeys();
    QVERIFY2(!keys.isEmpty(), "no [Desktop Entry] group");
    QVERIFY2(keys.contains(key), qPrintable(key));
    const QString actual = key == QLatin1String("Path") ? canonical(keys.value(key)) : keys.value(key);
    QCOMPARE(actual, value);
}

void InstallTest::desktopEntryNamesInstalledFiles()
{
    const QMap<QString, QString> keys = desktopKeys();
    QVERIFY(QFileInfo(installed(QStringLiteral("bin/") + keys.value(QStringLiteral("Exec")))).isExecutable());
    QVERIFY(QFileInfo(installed(QStringLiteral("share/icons/hicolor/48x48/apps/%1.png")
                                    .arg(keys.value(QStringLiteral("Icon"))))).isFile());
    QVERIFY(QFileInfo(keys.value(QStringLiteral("Path")) + QStringLiteral("/xml")).isDir());
}

void InstallTest::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("desktop entry") << "desktop-file-validate" << QStringList{installed(QLatin1String(kDesktopFile))};
    QTest::newRow("AppStream metadata")
        << "appstreamcli"
        << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"), installed(QLatin1String(kMetainfoFile))};
}

void InstallTest::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);

    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));
    int exitCode = 0;
    const QString output = run(program, arguments, prefix.path(), &exitCode);
    QVERIFY2(exitCode == 0, qPrintable(output));
    // desktop-file-validate prints warnings and hints but still exits 0.
    if (tool == QLatin1String("desktop-file-validate"))
        QVERIFY2(output.trimmed().isEmpty(), qPrintable(output));
}

void InstallTest::guiStartsOnBundledCatalogue()
{
    const QString folder = desktopKeys().value(QStringLiteral("Path"));
    QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
    const QString catalogue = folder + QStringLiteral("/xml");

#ifdef Q_OS_LINUX
    OpenWatcher watcher(catalogue);
    QVERIFY(watcher.isValid());
#endif

    // The single-instance lock and socket go to the temporary folder; give the
    // tool one of its own, since it is stopped by a signal and cannot remove them.
    QTemporaryDir temporary;
    QVERIFY(temporary.isValid());
    QProcess gui;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    gui.setProcessEnvironment(environment);
    gui.setProcessChannelMode(QProcess::MergedChannels);
    gui.setWorkingDirectory(folder);
    gui.start(installed(QStringLiteral("bin/kwn-frame-builder")), QStringList());
    QVERIFY2(gui.waitForStarted(10000), qPrintable(gui.errorString()));
    // Stops the tool on every way out of this function, failed checks included.
    struct Stop {
        QProcess &process;
        ~Stop()
        {
            if (process.state() == QProcess::NotRunning)
                return;
            process.terminate();
            if (!process.waitForFinished(5000)) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    } stop{gui};

    // A window stays up until it is closed; a start that fails ends at once.
    const bool ended = gui.waitForFinished(2000);
    const QString output = QString::fromLocal8Bit(gui.readAll());
    QVERIFY2(!ended, qPrintable(QStringLiteral("ended with code %1: %2").arg(gui.exitCode()).arg(output)));

#ifdef Q_OS_LINUX
    // Every profile file directly in xml/ is read when the pages are built, and
    // the first device's messages come from the message files in the subfolder.
    QStringList profiles;
    QStringList messageFiles;
    for (const QString &file : xmlFilesBelow(catalogue))
        (file.contains(QLatin1Char('/')) ? messageFiles : profiles) << file;
    QVERIFY(!profiles.isEmpty() && !messageFiles.isEmpty());
    QSet<QString> opened;
    for (int waited = 0; waited <= 10000; waited += 200) {
        opened = watcher.opened();
        const bool allProfiles = std::all_of(profiles.cbegin(), profiles.cend(),
                                             [&opened](const QString &f) { return opened.contains(f); });
        const bool someMessageFile = std::any_of(messageFiles.cbegin(), messageFiles.cend(),
                                                 [&opened](const QString &f) { return opened.contains(f); });
        if (allProfiles && someMessageFile)
            break;
        QTest::qWait(200);
    }
    QStringList openedList = opened.values();
    openedList.sort();
    for (const QString &file : profiles)
        QVERIFY2(opened.contains(file), qPrintable(file + QStringLiteral(" not read; read: ") + openedList.join(QLatin1Char(' '))));
    QVERIFY2(std::any_of(messageFiles.cbegin(), messageFiles.cend(),
                         [&opened](const QString &f) { return opened.contains(f); }),
             qPrintable(QStringLiteral("no message file read; read: ") + openedList.join(QLatin1Char(' '))));
#endif

    QVERIFY2(gui.state() == QProcess::Running, qPrintable(output));
}

void InstallTest::cliListsBundledDevices()
{
#ifndef KWN_CLI_PATH
    QSKIP("kwn-frame is not built in this tree");
#else
    const QString folder = desktopKeys().value(QStringLiteral("Path"));
    int exitCode = 0;
    const QString output = run(installed(QStringLiteral("bin/kwn-frame")),
                               {QStringLiteral("list"), QStringLiteral("devices")}, folder, &exitCode);
    QVERIFY2(exitCode == 0, qPrintable(output));
    const QStringList products = productNames(loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml")));
    QVERIFY(!products.isEmpty());
    for (const QString &product : products)
        QVERIFY2(output.contains(product), qPrintable(product + QStringLiteral(" missing from:\n") + output));
#endif
}

QTEST_GUILESS_MAIN(InstallTest)
#include "installtest.moc"
