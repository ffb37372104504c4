#include "app/mainwindow.h"

#include "app/ui_mainwindow.h"
#include "bustools/sendtool.h"
#include "decoder/debuilderlayout.h"
#include "encoder/builderlayout.h"
#include "monitor/buslayout.h"
#include "widgets/lazyicon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStackedLayout>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The maker's documentation and downloads page.
const char kOnlineDocumentationUrl[] = "https://www.quorvex.example/projects/downloads";

const QString kModeButtonTail = QStringLiteral("; font-size: 20px; font-style: bold; border: none; }");
const QString kDocButtonTail = QStringLiteral("; font-size: 14px; font-style: bold; }");
const QString kStripTail = QStringLiteral("; border: none; }");

} // namespace

MainWindow *MainWindow::instance()
{
    static MainWindow *window = new MainWindow;
    return window;
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("KWN Frame Builder - v%1.%2.%3%4")
                       .arg(QString::number(KWN_VERSION_MAJOR), QString::number(KWN_VERSION_MINOR),
                            QString::number(KWN_VERSION_PATCH), QString()));
    setWindowIcon(lazyIcon(QStringLiteral(":/images/Tool_icon.ico")));

    buildMenu();
    layoutMain = new QHBoxLayout;
    layoutMain->setObjectName(QStringLiteral("layoutMain"));
    layoutMenuColumn = new QVBoxLayout;
    layoutMenuColumn->setObjectName(QStringLiteral("layoutMenuColumn"));
    layoutMenuColumn->addWidget(groupBoxMenu);
    layoutMenuColumn->setContentsMargins(0, 0, 0, 0);
    layoutMain->addLayout(layoutMenuColumn);
    layoutMain->setContentsMargins(0, 0, 0, 0);
    layoutMain->setSpacing(0);
    buildIndicators();
    layoutMain->addLayout(layoutIndicators);
    layoutMain->addSpacing(30);
    buildPages();
    makeConnections();
}

void MainWindow::buildMenu()
{
    layoutMenu = new QVBoxLayout;
    layoutMenu->setObjectName(QStringLiteral("layoutMenu"));

    labelLogo = new QLabel;
    labelLogo->setObjectName(QStringLiteral("labelLogo"));
    // The label scales its image to the pixels it covers on the screen: on a
    // screen of more than one pixel per logical pixel it starts from the image
    // of double size, so that it scales down, never up.
    labelLogo->setPixmap(QPixmap(qApp->devicePixelRatio() > 1 ? QStringLiteral(":/images/logo_quorvex@2x.png")
                                                              : QStringLiteral(":/images/logo_quorvex.png")));
    labelLogo->setScaledContents(true);
    labelLogo->setFixedSize(buttonWidth, buttonHeight);

    buttonBuild = new QPushButton(QStringLiteral("Encode"));
    buttonBuild->setObjectName(QStringLiteral("buttonBuild"));
    buttonBuild->setFixedSize(buttonWidth, buttonHeight);
    buttonBuild->setStyleSheet(selectedModeStyle());

    buttonDebuild = new QPushButton(QStringLiteral("Decode"));
    buttonDebuild->setObjectName(QStringLiteral("buttonDebuild"));
    buttonDebuild->setFixedSize(buttonWidth, buttonHeight);
    buttonDebuild->setStyleSheet(unselectedModeStyle());

    buttonBus = new QPushButton(QStringLiteral("Bus"));
    buttonBus->setObjectName(QStringLiteral("buttonBus"));
    buttonBus->setFixedSize(buttonWidth, buttonHeight);
    buttonBus->setStyleSheet(unselectedModeStyle());

    buttonSpacer = new QPushButton;
    buttonSpacer->setObjectName(QStringLiteral("buttonSpacer"));
    buttonSpacer->setStyleSheet(buttonStyle(colorDark, colorDark, kModeButtonTail));
    buttonSpacer->setFixedWidth(buttonWidth);
    buttonSpacer->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    buttonOnlineDoc = new QPushButton(QStringLiteral("Online Documentation"));
    buttonOnlineDoc->setObjectName(QStringLiteral("buttonOnlineDoc"));
    buttonOnlineDoc->setStyleSheet(buttonStyle(colorDark, colorBackground, kDocButtonTail));
    buttonOnlineDoc->setIcon(QIcon(QStringLiteral(":/images/button_icon.png")));
    buttonOnlineDoc->setFixedSize(buttonWidth, docButtonHeight);
    fitOnlineDocLabel();

    groupBoxMenu = new QGroupBox;
    groupBoxMenu->setObjectName(QStringLiteral("groupBoxMenu"));
    groupBoxMenu->setFlat(true);
    groupBoxMenu->setStyleSheet(QStringLiteral("* { background-color: ") + colorBackground + QStringLiteral("; }"));
    groupBoxMenu->setContentsMargins(0, 0, 0, 0);

    layoutMenu->addWidget(labelLogo);
    layoutMenu->addWidget(buttonBuild);
    layoutMenu->addWidget(buttonDebuild);
    layoutMenu->addWidget(buttonBus);
    layoutMenu->addWidget(buttonSpacer);
    layoutMenu->addStretch(1);
    layoutMenu->addWidget(buttonOnlineDoc);
    layoutMenu->setContentsMargins(0, 0, 0, 0);
    layoutMenu->setSpacing(1);
    layoutMenu->setStretchFactor(buttonSpacer, spacerStretch);
    groupBoxMenu->setLayout(layoutMenu);
}

