// How lock files are read and named. What the checks make of ports and
// lock files in place is seen through the connection (serialconnectiontest).

#include "serial/portcheck.h"

#include <QtTest>

class PortCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void lockFileProcess_data();
    void lockFileProcess();
    void lockFileNames_data();
    void lockFileNames();
};

namespace {

QByteArray binary(qint32 pid)
{
    return QByteArray(reinterpret_cast<const char *>(&pid), sizeof pid);
}

} // namespace

void PortCheckTest::lockFileProcess_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<qint64>("pid");
    QTest::newRow("padded to ten") << QByteArray("      4711\n") << qint64(4711);
    QTest::newRow("without newline") << QByteArray("4711") << qint64(4711);
    QTest::newRow("QLockFile lines") << QByteArray("31337\nkwn-frame\nbench-7\nd3adb33f\n") << qint64(31337);
    QTest::newRow("binary") << binary(4711) << qint64(4711);
    QTest::newRow("binary, three bytes used") << binary(4194303) << qint64(4194303);
    QTest::newRow("binary zero") << binary(0) << qint64(0);
    QTest::newRow("empty") << QByteArray() << qint64(0);
    QTest::newRow("blank line") << QByteArray("   \n4711\n") << qint64(0);
    QTest::newRow("zero") << QByteArray("0\n") << qint64(0);
    QTest::newRow("negative") << QByteArray("-4711\n") << qint64(0);
    QTest::newRow("words") << QByteArray("held by minicom\n") << qint64(0);
    QTest::newRow("digits and more") << QByteArray("4711x\n") << qint64(0);
    QTest::newRow("too large") << QByteArray("99999999999\n") << qint64(0);
}

void PortCheckTest::lockFileProcess()
{
    QFETCH(QByteArray, contents);
    QFETCH(qint64, pid);
    QCOMPARE(PortCheck::lockFileProcess(contents), pid);
}

void PortCheckTest::lockFileNames_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("USB adapter") << "/dev/ttyUSB0" << QStringList{"LCK..ttyUSB0"};
    QTest::newRow("pseudo-terminal") << "/dev/pts/5" << QStringList{"LCK..pts_5", "LCK..5"};
    QTest::newRow("outside /dev") << "/tmp/bench/port" << QStringList{"LCK.._tmp_bench_port", "LCK..port"};
}

void PortCheckTest::lockFileNames()
{
    QFETCH(QString, device);
    QFETCH(QStringList, names);
    QCOMPARE(PortCheck::lockFileNames(device), names);
}

QTEST_GUILESS_MAIN(PortCheckTest)
#include "portchecktest.moc"
