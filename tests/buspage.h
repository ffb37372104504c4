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
#include "monitor/busplots.h"
#include "monitor/framelistpanel.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "monitor/nodetablemodel.h"
#include "serial/bussession.h"
#include "trace/tracestore.h"
#include "widgets/elidedlabel.h"
#include "widgets/elidingdelegate.h"
#include "busframes.h"
#include "buslogs.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "toolrun.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

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
    // Empties the list (of the "Connected to" row, say).
    void clearList() { QTest::mouseClick(button(QStringLiteral("buttonClear")), Qt::LeftButton); }

    // Clicks a row of the list and leaves it current.
    void clickRow(int row)
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
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
        auto *tree = page->findChild<QTreeWidget *>(QStringLiteral("treeWidgetDetail"));
        const QList<QTreeWidgetItem *> items = tree->findItems(field, Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? QStringLiteral("(no row)") : items.constFirst()->text(1);
    }
    // "F0 EF … [12 34]"
    static QString spacedWithChecksum(const QByteArray &frame)
    {
        return QString::fromLatin1(frame.left(frame.size() - 2).toHex(' ').toUpper() + " ["
                                   + frame.right(2).toHex(' ').toUpper() + ']');
    }

    FrameTableModel *model() const
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        return qobject_cast<FrameTableModel *>(view->model());
    }
    QPushButton *button(const QString &name) const { return page->findChild<QPushButton *>(name); }
    template<typename T = QWidget> T *find(const QString &name) const { return page->findChild<T *>(name); }
    FrameListPanel *listPanel() const { return find<FrameListPanel>(QStringLiteral("listPanel")); }
    QTableView *listView() const { return find<QTableView>(QStringLiteral("tableViewFrames")); }
    QCheckBox *latestBox() const { return find<QCheckBox>(QStringLiteral("checkBoxLatest")); }
    QLineEdit *field(const QString &name) const { return find<QLineEdit>(name); }
    void click(const QString &name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    // The text of a cell of what the list shows (the list or Latest).
    QString shownCell(int row, int column) const
    {
        return listView()->model()->data(listView()->model()->index(row, column)).toString();
    }
    // The whole text of one of the page's one-line labels.
    QString label(const QString &name) const { return page->findChild<ElidedLabel *>(name)->fullText(); }
    QString message() const { return label(QStringLiteral("labelMessage")); }

    void setPort(const QString &path)
    {
        page->findChild<QComboBox *>(QStringLiteral("comboBoxPort"))->setEditText(path);
    }
    void connectTo(const QString &path)
    {
        setPort(path);
        QSignalSpy connected(bus, &BusLayout::connectedChanged);
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton);
        QVERIFY2(bus->session()->isOpen(), qPrintable(label(QStringLiteral("labelStatus"))));
        QCOMPARE(connected.count(), 1);
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Disconnect"));
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: black"));
    }

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

    static QString formatted(const QByteArray &frame)
    {
        QString text;
        for (char byte : frame)
            text += QStringLiteral("0x%1, ").arg(quint8(byte), 2, 16, QLatin1Char('0'));
        return text;
    }

    // Types `path` into the next file dialog and confirms whatever it asks.
    void answerFileDialog(const QString &path)
    {
        QTimer::singleShot(50, this, [this, path] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(path);
            // "Replace?" comes as a message box of its own.
            QTimer::singleShot(50, this, [] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes)->click();
            });
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
        });
    }

    // The Nodes table as shown (sorted as its header says), and its load line.
    QTableView *nodesView() const { return page->findChild<QTableView *>(QStringLiteral("tableViewNodes")); }
    QString nodeCell(int row, int column) const
    {
        return nodesView()->model()->data(nodesView()->model()->index(row, column)).toString();
    }
    QString loadLineText() const { return label(QStringLiteral("labelLoad")); }
    // Draws Nodes and the load line now, as their timer does a few times a second.
    void tickInsight()
    {
        auto *timer = page->findChild<QTimer *>(QStringLiteral("timerInsight"));
        QVERIFY(timer && timer->isActive());
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    }
    QTemporaryDir settingsDir;
    BusLayout *bus = nullptr;
    QWidget *page = nullptr;
    std::unique_ptr<PtyPair> device;
};

#endif