void MainWindow::buildIndicators()
{
    layoutIndicators = new QVBoxLayout;
    layoutIndicators->setObjectName(QStringLiteral("layoutIndicators"));
    for (int i = 1; i <= 5; ++i) {
        QPushButton *strip = new QPushButton;
        strip->setObjectName(QStringLiteral("indicator%1").arg(i));
        strip->setFixedSize(indicatorWidth, buttonHeight);
        strip->setStyleSheet(buttonStyle(colorBackground, colorBackground, kStripTail));
        listIndicators.append(strip);
        layoutIndicators->addWidget(strip);
    }
    setIndicator(2);
    layoutIndicators->setContentsMargins(0, 0, 0, 0);
    layoutIndicators->setSpacing(1);
    layoutIndicators->setStretchFactor(listIndicators.last(), spacerStretch);
    // The strips cannot grow, and a box layout spreads space that no item takes
    // evenly between its items; the stretch keeps them packed at the top, each
    // beside its row of the left column.
    layoutIndicators->addStretch(1);
}

void MainWindow::buildPages()
{
    stackedLayoutPages = new QStackedLayout;
    stackedLayoutPages->setObjectName(QStringLiteral("stackedLayoutPages"));
    layoutPages = new QVBoxLayout;
    layoutPages->setObjectName(QStringLiteral("layoutPages"));
    layoutPages->addLayout(stackedLayoutPages);
    layoutMain->addLayout(layoutPages);

    // The stack is in the window before the pages go into it: the first page
    // added is shown at once, and outside the window it would be shown as a
    // window of its own.
    ui->centralWidget->setLayout(layoutMain);
    ui->centralWidget->layout()->setContentsMargins(0, 0, 20, 0);
    // A group box works its margins out again from the style whenever it is
    // restyled, which reparenting it into the window did; the column stays flush,
    // so that it is 167 pixels wide and lines up with the strips.
    groupBoxMenu->setContentsMargins(0, 0, 0, 0);

    // The decoder first, then the encoder; each reads the catalogue as it is built.
    debuilderLayout = new DebuilderLayout;
    builderLayout = new BuilderLayout;

    widgetBuilder = new QWidget(ui->centralWidget);
    widgetBuilder->setObjectName(QStringLiteral("widgetBuilder"));
    widgetBuilder->setLayout(builderLayout->getLayout());
    widgetDebuilder = new QWidget(ui->centralWidget);
    widgetDebuilder->setObjectName(QStringLiteral("widgetDebuilder"));
    widgetDebuilder->setLayout(debuilderLayout->getLayout());
    // The Bus page's widgets, its models and its session come with busPage().
    widgetBus = new QWidget(ui->centralWidget);
    widgetBus->setObjectName(QStringLiteral("widgetBus"));

    stackedLayoutPages->addWidget(widgetBuilder);
    stackedLayoutPages->addWidget(widgetDebuilder);
    stackedLayoutPages->addWidget(widgetBus);
    stackedLayoutPages->setCurrentIndex(0);
}

