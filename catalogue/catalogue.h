#ifndef KWN_CATALOGUE_CATALOGUE_H
#define KWN_CATALOGUE_CATALOGUE_H

// Readers of the two XML definition formats, the scan of the definition
// folder, and the queries both pages ask of the catalogue. Readers are
// lenient: they never fail and never report; what they cannot use gives nothing.

#include "catalogue/definitions.h"

#include <QPair>
#include <QStringList>
#include <QVector>

#include <functional>

class QDomDocument;
class QDomElement;
class QXmlStreamReader;

// Message definition files (document element message_def).
MessageDefinitionFile readMessageFile(const QString &path);
MessageMap readMessageData(const QByteArray &xml);
// The two ways readMessageData reads: the quick reader of plain files (false,
// giving nothing, for a file it leaves to the other), and the DOM reader,
// which reads any file. Where the quick one reads, both give the same.
bool readPlainMessageData(const QByteArray &xml, MessageMap *messages);
MessageMap readMessageDataThroughDom(const QByteArray &xml);
// One message element of a parsed file, read exactly as the file reader reads it.
MessageDefinition readMessageElement(const QDomElement &element);

// Profile definition files (document element profiles_def). The message file
// paths are made from the folder that holds `path`.
ProfileDefinition readProfileFile(const QString &path);
ProfileDefinition readProfileData(const QByteArray &xml, const QString &path);

// The catalogue of the folder "xml" in the current directory, or of `folder`.
ProfileMap loadProfiles();
ProfileMap loadProfiles(const QString &folder);
// The profile files of a folder in the order loadProfiles reads them (a later
// file wins over an earlier one of the same product and revision).
QStringList profileFilePaths(const QString &folder);

QStringList productNames(const ProfileMap &profiles);
QStringList revisionsOf(const ProfileMap &profiles, const QString &product);
// Every product with its sorted revisions, in one pass: what productNames and
// revisionsOf of each product give, for listing a whole catalogue.
QMap<QString, QStringList> revisionsByProduct(const ProfileMap &profiles);
// Looks the record up under its key: the map is keyed by profileKey, as
// loadProfiles makes it.
ProfileDefinition findProfile(const ProfileMap &profiles, const QString &product,
                              const QString &revision);
QString productForNodeType(const ProfileMap &profiles, quint8 nodeType);
MessageMap messagesOfProfile(const ProfileDefinition &profile, bool leaveOutSlaves);
MessageDefinition messageById(const MessageMap &messages, quint8 messageId);

// Helpers shared by the two readers, public so that tests and tools can use them.

// The bytes of a definition file, or nothing (`ok` false) when the path is not
// a regular file, cannot be read or is larger than kMaxDefinitionFileBytes.
// Files are read as bytes: the XML parser handles line ends and encodings.
QByteArray readDefinitionBytes(const QString &path, bool *ok);

// One streaming pass over `xml`: true when it is well-formed and within the
// limits below. `visit`, when given, is called at every start element.
bool scanDefinitionXml(const QByteArray &xml,
                       const std::function<void(const QXmlStreamReader &)> &visit = {});

// True only when `xml` is certainly well-formed and within the limits below,
// written in the plain XML of definition files; false says nothing (the full
// parser then judges). Gives the attributes, exactly as written, of the first
// element named `element` (none when it is null), and whether there is one; an element whose
// attributes hold references or line ends makes it false.
bool plainXmlCheck(const QByteArray &xml, const char *element, QVector<QPair<QByteArray, QByteArray>> *attributes,
                   bool *found);

// Parses `xml` into `doc`. False when the text is not well-formed XML or is
// beyond what a definition file ever needs (see the limits below); the caller
// then treats the file as unusable.
bool parseDefinitionXml(const QByteArray &xml, QDomDocument *doc);

// Sanity limits of one definition file. A real one is a few hundred kilobytes,
// four or five elements deep, with tens of thousands of nodes at most.
constexpr qint64 kMaxDefinitionFileBytes = 16 * 1024 * 1024;
constexpr int kMaxDefinitionDepth = 256;
constexpr qint64 kMaxDefinitionNodes = 500000;
// Characters of text, attribute values and comments after entity expansion,
// beyond the size of the file itself.
constexpr qint64 kMaxEntityExpansionChars = 1024 * 1024;

// Message files are cached by path with their content: a use re-reads the
// bytes and parses again only when they differ, so an edit takes effect at
// the next use. Dropping the cache changes no result, only the time taken.
void clearMessageFileCache();

#endif
