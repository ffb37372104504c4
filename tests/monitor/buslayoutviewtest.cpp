// The Bus page's ways of looking at the list: the detail pane, the Latest
// view's sorting, the filter's count, time modes, columns, menus and keys.
#include "buspage.h"

#include "monitor/columnfitter.h"

class BusLayoutViewTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The Latest view sorts by any column, the numbers as numbers, through
    // a proxy shown only with it; a sorted row still opens its own frame.
    void latestSortable()
    {
        connectTo(device->path);
        // Sources 11, 12 and 13 seen 10, 9 and 2 times: as texts the counts
        // would sort 10, 2, 9.
        QByteArray burst;
        for (int i = 0; i < 10; ++i) {
            burst += statusFrame(0x000011, quint8(i));
            burst += i < 9 ? statusFrame(0x000012, quint8(i)) : QByteArray();
            burst += i < 2 ? statusFrame(0x000013, quint8(i)) : QByteArray();
        }
        QVERIFY(device->write(burst));
        QTRY_COMPARE(model()->rowCount(), 22);
        QTableView *view = listView();
        latestBox()->setChecked(true);
        const auto sources = [this] {
            return shownColumn(LatestMessageModel::Route).replaceInStrings(QStringLiteral(" \u2192 000002"), QString());
        };
        QHeaderView *header = view->horizontalHeader();
        const QPoint onCount(header->sectionViewportPosition(LatestMessageModel::Count) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onCount);
        QStringList ascending{"000013", "000012", "000011"};
        if (header->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(sources(), ascending);

        QSignalSpy opened(bus, &BusLayout::frameOpened);
        emit view->activated(view->model()->index(sources().indexOf(QStringLiteral("000013")), 0));
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), frameToHexText(statusFrame(0x000013, 1)));
        latestBox()->setChecked(false);
        QVERIFY(!view->isSortingEnabled());
    }

    // "N of M" beside the filter while there is one: the rows shown of
    // those held, as frames come and go.
    void filterCount()
    {
        auto *count = find<QLabel>(QStringLiteral("labelFilterCount"));
        QLineEdit *filter = field(QStringLiteral("LineEditFilter"));
        connectTo(device->path);
        QVERIFY(device->write(statusFrame(0x000011, 1) + statusFrame(0x000012, 2) + statusFrame(0x000011, 3)));
        QTRY_COMPARE(model()->heldCount(), 4);
        QVERIFY(!count->isVisible());
        QTest::keyClicks(filter, QStringLiteral("000011"));
        QVERIFY(count->isVisible());
        QCOMPARE(count->text(), QStringLiteral("2 of 4"));
        QVERIFY(device->write(statusFrame(0x000011, 4)));
        QTRY_COMPARE(count->text(), QStringLiteral("3 of 5"));
        button(QStringLiteral("buttonClear"))->click();
        QCOMPARE(count->text(), QStringLiteral("0 of 0"));
        filter->clear();
        QVERIFY(!count->isVisible());
    }

    // The Time column's mode and µs in logs are chosen on the page and come
    // back in the next run; Save writes times as the setting says.
    // (The time formats themselves: the list model's and the log's tests.)
    void timeSettings()
    {
        auto combo = [this] { return find<QComboBox>(QStringLiteral("comboBoxTimeMode")); };
        auto check = [this] { return find<QCheckBox>(QStringLiteral("checkBoxPreciseLogs")); };
        QVERIFY(combo() && check());
        combo()->setCurrentIndex(2); // from the row above
        check()->setChecked(true);
        cleanup();
        init();
        QCOMPARE(combo()->currentIndex(), 2);
        QVERIFY(check()->isChecked());

        const qint64 start = QDateTime::currentMSecsSinceEpoch() * 1000;
        bus->session()->load({bus->session()->prepare(statusFrame(1, 1), start, BusRecord::Received),
                              bus->session()->prepare(statusFrame(2, 2), start + 12500, BusRecord::Received)});
        QTRY_COMPARE(model()->rowCount(), 2);
        QCOMPARE(cellText(*model(), 1, ColumnTime), QStringLiteral("12.500"));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("times.log"));
        QVERIFY(bus->logs()->save(path));
        const QString saved = QString::fromUtf8(readFile(path));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\S+T\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z RX ")).match(saved).hasMatch(),
                 qPrintable(saved));
        // Back to the defaults for the other tests.
        combo()->setCurrentIndex(0);
        check()->setChecked(false);
    }

    // The pane under the list shows the current row of the list or of
    // Latest, follows a Latest row as it takes new frames, and empties when
    // there is none; its buttons open the frame on the Decode page and put it
    // in the send field. The splitter comes back where it was left.
    void detailPane()
    {
        auto *tree = find<QTreeWidget>(QStringLiteral("treeWidgetDetail"));
        QVERIFY(tree);
        QVERIFY(find<QSplitter>(QStringLiteral("splitterFrames"))->isAncestorOf(tree));
        connectTo(device->path);
        const QByteArray first = drive40Frame(1, 0x000011);
        const QByteArray bad = withBadChecksum(drive40Frame(2, 0x000012));
        QVERIFY(device->write(first + QByteArray::fromHex("A5A5") + bad));
        QTRY_COMPARE(model()->rowCount(), 4); // after the "Connected to" row
        clickRow(0); // the connect event: nothing to show
        QCOMPARE(tree->topLevelItemCount(), 0);
        clickRow(1);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(first));
        QCOMPARE(detail(QStringLiteral("Sensitivity")), QStringLiteral("Medium"));

        QSignalSpy opened(bus, &BusLayout::frameOpened);
        click(QStringLiteral("buttonOpenOnDecode"));
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), frameToHexText(first));
        click(QStringLiteral("buttonPutInSend"));
        QCOMPARE(field(QStringLiteral("LineEditSendFrame"))->text(), QString::fromLatin1(first.toHex(' ').toUpper()));

        clickRow(2);
        QCOMPARE(detail(QStringLiteral("Status")), QStringLiteral("noise"));
        QCOMPARE(detail(QStringLiteral("Bytes")), QStringLiteral("A5 A5"));
        QVERIFY(!button(QStringLiteral("buttonOpenOnDecode"))->isEnabled()
                && !button(QStringLiteral("buttonPutInSend"))->isEnabled());
        QTest::keyClick(listView(), Qt::Key_Down);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(bad));

        // Latest: its own rows, none for the bad frame; a row taking a new
        // frame shows it.
        latestBox()->setChecked(true);
        QCOMPARE(tree->topLevelItemCount(), 0);
        QCOMPARE(listView()->model()->rowCount(), 1);
        clickRow(0);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(first));
        const QByteArray next = drive40Frame(2, 0x000011);
        QVERIFY(device->write(next));
        QTRY_COMPARE_WITH_TIMEOUT(detail(QStringLiteral("Bytes")), spacedWithChecksum(next), 15000); // a busy machine
        latestBox()->setChecked(false);
        QCOMPARE(tree->topLevelItemCount(), 0);

        // Moved, remembered, and back after the page is built again.
        auto *splitter = find<QSplitter>(QStringLiteral("splitterFrames"));
        const QList<int> before = splitter->sizes();
        splitter->setSizes({before.value(0) - 30, before.value(1) + 30});
        emit splitter->splitterMoved(before.value(0) - 30, 1); // as a drag of the handle ends
        const QList<int> dragged = splitter->sizes();
        QVERIFY(dragged != before);
        cleanup();
        init();
        QCOMPARE(find<QSplitter>(QStringLiteral("splitterFrames"))->sizes(), dragged);
    }

    // The header's menu has one checkable action per column, named after it,
    // in the order shown; Bytes and Checksum start hidden; the last column
    // shown cannot be hidden. Latest has columns of its own, all but the
    // time shown at first. Each view's columns (order, widths, which are
    // shown) are kept when the other view is shown and in the next run.
    void columnMenuAndMemory()
    {
        QHeaderView *header = listView()->horizontalHeader();
        QMenu *menu = listPanel()->columnMenu();
        QCOMPARE(columnTexts(menu, false).size(), int(FrameTableModel::ColumnCount));
        QCOMPARE(columnTexts(menu, true), QStringList({"Time", "Device", "Message", "Source \u2192 Destination", "Values"}));
        QVERIFY(triggerColumn(menu, QStringLiteral("Checksum")));
        QVERIFY(triggerColumn(listPanel()->columnMenu(), QStringLiteral("Time")));
        header->moveSection(header->visualIndex(ColumnMessage), 0);
        header->resizeSection(ColumnDevice, 151);
        latestBox()->setChecked(true);
        menu = listPanel()->columnMenu();
        const QStringList names = columnTexts(menu, false);
        QCOMPARE(names.size(), int(LatestMessageModel::ColumnCount));
        QCOMPARE(columnTexts(menu, true), names.mid(1));
        header->resizeSection(LatestMessageModel::Device, 133);
        header->setSectionHidden(LatestMessageModel::Rate, true);
        latestBox()->setChecked(false);
        checkListColumns(header);

        cleanup();
        init();
        header = listView()->horizontalHeader();
        checkListColumns(header);
        // Hidden down to one column, whose action is then disabled.
        for (int column = 0; column < header->count(); ++column)
            header->setSectionHidden(column, column != ColumnMessage);
        QVERIFY(!listPanel()->columnMenu()->actions().first()->isEnabled());
        latestBox()->setChecked(true);
        QCOMPARE(header->sectionSize(LatestMessageModel::Device), 133);
        QVERIFY(header->isSectionHidden(LatestMessageModel::Rate));
        QCOMPARE(header->visualIndex(LatestMessageModel::Message), int(LatestMessageModel::Message));
        forgetColumns();
    }

    // Message columns grow to the names they hold, in either view; a column
    // the user sized keeps its width. (The widths worked out: the fitter's.)
    void columnsFitTheirTexts()
    {
        QTableView *view = listView();
        QHeaderView *header = view->horizontalHeader();
        const QFontMetrics metrics(view->font());
        const auto fits = [&](int column, const QString &text) {
            return view->columnWidth(column) >= metrics.horizontalAdvance(text) + 6;
        };
        // A wide window: the names get a sixth or so of the list each.
        page->window()->resize(1600, 700);
        QCoreApplication::processEvents();
        QVERIFY(view->viewport()->width() >= 1100);
        BusSession *session = bus->session();
        const qint64 t = 1765000000000000;
        session->load({session->prepare(drive40Frame(1), t, BusRecord::Received),
                       session->prepare(drive40Frame(2), t + 1200000, BusRecord::Received)});
        QCOMPARE(model()->rowCount(), 2);
        QVERIFY(fits(ColumnMessage, QStringLiteral("Set Obstacle Sensitivity")));
        latestBox()->setChecked(true);
        QVERIFY(fits(LatestMessageModel::Message, QStringLiteral("Set Obstacle Sensitivity")));
        latestBox()->setChecked(false);

        // Sized by the user: left as it is.
        auto *fitter = page->findChild<ColumnFitter *>(QStringLiteral("listFitter"));
        QVERIFY(fitter);
        fitter->setUserSized({ColumnRoute});
        const int narrow = header->minimumSectionSize() + 4;
        view->setColumnWidth(ColumnRoute, narrow);
        session->load({session->prepare(drive40Frame(3, 0xABCDEF), t + 2000000, BusRecord::Received)});
        QCOMPARE(view->columnWidth(ColumnRoute), narrow);
        forgetColumns();
    }

    // Ctrl+C in the list copies the selected rows as log lines, in the
    // list's order whatever order they were picked in; noise rows too.
    // (Ctrl+F: the main window's tests.)
    void copyKey()
    {
        connectTo(device->path);
        clearList(); // the rows here are the frames alone
        QVERIFY(device->write(statusFrame(1, 1) + statusFrame(2, 2) + QByteArray::fromHex("A5") + statusFrame(3, 3)));
        QTRY_COMPARE(model()->rowCount(), 4);
        QTableView *view = listView();
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        QClipboard *clipboard = QGuiApplication::clipboard();
        auto pick = [view](int row, Qt::KeyboardModifiers keys) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, keys,
                              view->visualRect(view->model()->index(row, ColumnMessage)).center());
        };
        auto lines = [this](std::initializer_list<int> rows) {
            QByteArray text;
            for (int row : rows)
                text += busLogLineOf(*model()->recordAt(row));
            return QString::fromUtf8(text);
        };
        pick(3, Qt::NoModifier);
        pick(0, Qt::ControlModifier);
        pick(2, Qt::ControlModifier);
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), lines({0, 2, 3}));
    }

    // A row's menu: each action does its one thing with the row's frame. A
    // noise row can only be copied; a frame of an unknown product cannot be
    // filtered by its device or message, nor bytes that are no frame by
    // their node; a Latest row gives its last frame.
    void frameMenu()
    {
        connectTo(device->path);
        clearList(); // the rows here are the frames alone
        const QByteArray frame = drive40Frame(8);
        QVERIFY(device->write(QByteArray::fromHex("A5A6") + statusFrame(0x0000AC, 1) + drive40Frame(7) + frame));
        QTRY_COMPARE(model()->rowCount(), 4);
        QSignalSpy opened(bus, &BusLayout::frameOpened);
        const auto choose = [this](int row, const char *action) {
            std::unique_ptr<QMenu> menu(listPanel()->frameMenu(listView()->model()->index(row, ColumnValues)));
            auto *chosen = menu->findChild<QAction *>(QLatin1String(action));
            QVERIFY(chosen && chosen->isEnabled());
            chosen->trigger();
        };
        auto names = [this](int row) {
            QStringList list;
            for (QAction *action : listPanel()->frameMenu(listView()->model()->index(row, ColumnTime))->actions()) {
                if (!action->isSeparator())
                    list << action->objectName() + (action->isEnabled() ? QString() : QStringLiteral(" (disabled)"));
            }
            return list;
        };
        QCOMPARE(names(0), QStringList{QStringLiteral("actionCopyFrame")});
        choose(0, "actionCopyFrame");
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A5A6"));
        QVERIFY(model()->recordAt(1)->device.isEmpty());
        QCOMPARE(names(1), QStringList({"actionCopyFrame", "actionOpenFrame", "actionPutInSendField", "actionFilterNode",
                                        "actionFilterDevice (disabled)", "actionFilterMessage (disabled)"}));

        const QString hex = frameToHexText(frame);
        choose(3, "actionCopyFrame");
        QCOMPARE(QGuiApplication::clipboard()->text(), hex);
        choose(3, "actionOpenFrame");
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), hex);
        choose(3, "actionPutInSendField");
        QCOMPARE(field(QStringLiteral("LineEditSendFrame"))->text(), QString::fromLatin1(frame.toHex(' ').toUpper()));
        click(QStringLiteral("buttonSend"));
        QCOMPARE(device->read(frame.size()), frame);
        QLineEdit *filter = field(QStringLiteral("LineEditFilter"));
        choose(3, "actionFilterDevice");
        QCOMPARE(filter->text(), QStringLiteral("\"QX-Drive 40\""));
        filter->clear();
        choose(3, "actionFilterMessage");
        QCOMPARE(filter->text(), QStringLiteral("\"Set Obstacle Sensitivity\""));
        filter->clear();
        choose(3, "actionFilterNode");
        QCOMPARE(filter->text(), QStringLiteral("0000AB"));
        QTRY_COMPARE(model()->rowCount(), 3); // its frames and the copy sent, not 0000AC's
        filter->clear();

        latestBox()->setChecked(true);
        QCOMPARE(listView()->model()->rowCount(), 2);
        QCOMPARE(listView()->model()->index(1, LatestMessageModel::Device).data().toString(), QStringLiteral("QX-Drive 40"));
        choose(1, "actionOpenFrame");
        QCOMPARE(opened.count(), 2);
        QCOMPARE(opened.at(1).at(0).toString(), hex);
        // Bytes that are no frame have no node to filter by.
        latestBox()->setChecked(false);
        bus->session()->load({bus->session()->prepare(QByteArray::fromHex("0102030405"), 0, BusRecord::Received)});
        QCOMPARE(names(model()->rowCount() - 1).value(3), QStringLiteral("actionFilterNode (disabled)"));
    }

