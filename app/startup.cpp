#include "app/startup.h"

#include "app/mainwindow.h"
#include "app/qtsingleapplication.h"
#include "catalogue/profilecache.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>

#include <cstdio>
#include <cstring>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
// A local X display ":N" or ":N.S" has its socket in /tmp/.X11-unix; a display
// left in the environment after its server ended would otherwise end in
// Qt's abort. Remote displays ("host:N") are taken on trust.
static bool localDisplayExists(const QByteArray &display)
{
    if (!display.startsWith(':'))
        return true;
    QByteArray number = display.mid(1);
    const int dot = number.indexOf('.');
    if (dot >= 0)
        number.truncate(dot);
    return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + QString::fromLatin1(number));
}
#endif

bool checkGraphicalDisplay(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    // A chosen platform plug-in ("offscreen", "vnc", ...) needs no display.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && localDisplayExists(qgetenv("DISPLAY")))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    const char *program = argc > 0 && argv[0] && *argv[0] ? argv[0] : "kwn-frame-builder";
    std::fprintf(stderr,
                 "No graphical display is available; "
                 "start the tool under a virtual display from the folder that holds xml/, "
                 "for example: xvfb-run -a %s\n",
                 program);
    return false;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return true;
#endif
}

void enableHighDpiScaling()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
}

void useUserCacheFolder()
{
    // The cache stays under the executable's name with no organisation
    // (~/.cache/kwn-frame-builder), whatever names the application was given.
    const QString organisation = QCoreApplication::organizationName();
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setApplicationName(QString()); // back to the executable's name
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(name);
    setDefinitionCacheFolder(folder);
}

int runTool(int argc, char **argv, void (*beforeShow)(QWidget *))
{
    if (!checkGraphicalDisplay(argc, argv))
        return 1;
    enableHighDpiScaling();

    QtSingleApplication app(argc, argv, true);
    if (app.isRunning())
        return app.sendMessage(QStringLiteral("Navrel application already running"), 5000) ? 0 : 1;

    useUserCacheFolder();
    MainWindow *window = MainWindow::instance();
    window->resize(740, 600);
    app.setActivationWindow(window, true);
    if (beforeShow)
        beforeShow(window);
    window->show();
    return app.exec();
}
