#include "widgets/settingsstore.h"

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
    // carries: a page built without main() (as in the tests) uses it too,
    // and under the names main() gives, a default QSettings reads it.
    void sameStoreWhateverTheApplicationNames_data()
    {
        QTest::addColumn<QString>("organisation");
        QTest::addColumn<QString>("application");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("others") << QStringLiteral("Elsewhere") << QStringLiteral("Another Tool");
        QTest::newRow("the tool's own") << QStringLiteral("Quorvex") << QStringLiteral("KWN Frame Builder");
    }
    void sameStoreWhateverTheApplicationNames()
    {
        QFETCH(QString, organisation);
        QFETCH(QString, application);
        QCoreApplication::setOrganizationName(organisation);
        QCoreApplication::setApplicationName(application);
        QCOMPARE(settingsStore().fileName(), settingsDir.filePath(QStringLiteral("Quorvex/KWN Frame Builder.conf")));
        settingsStore().setValue(QStringLiteral("bus/probe"), application.size());
        if (organisation == QLatin1String("Quorvex"))
            QCOMPARE(QSettings().value(QStringLiteral("bus/probe")).toInt(), application.size());
    }

private:
    QTemporaryDir settingsDir;
};

QTEST_MAIN(SettingsStoreTest)
#include "settingsstoretest.moc"