private:
    // A QX-Drive 40 (node type 2) setting its obstacle sensitivity: a known
    // product whose device and message names have spaces.
    static QByteArray drive40Frame(quint8 sensitivity = 2, quint32 source = 0x0000AB)
    {
        return packFrame(0x21, false, 12, 2, 0, source, 0x000002, QByteArray(1, char(sensitivity)));
    }

    // The texts of the header menu's actions, all or those checked; each
    // must be checkable.
    static QStringList columnTexts(QMenu *menu, bool checkedOnly)
    {
        QStringList texts;
        for (QAction *action : menu->actions()) {
            if (!action->isCheckable())
                texts << QStringLiteral("(not checkable) ") + action->text();
            else if (!checkedOnly || action->isChecked())
                texts << action->text();
        }
        return texts;
    }

    // Triggers the header menu's action of that name; false if there is none.
    static bool triggerColumn(QMenu *menu, const QString &name)
    {
        QAction *action = menu->actions().value(columnTexts(menu, false).indexOf(name));
        if (action)
            action->trigger();
        return action;
    }

    // The list's columns as columnMenuAndMemory leaves them.
    static void checkListColumns(QHeaderView *header)
    {
        QCOMPARE(header->logicalIndex(0), int(ColumnMessage));
        QCOMPARE(header->sectionSize(ColumnDevice), 151);
        QVERIFY(!header->isSectionHidden(ColumnChecksum));
        QVERIFY(header->isSectionHidden(ColumnTime));
        QVERIFY(header->isSectionHidden(ColumnBytes));
        QCOMPARE(header->sectionResizeMode(ColumnValues), QHeaderView::Stretch);
    }

    // The next page starts with the columns of a first run.
    void forgetColumns()
    {
        cleanup();
        QSettings settings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
        for (const char *key : {"bus/listHeader", "bus/latestHeader", "bus/listUserSized", "bus/latestUserSized"})
            settings.remove(QLatin1String(key));
        settings.sync();
        init();
    }
};

QTEST_MAIN(BusLayoutViewTest)
#include "buslayoutviewtest.moc"
