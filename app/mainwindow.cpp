#include "app/mainwindow.h"
MainWindow *MainWindow::instance()
{
    static MainWindow *window = new MainWindow;
    return window;
}
MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {}
