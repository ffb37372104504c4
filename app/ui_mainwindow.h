#ifndef KWN_APP_UI_MAINWINDOW_H
#define KWN_APP_UI_MAINWINDOW_H

// Form part of the main window, in the shape the form compiler gives it: the
// central widget and an empty menu bar. Everything else is built in code.

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QMetaObject>
#include <QRect>
#include <QWidget>

QT_BEGIN_NAMESPACE

namespace Ui {

class MainWindow
{
public:
    QWidget *centralWidget = nullptr;
    QMenuBar *menuBar = nullptr;

    void setupUi(QMainWindow *window)
    {
        if (window->objectName().isEmpty())
            window->setObjectName(QStringLiteral("MainWindow"));
        window->resize(400, 300);
        centralWidget = new QWidget(window);
        centralWidget->setObjectName(QStringLiteral("centralWidget"));
        window->setCentralWidget(centralWidget);
        menuBar = new QMenuBar(window);
        menuBar->setObjectName(QStringLiteral("menuBar"));
        menuBar->setGeometry(QRect(0, 0, 400, 21));
        window->setMenuBar(menuBar);

        retranslateUi(window);
        // No connectSlotsByName here: the window's slots are connected
        // explicitly once its buttons exist, and an automatic pass at this
        // point would only print "No matching signal" warnings at every start.
    }

    void retranslateUi(QMainWindow *window)
    {
        window->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow", nullptr));
    }
};

} // namespace Ui

QT_END_NAMESPACE

#endif
