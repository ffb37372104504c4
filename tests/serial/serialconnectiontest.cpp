// The serial connection on pseudo-terminals made by the test: the test plays
// the device on the master side while the connection holds the slave side.

#include "codec/frame.h"
#include "serial/serialconnection.h"
#include "ptypair.h"

#include <QSignalSpy>
#include <QtTest>


namespace {

QByteArray sampleFrame(int i)
{
    const QByteArray data(i % (kMaxDataBytes + 1), char(i * 7));
    return packFrame(quint8(i), i % 2, quint8(kFrameOverheadBytes + data.size()), 2, 0, 0x1A2B3C + i, 1, data);
}

// Waits until `count` items came in, or a few seconds passed.
QVector<SplitItem> receive(SerialConnection &connection, int count)
{
    QVector<SplitItem> items;
    QElapsedTimer timer;
    timer.start();
    while (items.size() < count && timer.elapsed() < 5000) {
        QTest::qWait(5);
        items += connection.takeReceived();
    }
    return items;
}

SerialSettings settingsFor(const QString &port)
{
    SerialSettings settings;
    settings.port = port;
    settings.gapMs = 50;
    return settings;
}

} // namespace

class SerialConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void receivesFramesHoweverWritten_data();
    void receivesFramesHoweverWritten();
    void truncatedFrameBecomesNoiseAfterGap();
    void sendsFramesWithTheirTime();
    void openErrors_data();
    void openErrors();
    void farEndClosedIsReportedAndReconnectWorks();
};

void SerialConnectionTest::receivesFramesHoweverWritten_data()
{
    QTest::addColumn<int>("chunk"); // 0: one frame per write
    QTest::addColumn<bool>("noise");
    QTest::newRow("frames one by one") << 0 << false;
    QTest::newRow("all in one write") << 1 << false;
    QTest::newRow("byte by byte") << 2 << false;
    QTest::newRow("noise between frames") << 0 << true;
}

void SerialConnectionTest::receivesFramesHoweverWritten()
{
    QFETCH(int, chunk);
    QFETCH(bool, noise);
    PtyPair pty;
    QVERIFY(pty.master >= 0);
    SerialConnection connection;
    QSignalSpy opened(&connection, &SerialConnection::openChanged);
    QVERIFY2(connection.open(settingsFor(pty.path)), qPrintable(connection.errorText()));
    QCOMPARE(opened.count(), 1);

    const QByteArray junk = QByteArray::fromHex("FFFF00FF");
    QByteArray all;
    QVector<QByteArray> frames;
    for (int i = 0; i < 40; ++i) {
        frames << sampleFrame(i);
        const QByteArray piece = (noise ? junk : QByteArray()) + frames.last();
        all += piece;
        if (chunk == 0)
            pty.write(piece);
    }
    if (chunk == 1)
        pty.write(all);
    for (int i = 0; chunk == 2 && i < all.size(); ++i)
        pty.write(all.mid(i, 1));

    const QVector<SplitItem> items = receive(connection, noise ? 80 : 40);
    QVector<QByteArray> got;
    QByteArray noiseBytes;
    for (const SplitItem &item : items) {
        if (item.kind == SplitItem::Frame)
            got << item.bytes;
        else
            noiseBytes += item.bytes;
    }
    QCOMPARE(got, frames);
    QCOMPARE(noiseBytes, noise ? junk.repeated(40) : QByteArray());
}

void SerialConnectionTest::truncatedFrameBecomesNoiseAfterGap()
{
    PtyPair pty;
    SerialConnection connection;
    QVERIFY(connection.open(settingsFor(pty.path)));
    const QByteArray cut = sampleFrame(20).left(15);
    pty.write(cut);
    QTest::qWait(150); // past the 50 ms gap
    pty.write(sampleFrame(3) + sampleFrame(4));
    const QVector<SplitItem> items = receive(connection, 3);
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(0).kind, SplitItem::Noise);
    QCOMPARE(items.at(0).bytes, cut);
    QCOMPARE(items.at(1).bytes, sampleFrame(3));
    QCOMPARE(items.at(2).bytes, sampleFrame(4));
    QVERIFY(items.at(1).timeMs - items.at(0).timeMs >= 100);
}

void SerialConnectionTest::sendsFramesWithTheirTime()
{
    PtyPair pty;
    SerialConnection connection;
    QVERIFY(connection.open(settingsFor(pty.path)));
    QSignalSpy sent(&connection, &SerialConnection::sent);
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(connection.send(sampleFrame(5)));
    QVERIFY(connection.send(sampleFrame(6)));
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(sent.at(0).at(0).toByteArray(), sampleFrame(5));
    QCOMPARE(sent.at(1).at(0).toByteArray(), sampleFrame(6));
    QVERIFY(sent.at(0).at(1).toLongLong() >= before);
    QByteArray arrived;
    QTRY_VERIFY((arrived += pty.readAll()).size() >= sampleFrame(5).size() + sampleFrame(6).size());
    QCOMPARE(arrived, sampleFrame(5) + sampleFrame(6));
    connection.close();
    QVERIFY(!connection.send(sampleFrame(7)));
}

void SerialConnectionTest::openErrors_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no such port") << "/dev/ttyKWN-none" << "none" << "No such port: /dev/ttyKWN-none.";
    QTest::newRow("bad parity") << "/dev/ttyKWN-none" << "sometimes" << "parity must be none, even, odd, mark or space";
}

void SerialConnectionTest::openErrors()
{
    QFETCH(QString, port);
    QFETCH(QString, parity);
    QFETCH(QString, expected);
    SerialConnection connection;
    SerialSettings settings = settingsFor(port);
    settings.parity = parity;
    QVERIFY(!connection.open(settings));
    QVERIFY(!connection.isOpen());
    QCOMPARE(connection.errorText(), expected);
}

void SerialConnectionTest::farEndClosedIsReportedAndReconnectWorks()
{
    PtyPair pty;
    SerialConnection connection;
    QSignalSpy errors(&connection, &SerialConnection::errorOccurred);
    QVERIFY(connection.open(settingsFor(pty.path)));
    pty.write(sampleFrame(1) + sampleFrame(2).left(5));
    QCOMPARE(receive(connection, 1).size(), 1);
    pty.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, 5000);
    QVERIFY2(errors.at(0).at(0).toString().contains("removed"), qPrintable(errors.at(0).at(0).toString()));
    QVERIFY(!connection.isOpen());
    // The partial frame is not lost.
    const QVector<SplitItem> rest = connection.takeReceived();
    QCOMPARE(rest.size(), 1);
    QCOMPARE(rest.at(0).bytes, sampleFrame(2).left(5));

    PtyPair other;
    QVERIFY2(connection.open(settingsFor(other.path)), qPrintable(connection.errorText()));
    other.write(sampleFrame(9));
    const QVector<SplitItem> items = receive(connection, 1);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.at(0).bytes, sampleFrame(9));
}

QTEST_GUILESS_MAIN(SerialConnectionTest)
#include "serialconnectiontest.moc"
