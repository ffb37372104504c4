#ifndef KWN_TESTS_SUPPORT_WIRESHARKHOME_H
#define KWN_TESTS_SUPPORT_WIRESHARKHOME_H

// The environment tshark and kwn-extcap run in: `home` as the home and its
// .config as the configuration folder, so that nothing of the user's is read.

#include <QProcessEnvironment>

inline QProcessEnvironment wiresharkHome(const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.remove(QStringLiteral("WIRESHARK_CONFIG_DIR"));
    return environment;
}

#endif
