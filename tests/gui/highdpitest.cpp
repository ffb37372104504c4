// The window as the tool starts it, at the scale factor of the environment:
// CTest runs this program at 1 and again with QT_SCALE_FACTOR=1.5 and 2. At
// every scale the window is 740 x 600 logical pixels, the images carry pixels
// enough for the scale, and no label's or button's text is wider than the
// room its widget gives it, on either page or in the left column.
//
// The window is shown in the font a desktop without settings gives Qt
// programs, DejaVu Sans at 9 points. The pages are then built once more in
// a 12-point font, where their texts must still fit; a window would be wider
// than 740 there, as the header row needs it.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "codec/busrecord.h"
#include "monitor/latestmessagemodel.h"
#include "pages.h"

#include <QtWidgets>
#include <QtTest>

#include <cmath>

namespace {

const QString kFrame = QStringLiteral("F0 EF DF AE F3 C5 FE FF FF FD FA FD 0D FF 0C 20");

// The width the widget gives its text, and the width the text needs, from the
// widget's own font and style.
struct Room
{
    int available = 0;
    int needed = 0;
};

Room roomOf(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    Room room;
    room.needed = button->fontMetrics().horizontalAdvance(button->text());
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox *>(button)) {
        contents = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<QRadioButton *>(button)) {
        contents = QStyle::SE_RadioButtonContents;
    } else if (!button->icon().isNull()) {
        room.needed += button->iconSize().width() + 4; // QPushButton's gap after the icon
    }
    room.available = button->style()->subElementRect(contents, &option, button).width();
    return room;
}

Room roomOf(QLabel *label)
{
    Room room;
    room.needed = label->fontMetrics().horizontalAdvance(label->text());
    room.available = label->contentsRect().width() - 2 * label->margin();
    return room;
}

} // namespace

