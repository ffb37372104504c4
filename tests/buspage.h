#ifndef KWN_TESTS_BUSPAGE_H
#define KWN_TESTS_BUSPAGE_H

// The Bus page on its own, as its tests build and drive it: a page widget
// around the layout, a pseudo-terminal for the device, settings in a folder
// of the test's, and the lookups and actions the tests share.

#include "monitor/buslayout.h"
#include "bustools/logtool.h"
#include "bustools/replaytool.h"
#include "bustools/sendtool.h"
#include "bustools/showntrace.h"
#include "codec/frame.h"
#include "monitor/framelistpanel.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "monitor/nodetablemodel.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/elidedlabel.h"
#include "busframes.h"
#include "buslogs.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "support/modelcells.h"

#include <QtWidgets>
#include <QtTest>

// 2024-03-05 10:00:00 UTC, in µs: the first time of the logs the tests write.
const qint64 kLogBaseUs = Q_INT64_C(1709632800000000);

class BusPageFixture : public QObject
{
protected:
    void setUpCase()
    {
        QVERIFY(settingsDir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR)); // the bundled xml/ folder
    }

    void setUp()
    {
        bus = new BusLayout;
        page = new QWidget;
        page->setLayout(bus->getLayout());
        page->resize(520, 560);
        page->show();
        device.reset(new PtyPair);
        QVERIFY(device->ok());
    }

    void tearDown()
    {
        delete bus;
        delete page;
        device.reset();
    }
    // The filter's clear button fades in an animation of no parent that
    // deletes itself once a tick finds the button gone: let that tick come
    // before the program ends, or the animation outlives it.
    ~BusPageFixture() override { QTest::qWait(50); }
    template<typename T = QWidget> T *find(const QString &name) const { return page->findChild<T *>(name); }
    QPushButton *button(const QString &name) const { return find<QPushButton>(name); }
    void click(const QString &name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QLineEdit *field(const QString &name) const { return find<QLineEdit>(name); }
    QTableView *listView() const { return find<QTableView>(QStringLiteral("tableViewFrames")); }
    FrameListPanel *listPanel() const { return find<FrameListPanel>(QStringLiteral("listPanel")); }
    QCheckBox *latestBox() const { return find<QCheckBox>(QStringLiteral("checkBoxLatest")); }
    // The list's model; none while the view shows Latest.
    FrameTableModel *model() const { return qobject_cast<FrameTableModel *>(listView()->model()); }
    // Empties the list (of the "Connected to" row, say).
    void clearList() { click(QStringLiteral("buttonClear")); }
    // The texts of a column of what the list shows (the list or Latest).
    QStringList shownColumn(int column) const { return columnTexts(*listView()->model(), column); }
    // Clicks a row of the list and leaves it current.
    void clickRow(int row)
    {
        QTableView *view = listView();
        int column = 0; // the first one shown
        while (view->isColumnHidden(column))
            ++column;
        const QModelIndex index = view->model()->index(row, column);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(index).center());
        QCOMPARE(view->currentIndex().row(), row);
    }
    // The value of a row of the detail pane.
    QString detail(const QString &field) const
    {
        const QList<QTreeWidgetItem *> items = find<QTreeWidget>(QStringLiteral("treeWidgetDetail"))
                                                   ->findItems(field, Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? QStringLiteral("(no row)") : items.constFirst()->text(1);
    }
    // "F0 EF … [12 34]"
    static QString spacedWithChecksum(const QByteArray &frame)
    {
        return QString::fromLatin1(frame.left(frame.size() - 2).toHex(' ').toUpper() + " ["
                                   + frame.right(2).toHex(' ').toUpper() + ']');
    }
    // "0x0f, 0x1e, …", as a frame may be typed.
    static QString formatted(const QByteArray &frame)
    {
        QString spaced = QString::fromLatin1(frame.toHex(' '));
        return QStringLiteral("0x") + spaced.replace(QLatin1Char(' '), QStringLiteral(", 0x"));
    }
    // The whole text of one of the page's one-line labels.
    QString label(const QString &name) const { return find<ElidedLabel>(name)->fullText(); }
    QString message() const { return label(QStringLiteral("labelMessage")); }

    void setPort(const QString &path) { find<QComboBox>(QStringLiteral("comboBoxPort"))->setEditText(path); }
    void connectTo(const QString &path)
    {
        setPort(path);
        QSignalSpy connected(bus, &BusLayout::connectedChanged);
        click(QStringLiteral("buttonConnect"));
        QVERIFY2(bus->session()->isOpen(), qPrintable(label(QStringLiteral("labelStatus"))));
        QCOMPARE(connected.count(), 1);
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Disconnect"));
        QCOMPARE(find<QLabel>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: black"));
    }

    // "RX ok 0F1E…", "TX bad …", "noise A5", "event Connected to …" per row.
    QStringList rowTexts() const
    {
        QStringList texts;
        for (int row = 0; row < model()->rowCount(); ++row) {
            const BusRecord *record = model()->recordAt(row);
            if (record->kind == BusRecord::Noise)
                texts << QStringLiteral("noise ") + frameToHexText(record->bytes);
            else if (record->kind == BusRecord::Event)
                texts << QStringLiteral("event ") + record->values;
            else
                texts << directionText(record->kind) + (record->checksumOk ? QStringLiteral(" ok ") : QStringLiteral(" bad "))
                             + frameToHexText(record->bytes);
        }
        return texts;
    }

    // Types `path` into the next file dialog, in its name filter `filter`
    // if one is given, and confirms whatever it asks; with no path, closes
    // it. `filters` and `folder` get the dialog's filters and its folder.
    void answerFileDialog(const QString &path, const QString &filter = QString(), QStringList *filters = nullptr,
                          QString *folder = nullptr)
    {
        QTimer::singleShot(50, this, [this, path, filter, filters, folder] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            if (filters)
                *filters = dialog->nameFilters();
            if (folder)
                *folder = dialog->directory().absolutePath();
            if (!filter.isEmpty())
                dialog->selectNameFilter(filter);
            if (path.isEmpty() || (!filter.isEmpty() && dialog->selectedNameFilter() != filter)) {
                dialog->reject();
                QVERIFY2(path.isEmpty(), qPrintable(QStringLiteral("no filter ") + filter));
                return;
            }
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            // "Replace?" comes as a message box of its own.
            QTimer::singleShot(50, this, [] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes)->click();
            });
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
    }

    // The Nodes table as shown (sorted as its header says), and its load line.
    QTableView *nodesView() const { return find<QTableView>(QStringLiteral("tableViewNodes")); }
    QStringList nodeColumn(int column) const { return columnTexts(*nodesView()->model(), column); }
    QString loadLineText() const { return label(QStringLiteral("labelLoad")); }
    // Draws Nodes and the load line now, as their timer does a few times a second.
    void tickInsight()
    {
        auto *timer = find<QTimer>(QStringLiteral("timerInsight"));
        QVERIFY(timer && timer->isActive());
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    }
    QTemporaryDir settingsDir;
    BusLayout *bus = nullptr;
    QWidget *page = nullptr;
    std::unique_ptr<PtyPair> device;
};

#endif
