#include "widgets/settingsstore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

class SettingsStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }

    // The pages' store is the tool's file whatever names the application
    // carries: a page built without main() (as in the tests) uses it too.
    void sameStoreWhateverTheApplicationNames_data()
    {
        QTest::addColumn<QString>("organisation");
        QTest::addColumn<QString>("application");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("the tool's own") << QStringLiteral("Quorvex") << QStringLiteral("KWN Frame Builder");
        QTest::newRow("others") << QStringLiteral("Elsewhere") << QStringLiteral("Another Tool");
    }
    void sameStoreWhateverTheApplicationNames()
    {
        QFETCH(QString, organisation);
        QFETCH(QString, application);
        QCoreApplication::setOrganizationName(organisation);
        QCoreApplication::setApplicationName(application);
        QCOMPARE(settingsStore().fileName(), settingsDir.filePath(QStringLiteral("Quorvex/KWN Frame Builder.conf")));
    }

    // Under the names main() gives the application, a default QSettings reads
    // what the pages wrote.
    void defaultSettingsUnderTheToolsNamesReadTheStore()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Quorvex"));
        QCoreApplication::setApplicationName(QStringLiteral("KWN Frame Builder"));
        settingsStore().setValue(QStringLiteral("bus/probe"), 7);
        QCOMPARE(QSettings().value(QStringLiteral("bus/probe")).toInt(), 7);
    }

private:
    QTemporaryDir settingsDir;
};

QTEST_MAIN(SettingsStoreTest)
#include "settingsstoretest.moc"
