#ifndef KWN_TESTS_SUPPORT_GOLDENFILE_H
#define KWN_TESTS_SUPPORT_GOLDENFILE_H

// Output compared whole with a golden file under tests/data. With
// KWN_UPDATE_GOLDEN=1 in the environment the file is written anew instead:
// read its diff before committing it.

#include <QFile>
#include <QtTest>

inline void compareWithGolden(const QByteArray &actual, const char *name)
{
    QFile file(QStringLiteral(KWN_TEST_DATA "/") + QLatin1String(name));
    if (qEnvironmentVariableIsSet("KWN_UPDATE_GOLDEN")) {
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size());
        return;
    }
    QVERIFY2(file.open(QIODevice::ReadOnly), name);
    const QByteArrayList want = file.readAll().split('\n');
    const QByteArrayList got = actual.split('\n');
    for (int i = 0; i < qMin(got.size(), want.size()); ++i)
        QVERIFY2(got.at(i) == want.at(i), qPrintable(QStringLiteral("%1, line %2: got \"%3\", want \"%4\"")
                                                         .arg(QLatin1String(name)).arg(i + 1)
                                                         .arg(QString::fromUtf8(got.at(i)), QString::fromUtf8(want.at(i)))));
    QCOMPARE(got.size(), want.size());
}

#endif
