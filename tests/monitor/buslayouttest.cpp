#include "monitor/buslayout.h"

#include "codec/buslogfile.h"
#include "codec/frame.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "serial/bussession.h"
#include "widgets/elidedlabel.h"
#include "widgets/elidingdelegate.h"
#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"
#include "toolrun.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

QByteArray statusFrame(quint32 source, quint8 value)
{
    return packFrame(0x21, false, 12, 3, 0, source, 0x000002, QByteArray(1, char(value)));
}

QByteArray withBadChecksum(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x5A);
    return frame;
}

} // namespace

class BusLayoutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
        QDir::setCurrent(QStringLiteral(KWN_SOURCE_DIR)); // the bundled xml/ folder
    }

    void init()
    {
        bus = new BusLayout;
        page = new QWidget;
        page->setLayout(bus->getLayout());
        page->resize(520, 560);
        page->show();
        device.reset(new PtyPair);
        QVERIFY(device->ok());
    }

    void cleanup()
    {
        delete bus;
        delete page;
        device.reset();
    }

    void otherEndClosed()
    {
        connectTo(device->path);
        QVERIFY(device->write(statusFrame(1, 1) + statusFrame(2, 2)));
        QTRY_COMPARE(model()->rowCount(), 3); // after the port's event
        QSignalSpy connected(bus, &BusLayout::connectedChanged);
        device->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"), 5000);
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
        QVERIFY(!label(QStringLiteral("labelStatus")).isEmpty());
        QCOMPARE(connected.count(), 1);
        QCOMPARE(connected.at(0).at(0).toBool(), false);
        QCOMPARE(model()->rowCount(), 4); // the list is kept, and says what happened, in grey
        QCOMPARE(rowTexts().first(), QStringLiteral("event Connected to ") + device->path);
        QCOMPARE(rowTexts().last(), QStringLiteral("event ") + label(QStringLiteral("labelStatus")));
        QCOMPARE(model()->data(model()->index(3, ColumnValues)).toString(), label(QStringLiteral("labelStatus")));
        QCOMPARE(model()->data(model()->index(3, ColumnValues), Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(Qt::gray));

        PtyPair again;
        QVERIFY(again.ok());
        connectTo(again.path);
        QVERIFY(again.write(statusFrame(3, 3)));
        QTRY_COMPARE(model()->rowCount(), 6);
    }

    void noSuchPort()
    {
        setPort(QStringLiteral("/dev/kwn-no-such-port"));
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton);
        QVERIFY(!bus->isConnected());
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"));
    }

    // Sent frames arrive byte for byte and show as TX; the adapter's echo
    // within 200 ms is not shown again, a later equal frame is.
    void sendAndEcho()
    {
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AA, 9);
        auto *field = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        QTest::keyClicks(field, formatted(frame));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(device->read(frame.size()), frame);
        QVERIFY(device->write(frame)); // the echo
        QTRY_COMPARE(model()->rowCount(), 2);
        QTest::qWait(250);
        QCOMPARE(rowTexts(), QStringList({QStringLiteral("event Connected to ") + device->path,
                                          QStringLiteral("TX ok ") + frameToHexText(frame)}));
        QVERIFY(device->write(frame)); // the same frame again, now from a device
        QTRY_COMPARE(model()->rowCount(), 3);
        QCOMPARE(model()->data(model()->index(2, ColumnDirection)).toString(), QStringLiteral("RX"));

        // Text that is no frame is refused on the status line.
        field->setText(QStringLiteral("12 34"));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(field->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(device->read(1, 200), QByteArray());
    }

    // Ticking "every" with a frame in the field starts at once; while it
    // repeats, Send reads "Stop" and one click stops it. Ticking it with
    // the field empty waits for Send.
    void repeatSend_data()
    {
        QTest::addColumn<bool>("frameFirst");
        QTest::newRow("ticked with a frame in the field") << true;
        QTest::newRow("ticked, then Send") << false;
    }
    void repeatSend()
    {
        QFETCH(bool, frameFirst);
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AB, 1);
        auto *field = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        auto *every = page->findChild<QCheckBox *>(QStringLiteral("checkBoxRepeat"));
        page->findChild<QSpinBox *>(QStringLiteral("spinBoxRepeatMs"))->setValue(20);
        if (frameFirst) {
            field->setText(frameToHexText(frame));
            QTest::mouseClick(every, Qt::LeftButton);
        } else {
            QTest::mouseClick(every, Qt::LeftButton);
            QCOMPARE(device->read(1, 100), QByteArray());
            field->setText(frameToHexText(frame));
            QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        }
        QCOMPARE(device->read(3 * frame.size()), frame + frame + frame);
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Stop"));
        QVERIFY(message().contains(QStringLiteral("every 20 ms")));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QVERIFY(!every->isChecked());
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Send"));
        QTest::qWait(60);
        device->read(1 << 16, 50); // what was under way
        QCOMPARE(device->read(1, 150), QByteArray());
    }

    // Save writes every frame and noise run held, whatever the filter; Open
    // reads all of it back, counters included.
    void saveThenOpen()
    {
        connectTo(device->path);
        QVector<QByteArray> frames = bundledFrames(50, 3);
        frames[10] = withBadChecksum(frames.at(10));
        QVERIFY(device->write(concat(frames.mid(0, 25)) + QByteArray::fromHex("1234")));
        QTest::qWait(250);
        QVERIFY(device->write(concat(frames.mid(25))));
        QTRY_COMPARE(model()->heldCount(), 52); // the port's event first
        const QByteArray sent = statusFrame(0x77, 7);
        bus->sendFrame(sent);
        QTRY_COMPARE(model()->heldCount(), 53);
        QVector<BusRecord> before;
        for (int i = 0; i < model()->heldCount(); ++i)
            before.append(model()->heldRecord(i));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("TX"));
        QVERIFY(model()->rowCount() < 53);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        const QString counters = label(QStringLiteral("labelCounters"));
        QVERIFY(bus->saveLog(path));
        QCOMPARE(message(), QStringLiteral("Saved 51 frames and 1 noise run to ") + path);
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 54); // with the empty piece after the last line end
        QVERIFY(lines.at(0).contains(" event: Connected to "));
        QVERIFY(lines.at(26).contains(" noise: "));

        QVERIFY(bus->openLog(path));
        QTRY_VERIFY(!bus->isOpeningLog());
        QCOMPARE(model()->heldCount(), 53);
        QCOMPARE(label(QStringLiteral("labelCounters")), counters);
        QVERIFY2(counters.contains(QStringLiteral("1 bad checksum,")), qPrintable(counters));
        QCOMPARE(message(), QStringLiteral("Opened %1: 51 frames, 1 noise run").arg(path));
        for (int k = 0; k < before.size(); ++k) {
            const BusRecord &record = before.at(k);
            const BusRecord &read = model()->heldRecord(k);
            QCOMPARE(read.bytes, record.bytes);
            QCOMPARE(read.kind, record.kind);
            QCOMPARE(read.timeUs, record.timeUs / 1000 * 1000); // saved to the millisecond
            QCOMPARE(read.values, record.values);
            QCOMPARE(read.shownValues, record.shownValues);
            QCOMPARE(read.checksumOk, record.checksumOk);
        }
        QCOMPARE(model()->heldRecord(0).kind, BusRecord::Event);
        QCOMPARE(model()->heldRecord(26).kind, BusRecord::Noise);
        // The filter still holds after opening: only the TX frame shows.
        QCOMPARE(model()->rowCount(), 1);

        // Plain frame lines, as pasted on the Decode page.
        const QString plain = dir.filePath(QStringLiteral("plain.txt"));
        QVERIFY(writeFile(plain, formatted(frames.at(0)).toUtf8() + "\n\n" + frameToHexText(frames.at(1)).toUtf8()
                                     + "\nnot a frame\n" + frameToHexText(withBadChecksum(frames.at(2))).toUtf8() + "\n"));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->clear();
        QVERIFY(bus->openLog(plain));
        QTRY_VERIFY(!bus->isOpeningLog());
        QCOMPARE(model()->heldCount(), 3);
        QCOMPARE(model()->heldRecord(1).bytes, frames.at(1));
        QCOMPARE(model()->data(model()->index(2, ColumnChecksum)).toString(), QStringLiteral("bad"));
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: red"));
        QVERIFY2(message().endsWith(QStringLiteral("3 frames; 1 line was not a frame")), qPrintable(message()));
        // The connection state is not replaced by the message.
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
    }

    void recordingOutlivesTheRing()
    {
        bus->setCapacity(100);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("record.log"));
        QVERIFY(bus->startRecording(path));
        QVERIFY(button(QStringLiteral("buttonRecord"))->isChecked());
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(300, 5);
        QVERIFY(device->write(concat(frames.mid(0, 150))));
        QTest::qWait(200);
        QVERIFY(device->write(QByteArray::fromHex("ff") + concat(frames.mid(150))));
        QTRY_COMPARE(int(model()->droppedCount()), 202);
        // Flushed while recording, without waiting for the end.
        QTRY_COMPARE_WITH_TIMEOUT(int(readFile(path).count('\n')), 302, 3000);
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton); // Disconnect
        QVERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QCOMPARE(model()->heldCount(), 100);
        const QList<QByteArray> lines = readFile(path).trimmed().split('\n');
        QCOMPARE(lines.size(), 303);
        QVERIFY(lines.at(0).startsWith("# ") && lines.at(0).contains(" event: Connected to "));
        QVERIFY(lines.at(151).startsWith("# ") && lines.at(151).contains(" noise: "));
        QVERIFY(lines.at(1).endsWith(QByteArray(QByteArray(" RX ") + frameToHexText(frames.at(0)).toLatin1())));
        QVERIFY(lines.at(301).endsWith(QByteArray(QByteArray(" RX ") + frameToHexText(frames.at(299)).toLatin1())));
        QVERIFY(lines.at(302).startsWith("# ") && lines.at(302).endsWith(" event: Disconnected"));
        QCOMPARE(rowTexts().last(), QStringLiteral("event Disconnected"));
        QVERIFY(label(QStringLiteral("labelCounters")).contains(QStringLiteral("203 older dropped")));
    }

    // Pause freezes the rows but keeps counting; the list follows the
    // bottom only while it is there.
    void pauseAndFollow()
    {
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(200, 9);
        QVERIFY(device->write(concat(frames.mid(0, 100))));
        QTRY_COMPARE(model()->rowCount(), 101); // and the port's event
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        button(QStringLiteral("buttonPause"))->click();
        QVERIFY(device->write(concat(frames.mid(100, 50))));
        QTRY_VERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("150 received")));
        QCOMPARE(model()->rowCount(), 101);
        button(QStringLiteral("buttonPause"))->click();
        QCOMPARE(model()->rowCount(), 151);
        QCOMPARE(model()->heldRecord(150).bytes, frames.at(149));

        view->verticalScrollBar()->setValue(0);
        QVERIFY(device->write(concat(frames.mid(150))));
        QTRY_COMPARE(model()->rowCount(), 201);
        QTest::qWait(100);
        QCOMPARE(view->verticalScrollBar()->value(), 0);

        button(QStringLiteral("buttonClear"))->click();
        QCOMPARE(model()->rowCount(), 0);
    }

    // One row per (source, message), updated live, and back to every frame.
    void latestView()
    {
        connectTo(device->path);
        QByteArray burst;
        for (int round = 0; round < 3; ++round) {
            for (quint32 source : {0x000011u, 0x000012u}) {
                burst += statusFrame(source, quint8(round));
                burst += packFrame(0x22, false, 11, 3, 0, source, 0x000002, QByteArray());
            }
        }
        auto *latest = page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        latest->setChecked(true);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QVERIFY(!model()); // the view shows the other model now
        QVERIFY(device->write(burst));
        QTRY_COMPARE(view->model()->rowCount(), 4);
        QTRY_COMPARE(view->model()->data(view->model()->index(0, LatestMessageModel::Count)).toString(), QStringLiteral("3"));
        for (int row = 0; row < 4; ++row)
            QCOMPARE(view->model()->data(view->model()->index(row, LatestMessageModel::Count)).toString(), QStringLiteral("3"));
        latest->setChecked(false);
        QVERIFY(model());
        QCOMPARE(model()->rowCount(), 13); // with the port's event
    }

    // The Latest view sorts by any column, the numbers as numbers, through
    // a proxy shown only with it; a sorted row still opens its own frame.
    // The list itself stays in arrival order.
    void latestSortable()
    {
        connectTo(device->path);
        // Sources 11, 12 and 13 seen 10, 9 and 2 times: as texts the counts
        // would sort 10, 2, 9.
        QByteArray burst;
        for (int i = 0; i < 10; ++i) {
            burst += statusFrame(0x000011, quint8(i));
            if (i < 9)
                burst += statusFrame(0x000012, quint8(i));
            if (i < 2)
                burst += statusFrame(0x000013, quint8(i));
        }
        QVERIFY(device->write(burst));
        QTRY_COMPARE(model()->rowCount(), 22);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QVERIFY(!view->isSortingEnabled());
        auto *latest = page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        latest->setChecked(true);
        QVERIFY(view->isSortingEnabled());
        QVERIFY(qobject_cast<QSortFilterProxyModel *>(view->model()));
        auto sources = [view] {
            QStringList texts;
            for (int row = 0; row < view->model()->rowCount(); ++row)
                texts << view->model()->data(view->model()->index(row, LatestMessageModel::Route)).toString().left(6);
            return texts;
        };
        QCOMPARE(sources(), QStringList({"000011", "000012", "000013"})); // as they first came

        QHeaderView *header = view->horizontalHeader();
        const QPoint onCount(header->sectionViewportPosition(LatestMessageModel::Count) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onCount);
        QCOMPARE(header->sortIndicatorSection(), int(LatestMessageModel::Count));
        QStringList ascending{"000013", "000012", "000011"};
        if (header->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(sources(), ascending);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onCount);
        std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(sources(), ascending);

        QSignalSpy opened(bus, &BusLayout::frameOpened);
        const int row = sources().indexOf(QStringLiteral("000013"));
        emit view->activated(view->model()->index(row, 0));
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), frameToHexText(statusFrame(0x000013, 1)));

        latest->setChecked(false);
        QVERIFY(!view->isSortingEnabled());
        QVERIFY(model());
        QCOMPARE(model()->recordAt(1)->bytes, statusFrame(0x000011, 0));
        QCOMPARE(model()->recordAt(21)->bytes, statusFrame(0x000011, 9));
        // Back to Latest, the order chosen holds.
        latest->setChecked(true);
        QCOMPARE(header->sortIndicatorSection(), int(LatestMessageModel::Count));
        QCOMPARE(sources(), ascending);
    }

    // "N of M" beside the filter while there is one: the rows shown of
    // those held, as frames come and go.
    void filterCount()
    {
        auto *count = page->findChild<QLabel *>(QStringLiteral("labelFilterCount"));
        QVERIFY(count);
        auto *tools = page->findChild<QHBoxLayout *>(QStringLiteral("layoutTools"));
        auto *filter = page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"));
        QCOMPARE(tools->indexOf(count), tools->indexOf(filter) + 1);
        QVERIFY(!count->isVisible());
        connectTo(device->path);
        QVERIFY(device->write(statusFrame(0x000011, 1) + statusFrame(0x000012, 2) + statusFrame(0x000011, 3)));
        QTRY_COMPARE(model()->heldCount(), 4);
        QVERIFY(!count->isVisible());
        QTest::keyClicks(filter, QStringLiteral("000011"));
        QVERIFY(count->isVisible());
        QCOMPARE(count->text(), QStringLiteral("2 of 4"));
        QVERIFY(device->write(statusFrame(0x000011, 4)));
        QTRY_COMPARE(count->text(), QStringLiteral("3 of 5"));
        QVERIFY(device->write(statusFrame(0x000012, 5))); // held, not shown
        QTRY_COMPARE(count->text(), QStringLiteral("3 of 6"));
        filter->setText(QStringLiteral("-000011 -connected"));
        QCOMPARE(count->text(), QStringLiteral("2 of 6"));
        button(QStringLiteral("buttonClear"))->click();
        QCOMPARE(count->text(), QStringLiteral("0 of 0"));
        filter->clear();
        QVERIFY(!count->isVisible());
    }

    // The last port and line settings come back in the next run. (A
    // pseudo-terminal refuses other character sizes, parities and stop bits,
    // so only the baud rate changes here.)
    void settingsRemembered()
    {
        page->findChild<QComboBox *>(QStringLiteral("comboBoxBaud"))->setEditText(QStringLiteral("115200"));
        connectTo(device->path);
        const QString port = device->path;
        cleanup();
        init();
        QCOMPARE(page->findChild<QComboBox *>(QStringLiteral("comboBoxPort"))->currentText(), port);
        QSettings settings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
        QVERIFY(settings.fileName().startsWith(settingsDir.path()));
        QCOMPARE(page->findChild<QComboBox *>(QStringLiteral("comboBoxBaud"))->currentText(), QStringLiteral("115200"));

    }

    // The Time column's mode and µs in logs are chosen on the page and come
    // back in the next run; Save writes times as the setting says.
    void timeSettings_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("precise");
        QTest::addColumn<QString>("secondRow"); // its Time cell
        QTest::addColumn<QString>("savedTime"); // the shape of the times saved
        QTest::newRow("clock time, ms") << 0 << false << "^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}500$"
                                        << "^\\S+T\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z RX ";
        QTest::newRow("since first, µs") << 1 << true << "^0\\.012500$"
                                         << "^\\S+T\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z RX ";
        QTest::newRow("row above, µs") << 2 << true << "^12\\.500$"
                                       << "^\\S+T\\d\\d:\\d\\d:\\d\\d\\.\\d{6}Z RX ";
    }
    void timeSettings()
    {
        QFETCH(int, mode);
        QFETCH(bool, precise);
        QFETCH(QString, secondRow);
        QFETCH(QString, savedTime);
        auto *combo = page->findChild<QComboBox *>(QStringLiteral("comboBoxTimeMode"));
        auto *check = page->findChild<QCheckBox *>(QStringLiteral("checkBoxPreciseLogs"));
        QVERIFY(combo && check);
        QCOMPARE(combo->count(), 3);
        QCOMPARE(combo->itemText(2), QStringLiteral("\u0394 to row above"));
        QCOMPARE(check->text(), QStringLiteral("\u00b5s in logs"));
        combo->setCurrentIndex(mode);
        check->setChecked(precise);
        cleanup();
        init();
        combo = page->findChild<QComboBox *>(QStringLiteral("comboBoxTimeMode"));
        check = page->findChild<QCheckBox *>(QStringLiteral("checkBoxPreciseLogs"));
        QCOMPARE(combo->currentIndex(), mode);
        QCOMPARE(check->isChecked(), precise);

        const qint64 start = QDateTime::currentMSecsSinceEpoch() * 1000;
        bus->session()->load({bus->session()->prepare(statusFrame(1, 1), start, BusRecord::Received),
                              bus->session()->prepare(statusFrame(2, 2), start + 12500, BusRecord::Received)});
        QTRY_COMPARE(model()->rowCount(), 2);
        const QString cellText = model()->data(model()->index(1, ColumnTime)).toString();
        QVERIFY2(QRegularExpression(secondRow).match(cellText).hasMatch(), qPrintable(cellText));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("times.log"));
        QVERIFY(bus->saveLog(path));
        const QList<QByteArray> lines = readFile(path).trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        for (const QByteArray &line : lines)
            QVERIFY2(QRegularExpression(savedTime).match(QString::fromUtf8(line)).hasMatch(), line.constData());
        // Back to the defaults for the other tests.
        combo->setCurrentIndex(0);
        check->setChecked(false);
    }

    // Scrolled up at the ring's limit, the rows on screen stay on screen
    // while older ones are dropped above them.
    void scrolledUpStaysPut()
    {
        bus->setCapacity(100);
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(140, 4);
        QVERIFY(device->write(concat(frames.mid(0, 100))));
        QTRY_COMPARE(int(model()->droppedCount()), 1); // the port's event
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        view->verticalScrollBar()->setValue(40);
        const QByteArray onTop = model()->recordAt(view->rowAt(0))->bytes;
        QCOMPARE(onTop, frames.at(40));
        QVERIFY(device->write(concat(frames.mid(100, 25))));
        QTRY_COMPARE(int(model()->droppedCount()), 26);
        QTest::qWait(60);
        QCOMPARE(model()->recordAt(view->rowAt(0))->bytes, onTop);
        // Once the rows shown are dropped themselves, the list shows the oldest.
        QVERIFY(device->write(concat(frames.mid(125))));
        QTRY_COMPARE(int(model()->droppedCount()), 41);
        QTest::qWait(60);
        QCOMPARE(view->verticalScrollBar()->value(), 0);
    }

    // Record: a name typed without a suffix gets ".log", an existing file
    // is replaced once confirmed, and pressing Record again stops it and
    // says so.
    void recordReplacesAndStops()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture"));
        QVERIFY(writeFile(path + QStringLiteral(".log"), "old contents\n"));
        connectTo(device->path);
        answerFileDialog(path);
        QTest::mouseClick(button(QStringLiteral("buttonRecord")), Qt::LeftButton);
        QVERIFY(button(QStringLiteral("buttonRecord"))->isChecked());
        QCOMPARE(message(), QStringLiteral("Recording to %1.log").arg(path));
        QCOMPARE(button(QStringLiteral("buttonRecord"))->text(), QStringLiteral("Stop recording"));
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(device->write(frame));
        QTRY_COMPARE(model()->rowCount(), 2); // after the port's event, not recorded
        QTest::mouseClick(button(QStringLiteral("buttonRecord")), Qt::LeftButton);
        QVERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QCOMPARE(button(QStringLiteral("buttonRecord"))->text(), QStringLiteral("Record"));
        QCOMPARE(message(), QStringLiteral("Recording to %1.log stopped").arg(path));
        const QByteArray written = readFile(path + QStringLiteral(".log"));
        QVERIFY2(!written.contains("old contents"), written.constData());
        QVERIFY(written.endsWith(QByteArray(frameToHexText(frame).toLatin1() + '\n')));
        QCOMPARE(written.count('\n'), 1);
    }

    // A write error stops recording, in red, while the port stays connected.
    void recordWriteError()
    {
        connectTo(device->path);
        QVERIFY(bus->startRecording(QStringLiteral("/dev/full")));
        QVERIFY(device->write(statusFrame(1, 1)));
        QTRY_VERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QVERIFY2(message().startsWith(QStringLiteral("Recording to /dev/full stopped: ")), qPrintable(message()));
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
    }

    // The connection state stays in sight; messages pass beside it and clear
    // themselves; a long text is elided, whole in its tool tip, and does not
    // make the page taller.
    void statusTexts()
    {
        auto *status = page->findChild<ElidedLabel *>(QStringLiteral("labelStatus"));
        auto *list = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        const int listHeight = list->height();
        setPort(QStringLiteral("/dev/kwn-no-such-port-") + QString(120, QLatin1Char('x')));
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(status->fullText().startsWith(QStringLiteral("No such port")));
        QVERIFY(status->text() != status->fullText());
        QCOMPARE(status->toolTip(), status->fullText());
        QCOMPARE(list->height(), listHeight);

        connectTo(device->path);
        bus->sendFrame(QByteArray::fromHex("00"));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"))->setText(QStringLiteral("12"));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QVERIFY(!message().isEmpty());
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
        auto *timer = bus->findChild<QTimer *>(QStringLiteral("timerMessage"));
        QVERIFY(timer && timer->isActive());
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        QCOMPARE(message(), QString());
    }

    // A noise row of one byte says so.
    void oneNoiseByte()
    {
        connectTo(device->path);
        QVERIFY(device->write(QByteArray::fromHex("A5") + statusFrame(1, 1)));
        QTRY_COMPARE(model()->rowCount(), 3);
        QCOMPARE(model()->data(model()->index(1, ColumnValues)).toString(), QStringLiteral("1 byte"));
        QVERIFY(label(QStringLiteral("labelCounters")).contains(QStringLiteral("1 byte of noise")));
    }

    // kwn-frame monitor --input and the page list the same frames, bad
    // frames and noise for the same capture.
    void sameAsMonitor()
    {
        QVector<QByteArray> parts = bundledFrames(40, 21);
        for (int i = 3; i < parts.size(); i += 7)
            parts[i] = withBadChecksum(parts.at(i));
        parts.insert(12, QByteArray::fromHex("0102"));
        parts.insert(30, QByteArray::fromHex("A5"));
        const QByteArray capture = concat(parts);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("capture.bin"));
        QVERIFY(writeFile(file, capture));
        const ToolRun monitor = runTool(QStringLiteral(KWN_CLI_PATH),
                                        {QStringLiteral("monitor"), QStringLiteral("--input"), file,
                                         QStringLiteral("--json"), QStringLiteral("--xml"),
                                         QStringLiteral(KWN_SOURCE_DIR "/xml")});
        QCOMPARE(monitor.exitCode, 0);
        QStringList printed;
        for (const QByteArray &line : monitor.out.trimmed().split('\n')) {
            const QJsonObject object = QJsonDocument::fromJson(line).object();
            if (object.contains(QStringLiteral("noise")))
                printed << QStringLiteral("noise ") + object.value(QStringLiteral("noise")).toString();
            else
                printed << QStringLiteral("RX ") + (object.value(QStringLiteral("checksumOk")).toBool() ? "ok " : "bad ")
                               + object.value(QStringLiteral("bytes")).toString();
        }

        connectTo(device->path);
        QVERIFY(device->write(capture));
        QTRY_COMPARE(model()->rowCount(), printed.size() + 1);
        QTest::qWait(150);
        QCOMPARE(rowTexts(), QStringList{QStringLiteral("event Connected to ") + device->path} + printed);
        QCOMPARE(printed.filter(QStringLiteral("RX bad")).size(), 6);
        QCOMPARE(printed.filter(QStringLiteral("noise")).size(), 2);
    }

    // A large log is read on a thread of its own: Open comes back at once,
    // the list fills batch by batch with a progress bar, and Cancel stops it
    // with what was read kept. Times before 1970 stay as they were.
    void largeLogOpensInBatches()
    {
        bus->setCapacity(1000);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("large.log"));
        const QByteArray line = "1969-07-20T20:17:40.000Z RX " + frameToHexText(statusFrame(5, 5)).toLatin1() + '\n';
        QByteArray text;
        text.reserve(line.size() * 200000);
        for (int i = 0; i < 200000; ++i)
            text += line;
        QVERIFY(writeFile(path, text));
        auto *progress = page->findChild<QProgressBar *>(QStringLiteral("progressBarOpen"));
        QVERIFY(bus->openLog(path));
        QVERIFY(progress->isVisible());
        QVERIFY(button(QStringLiteral("buttonCancelOpen"))->isVisible());
        QVERIFY(!button(QStringLiteral("buttonOpen"))->isEnabled());
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("0 received")));
        QTRY_VERIFY_WITH_TIMEOUT(!bus->isOpeningLog(), 60000);
        QVERIFY(!progress->isVisible());
        QVERIFY(button(QStringLiteral("buttonOpen"))->isEnabled());
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("200000 received")));
        QCOMPARE(message(), QStringLiteral("Opened %1: 200000 frames").arg(path));
        QCOMPARE(model()->heldRecord(0).timeUs, qint64(-14182940000) * 1000);

        // Cancelled at the first batch: what came is kept and said.
        QMetaObject::Connection once;
        once = connect(model(), &QAbstractItemModel::rowsInserted, this, [&] {
            disconnect(once);
            QTest::mouseClick(button(QStringLiteral("buttonCancelOpen")), Qt::LeftButton);
        });
        QVERIFY(bus->openLog(path));
        QTRY_VERIFY(!bus->isOpeningLog());
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("4096 received")));
        QVERIFY2(message().startsWith(QStringLiteral("Stopped opening ")), qPrintable(message()));
        QVERIFY(model()->heldCount() > 0);
    }

    // The pane under the list shows the current row of the list or of
    // Latest, follows a Latest row as it takes new frames, and empties when
    // there is none; its buttons open the frame on the Decode page and put it
    // in the send field. The splitter comes back where it was left.
    void detailPane()
    {
        // QX-Drive 40 (node type 2) setting its obstacle sensitivity.
        const auto drive = [](quint32 source, quint8 level) {
            return packFrame(0x21, false, 12, 2, 0, source, 0x000002, QByteArray(1, char(level)));
        };
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        auto *tree = page->findChild<QTreeWidget *>(QStringLiteral("treeWidgetDetail"));
        QVERIFY(tree);
        QVERIFY(page->findChild<QSplitter *>(QStringLiteral("splitterFrames"))->isAncestorOf(tree));
        connectTo(device->path);
        const QByteArray first = drive(0x000011, 1);
        const QByteArray bad = withBadChecksum(drive(0x000012, 2));
        QVERIFY(device->write(first + QByteArray::fromHex("A5A5") + bad));
        QTRY_COMPARE(model()->rowCount(), 4); // after the "Connected to" row
        QCOMPARE(tree->topLevelItemCount(), 0);
        QVERIFY(!button(QStringLiteral("buttonOpenOnDecode"))->isEnabled());

        clickRow(0); // the connect event: nothing to show
        QCOMPARE(tree->topLevelItemCount(), 0);
        clickRow(1);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(first));
        QCOMPARE(detail(QStringLiteral("Device")), model()->data(model()->index(1, ColumnDevice)).toString());
        QCOMPARE(detail(QStringLiteral("Message")), QStringLiteral("Set Obstacle Sensitivity"));
        QCOMPARE(detail(QStringLiteral("Direction")), QStringLiteral("RX"));
        QCOMPARE(detail(QStringLiteral("Checksum")), QStringLiteral("checksum ok"));
        QCOMPARE(detail(QStringLiteral("Sensitivity")), QStringLiteral("Medium"));

        QSignalSpy opened(bus, &BusLayout::frameOpened);
        QTest::mouseClick(button(QStringLiteral("buttonOpenOnDecode")), Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), frameToHexText(first));
        auto *field = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        QTest::mouseClick(button(QStringLiteral("buttonPutInSend")), Qt::LeftButton);
        QCOMPARE(field->text(), QString::fromLatin1(first.toHex(' ').toUpper()));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(device->read(first.size()), first);

        clickRow(2);
        QCOMPARE(detail(QStringLiteral("Status")), QStringLiteral("noise"));
        QCOMPARE(detail(QStringLiteral("Bytes")), QStringLiteral("A5 A5"));
        QVERIFY(!button(QStringLiteral("buttonOpenOnDecode"))->isEnabled());
        QVERIFY(!button(QStringLiteral("buttonPutInSend"))->isEnabled());
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(bad));
        QVERIFY(detail(QStringLiteral("Checksum")).startsWith(QStringLiteral("checksum wrong, expected ")));

        // Latest: its own rows; a row taking a new frame shows it.
        auto *latest = page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        latest->setChecked(true);
        QCOMPARE(tree->topLevelItemCount(), 0);
        QCOMPARE(view->model()->rowCount(), 2);
        clickRow(0);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(first));
        const QByteArray next = drive(0x000011, 2);
        QVERIFY(device->write(next));
        QTRY_COMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(next));
        QCOMPARE(detail(QStringLiteral("Sensitivity")), QStringLiteral("High"));
        latest->setChecked(false);
        QCOMPARE(tree->topLevelItemCount(), 0);
        clickRow(0);
        // A new filter leaves the list without a current row, and so the pane.
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("RX"));
        QCOMPARE(tree->topLevelItemCount(), 0);
        clickRow(0);
        QCOMPARE(detail(QStringLiteral("Bytes")), spacedWithChecksum(first));
        QTest::mouseClick(button(QStringLiteral("buttonClear")), Qt::LeftButton);
        QCOMPARE(tree->topLevelItemCount(), 0);

        // Dragged, remembered, and back after the page is built again.
        auto *splitter = page->findChild<QSplitter *>(QStringLiteral("splitterFrames"));
        QWidget *handle = splitter->handle(1);
        const QList<int> before = splitter->sizes();
        const auto mouse = [handle](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
            QMouseEvent event(type, at, handle->mapToGlobal(at), button, held, Qt::NoModifier);
            QApplication::sendEvent(handle, &event);
        };
        const QPoint from = handle->rect().center();
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, from - QPoint(0, 60), Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, from - QPoint(0, 60), Qt::LeftButton, Qt::NoButton);
        const QList<int> dragged = splitter->sizes();
        QCOMPARE(dragged.value(0), before.value(0) - 60);
        cleanup();
        init();
        QCOMPARE(page->findChild<QSplitter *>(QStringLiteral("splitterFrames"))->sizes(), dragged);
    }

