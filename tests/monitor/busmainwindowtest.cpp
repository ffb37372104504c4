// The Bus page inside the main window: the Encode page's "Send" and opening a
// listed frame on the Decode page, with a pseudo-terminal as the bus.

#include "app/mainwindow.h"

#include "codec/framedecoding.h"
#include "codec/busrecord.h"
#include "ptypair.h"
#include "support/modelcells.h"

#include <QtTest>
#include <QtWidgets>

class BusMainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
        window = MainWindow::instance();
        window->resize(740, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // The Bus page fits beside the left column in 740 x 600: 515 x 600
        // (built here, before it was ever shown, as outside checks may ask).
        QVERIFY(window->busPage());
        const QSize page = window->findChild<QWidget *>(QStringLiteral("widgetBus"))->minimumSizeHint();
        QVERIFY2(page.width() <= 515 && page.height() <= 600, qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
        QVERIFY(device.ok());
    }

    void sendFromEncodePage()
    {
        QPushButton *send = button(QStringLiteral("buttonSendFrame"));
        QVERIFY(send->isHidden()); // the page looks as before while no port is open
        click(QStringLiteral("buttonBus"));
        connectBus();
        click(QStringLiteral("buttonBuild"));
        QVERIFY(send->isVisible());
        QVERIFY(send->isEnabled());

        const QByteArray frame = hexTextToBytes(cleanFrameText(field(QStringLiteral("LineEditOutputFrame"))->text()));
        QVERIFY(frame.size() >= 11);
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(device.read(frame.size()), frame);
        // The page says what it sent, for a while.
        auto *note = window->findChild<QLabel *>(QStringLiteral("labelSendNote"));
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("Sent ") + frameToHexText(frame));
        QTRY_COMPARE(list()->model()->rowCount(), 2); // after the port's event
        QCOMPARE(cellText(*list()->model(), 1, ColumnDirection), QStringLiteral("TX"));
    }

    // Enter, a double click or the row menu on a listed frame shows it on
    // the Decode page; the menu goes with its use.
    void openOnDecodePage_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Enter") << "Enter";
        QTest::newRow("double click") << "double click";
        QTest::newRow("row menu") << "row menu";
    }
    void openOnDecodePage()
    {
        QFETCH(QString, how);
        click(QStringLiteral("buttonBus"));
        field(QStringLiteral("LineEditInputFrame"))->clear();
        QTableView *view = list();
        const QModelIndex index = view->model()->index(1, ColumnMessage); // the frame sent, after the port's event
        const QPoint at = view->visualRect(index).center();
        view->setCurrentIndex(index);
        if (how == QLatin1String("Enter")) {
            QTest::keyClick(view, Qt::Key_Return);
        } else if (how == QLatin1String("double click")) {
            // As a mouse does it: press and release, then the second press.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        } else {
            QTimer::singleShot(0, this, [] {
                auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                QVERIFY(menu);
                menu->close(); // first, so that a failure below cannot leave it open
                auto *open = menu->findChild<QAction *>(QStringLiteral("actionOpenFrame"));
                QVERIFY(open);
                open->trigger();
            });
            emit view->customContextMenuRequested(at);
            QVERIFY(view->findChildren<QMenu *>().isEmpty());
        }
        QVERIFY(window->findChild<QWidget *>(QStringLiteral("widgetDebuilder"))->isVisible());
        const QString hex = cellText(*view->model(), 1, ColumnBytes);
        QCOMPARE(field(QStringLiteral("LineEditInputFrame"))->text(), QString(hex).remove(QLatin1Char(' ')));
        // Decoded as any edit: the device field is filled.
        QVERIFY(!field(QStringLiteral("LineEditApplication"))->text().isEmpty());
    }

    // Disconnected, the Encode page's Send goes. Ctrl+F goes to the Bus
    // page's filter, its text selected, only while that page is shown.
    void disconnectAndCtrlF()
    {
        click(QStringLiteral("buttonBus"));
        click(QStringLiteral("buttonConnect"));
        QVERIFY(button(QStringLiteral("buttonSendFrame"))->isHidden());

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        click(QStringLiteral("buttonBuild"));
        QLineEdit *filter = field(QStringLiteral("LineEditFilter"));
        filter->setText(QStringLiteral("RX"));
        QLineEdit *encodeField = field(QStringLiteral("LineEditMasterNodeID"));
        encodeField->setFocus();
        QTest::keyClick(encodeField, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(encodeField->hasFocus());

        click(QStringLiteral("buttonBus"));
        list()->setFocus();
        QTest::keyClick(list(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(filter->hasFocus());
        QCOMPARE(filter->selectedText(), QStringLiteral("RX"));
        filter->clear();
    }

private:
    QPushButton *button(const QString &name) const { return window->findChild<QPushButton *>(name); }
    QLineEdit *field(const QString &name) const { return window->findChild<QLineEdit *>(name); }
    QTableView *list() const { return window->findChild<QTableView *>(QStringLiteral("tableViewFrames")); }
    void click(const QString &name) const { QTest::mouseClick(button(name), Qt::LeftButton); }

    void connectBus()
    {
        window->findChild<QComboBox *>(QStringLiteral("comboBoxPort"))->setEditText(device.path);
        click(QStringLiteral("buttonConnect"));
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Disconnect"));
    }

    QTemporaryDir settingsDir;
    PtyPair device;
    MainWindow *window = nullptr;
};

QTEST_MAIN(BusMainWindowTest)
#include "busmainwindowtest.moc"
