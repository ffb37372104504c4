#include "app/mainwindow.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kLight = QStringLiteral("rgb(242, 241, 246)");
const QString kDark = QStringLiteral("rgb(64, 64, 64)");
const QString kYellow = QStringLiteral("rgb(250, 184, 0)");
const QString kBig = QStringLiteral("; font-size: 20px; font-style: bold; border: none; }");

QString style(const QString &background, const QString &text, const QString &tail)
{
    return QStringLiteral("* { background-color: %1; color: %2%3").arg(background, text, tail);
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { openedUrls.append(url); } // stands in for the browser

private slots:
    void initTestCase();
    void texts_data();
    void texts();
    void clicks_data();
    void clicks();

private:
    QWidget *child(const QString &name) const { return window->findChild<QWidget *>(name); }
    void click(const QString &name) const { QTest::mouseClick(qobject_cast<QPushButton *>(child(name)), Qt::LeftButton); }

    MainWindow *window = nullptr;
    QList<QUrl> openedUrls;
};

void MainWindowTest::initTestCase()
{
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
    window = MainWindow::instance();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("KWN Frame Builder - v2.0.0"));
    QVERIFY(!window->windowIcon().isNull());
}

void MainWindowTest::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");

    QTest::newRow("Encode") << "buttonBuild" << "Encode" << style(kLight, kDark, kBig);
    QTest::newRow("Decode") << "buttonDebuild" << "Decode" << style(kDark, kLight, kBig);
    QTest::newRow("filler") << "buttonSpacer" << "" << style(kDark, kDark, kBig);
    QTest::newRow("documentation") << "buttonOnlineDoc" << "Online Documentation"
                                   << style(kDark, kLight, QStringLiteral("; font-size: 14px; font-style: bold; }"));
    QTest::newRow("menu box") << "groupBoxMenu" << "" << "* { background-color: rgb(242, 241, 246); }";
}

void MainWindowTest::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, style);

    QVERIFY2(child(name), qPrintable(name));
    QCOMPARE(child(name)->property("text").toString(), text);
    QCOMPARE(child(name)->styleSheet(), style);
}

void MainWindowTest::clicks_data()
{
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<bool>("encode");

    QTest::newRow("Decode") << QStringList{"buttonDebuild"} << false;
    QTest::newRow("Decode, Encode") << QStringList{"buttonDebuild", "buttonBuild"} << true;
    QTest::newRow("Decode twice") << QStringList{"buttonDebuild", "buttonDebuild"} << false;
    QTest::newRow("filler and strips") << QStringList{"buttonSpacer", "indicator2", "indicator3"} << true;
    QTest::newRow("filler and strips in Decode")
        << QStringList{"buttonDebuild", "buttonSpacer", "indicator1", "indicator2", "indicator5"} << false;
    QTest::newRow("documentation") << QStringList{"buttonOnlineDoc"} << true;
}

void MainWindowTest::clicks()
{
    QFETCH(QStringList, buttons);
    QFETCH(bool, encode);

    click(QStringLiteral("buttonBuild"));
    openedUrls.clear();
    // Whatever is typed on a page outlives every switch.
    window->findChild<QLineEdit *>(QStringLiteral("LineEditFrameFormat"))->setText(QTest::currentDataTag());
    for (const QString &name : buttons)
        click(name);
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("LineEditFrameFormat"))->text(), QString(QTest::currentDataTag()));
    QCOMPARE(child(QStringLiteral("buttonBuild"))->styleSheet(), encode ? style(kLight, kDark, kBig) : style(kDark, kLight, kBig));
    QCOMPARE(child(QStringLiteral("buttonDebuild"))->styleSheet(), encode ? style(kDark, kLight, kBig) : style(kLight, kDark, kBig));
    for (int i = 1; i <= 5; ++i) {
        const QString colour = i == (encode ? 2 : 3) ? kYellow : kLight;
        QCOMPARE(child(QStringLiteral("indicator%1").arg(i))->styleSheet(), style(colour, colour, QStringLiteral("; border: none; }")));
    }
    QCOMPARE(child(QStringLiteral("widgetBuilder"))->isVisible(), encode);
    QCOMPARE(child(QStringLiteral("widgetDebuilder"))->isVisible(), !encode);
    QCOMPARE(openedUrls.size(), buttons.count(QStringLiteral("buttonOnlineDoc")));
    if (!openedUrls.isEmpty())
        QCOMPARE(openedUrls.first().path(), QStringLiteral("/projects/downloads"));
}

QTEST_MAIN(MainWindowTest)

#include "mainwindowtest.moc"
