#include "app/mainwindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

const QString kSelected = QStringLiteral(
    "* { background-color: rgb(242, 241, 246); color: rgb(64, 64, 64); font-size: 20px; font-style: bold; border: none; }");
const QString kUnselected = QStringLiteral(
    "* { background-color: rgb(64, 64, 64); color: rgb(242, 241, 246); font-size: 20px; font-style: bold; border: none; }");
const QString kIdleStrip = QStringLiteral(
    "* { background-color: rgb(242, 241, 246); color: rgb(242, 241, 246); border: none; }");
const QString kActiveStrip = QStringLiteral(
    "* { background-color: rgb(250, 184, 0); color: rgb(250, 184, 0); border: none; }");

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void openUrl(const QUrl &url) { openedUrls.append(url); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void startState();
    void compiledInImages_data();
    void compiledInImages();
    void fixedSizes_data();
    void fixedSizes();
    void rowLayout();
    void staticStyles();
    void modeSwitch_data();
    void modeSwitch();
    void pagesSurviveSwitching();
    void inertWidgets_data();
    void inertWidgets();
    void onlineDocumentation();

private:
    template <typename T> T *child(const QString &name);
    QPushButton *button(const QString &name) { return child<QPushButton>(name); }
    void checkMode(bool encode);

    QTemporaryDir workDir;
    QString previousDir;
    MainWindow *window = nullptr;
    QList<QUrl> openedUrls;
};

template <typename T> T *MainWindowTest::child(const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qWarning("no child %s", qPrintable(name));
    return found;
}

void MainWindowTest::initTestCase()
{
    // An empty working folder: no xml/, so the pages come up with an empty catalogue.
    QVERIFY(workDir.isValid());
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    window = MainWindow::instance();
    QVERIFY(window);
    QCOMPARE(MainWindow::instance(), window);
    window->resize(740, 600);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void MainWindowTest::cleanupTestCase()
{
    QDir::setCurrent(previousDir);
}

void MainWindowTest::init()
{
    // Every case starts in Encode mode, as the window does.
    QTest::mouseClick(button(QStringLiteral("buttonBuild")), Qt::LeftButton);
}

void MainWindowTest::startState()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("KWN Frame Builder - v2.0.0"));
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(child<QWidget>(QStringLiteral("centralWidget")));
    QVERIFY(child<QWidget>(QStringLiteral("menuBar")));
    QVERIFY(!child<QLabel>(QStringLiteral("labelLogo"))->pixmap(Qt::ReturnByValue).isNull());
    QVERIFY(!button(QStringLiteral("buttonOnlineDoc"))->icon().isNull());

    QCOMPARE(button(QStringLiteral("buttonBuild"))->text(), QStringLiteral("Encode"));
    QCOMPARE(button(QStringLiteral("buttonDebuild"))->text(), QStringLiteral("Decode"));
    QCOMPARE(button(QStringLiteral("buttonOnlineDoc"))->text(), QStringLiteral("Online Documentation"));
    QVERIFY(button(QStringLiteral("buttonSpacer"))->text().isEmpty());
    for (int i = 1; i <= 5; ++i)
        QVERIFY(button(QStringLiteral("indicator%1").arg(i))->text().isEmpty());

    checkMode(true);
}

void MainWindowTest::compiledInImages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<int>>("squareSizes");
    QTest::addColumn<QSize>("size");

    QTest::newRow("window icon") << QStringLiteral(":/images/Tool_icon.ico")
                                 << QList<int>{256, 128, 64, 48, 32, 16} << QSize();
    QTest::newRow("logo") << QStringLiteral(":/images/logo_quorvex.png") << QList<int>() << QSize(239, 126);
    QTest::newRow("button icon") << QStringLiteral(":/images/button_icon.png") << QList<int>() << QSize(300, 300);
}

void MainWindowTest::compiledInImages()
{
    QFETCH(QString, path);
    QFETCH(QList<int>, squareSizes);
    QFETCH(QSize, size);

    QImageReader reader(path);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    if (squareSizes.isEmpty()) {
        QCOMPARE(reader.imageCount(), 1);
        const QImage image = reader.read();
        QCOMPARE(image.size(), size);
        QVERIFY(image.hasAlphaChannel());
        return;
    }
    QList<int> found;
    do {
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        QCOMPARE(image.depth(), 32);
        QVERIFY(image.hasAlphaChannel());
        found.append(image.width());
    } while (reader.jumpToNextImage());
    QCOMPARE(found, squareSizes);
}

