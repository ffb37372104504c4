#ifndef KWN_APP_MAINWINDOW_H
#define KWN_APP_MAINWINDOW_H

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QString>

class BuilderLayout;
class BusLayout;
class DebuilderLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QStackedLayout;
class QVBoxLayout;

namespace Ui {
class MainWindow;
}

// The one top-level window: a fixed left column (logo, Encode, Decode, Bus,
// filler, Online Documentation), a column of marker strips beside it, and the
// encoder, decoder or bus page on the right. The pages live as long as the
// window, so switching keeps what the user entered on any of them. The Bus
// page is built when it is first shown, so that a start pays only for the
// page in sight.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static MainWindow *instance();
    ~MainWindow() override;

    // The Bus page's panel: built, with its widgets in the page, on the first
    // call, whether the page is shown or not. Anything that looks for the
    // page's widgets before the page was first shown asks for it here first.
    BusLayout *busPage();

private slots:
    void on_buttonOnlineDoc_clicked(bool checked);
    void on_buttonBuild_clicked(bool checked);
    void on_buttonDebuild_clicked(bool checked);
    void on_buttonBus_clicked(bool checked);
    void on_busLayout_frameOpened(const QString &hexText);
    void on_builderLayout_sendFrameRequested(const QByteArray &frame);

private:
    explicit MainWindow(QWidget *parent = nullptr);

    // The left column: logo, page buttons and the documentation button.
    void buildMenu();
    // The strips beside it that mark the page shown.
    void buildIndicators();
    // The pages, in a stack that the window shows one of.
    void buildPages();
    void makeConnections();
    void setIndicator(int position);
    // Lights the strip beside the mode button and shows its page.
    void showMode(QPushButton *button, int strip, QWidget *page);
    void fitOnlineDocLabel();
    QString buttonStyle(const QString &background, const QString &text, const QString &tail) const;
    QString selectedModeStyle() const;
    QString unselectedModeStyle() const;

    Ui::MainWindow *ui;
    QVBoxLayout *layoutPages;
    QHBoxLayout *layoutMain;
    QVBoxLayout *layoutMenu;
    QLabel *labelLogo;
    QPushButton *buttonOnlineDoc;
    QPushButton *buttonSpacer;
    QGroupBox *groupBoxMenu;
    QVBoxLayout *layoutMenuColumn;
    QPushButton *buttonBuild;
    QPushButton *buttonDebuild;
    QPushButton *buttonBus;
    BuilderLayout *builderLayout;
    DebuilderLayout *debuilderLayout;
    BusLayout *busLayout = nullptr; // until the Bus page is first wanted
    QWidget *widgetBuilder;
    QWidget *widgetDebuilder;
    QWidget *widgetBus; // empty until then
    QStackedLayout *stackedLayoutPages;
    QVBoxLayout *layoutIndicators;
    QList<QPushButton *> listIndicators;
    const int buttonWidth = 167;
    const int buttonHeight = 88;
    const int docButtonHeight = 30;
    const int spacerStretch = 1000;
    const int indicatorWidth = 8;
    const QString colorBackground = QStringLiteral("rgb(242, 241, 246)");
    const QString colorDark = QStringLiteral("rgb(64, 64, 64)");
    const QString colorAccent = QStringLiteral("rgb(250, 184, 0)");
};

#endif
