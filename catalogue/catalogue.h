#ifndef KWN_CATALOGUE_CATALOGUE_H
#define KWN_CATALOGUE_CATALOGUE_H

// Readers of the two XML definition formats, the scan of the definition
// folder, and the queries both pages ask of the catalogue. Readers are
// lenient: they never fail and never report; what they cannot use gives nothing.

#include "catalogue/definitions.h"

#include <QStringList>

// Message definition files (document element message_def).
MessageDefinitionFile readMessageFile(const QString &path);
MessageMap readMessageData(const QByteArray &xml);

// Profile definition files (document element profiles_def). The message file
// paths are made from the folder that holds `path`.
ProfileDefinition readProfileFile(const QString &path);
ProfileDefinition readProfileData(const QByteArray &xml, const QString &path);

// The catalogue of the folder "xml" in the current directory, or of `folder`.
ProfileMap loadProfiles();
ProfileMap loadProfiles(const QString &folder);

QStringList productNames(const ProfileMap &profiles);
QStringList revisionsOf(const ProfileMap &profiles, const QString &product);
ProfileDefinition findProfile(const ProfileMap &profiles, const QString &product,
                              const QString &revision);
QString productForNodeType(const ProfileMap &profiles, quint8 nodeType);
MessageMap messagesOfProfile(const ProfileDefinition &profile, bool leaveOutSlaves);
MessageDefinition messageById(const MessageMap &messages, quint8 messageId);

#endif