void MainWindowTest::fixedSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("logo") << QStringLiteral("labelLogo") << QSize(167, 88);
    QTest::newRow("Encode") << QStringLiteral("buttonBuild") << QSize(167, 88);
    QTest::newRow("Decode") << QStringLiteral("buttonDebuild") << QSize(167, 88);
    QTest::newRow("Online Documentation") << QStringLiteral("buttonOnlineDoc") << QSize(167, 30);
    for (int i = 1; i <= 5; ++i) {
        const QString name = QStringLiteral("indicator%1").arg(i);
        QTest::newRow(qPrintable(name)) << name << QSize(8, 88);
    }
}

void MainWindowTest::fixedSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    QWidget *widget = child<QWidget>(name);
    QVERIFY(widget);
    QCOMPARE(widget->minimumSize(), size);
    QCOMPARE(widget->maximumSize(), size);
    QCOMPARE(widget->size(), size);
}

void MainWindowTest::rowLayout()
{
    // Left column flush at the window's edge, strips directly beside it and
    // level with their rows, 30 pixels of gap, then the page up to a 20 pixel margin.
    const auto rect = [this](const QString &name) {
        QWidget *widget = child<QWidget>(name);
        return widget ? QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()) : QRect();
    };
    const int top = rect(QStringLiteral("centralWidget")).top();
    QCOMPARE(rect(QStringLiteral("groupBoxMenu")).width(), 167);
    QCOMPARE(rect(QStringLiteral("labelLogo")).topLeft(), QPoint(0, top));
    QCOMPARE(rect(QStringLiteral("buttonSpacer")).width(), 167);
    QVERIFY(rect(QStringLiteral("buttonSpacer")).height() > 88);
    QCOMPARE(rect(QStringLiteral("buttonOnlineDoc")).bottom(), window->height() - 1);

    const QStringList rows = {QStringLiteral("labelLogo"), QStringLiteral("buttonBuild"),
                              QStringLiteral("buttonDebuild")};
    for (int i = 0; i < rows.size(); ++i) {
        const QRect strip = rect(QStringLiteral("indicator%1").arg(i + 1));
        QCOMPARE(strip.left(), 167);
        QCOMPARE(strip.top(), rect(rows.at(i)).top());
    }
    const QRect page = rect(QStringLiteral("widgetBuilder"));
    QCOMPARE(page.left(), 167 + 8 + 30);
    QCOMPARE(page.right(), window->width() - 20 - 1);
}

void MainWindowTest::staticStyles()
{
    QCOMPARE(button(QStringLiteral("buttonSpacer"))->styleSheet(),
             QStringLiteral("* { background-color: rgb(64, 64, 64); color: rgb(64, 64, 64); font-size: 20px; "
                            "font-style: bold; border: none; }"));
    QCOMPARE(button(QStringLiteral("buttonOnlineDoc"))->styleSheet(),
             QStringLiteral("* { background-color: rgb(64, 64, 64); color: rgb(242, 241, 246); font-size: 14px; "
                            "font-style: bold; }"));
    QCOMPARE(child<QWidget>(QStringLiteral("groupBoxMenu"))->styleSheet(),
             QStringLiteral("* { background-color: rgb(242, 241, 246); }"));
}

void MainWindowTest::checkMode(bool encode)
{
    QCOMPARE(button(QStringLiteral("buttonBuild"))->styleSheet(), encode ? kSelected : kUnselected);
    QCOMPARE(button(QStringLiteral("buttonDebuild"))->styleSheet(), encode ? kUnselected : kSelected);
    const int lit = encode ? 2 : 3;
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(button(QStringLiteral("indicator%1").arg(i))->styleSheet(), i == lit ? kActiveStrip : kIdleStrip);

    QStackedLayout *pages = child<QStackedLayout>(QStringLiteral("stackedLayoutPages"));
    QVERIFY(pages);
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->currentIndex(), encode ? 0 : 1);
    QCOMPARE(pages->currentWidget(),
             child<QWidget>(encode ? QStringLiteral("widgetBuilder") : QStringLiteral("widgetDebuilder")));
    QVERIFY(pages->currentWidget()->isVisible());
    QVERIFY(!pages->widget(encode ? 1 : 0)->isVisible());
}

