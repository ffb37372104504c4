#include "app/startup.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvex"));
    QCoreApplication::setApplicationName(QStringLiteral("KWN Frame Builder"));
    return runTool(argc, argv);
}
