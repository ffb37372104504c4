// The floor of the start-up bench: the least a Qt window of the tool's size
// costs, a 740 x 600 main window holding a tab widget.

#include "startupprobe.h"

#include <QApplication>
#include <QMainWindow>
#include <QTabWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QTabWidget);
    window.resize(740, 600);
    new StartupProbe(&window);
    window.show();
    return app.exec();
}
