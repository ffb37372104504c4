#ifndef KWN_APP_MAINWINDOW_H
#define KWN_APP_MAINWINDOW_H
#include <QMainWindow>
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static MainWindow *instance();
private:
    explicit MainWindow(QWidget *parent = nullptr);
};
#endif