void MainWindowTest::modeSwitch_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<bool>("encode");

    QTest::newRow("Decode") << QStringLiteral("D") << false;
    QTest::newRow("Decode, Encode") << QStringLiteral("DE") << true;
    QTest::newRow("Encode again") << QStringLiteral("E") << true;
    QTest::newRow("Decode twice") << QStringLiteral("DD") << false;
    QTest::newRow("back and forth") << QStringLiteral("DEDED") << false;
}

void MainWindowTest::modeSwitch()
{
    QFETCH(QString, clicks);
    QFETCH(bool, encode);

    for (const QChar c : clicks) {
        QTest::mouseClick(button(c == QLatin1Char('D') ? QStringLiteral("buttonDebuild") : QStringLiteral("buttonBuild")),
                          Qt::LeftButton);
    }
    checkMode(encode);
}

void MainWindowTest::pagesSurviveSwitching()
{
    QWidget *builder = child<QWidget>(QStringLiteral("widgetBuilder"));
    QWidget *debuilder = child<QWidget>(QStringLiteral("widgetDebuilder"));
    QVERIFY(builder && debuilder);
    QVERIFY(builder->layout());
    QVERIFY(debuilder->layout());
    const QList<QObject *> builderChildren = builder->findChildren<QObject *>();
    const QList<QObject *> debuilderChildren = debuilder->findChildren<QObject *>();

    // Whatever the pages hold, text typed into them must outlive a switch.
    QList<QLineEdit *> edits;
    for (QWidget *page : {builder, debuilder}) {
        for (QLineEdit *edit : page->findChildren<QLineEdit *>()) {
            if (edit->isEnabled() && !edit->isReadOnly()) {
                edits.append(edit);
                break;
            }
        }
    }
    QMap<QLineEdit *, QString> texts;
    for (QLineEdit *edit : edits)
        texts.insert(edit, edit->text());
    if (!edits.isEmpty()) {
        edits.first()->setText(QStringLiteral("kept 1234"));
        texts[edits.first()] = edits.first()->text();
    }

    QTest::mouseClick(button(QStringLiteral("buttonDebuild")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("buttonBuild")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("buttonDebuild")), Qt::LeftButton);

    QCOMPARE(child<QWidget>(QStringLiteral("widgetBuilder")), builder);
    QCOMPARE(child<QWidget>(QStringLiteral("widgetDebuilder")), debuilder);
    QCOMPARE(builder->findChildren<QObject *>(), builderChildren);
    QCOMPARE(debuilder->findChildren<QObject *>(), debuilderChildren);
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        QCOMPARE(it.key()->text(), it.value());
}

void MainWindowTest::inertWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("decodeFirst");

    QTest::newRow("filler") << QStringLiteral("buttonSpacer") << false;
    QTest::newRow("filler in Decode") << QStringLiteral("buttonSpacer") << true;
    for (int i = 1; i <= 5; ++i) {
        const QString name = QStringLiteral("indicator%1").arg(i);
        QTest::newRow(qPrintable(name)) << name << false;
        QTest::newRow(qPrintable(name + QStringLiteral(" in Decode"))) << name << true;
    }
}

void MainWindowTest::inertWidgets()
{
    QFETCH(QString, name);
    QFETCH(bool, decodeFirst);

    if (decodeFirst)
        QTest::mouseClick(button(QStringLiteral("buttonDebuild")), Qt::LeftButton);
    openedUrls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    QTest::mouseClick(button(name), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    checkMode(!decodeFirst);
    QVERIFY(openedUrls.isEmpty());
}

void MainWindowTest::onlineDocumentation()
{
    openedUrls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    QTest::mouseClick(button(QStringLiteral("buttonOnlineDoc")), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(openedUrls.size(), 1);
    const QUrl url = openedUrls.first();
    QVERIFY(url.isValid());
    QCOMPARE(url.scheme(), QStringLiteral("https"));
    QVERIFY(!url.host().isEmpty());
    QCOMPARE(url.path(), QStringLiteral("/projects/downloads"));
    // Opening the page is all the button does.
    checkMode(true);
}

QTEST_MAIN(MainWindowTest)

#include "mainwindowtest.moc"
