// The main window's modes, and where the tool keeps its parsed catalogue.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "catalogue/profilecache.h"
#include "support/datarows.h"

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

    // Each mode button shows its page and lights its strip (Encode 2, Decode
    // 3, Bus 4); the filler, the strips and the documentation button change
    // neither, and what is typed on a page outlives every switch.
    void modes_data() { addDataRows(QStringLiteral("app/modes.txt")); }
    void modes()
    {
        QFETCH(QStringList, row);
        const QStringList buttons = row[0].split(QLatin1Char(' '));
        const QString selected = row[1];
        const int strip = row[2].toInt();
        click(QStringLiteral("buttonBuild"));
        openedUrls.clear();
        auto *format = window->findChild<QLineEdit *>(QStringLiteral("LineEditFrameFormat"));
        format->setText(QTest::currentDataTag());
        for (const QString &name : buttons)
            click(name);
        QCOMPARE(format->text(), QString(QTest::currentDataTag()));
        for (const auto &mode : {std::make_pair("buttonBuild", "widgetBuilder"), std::make_pair("buttonDebuild", "widgetDebuilder"),
                                 std::make_pair("buttonBus", "widgetBus")}) {
            const bool on = selected == QLatin1String(mode.first);
            QCOMPARE(child(QLatin1String(mode.first))->styleSheet(), on ? style(kLight, kDark) : style(kDark, kLight));
            QCOMPARE(child(QLatin1String(mode.second)) && child(QLatin1String(mode.second))->isVisible(), on);
        }
        for (int i = 1; i <= 5; ++i) {
            const QString colour = i == strip ? QStringLiteral("rgb(250, 184, 0)") : kLight;
            QCOMPARE(child(QStringLiteral("indicator%1").arg(i))->styleSheet(), style(colour, colour, QStringLiteral("; border: none; }")));
        }
        QCOMPARE(openedUrls.size(), buttons.count(QStringLiteral("buttonOnlineDoc")));
        if (!openedUrls.isEmpty())
            QCOMPARE(openedUrls.first().path(), QStringLiteral("/projects/downloads"));
        // Bus is the third mode: its button sits below Decode, beside strip 4.
        QWidget *bus = child(QStringLiteral("buttonBus"));
        QCOMPARE(bus->mapTo(window, QPoint()).y(), child(QStringLiteral("indicator4"))->mapTo(window, QPoint()).y());
        QVERIFY(bus->mapTo(window, QPoint()).y() > child(QStringLiteral("buttonDebuild"))->mapTo(window, QPoint()).y());
    }

    // The parsed catalogue is kept under the executable's name, without an
    // organisation, whatever names the application was given; and those
    // names are left as they were.
    void cacheUnderTheExecutablesName_data()
    {
        QTest::addColumn<QString>("organisation");
        QTest::addColumn<QString>("application");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("the tool's own") << QStringLiteral("Quorvex") << QStringLiteral("KWN Frame Builder");
    }
    void cacheUnderTheExecutablesName()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("the cache folder's layout is the XDG one");
#endif
        QFETCH(QString, organisation);
        QFETCH(QString, application);
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(organisation);
        QCoreApplication::setApplicationName(application);
        const QString named = QCoreApplication::applicationName();
        useUserCacheFolder();
        QCOMPARE(definitionCacheFolder(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                     + QStringLiteral("/mainwindowtest"));
        QCOMPARE(QCoreApplication::organizationName(), organisation);
        QCOMPARE(QCoreApplication::applicationName(), named);
        setDefinitionCacheFolder(QString());
    }

private:
    QWidget *child(const QString &name) const { return window->findChild<QWidget *>(name); }
    void click(const QString &name) const { QTest::mouseClick(qobject_cast<QPushButton *>(child(name)), Qt::LeftButton); }

    MainWindow *window = nullptr;
    QList<QUrl> openedUrls;
};

QTEST_MAIN(MainWindowTest)
#include "mainwindowtest.moc"
