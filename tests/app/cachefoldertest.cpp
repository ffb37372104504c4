#include "app/startup.h"
#include "catalogue/profilecache.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QtTest>

class CacheFolderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { setDefinitionCacheFolder(QString()); }

    // The parsed catalogue is kept under the executable's name, without an
    // organisation, whatever names the application was given; and those
    // names are left as they were.
    void underTheExecutablesName_data()
    {
        QTest::addColumn<QString>("organisation");
        QTest::addColumn<QString>("application");
        QTest::newRow("none") << QString() << QString();
        QTest::newRow("the tool's own") << QStringLiteral("Quorvex") << QStringLiteral("KWN Frame Builder");
    }
    void underTheExecutablesName()
    {
#if !defined(Q_OS_LINUX)
        QSKIP("the cache folder's layout is the XDG one");
#endif
        QFETCH(QString, organisation);
        QFETCH(QString, application);
        QCoreApplication::setOrganizationName(organisation);
        QCoreApplication::setApplicationName(application);
        const QString named = QCoreApplication::applicationName();
        useUserCacheFolder();
        QCOMPARE(definitionCacheFolder(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
                     + QStringLiteral("/cachefoldertest"));
        QCOMPARE(QCoreApplication::organizationName(), organisation);
        QCOMPARE(QCoreApplication::applicationName(), named);
    }
};

QTEST_MAIN(CacheFolderTest)
#include "cachefoldertest.moc"
