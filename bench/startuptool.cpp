// The tool's start-up as its own main() runs it, for the start-up bench:
// the same steps, with the probe that reports the window painted and idle.

#include "startupprobe.h"

#include "app/mainwindow.h"
#include "app/qtsingleapplication.h"
#include "app/startup.h"

int main(int argc, char *argv[])
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
    new StartupProbe(window);
    window->show();
    return app.exec();
}
