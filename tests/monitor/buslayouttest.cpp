// The Bus page with a device on a pseudo-terminal: connecting, sending,
// logs, recording, pausing, following and status texts. (The session's own
// rules: bussessiontest; those of sending, logs and what is shown:
// tests/bustools; the list's columns, menus, keys and detail pane:
// buslayoutviewtest.)
#include "buspage.h"

#include "widgets/settingsstore.h"

class BusLayoutTest : public BusPageFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { setUpCase(); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        QVERIFY(!bus->session()->isOpen());
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"));
    }

    // Send writes the frame typed, byte for byte, and it shows as TX.
    // (Its echo shown once: bussessiontest.)
    void sendFromTheField()
    {
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AA, 9);
        auto *field = page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"));
        QTest::keyClicks(field, formatted(frame));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(device->read(frame.size()), frame);
        QTRY_COMPARE(rowTexts(), QStringList({QStringLiteral("event Connected to ") + device->path,
                                              QStringLiteral("TX ok ") + frameToHexText(frame)}));

        // Text that is no frame is refused on the status line.
        field->setText(QStringLiteral("12 34"));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(field->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(device->read(1, 200), QByteArray());
    }

    // The send row over its tool (the rules: sendtooltest): "every" ticked,
    // Send reads "Stop" and says what repeats; one click stops it and
    // unticks "every".
    void repeatSend()
    {
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AB, 1);
        auto *every = page->findChild<QCheckBox *>(QStringLiteral("checkBoxRepeat"));
        page->findChild<QSpinBox *>(QStringLiteral("spinBoxRepeatMs"))->setValue(20);
        QTest::mouseClick(every, Qt::LeftButton);
        page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"))->setText(frameToHexText(frame));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(device->read(3 * frame.size()), frame + frame + frame);
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Stop"));
        QVERIFY(message().contains(QStringLiteral("every 20 ms")));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QVERIFY(!every->isChecked());
        QCOMPARE(button(QStringLiteral("buttonSend"))->text(), QStringLiteral("Send"));
        QCOMPARE(settingsStore().value(QStringLiteral("bus/repeatMs")).toInt(), 20);
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
        bus->sending()->sendFrame(sent);
        QTRY_COMPARE(model()->heldCount(), 53);
        QVector<BusRecord> before;
        for (int i = 0; i < model()->heldCount(); ++i)
            before.append(model()->heldRecord(i));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("TX"));
        QVERIFY(model()->rowCount() < 53);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        const QString counters = label(QStringLiteral("labelCounters"));
        QVERIFY(bus->logs()->save(path));
        QCOMPARE(message(), QStringLiteral("Saved 51 frames and 1 noise run to ") + path);
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 54); // with the empty piece after the last line end
        QVERIFY(lines.at(0).contains(" event: Connected to "));
        QVERIFY(lines.at(26).contains(" noise: "));

        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
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
            // An opened file keeps what the row shows; its single line is made again.
            QCOMPARE(model()->store()->singleLine(read), model()->store()->singleLine(record));
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
        QVERIFY(bus->logs()->open(plain));
        QTRY_VERIFY(!bus->logs()->isOpening());
        QCOMPARE(model()->heldCount(), 3);
        QCOMPARE(model()->heldRecord(1).bytes, frames.at(1));
        QCOMPARE(model()->data(model()->index(2, ColumnChecksum)).toString(), QStringLiteral("bad"));
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelMessage"))->styleSheet(), QStringLiteral("color: red"));
        QVERIFY2(message().endsWith(QStringLiteral("3 frames; 1 line was not a frame")), qPrintable(message()));
        // The connection state is not replaced by the message.
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);

        // The list and the counters are the opened log's until a port is
        // connected again. (What is shown when: showntracetest.)
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("3 received, 0 sent")));
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton); // Disconnect
        connectTo(device->path);
        QCOMPARE(model()->heldCount(), 53 + 2); // and the port's two events
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("50 received, 1 sent")));
    }

    void recordingOutlivesTheRing()
    {
        bus->shown()->setCapacity(100);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("record.log"));
        QVERIFY(bus->logs()->startRecording(path));
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

    // Scrolled up at the ring's limit, the rows on screen stay on screen
    // while older ones are dropped above them.
    void scrolledUpStaysPut()
    {
        bus->shown()->setCapacity(100);
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
        // Said steadily while it lasts, with the frames written.
        auto *recording = page->findChild<QLabel *>(QStringLiteral("labelRecording"));
        QVERIFY(recording->isVisible());
        QTRY_COMPARE(recording->text(), QStringLiteral("\u25cf Recording capture.log: 1 frame"));
        QCOMPARE(recording->toolTip(), QStringLiteral("Recording to %1.log").arg(path));
        QTest::mouseClick(button(QStringLiteral("buttonRecord")), Qt::LeftButton);
        QVERIFY(!recording->isVisible());
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
        QVERIFY(bus->logs()->startRecording(QStringLiteral("/dev/full")));
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
        bus->sending()->sendFrame(QByteArray::fromHex("00"));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"))->setText(QStringLiteral("12"));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QVERIFY(!message().isEmpty());
        QCOMPARE(label(QStringLiteral("labelStatus")), QStringLiteral("Connected to ") + device->path);
        auto *timer = page->findChild<QTimer *>(QStringLiteral("timerMessage"));
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

    // A log is read on a thread of its own: Open comes back at once, with a
    // progress bar and Cancel, and the list fills batch by batch; Cancel
    // stops it. (What the closing message says: logtooltest.)
    void largeLogOpensInBatches()
    {
        bus->shown()->setCapacity(1000);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("large.log"));
        QVERIFY(writeFile(path, QByteArray(frameToHexText(statusFrame(5, 5)).toLatin1() + '\n').repeated(20000)));
        auto *progress = page->findChild<QProgressBar *>(QStringLiteral("progressBarOpen"));
        QVERIFY(bus->logs()->open(path));
        QVERIFY(progress->isVisible());
        QVERIFY(button(QStringLiteral("buttonCancelOpen"))->isVisible());
        QVERIFY(!button(QStringLiteral("buttonOpen"))->isEnabled());
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("0 received")));
        QTRY_VERIFY_WITH_TIMEOUT(!bus->logs()->isOpening(), 60000);
        QVERIFY(!progress->isVisible());
        QVERIFY(button(QStringLiteral("buttonOpen"))->isEnabled());
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("20000 received")));
        QCOMPARE(model()->heldCount(), 20000);
        QCOMPARE(message(), QStringLiteral("Opened %1: 20000 frames").arg(path));

        QMetaObject::Connection once;
        once = connect(model(), &QAbstractItemModel::rowsInserted, this, [&] {
            disconnect(once);
            QTest::mouseClick(button(QStringLiteral("buttonCancelOpen")), Qt::LeftButton);
        });
        QVERIFY(bus->logs()->open(path));
        QTRY_VERIFY(!bus->logs()->isOpening());
        QVERIFY2(message().startsWith(QStringLiteral("Stopped opening ")), qPrintable(message()));
    }
};

QTEST_MAIN(BusLayoutTest)
#include "buslayouttest.moc"
