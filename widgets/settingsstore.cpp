#include "widgets/settingsstore.h"

QSettings settingsStore()
{
    return QSettings(QStringLiteral("Quorvex"), QStringLiteral("KWN Frame Builder"));
}
