// How lock files are read and named (tests/data/serial/lockfile-*.table).
// What the checks make of ports and lock files in place is seen through the
// connection (serialconnectiontest).

#include "serial/portcheck.h"
#include "support/tablerows.h"

#include <QtTest>

class PortCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void lockFileProcess_data() { tablerows::addRows("serial/lockfile-process.table"); }
    void lockFileProcess()
    {
        QFETCH(QByteArrayList, cells);
        QCOMPARE(PortCheck::lockFileProcess(cells.at(0)), cells.at(1).toLongLong());
    }

    void lockFileNames_data() { tablerows::addRows("serial/lockfile-names.table"); }
    void lockFileNames()
    {
        QFETCH(QByteArrayList, cells);
        QCOMPARE(PortCheck::lockFileNames(QString::fromUtf8(cells.at(0))).join(QLatin1Char(' ')),
                 QString::fromUtf8(cells.at(1)));
    }
};

QTEST_GUILESS_MAIN(PortCheckTest)
#include "portchecktest.moc"
