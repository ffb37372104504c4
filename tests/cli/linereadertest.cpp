// The line reader of kwn-frame on files: every line back, and each byte
// searched for a line end once, so that a long line costs linear time.

#include "cli/linereader.h"

#include <QTemporaryFile>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class LineReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void linesComeBackSearchedOnce_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("lines");
        const QByteArray longLine(10 * 1024 * 1024, 'A');
        QList<QByteArray> shortLines;
        QByteArray manyLines;
        for (int i = 0; i < 100000; ++i) {
            shortLines << QByteArray::number(i);
            manyLines.append(QByteArray::number(i)).append('\n');
        }
        QTest::newRow("one long line between short ones")
            << "first\n" + longLine + "\nlast" << QList<QByteArray>{"first", longLine, "last"};
        QTest::newRow("many short lines") << manyLines << shortLines;
        QTest::newRow("empty lines kept") << QByteArray("\n\na\n") << QList<QByteArray>{"", "", "a"};
        QTest::newRow("nothing") << QByteArray() << QList<QByteArray>{};
    }
    void linesComeBackSearchedOnce()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<QByteArray>, lines);
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(file.write(input), qint64(input.size()));
        file.flush();
        const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        cli::LineReader reader(fd);
        QList<QByteArray> got;
        QByteArray line;
        QByteArray noOutput;
        while (reader.next(&line, &noOutput))
            got << line;
        ::close(fd);
        QCOMPARE(got.size(), lines.size());
        QVERIFY(got == lines);
        // Searched again after every chunk, the long line would cost 10 MB x 160 chunks.
        QVERIFY2(reader.bytesSearched() <= input.size(), qPrintable(QString::number(reader.bytesSearched())));
    }
};

QTEST_APPLESS_MAIN(LineReaderTest)
#include "linereadertest.moc"