class HighDpiTest : public QObject
{
    Q_OBJECT

public:
    // Called before the application object exists, as the tool's main does.
    static void initMain() { enableHighDpiScaling(); }

private slots:
    void initTestCase()
    {
        QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        window = MainWindow::instance();
        window->resize(740, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void scaledWindow()
    {
        // The factor asked for reached the window, so the checks below ran at it.
        const qreal factor = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
            ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble() : 1.0;
        QCOMPARE(window->devicePixelRatioF(), factor);
        QCOMPARE(window->windowHandle()->size(), QSize(740, 600));

        // The images have pixels enough for the scale.
        auto *logo = window->findChild<QLabel *>(QStringLiteral("labelLogo"));
        QVERIFY(logo);
        const QPixmap pixmap = logo->pixmap(Qt::ReturnByValue);
        // Within a pixel: at 1.5 the label covers 250.5 x 132 device pixels.
        QVERIFY2(pixmap.width() >= logo->width() * factor - 1
                     && pixmap.height() >= logo->height() * factor - 1,
                 qPrintable(QStringLiteral("logo of %1 x %2 pixels in %3 x %4 at %5")
                                .arg(pixmap.width()).arg(pixmap.height())
                                .arg(logo->width()).arg(logo->height()).arg(factor)));

        auto *documentation = window->findChild<QPushButton *>(QStringLiteral("buttonOnlineDoc"));
        int largest = 0;
        for (const QSize &size : documentation->icon().availableSizes())
            largest = std::max(largest, size.width());
        QVERIFY2(largest >= std::ceil(documentation->iconSize().width() * factor),
                 qPrintable(QStringLiteral("icon of %1 pixels at %2").arg(largest).arg(factor)));
    }

    // Every tab of the Encode page, and the Decode page with a decoded frame
    // in its header and parameter rows.
    void textsFit()
    {
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonBuild")), Qt::LeftButton);
        auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidgetMessages"));
        QVERIFY(tabs->count() > 0);
        for (int tab = 0; tab < tabs->count() && !QTest::currentTestFailed(); ++tab) {
            tabs->setCurrentIndex(tab);
            checkWindowTextsFit();
        }
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonDebuild")), Qt::LeftButton);
        auto *input = window->findChild<QLineEdit *>(QStringLiteral("LineEditInputFrame"));
        input->setFocus();
        QTest::keyClicks(input, kFrame);
        QVERIFY(!window->findChildren<QLabel *>(QStringLiteral("labelParameter")).isEmpty());
        checkWindowTextsFit();
        QCOMPARE(window->size(), QSize(740, 600));
    }

    // The Bus page's list in the window's first size shows its columns up to
    // some of the values, as with a list longer than the view, without
    // scrolling sideways, in either view; a larger window gives the room to
    // the values.
    void busListFitsTheWindow()
    {
        // The page's columns as in a first run: it reads the stored ones as
        // the list is first shown.
        QTemporaryDir settingsDir;
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("buttonBus")), Qt::LeftButton);
        auto *view = window->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QVERIFY(view && view->isVisible());
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        window->layout()->activate();
        QCoreApplication::processEvents();
        QCOMPARE(window->size(), QSize(740, 600));
        QHeaderView *header = view->horizontalHeader();
        const int room = view->viewport()->width();
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QCOMPARE(header->length(), room);
        QCOMPARE(header->hiddenSectionCount(), 5);
        QVERIFY2(header->sectionSize(ColumnValues) >= 100, qPrintable(QString::number(header->sectionSize(ColumnValues))));
        // Times and point-to-point routes show whole.
        const QFontMetrics metrics(view->font());
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("23:59:59.999")) + 6 <= header->sectionSize(ColumnTime));
        QVERIFY(metrics.horizontalAdvance(QStringLiteral("0A1B2C \u2192 3D4E5F")) + 6 <= header->sectionSize(ColumnRoute));

        // Latest has columns of its own; they fit as well, without the time.
        auto *latest = window->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        latest->setChecked(true);
        QCoreApplication::processEvents();
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QCOMPARE(header->length(), room);
        QVERIFY(header->isSectionHidden(LatestMessageModel::Time));
        QVERIFY(header->sectionSize(LatestMessageModel::Values) >= 40);
        latest->setChecked(false);

        window->resize(1200, 800);
        QCoreApplication::processEvents();
        const int wide = view->viewport()->width();
        QVERIFY(wide >= room + 400);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QCOMPARE(header->length(), wide);
        QVERIFY(header->sectionSize(ColumnValues) >= 40 + wide - room);
    }

    void textsFitInLargerFont()
    {
        QApplication::setFont(largeFont);
        Pages pages;
        QVERIFY(QTest::qWaitForWindowExposed(&pages.widget));
        QTest::keyClicks(pages.find<QLineEdit>(QStringLiteral("LineEditInputFrame")), kFrame);
        QCoreApplication::processEvents();
        checkTextsFit(pages.encodePage);
        checkTextsFit(pages.decodePage);
    }

private:
    // The window laid out and drawn as it now is, its texts checked.
    void checkWindowTextsFit()
    {
        window->layout()->activate();
        QCoreApplication::processEvents();
        checkTextsFit(window);
    }

    // Every shown label and button below `root`, with the text it carries.
    static void checkTextsFit(QWidget *root)
    {
        int checked = 0;
        for (QWidget *widget : root->findChildren<QWidget *>()) {
            if (!widget->isVisible())
                continue;
            Room room;
            if (auto *label = qobject_cast<QLabel *>(widget))
                room = roomOf(label);
            else if (auto *button = qobject_cast<QAbstractButton *>(widget))
                room = roomOf(button);
            else
                continue;
            if (room.needed == 0)
                continue;
            ++checked;
            QVERIFY2(room.needed <= room.available,
                     qPrintable(QStringLiteral("%1 \"%2\": text %3 wide in %4")
                                    .arg(widget->objectName(), widget->property("text").toString())
                                    .arg(room.needed).arg(room.available)));
        }
        QVERIFY(checked >= 10);
    }

    MainWindow *window = nullptr;
    const QFont largeFont{QStringLiteral("DejaVu Sans"), 12}; // the offscreen platform's size under Qt 5
};

QTEST_MAIN(HighDpiTest)
#include "highdpitest.moc"
