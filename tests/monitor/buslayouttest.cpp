// The Bus page with a device on a pseudo-terminal: connecting, sending,
// opening, recording, pausing, following and status texts. (The session's
// own rules: bussessiontest; those of sending, logs and what is shown:
// tests/bustools; saving and opening: buspagecapturetest; the list's
// columns, menus, keys and detail pane: buslayoutviewtest.)
#include "buspage.h"

class BusLayoutTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // The connection state stays in sight, red when the port failed; a long
    // one is elided, whole in its tool tip, and the page keeps its height.
    // When the other end closes, the list is kept and says what happened.
    void connectionState()
    {
        auto *status = find<ElidedLabel>(QStringLiteral("labelStatus"));
        const int listHeight = listView()->height();
        setPort(QStringLiteral("/dev/kwn-no-such-port-") + QString(120, QLatin1Char('x')));
        click(QStringLiteral("buttonConnect"));
        QCoreApplication::processEvents();
        QVERIFY(!bus->session()->isOpen());
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"));
        QCOMPARE(status->styleSheet(), QStringLiteral("color: red"));
        QVERIFY(status->fullText().startsWith(QStringLiteral("No such port")));
        QVERIFY(status->text() != status->fullText());
        QCOMPARE(status->toolTip(), status->fullText());
        QCOMPARE(listView()->height(), listHeight);

        connectTo(device->path);
        QVERIFY(device->write(statusFrame(1, 1) + statusFrame(2, 2)));
        QTRY_COMPARE(model()->rowCount(), 3); // after the port's event
        QSignalSpy connected(bus, &BusLayout::connectedChanged);
        device->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"), 5000);
        QCOMPARE(find<QLabel>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(connected.count(), 1);
        QCOMPARE(rowTexts().last(), QStringLiteral("event ") + label(QStringLiteral("labelStatus")));

        PtyPair again;
        QVERIFY(again.ok());
        connectTo(again.path);
        QVERIFY(again.write(statusFrame(3, 3)));
        QTRY_COMPARE(model()->rowCount(), 6);
    }

    // The send row over its tool (the rules and what it says: sendtooltest):
    // Send writes the frame typed, byte for byte, and it shows as TX (its
    // echo shown once: bussessiontest). Text that is no frame is refused in
    // red, and a message says so beside the connection state for a while.
    // "every" ticked, Send reads "Stop"; one click stops it and unticks
    // "every". The last port, line settings and interval come back in the
    // next run. (A pseudo-terminal refuses other character sizes, parities
    // and stop bits, so only the baud rate changes here.)
    void sendFromTheField()
    {
        find<QComboBox>(QStringLiteral("comboBoxBaud"))->setEditText(QStringLiteral("115200"));
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AA, 9);
        QLineEdit *sendField = field(QStringLiteral("LineEditSendFrame"));
        QTest::keyClicks(sendField, formatted(frame));
        click(QStringLiteral("buttonSend"));
        QCOMPARE(device->read(frame.size()), frame);
        QTRY_COMPARE(rowTexts().value(1), QStringLiteral("TX ok ") + frameToHexText(frame));
        sendField->setText(QStringLiteral("12 34"));
        click(QStringLiteral("buttonSend"));
        QCOMPARE(sendField->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(device->read(1, 200), QByteArray());
        QVERIFY(!message().isEmpty());
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
        auto *timer = find<QTimer>(QStringLiteral("timerMessage"));
        QVERIFY(timer && timer->isActive());
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        QCOMPARE(message(), QString());

        auto *every = find<QCheckBox>(QStringLiteral("checkBoxRepeat"));
        find<QSpinBox>(QStringLiteral("spinBoxRepeatMs"))->setValue(20);
        QTest::mouseClick(every, Qt::LeftButton);
        sendField->setText(frameToHexText(frame));
        click(QStringLiteral("buttonSend"));
        QCOMPARE(device->read(3 * frame.size()), frame + frame + frame);
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Stop"));
        click(QStringLiteral("buttonSend"));
        QVERIFY(!every->isChecked());
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Send"));
        const QString port = device->path;
        cleanup();
        init();
        QCOMPARE(find<QComboBox>(QStringLiteral("comboBoxPort"))->currentText(), port);
        QCOMPARE(find<QComboBox>(QStringLiteral("comboBoxBaud"))->currentText(), QStringLiteral("115200"));
        QCOMPARE(find<QSpinBox>(QStringLiteral("spinBoxRepeatMs"))->value(), 20);
    }

    // Plain frame lines open as the Decode page reads them; a line that is
    // no frame makes the message red (its words: logtooltest), beside the
    // connection state. The list is the file's until a port is connected
    // again.
    void openPlainFrames()
    {
        connectTo(device->path);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plain.txt"));
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(writeFile(path, formatted(frame).toUtf8() + "\n\nnot a frame\n"
                                    + frameToHexText(withBadChecksum(frame)).toUtf8() + "\n"));
        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
        QCOMPARE(rowTexts(), QStringList({QStringLiteral("RX ok ") + frameToHexText(frame),
                                          QStringLiteral("RX bad ") + frameToHexText(withBadChecksum(frame))}));
        QCOMPARE(find<QLabel>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
        click(QStringLiteral("buttonConnect")); // Disconnect
        connectTo(device->path);
        QCOMPARE(model()->heldCount(), 3); // connected, disconnected, connected
    }

    // Recorded while the ring drops: the file holds every line, flushed
    // without waiting for the end; the counters say what was dropped.
    // Scrolled up meanwhile, the rows on screen stay on screen while older
    // ones are dropped above them, until they go themselves.
    void recordingOutlivesTheRing()
    {
        bus->shown()->setCapacity(100);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("record.log"));
        QVERIFY(bus->logs()->startRecording(path));
        QVERIFY(button(QStringLiteral("buttonRecord"))->isChecked());
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(300, 5);
        QVERIFY(device->write(concat(frames.mid(0, 100))));
        QTRY_COMPARE(int(model()->droppedCount()), 1); // the port's event
        QTableView *view = listView();
        view->verticalScrollBar()->setValue(40);
        QCOMPARE(model()->recordAt(view->rowAt(0))->bytes, frames.at(40));
        QVERIFY(device->write(concat(frames.mid(100, 25))));
        QTRY_COMPARE(int(model()->droppedCount()), 26);
        QTest::qWait(60);
        QCOMPARE(model()->recordAt(view->rowAt(0))->bytes, frames.at(40));
        QVERIFY(device->write(QByteArray::fromHex("ff") + concat(frames.mid(125))));
        QTRY_COMPARE(int(model()->droppedCount()), 202);
        QCOMPARE(view->verticalScrollBar()->value(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(int(readFile(path).count('\n')), 302, 3000);
        click(QStringLiteral("buttonConnect")); // Disconnect
        QVERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QCOMPARE(model()->heldCount(), 100);
        // Every line, to the event of the end (what a line holds: bussessiontest).
        QCOMPARE(readFile(path).count('\n'), 303);
        QVERIFY(readFile(path).endsWith(" event: Disconnected\n"));
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
        QScrollBar *scroll = listView()->verticalScrollBar();
        QTRY_COMPARE(scroll->value(), scroll->maximum());

        click(QStringLiteral("buttonPause"));
        QVERIFY(device->write(concat(frames.mid(100, 50))));
        QTRY_VERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("150 received")));
        QCOMPARE(model()->rowCount(), 101);
        click(QStringLiteral("buttonPause"));
        QCOMPARE(model()->rowCount(), 151);
        QCOMPARE(model()->heldRecord(150).bytes, frames.at(149));

        scroll->setValue(0);
        QVERIFY(device->write(concat(frames.mid(150))));
        QTRY_COMPARE(model()->rowCount(), 201);
        QTest::qWait(100);
        QCOMPARE(scroll->value(), 0);
        click(QStringLiteral("buttonClear"));
        QCOMPARE(model()->rowCount(), 0);
    }

    // Record: a name typed without a suffix gets ".log", an existing file
    // is replaced once confirmed; said steadily while it lasts; pressing
    // Record again stops it. A write error stops it too, in red, while the
    // port stays connected. (What the messages say: logtooltest.)
    void recordReplacesAndStops()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("capture"));
        QVERIFY(writeFile(path + QStringLiteral(".log"), "old contents\n"));
        connectTo(device->path);
        answerFileDialog(path);
        click(QStringLiteral("buttonRecord"));
        QCOMPARE(button(QStringLiteral("buttonRecord"))->text(), QStringLiteral("Stop recording"));
        const QByteArray frame = statusFrame(1, 1);
        QVERIFY(device->write(frame));
        auto *recording = find<QLabel>(QStringLiteral("labelRecording"));
        QTRY_COMPARE(recording->text(), QStringLiteral("\u25cf Recording capture.log: 1 frame"));
        QVERIFY(recording->isVisible());
        click(QStringLiteral("buttonRecord"));
        QVERIFY(!recording->isVisible());
        QVERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QVERIFY(readFile(path + QStringLiteral(".log")).endsWith(QByteArray(frameToHexText(frame).toLatin1() + '\n')));
        QCOMPARE(readFile(path + QStringLiteral(".log")).count('\n'), 1);

        QVERIFY(bus->logs()->startRecording(QStringLiteral("/dev/full")));
        QVERIFY(device->write(frame));
        QTRY_VERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QVERIFY2(message().startsWith(QStringLiteral("Recording to /dev/full stopped: ")), qPrintable(message()));
        QCOMPARE(find<QLabel>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
    }

    // A log is read on a thread of its own: Open comes back at once, with a
    // progress bar and Cancel, and the list fills batch by batch; Cancel
    // stops it. (What the closing message says: logtooltest.)
    void largeLogCancelled()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("large.log"));
        QVERIFY(writeFile(path, QByteArray(frameToHexText(statusFrame(5, 5)).toLatin1() + '\n').repeated(20000)));
        QMetaObject::Connection once;
        once = connect(model(), &QAbstractItemModel::rowsInserted, this, [&] {
            disconnect(once);
            click(QStringLiteral("buttonCancelOpen"));
        });
        QVERIFY(bus->logs()->open(path));
        QVERIFY(find<QProgressBar>(QStringLiteral("progressBarOpen"))->isVisible());
        QTRY_VERIFY(!bus->logs()->isOpening());
        QVERIFY2(message().startsWith(QStringLiteral("Stopped opening ")), qPrintable(message()));
        QVERIFY(button(QStringLiteral("buttonOpen"))->isEnabled());
    }
};

QTEST_MAIN(BusLayoutTest)
#include "buslayouttest.moc"
