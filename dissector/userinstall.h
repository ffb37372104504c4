#ifndef KWN_DISSECTOR_USERINSTALL_H
#define KWN_DISSECTOR_USERINSTALL_H

// The dissector and the capture program put where Wireshark looks for a
// user's own: the dissector in the personal Lua plugins folder, the capture
// program (kwn-extcap) linked into the personal extcap folders, which
// Wireshark 4.0 looks for in its configuration folder and later versions
// also beside the plugins. The folders follow HOME and XDG_CONFIG_HOME as
// Wireshark does (%APPDATA% on Windows).

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dissector {

// The file name of the dissector, in every folder it goes to.
inline const QString kDissectorFileName = QStringLiteral("kwn.lua");

QString personalLuaFolder();
QStringList personalExtcapFolders();

struct UserInstall
{
    QStringList done;  // "Wrote PATH", "Linked PATH to PROGRAM", one per file
    QString error;     // empty when all went in
};

// Writes `lua` into the personal Lua plugins folder and links
// `extcapProgram`, when given, into every personal extcap folder (a file
// there of its name replaced), making the folders that are missing.
UserInstall installForUser(const QByteArray &lua, const QString &extcapProgram);

} // namespace dissector

#endif