void MainWindow::makeConnections()
{
    connect(buttonOnlineDoc, &QPushButton::clicked, this, &MainWindow::on_buttonOnlineDoc_clicked);
    connect(buttonBuild, &QPushButton::clicked, this, &MainWindow::on_buttonBuild_clicked);
    connect(buttonDebuild, &QPushButton::clicked, this, &MainWindow::on_buttonDebuild_clicked);
    connect(buttonBus, &QPushButton::clicked, this, &MainWindow::on_buttonBus_clicked);
    // The pages do not know each other; the window carries frames between them
    // (the Bus page's side as the page is built).
    connect(builderLayout, &BuilderLayout::sendFrameRequested, this, &MainWindow::on_builderLayout_sendFrameRequested);
}

BusLayout *MainWindow::busPage()
{
    if (busLayout)
        return busLayout;
    busLayout = new BusLayout;
    busLayout->setObjectName(QStringLiteral("busLayout"));
    widgetBus->setLayout(busLayout->getLayout());
    connect(busLayout, &BusLayout::connectedChanged, builderLayout, &BuilderLayout::setSendAvailable);
    connect(busLayout, &BusLayout::sendResult, builderLayout, &BuilderLayout::showSendNote);
    connect(busLayout, &BusLayout::frameOpened, this, &MainWindow::on_busLayout_frameOpened);
    return busLayout;
}

MainWindow::~MainWindow()
{
    // The panels go while the widgets they built still exist.
    delete busLayout;
    delete builderLayout;
    delete debuilderLayout;
    delete ui;
}

void MainWindow::on_buttonOnlineDoc_clicked(bool checked)
{
    Q_UNUSED(checked)
    // The desktop reports its own failures; the window has nothing to add.
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kOnlineDocumentationUrl), QUrl::TolerantMode));
}

void MainWindow::on_buttonBuild_clicked(bool checked)
{
    Q_UNUSED(checked)
    showMode(buttonBuild, 2, widgetBuilder);
}

void MainWindow::on_buttonDebuild_clicked(bool checked)
{
    Q_UNUSED(checked)
    showMode(buttonDebuild, 3, widgetDebuilder);
}

void MainWindow::on_buttonBus_clicked(bool checked)
{
    Q_UNUSED(checked)
    busPage();
    showMode(buttonBus, 4, widgetBus);
}

void MainWindow::on_busLayout_frameOpened(const QString &hexText)
{
    debuilderLayout->decodeFrameText(hexText);
    on_buttonDebuild_clicked(false);
}

void MainWindow::on_builderLayout_sendFrameRequested(const QByteArray &frame)
{
    // Sending is offered only while the Bus page has a port open; a request
    // before the page was ever built gets the page's own answer all the same.
    busPage()->sending()->sendFrame(frame);
}

void MainWindow::showMode(QPushButton *button, int strip, QWidget *page)
{
    setIndicator(strip);
    for (QPushButton *mode : {buttonBuild, buttonDebuild, buttonBus})
        mode->setStyleSheet(mode == button ? selectedModeStyle() : unselectedModeStyle());
    stackedLayoutPages->setCurrentWidget(page);
}

void MainWindow::fitOnlineDocLabel()
{
    // Some desktops' default faces are too wide for this label beside its icon
    // in 167 pixels; a narrower cut of the same face beats a clipped word.
    buttonOnlineDoc->ensurePolished();
    QFont font = buttonOnlineDoc->font();
    const int room = buttonWidth - buttonOnlineDoc->iconSize().width() - 12;
    for (int stretch : {int(QFont::SemiCondensed), int(QFont::Condensed)}) {
        if (QFontMetrics(font).horizontalAdvance(buttonOnlineDoc->text()) <= room)
            break;
        font.setStretch(stretch);
    }
    buttonOnlineDoc->setFont(font);
}

void MainWindow::setIndicator(int position)
{
    for (int i = 1; i <= listIndicators.size(); ++i) {
        const QString &color = i == position ? colorAccent : colorBackground;
        listIndicators.at(i - 1)->setStyleSheet(buttonStyle(color, color, kStripTail));
    }
}

QString MainWindow::buttonStyle(const QString &background, const QString &text, const QString &tail) const
{
    return QStringLiteral("* { background-color: ") + background + QStringLiteral("; color: ") + text + tail;
}

QString MainWindow::selectedModeStyle() const
{
    return buttonStyle(colorBackground, colorDark, kModeButtonTail);
}

QString MainWindow::unselectedModeStyle() const
{
    return buttonStyle(colorDark, colorBackground, kModeButtonTail);
}
