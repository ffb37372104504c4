// The serial connection on pseudo-terminals made by the test: the test plays
// the device on the master side while the connection holds the slave side.
// How received bytes become frames and noise, however they are cut, is
// checked through the Bus page (buslayouttest), which reads by this class.

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
    void sendsFramesWithTheirTime();
    void farEndClosedIsReported();
};

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
    QCOMPARE(pty.read(sampleFrame(5).size() + sampleFrame(6).size()), sampleFrame(5) + sampleFrame(6));
    connection.close();
    QVERIFY(!connection.send(sampleFrame(7)));
}

// Reconnecting afterwards is checked on the Bus page (buslayouttest).
void SerialConnectionTest::farEndClosedIsReported()
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
}

QTEST_GUILESS_MAIN(SerialConnectionTest)
#include "serialconnectiontest.moc"
