#include "monitor/buslayout.h"

#include "codec/frame.h"
#include "monitor/frametablemodel.h"
#include "monitor/latestmessagemodel.h"
#include "busframes.h"
#include "cataloguefiles.h"
#include "ptypair.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
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

    // The device's bytes give the rows in order. (However a stream is cut and
    // whatever noise it holds: framesplittertest; random cuts end to end:
    // tenThousandFramesInOrder.)
    void receive_data()
    {
        QTest::addColumn<QVector<QByteArray>>("writes"); // an empty write waits past the gap
        QTest::addColumn<QStringList>("rows");           // "RX ok HEX", "RX bad HEX", "noise HEX"
        const QByteArray a = statusFrame(0x000011, 1);
        const QByteArray b = statusFrame(0x000012, 2);
        const QByteArray c = statusFrame(0x000013, 3);
        const QByteArray bad = withBadChecksum(b);
        const QByteArray junk = QByteArray::fromHex("00ff7e");
        auto rx = [](const QByteArray &f) -> QString { return QStringLiteral("RX ok ") + frameToHexText(f); };
        auto noise = [](const QByteArray &f) -> QString { return QStringLiteral("noise ") + frameToHexText(f); };
        QTest::newRow("cut inside frames") << QVector<QByteArray>{a.left(5), a.mid(5) + b.left(11), b.mid(11) + c}
                                           << QStringList{rx(a), rx(b), rx(c)};
        QTest::newRow("noise and a bad checksum between frames")
            << QVector<QByteArray>{a + junk + b + bad + c}
            << QStringList{rx(a), noise(junk), rx(b), QStringLiteral("RX bad ") + frameToHexText(bad), rx(c)};
        QTest::newRow("truncated frame, then good ones")
            << QVector<QByteArray>{a.left(7), QByteArray(), b + c} << QStringList{noise(a.left(7)), rx(b), rx(c)};
    }
    void receive()
    {
        QFETCH(QVector<QByteArray>, writes);
        QFETCH(QStringList, rows);
        connectTo(device->path);
        for (const QByteArray &bytes : writes) {
            if (bytes.isEmpty())
                QTest::qWait(300);
            else
                QVERIFY(device->write(bytes));
        }
        QTRY_COMPARE(model()->rowCount(), rows.size());
        QTest::qWait(150); // nothing more comes
        QCOMPARE(rowTexts(), rows); // noise rows in red: frametablemodeltest
    }

    void tenThousandFramesInOrder()
    {
        const QVector<QByteArray> frames = bundledFrames(10000, 14);
        QCOMPARE(frames.size(), 10000);
        connectTo(device->path);
        const QByteArray all = concat(frames);
        QRandomGenerator random(7);
        for (qsizetype done = 0; done < all.size();) {
            const qsizetype size = qMin<qsizetype>(all.size() - done, random.bounded(1, 4000));
            QVERIFY(device->write(all.mid(done, size)));
            done += size;
        }
        QTRY_VERIFY_WITH_TIMEOUT(model()->heldCount() >= 10000, 30000);
        QTest::qWait(200);
        QCOMPARE(model()->heldCount(), 10000);
        for (int i = 0; i < frames.size(); ++i) {
            const BusRecord &record = model()->heldRecord(i);
            QVERIFY2(record.kind == BusRecord::Received && record.bytes == frames.at(i),
                     qPrintable(QStringLiteral("frame %1").arg(i)));
        }
        QVERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("10000 received")));
    }

    void otherEndClosed()
    {
        connectTo(device->path);
        QVERIFY(device->write(statusFrame(1, 1) + statusFrame(2, 2)));
        QTRY_COMPARE(model()->rowCount(), 2);
        QSignalSpy connected(bus, &BusLayout::connectedChanged);
        device->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(button(QStringLiteral("buttonConnect"))->text(), QStringLiteral("Connect"), 5000);
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
        QVERIFY(!label(QStringLiteral("labelStatus")).isEmpty());
        QCOMPARE(connected.count(), 1);
        QCOMPARE(connected.at(0).at(0).toBool(), false);
        QCOMPARE(model()->rowCount(), 2); // the list is kept

        PtyPair again;
        QVERIFY(again.ok());
        connectTo(again.path);
        QVERIFY(again.write(statusFrame(3, 3)));
        QTRY_COMPARE(model()->rowCount(), 3);
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
        QTRY_COMPARE(model()->rowCount(), 1);
        QTest::qWait(250);
        QCOMPARE(rowTexts(), QStringList{QStringLiteral("TX ok ") + frameToHexText(frame)});
        QVERIFY(device->write(frame)); // the same frame again, now from a device
        QTRY_COMPARE(model()->rowCount(), 2);
        QCOMPARE(model()->data(model()->index(1, ColumnDirection)).toString(), QStringLiteral("RX"));

        // Text that is no frame is refused on the status line.
        field->setText(QStringLiteral("12 34"));
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(field->styleSheet(), QStringLiteral("color: red"));
        QCOMPARE(device->read(1, 200), QByteArray());
    }

    void repeatSend()
    {
        connectTo(device->path);
        const QByteArray frame = statusFrame(0x0000AB, 1);
        page->findChild<QLineEdit *>(QStringLiteral("LineEditSendFrame"))->setText(frameToHexText(frame));
        page->findChild<QSpinBox *>(QStringLiteral("spinBoxRepeatMs"))->setValue(20);
        page->findChild<QCheckBox *>(QStringLiteral("checkBoxRepeat"))->setChecked(true);
        QTest::mouseClick(button(QStringLiteral("buttonSend")), Qt::LeftButton);
        QCOMPARE(device->read(3 * frame.size()), frame + frame + frame);
        page->findChild<QCheckBox *>(QStringLiteral("checkBoxRepeat"))->setChecked(false);
        QTest::qWait(60);
        device->read(1 << 16, 50); // what was under way
        QCOMPARE(device->read(1, 150), QByteArray());
    }

    // Save writes every frame held, whatever the filter; Open reads it back.
    void saveThenOpen()
    {
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(50, 3);
        QVERIFY(device->write(concat(frames.mid(0, 25)) + QByteArray::fromHex("0000")));
        QTest::qWait(250);
        QVERIFY(device->write(concat(frames.mid(25))));
        QTRY_COMPARE(model()->heldCount(), 51);
        const QByteArray sent = statusFrame(0x77, 7);
        bus->sendFrame(sent);
        QTRY_COMPARE(model()->heldCount(), 52);
        QVector<BusRecord> before;
        for (int i = 0; i < model()->heldCount(); ++i)
            before.append(model()->heldRecord(i));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->setText(QStringLiteral("TX"));
        QVERIFY(model()->rowCount() < 52);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bus.log"));
        QVERIFY(bus->saveLog(path));
        const QList<QByteArray> lines = readFile(path).split('\n');
        QCOMPARE(lines.size(), 53); // with the empty piece after the last line end
        QVERIFY(lines.at(25).startsWith('#'));

        bus->openLog(path);
        QCOMPARE(model()->heldCount(), 51); // noise lines are comments
        int k = 0;
        for (const BusRecord &record : qAsConst(before)) {
            if (record.kind == BusRecord::Noise)
                continue;
            const BusRecord &read = model()->heldRecord(k++);
            QCOMPARE(read.bytes, record.bytes);
            QCOMPARE(read.kind, record.kind);
            QCOMPARE(read.timeMs, record.timeMs);
            QCOMPARE(read.values, record.values);
        }
        // The filter still holds after opening: only the TX frame shows.
        QCOMPARE(model()->rowCount(), 1);

        // Plain frame lines, as pasted on the Decode page.
        const QString plain = dir.filePath(QStringLiteral("plain.txt"));
        QVERIFY(writeFile(plain, formatted(frames.at(0)).toUtf8() + "\n\n" + frameToHexText(frames.at(1)).toUtf8()
                                     + "\nnot a frame\n" + frameToHexText(withBadChecksum(frames.at(2))).toUtf8() + "\n"));
        page->findChild<QLineEdit *>(QStringLiteral("LineEditFilter"))->clear();
        QVERIFY(bus->openLog(plain));
        QCOMPARE(model()->heldCount(), 3);
        QCOMPARE(model()->heldRecord(1).bytes, frames.at(1));
        QCOMPARE(model()->data(model()->index(2, ColumnChecksum)).toString(), QStringLiteral("bad"));
        QCOMPARE(page->findChild<QLabel *>(QStringLiteral("labelStatus"))->styleSheet(), QStringLiteral("color: red"));
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
        QTRY_COMPARE(int(model()->droppedCount()), 201);
        // Flushed while recording, without waiting for the end.
        QTRY_COMPARE_WITH_TIMEOUT(int(readFile(path).count('\n')), 301, 3000);
        QTest::mouseClick(button(QStringLiteral("buttonConnect")), Qt::LeftButton); // Disconnect
        QVERIFY(!button(QStringLiteral("buttonRecord"))->isChecked());
        QCOMPARE(model()->heldCount(), 100);
        const QList<QByteArray> lines = readFile(path).trimmed().split('\n');
        QCOMPARE(lines.size(), 301);
        QVERIFY(lines.at(150).startsWith("# "));
        QVERIFY(lines.at(0).endsWith(QByteArray(QByteArray(" RX ") + frameToHexText(frames.at(0)).toLatin1())));
        QVERIFY(lines.at(300).endsWith(QByteArray(QByteArray(" RX ") + frameToHexText(frames.at(299)).toLatin1())));
        QVERIFY(label(QStringLiteral("labelCounters")).contains(QStringLiteral("201 older dropped")));
    }

    // Pause freezes the rows but keeps counting; the list follows the
    // bottom only while it is there.
    void pauseAndFollow()
    {
        connectTo(device->path);
        const QVector<QByteArray> frames = bundledFrames(200, 9);
        QVERIFY(device->write(concat(frames.mid(0, 100))));
        QTRY_COMPARE(model()->rowCount(), 100);
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());

        button(QStringLiteral("buttonPause"))->click();
        QVERIFY(device->write(concat(frames.mid(100, 50))));
        QTRY_VERIFY(label(QStringLiteral("labelCounters")).startsWith(QStringLiteral("150 received")));
        QCOMPARE(model()->rowCount(), 100);
        button(QStringLiteral("buttonPause"))->click();
        QCOMPARE(model()->rowCount(), 150);
        QCOMPARE(model()->heldRecord(149).bytes, frames.at(149));

        view->verticalScrollBar()->setValue(0);
        QVERIFY(device->write(concat(frames.mid(150))));
        QTRY_COMPARE(model()->rowCount(), 200);
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
        QCOMPARE(model()->rowCount(), 12);
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

private:
    FrameTableModel *model() const
    {
        auto *view = page->findChild<QTableView *>(QStringLiteral("tableViewFrames"));
        return qobject_cast<FrameTableModel *>(view->model());
    }
    QPushButton *button(const QString &name) const { return page->findChild<QPushButton *>(name); }
    QString label(const QString &name) const { return page->findChild<QLabel *>(name)->text(); }

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

    QTemporaryDir settingsDir;
    BusLayout *bus = nullptr;
    QWidget *page = nullptr;
    std::unique_ptr<PtyPair> device;
};

QTEST_MAIN(BusLayoutTest)
#include "buslayouttest.moc"