private:
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
        QVERIFY2(bus->isConnected(), qPrintable(label(QStringLiteral("labelStatus"))));
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

    QTemporaryDir settingsDir;
    BusLayout *bus = nullptr;
    QWidget *page = nullptr;
    std::unique_ptr<PtyPair> device;

private slots:
    // The header's menu has one checkable action per column, named after it,
    // in the order shown; Bytes and Checksum start hidden; the last column
    // shown cannot be hidden.
    void columnMenu()
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QHeaderView *header = view->horizontalHeader();
        QVERIFY(header->sectionsMovable());
        QCOMPARE(header->contextMenuPolicy(), Qt::CustomContextMenu);
        QMenu *menu = bus->columnMenu();
        QCOMPARE(menu->objectName(), QStringLiteral("menuColumns"));
        QStringList names;
        QStringList shown;
        for (QAction *action : menu->actions()) {
            QVERIFY(action->isCheckable());
            names << action->text();
            if (action->isChecked())
                shown << action->text();
        }
        QCOMPARE(names, QStringList({"Time", "\u0394 ms", "Dir", "Device", "Message", "Source \u2192 Destination",
                                     "Values", "Bytes", "Checksum"}));
        QCOMPARE(shown, QStringList({"Time", "Device", "Message", "Source \u2192 Destination", "Values"}));
        QVERIFY(header->isSectionHidden(ColumnBytes) && header->isSectionHidden(ColumnChecksum));

        QVERIFY(triggerColumn(menu, QStringLiteral("Bytes")));
        QVERIFY(!header->isSectionHidden(ColumnBytes));
        QVERIFY(header->sectionSize(ColumnBytes) > 20);
        QVERIFY(triggerColumn(menu, QStringLiteral("Dir")));
        QVERIFY(!header->isSectionHidden(ColumnDirection));
        QVERIFY(triggerColumn(menu, QStringLiteral("Dir")));
        QVERIFY(header->isSectionHidden(ColumnDirection));

        // Hidden down to one column, whose action is then disabled.
        header->moveSection(header->visualIndex(ColumnMessage), 0);
        for (int column = 0; column < BusColumnCount; ++column) {
            if (column != ColumnMessage)
                header->setSectionHidden(column, true);
        }
        menu = bus->columnMenu();
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Message"));
        QVERIFY(!menu->actions().first()->isEnabled());
        QVERIFY(menu->actions().at(1)->isEnabled());

        // Latest has columns of its own, all but the time shown at first.
        page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"))->setChecked(true);
        menu = bus->columnMenu();
        names.clear();
        shown.clear();
        for (QAction *action : menu->actions()) {
            names << action->text();
            if (action->isChecked())
                shown << action->text();
        }
        QCOMPARE(names, QStringList({"Time", "Device", "Message", "Source \u2192 Destination", "Values", "Count",
                                     "Rate /s", "\u0394 ms"}));
        QCOMPARE(shown, names.mid(1));
        QCOMPARE(header->sectionResizeMode(LatestMessageModel::Values), QHeaderView::Stretch);
        forgetColumns();
    }

    // Each view's columns (order, widths, which are shown) are kept when the
    // other view is shown and come back in the next run.
    void columnsRemembered()
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        auto *latest = page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        QHeaderView *header = view->horizontalHeader();
        header->moveSection(header->visualIndex(ColumnMessage), 0);
        header->resizeSection(ColumnDevice, 151);
        QMenu *menu = bus->columnMenu();
        QVERIFY(triggerColumn(menu, QStringLiteral("Checksum")));
        QVERIFY(triggerColumn(menu, QStringLiteral("Time")));
        latest->setChecked(true);
        QCOMPARE(header->visualIndex(LatestMessageModel::Message), int(LatestMessageModel::Message));
        header->resizeSection(LatestMessageModel::Device, 133);
        header->setSectionHidden(LatestMessageModel::Rate, true);
        header->setSectionHidden(LatestMessageModel::Time, false);
        latest->setChecked(false);
        checkListColumns(header);

        cleanup();
        init();
        QSettings settings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
        QVERIFY(settings.contains(QStringLiteral("bus/listHeader")));
        QVERIFY(settings.contains(QStringLiteral("bus/latestHeader")));
        view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        latest = page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"));
        header = view->horizontalHeader();
        checkListColumns(header);
        latest->setChecked(true);
        QCOMPARE(header->sectionSize(LatestMessageModel::Device), 133);
        QVERIFY(header->isSectionHidden(LatestMessageModel::Rate));
        QVERIFY(!header->isSectionHidden(LatestMessageModel::Time));
        QCOMPARE(header->visualIndex(LatestMessageModel::Message), int(LatestMessageModel::Message));
        latest->setChecked(false);
        checkListColumns(header);
        forgetColumns();
    }

    // Device and message names are elided in the middle, in either view;
    // the other columns at their end.
    void namesElidedInTheMiddle()
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        auto elideOf = [view](int column) {
            auto *delegate = qobject_cast<ElidingDelegate *>(view->itemDelegateForColumn(column));
            return delegate ? delegate->elideMode() : view->textElideMode();
        };
        for (int column = 0; column < BusColumnCount; ++column)
            QCOMPARE(elideOf(column), column == ColumnDevice || column == ColumnMessage ? Qt::ElideMiddle : Qt::ElideRight);
        page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"))->setChecked(true);
        for (int column = 0; column < LatestMessageModel::ColumnCount; ++column)
            QCOMPARE(elideOf(column), column == LatestMessageModel::Device || column == LatestMessageModel::Message
                                          ? Qt::ElideMiddle : Qt::ElideRight);
    }

    // Ctrl+C in the list copies the selected rows as log lines, in the
    // list's order whatever order they were picked in; noise rows too.
    void copyRowsAsLogLines()
    {
        connectTo(device->path);
        clearList(); // the rows here are the frames alone
        QVERIFY(device->write(statusFrame(1, 1) + statusFrame(2, 2) + QByteArray::fromHex("A5") + statusFrame(3, 3)
                              + statusFrame(4, 4)));
        QTRY_COMPARE(model()->rowCount(), 5);
        QCOMPARE(model()->recordAt(2)->kind, BusRecord::Noise);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        auto rowCentre = [view](int row) { return view->visualRect(view->model()->index(row, ColumnMessage)).center(); };
        auto lines = [this](std::initializer_list<int> rows) {
            QByteArray text;
            for (int row : rows)
                text += busLogLineOf(*model()->recordAt(row));
            return QString::fromUtf8(text);
        };

        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(3));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(2));
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), lines({0, 2, 3}));
        QCOMPARE(QGuiApplication::clipboard()->text().count(QLatin1Char('\n')), 3);

        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(4));
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), lines({1, 2, 3, 4}));

        // Nothing selected: the clipboard keeps what it had.
        view->clearSelection();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("before"));
    }

    // Ctrl+F takes the focus to the filter field, its text selected.
    void ctrlFFocusesTheFilter()
    {
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        auto *filter = page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"));
        auto *sendField = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        filter->setText(QStringLiteral("RX"));
        sendField->setFocus();
        QVERIFY(sendField->hasFocus());
        QTest::keyClick(sendField, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(filter->hasFocus());
        QCOMPARE(filter->selectedText(), QStringLiteral("RX"));
        QCOMPARE(sendField->text(), QString());
    }

    // A row's menu: each action does its one thing with the row's frame.
    void frameMenu_data()
    {
        const QByteArray frame = drive40Frame();
        QString spaced;
        for (char byte : frame)
            spaced += QStringLiteral("%1 ").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("expected");
        QTest::newRow("copy") << "actionCopyFrame" << "Copy frame" << "clipboard" << frameToHexText(frame);
        QTest::newRow("open") << "actionOpenFrame" << "Open on Decode page" << "opened" << frameToHexText(frame);
        QTest::newRow("send field") << "actionPutInSendField" << "Put in Send field" << "send" << spaced.trimmed();
        QTest::newRow("node") << "actionFilterNode" << "Filter by this node" << "filter" << "0000AB";
        QTest::newRow("device") << "actionFilterDevice" << "Filter by this device" << "filter" << "\"QX-Drive 40\"";
        QTest::newRow("message") << "actionFilterMessage" << "Filter by this message" << "filter"
                                 << "\"Set Obstacle Sensitivity\"";
    }
    void frameMenu()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, where);
        QFETCH(QString, expected);
        connectTo(device->path);
        clearList(); // the rows here are the frames alone
        QVERIFY(device->write(statusFrame(0x0000AC, 1) + drive40Frame()));
        QTRY_COMPARE(model()->rowCount(), 2);
        QCOMPARE(model()->recordAt(1)->device, QStringLiteral("QX-Drive 40"));
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QSignalSpy opened(bus, &BusLayout::frameOpened);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);

        QMenu *menu = bus->frameMenu(view->model()->index(1, ColumnValues));
        QCOMPARE(menu->objectName(), QStringLiteral("menuFrame"));
        auto *chosen = menu->findChild<QAction *>(action);
        QVERIFY(chosen);
        QCOMPARE(chosen->text(), text);
        QVERIFY(chosen->isEnabled());
        chosen->trigger();

        auto *filter = page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"));
        auto *sendField = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        QCOMPARE(QGuiApplication::clipboard()->text(), where == "clipboard" ? expected : QStringLiteral("before"));
        QCOMPARE(opened.count(), where == "opened" ? 1 : 0);
        if (where == "opened")
            QCOMPARE(opened.at(0).at(0).toString(), expected);
        QCOMPARE(sendField->text(), where == "send" ? expected : QString());
        QCOMPARE(filter->text(), where == "filter" ? expected : QString());
        if (action == "actionFilterNode")
            QCOMPARE(model()->rowCount(), 1); // the other frame is from 0000AC
        if (where == "send") {
            QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
            QCOMPARE(device->read(drive40Frame().size()), drive40Frame());
        }
    }

    // A noise row can only be copied; a frame of an unknown product cannot
    // be filtered by its device or message; a Latest row gives its last frame.
    void frameMenuOfOtherRows()
    {
        connectTo(device->path);
        clearList(); // the rows here are the frames alone
        const QByteArray unknown = statusFrame(0x0000AC, 1);
        QVERIFY(device->write(QByteArray::fromHex("A5A6") + unknown + drive40Frame(7) + drive40Frame(8)));
        QTRY_COMPARE(model()->rowCount(), 4);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        auto names = [](QMenu *menu) {
            QStringList list;
            for (QAction *action : menu->actions()) {
                if (!action->isSeparator())
                    list << action->objectName() + (action->isEnabled() ? QString() : QStringLiteral(" (disabled)"));
            }
            return list;
        };
        QMenu *menu = bus->frameMenu(view->model()->index(0, ColumnTime));
        QCOMPARE(names(menu), QStringList{QStringLiteral("actionCopyFrame")});
        menu->findChild<QAction *>(QStringLiteral("actionCopyFrame"))->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A5A6"));

        QVERIFY(model()->recordAt(1)->device.isEmpty());
        menu = bus->frameMenu(view->model()->index(1, ColumnTime));
        QCOMPARE(names(menu), QStringList({"actionCopyFrame", "actionOpenFrame", "actionPutInSendField",
                                           "actionFilterNode", "actionFilterDevice (disabled)",
                                           "actionFilterMessage (disabled)"}));

        page->findChild<QCheckBox *>(QStringLiteral("checkBoxLatest"))->setChecked(true);
        QCOMPARE(view->model()->rowCount(), 2);
        const QModelIndex last = view->model()->index(1, LatestMessageModel::Device);
        QCOMPARE(last.data().toString(), QStringLiteral("QX-Drive 40"));
        QSignalSpy opened(bus, &BusLayout::frameOpened);
        auto *open = bus->frameMenu(last)->findChild<QAction *>(QStringLiteral("actionOpenFrame"));
        QVERIFY(open);
        open->trigger();
        QCOMPARE(opened.count(), 1);
        QCOMPARE(opened.at(0).at(0).toString(), frameToHexText(drive40Frame(8)));
    }

private:
    // A frame of a known product whose device and message names have spaces.
    static QByteArray drive40Frame(quint8 sensitivity = 2)
    {
        return packFrame(0x21, false, 12, 2, 0, 0x0000AB, 0x000002, QByteArray(1, char(sensitivity)));
    }

    // Triggers the header menu's action of that name; false if there is none.
    static bool triggerColumn(QMenu *menu, const QString &name)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == name) {
                action->trigger();
                return true;
            }
        }
        return false;
    }

    // The list's columns as columnsRemembered leaves them.
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
        settings.remove(QStringLiteral("bus/listHeader"));
        settings.remove(QStringLiteral("bus/latestHeader"));
        settings.sync();
        init();
    }
};

QTEST_MAIN(BusLayoutTest)
#include "buslayouttest.moc"
