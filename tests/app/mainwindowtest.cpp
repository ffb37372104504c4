#include "app/mainwindow.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kLight = QStringLiteral("rgb(242, 241, 246)");
const QString kDark = QStringLiteral("rgb(64, 64, 64)");
const QString kBig = QStringLiteral("; font-size: 20px; font-style: bold; border: none; }");

QString style(const QString &background, const QString &text, const QString &tail = kBig)
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
    void initTestCase()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        window = MainWindow::instance();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->windowTitle(), QStringLiteral("KWN Frame Builder - v2.0.0"));
        QVERIFY(!window->windowIcon().isNull());
    }

    void texts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("style");
        QTest::newRow("Encode") << "buttonBuild" << "Encode" << style(kLight, kDark);
        QTest::newRow("Decode") << "buttonDebuild" << "Decode" << style(kDark, kLight);
        QTest::newRow("Bus") << "buttonBus" << "Bus" << style(kDark, kLight);
        QTest::newRow("filler") << "buttonSpacer" << "" << style(kDark, kDark);
        QTest::newRow("documentation") << "buttonOnlineDoc" << "Online Documentation"
                                       << style(kDark, kLight, QStringLiteral("; font-size: 14px; font-style: bold; }"));
        QTest::newRow("menu box") << "groupBoxMenu" << "" << "* { background-color: rgb(242, 241, 246); }";
    }
    void texts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, style);
        QVERIFY2(child(name), qPrintable(name));
        QCOMPARE(child(name)->property("text").toString(), text);
        QCOMPARE(child(name)->styleSheet(), style);
    }

    void clicks_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<bool>("encode");
        QTest::newRow("Decode, Encode") << QStringList{"buttonDebuild", "buttonBuild"} << true;
        QTest::newRow("Decode twice") << QStringList{"buttonDebuild", "buttonDebuild"} << false;
        QTest::newRow("filler and strips do nothing") << QStringList{"buttonDebuild", "buttonSpacer", "indicator2", "indicator3"} << false;
        QTest::newRow("documentation") << QStringList{"buttonOnlineDoc"} << true;
    }
    void clicks()
    {
        QFETCH(QStringList, buttons);
        QFETCH(bool, encode);
        click(QStringLiteral("buttonBuild"));
        openedUrls.clear();
        // Whatever is typed on a page outlives every switch.
        auto *format = window->findChild<QLineEdit *>(QStringLiteral("LineEditFrameFormat"));
        format->setText(QTest::currentDataTag());
        for (const QString &name : buttons)
            click(name);
        QCOMPARE(format->text(), QString(QTest::currentDataTag()));
        QCOMPARE(child(QStringLiteral("buttonBuild"))->styleSheet(), encode ? style(kLight, kDark) : style(kDark, kLight));
        QCOMPARE(child(QStringLiteral("buttonDebuild"))->styleSheet(), encode ? style(kDark, kLight) : style(kLight, kDark));
        for (int i = 1; i <= 5; ++i) {
            const QString colour = i == (encode ? 2 : 3) ? QStringLiteral("rgb(250, 184, 0)") : kLight;
            QCOMPARE(child(QStringLiteral("indicator%1").arg(i))->styleSheet(), style(colour, colour, QStringLiteral("; border: none; }")));
        }
        QCOMPARE(child(QStringLiteral("widgetBuilder"))->isVisible(), encode);
        QCOMPARE(child(QStringLiteral("widgetDebuilder"))->isVisible(), !encode);
        QCOMPARE(openedUrls.size(), buttons.count(QStringLiteral("buttonOnlineDoc")));
        if (!openedUrls.isEmpty())
            QCOMPARE(openedUrls.first().path(), QStringLiteral("/projects/downloads"));
    }

    // The Bus page is built as it is first shown; a frame the Encode page
    // asks to send before that still gets the page's answer.
    void sendBeforeBusPageShown()
    {
        auto *send = qobject_cast<QPushButton *>(child(QStringLiteral("buttonSendFrame")));
        QVERIFY(send->isHidden()); // no port is open
        send->click();
        QCOMPARE(child(QStringLiteral("labelSendNote"))->property("text").toString(),
                 QStringLiteral("Not connected: connect to a port to send"));
    }

    // Bus is the third mode: its button sits below Decode, beside strip 4.
    void busMode_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("strip");
        QTest::newRow("Bus") << QStringList{"buttonBus"} << "buttonBus" << "widgetBus" << 4;
        QTest::newRow("Bus, Decode") << QStringList{"buttonBus", "buttonDebuild"} << "buttonDebuild" << "widgetDebuilder" << 3;
        QTest::newRow("Bus, Encode") << QStringList{"buttonBus", "buttonBuild"} << "buttonBuild" << "widgetBuilder" << 2;
        QTest::newRow("Bus twice") << QStringList{"buttonBus", "buttonBus"} << "buttonBus" << "widgetBus" << 4;
    }
    void busMode()
    {
        QFETCH(QStringList, buttons);
        QFETCH(QString, selected);
        QFETCH(QString, page);
        QFETCH(int, strip);
        click(QStringLiteral("buttonBuild"));
        for (const QString &name : buttons)
            click(name);
        for (const char *mode : {"buttonBuild", "buttonDebuild", "buttonBus"}) {
            const QString name = QString::fromLatin1(mode);
            QCOMPARE(child(name)->styleSheet(), name == selected ? style(kLight, kDark) : style(kDark, kLight));
        }
        for (int i = 1; i <= 5; ++i) {
            const QString colour = i == strip ? QStringLiteral("rgb(250, 184, 0)") : kLight;
            QCOMPARE(child(QStringLiteral("indicator%1").arg(i))->styleSheet(), style(colour, colour, QStringLiteral("; border: none; }")));
        }
        for (const char *name : {"widgetBuilder", "widgetDebuilder", "widgetBus"})
            QCOMPARE(child(QString::fromLatin1(name))->isVisible(), page == QLatin1String(name));
        QWidget *bus = child(QStringLiteral("buttonBus"));
        QCOMPARE(bus->size(), QSize(167, 88));
        QCOMPARE(bus->mapTo(window, QPoint()).y(), child(QStringLiteral("indicator4"))->mapTo(window, QPoint()).y());
        QVERIFY(bus->mapTo(window, QPoint()).y() > child(QStringLiteral("buttonDebuild"))->mapTo(window, QPoint()).y());
    }

private:
    QWidget *child(const QString &name) const { return window->findChild<QWidget *>(name); }
    void click(const QString &name) const { QTest::mouseClick(qobject_cast<QPushButton *>(child(name)), Qt::LeftButton); }

    MainWindow *window = nullptr;
    QList<QUrl> openedUrls;
};

QTEST_MAIN(MainWindowTest)
#include "mainwindowtest.moc"
