#ifndef KWN_CATALOGUE_DEFINITIONS_H
#define KWN_CATALOGUE_DEFINITIONS_H

// Plain value records that the catalogue readers fill. Everything is held by
// value and copied freely; nothing here has behaviour beyond small helpers.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// One named value of a parameter: a choice of an integer parameter, or the
// name of one bit of a bitfield (unsignedValue is then the bit number).
struct ValueDefinition
{
    quint32 unsignedValue = 0;
    qint32 signedValue = 0;
    QString description;

    bool operator==(const ValueDefinition &o) const
    {
        return unsignedValue == o.unsignedValue && signedValue == o.signedValue
            && description == o.description;
    }
    bool operator!=(const ValueDefinition &o) const { return !(*this == o); }
};

// One parameter of a message, i.e. one field of its data bytes.
struct ParameterDefinition
{
    bool optional = false;
    bool display = false;
    QString name;
    QString type;        // lower case: "integer", "string", "bitfield" or anything else
    quint32 size = 0;    // bytes, as written in the file (may be absurdly large)
    QString sign;        // as written; only exactly "signed" makes it signed
    QString inputFormat; // lower case; "hexa" means hexadecimal
    qint32 minSigned = 0;
    qint32 maxSigned = 0;
    qint32 defaultSigned = 0;
    quint32 minUnsigned = 0;
    quint32 maxUnsigned = 0;
    quint32 defaultUnsigned = 0;
    QString defaultText;
    QString description;
    QList<ValueDefinition> values;

    bool isSigned() const { return sign == QLatin1String("signed"); }
    bool isHexa() const { return inputFormat == QLatin1String("hexa"); }

    bool operator==(const ParameterDefinition &o) const
    {
        return optional == o.optional && display == o.display && name == o.name
            && type == o.type && size == o.size && sign == o.sign
            && inputFormat == o.inputFormat && minSigned == o.minSigned
            && maxSigned == o.maxSigned && defaultSigned == o.defaultSigned
            && minUnsigned == o.minUnsigned && maxUnsigned == o.maxUnsigned
            && defaultUnsigned == o.defaultUnsigned && defaultText == o.defaultText
            && description == o.description && values == o.values;
    }
    bool operator!=(const ParameterDefinition &o) const { return !(*this == o); }
};

enum class NodeMode { Master = 1, Slave = 2 };

struct MessageDefinition
{
    QString name;
    QString category;
    quint8 msgId = 0;
    QString description;
    QString addressingMode; // as written
    QList<ParameterDefinition> parameters;
    NodeMode nodeMode = NodeMode::Master;

    bool operator==(const MessageDefinition &o) const
    {
        return name == o.name && category == o.category && msgId == o.msgId
            && description == o.description && addressingMode == o.addressingMode
            && parameters == o.parameters && nodeMode == o.nodeMode;
    }
    bool operator!=(const MessageDefinition &o) const { return !(*this == o); }
};

// Messages by name; QMap compares QString code unit by code unit.
using MessageMap = QMap<QString, MessageDefinition>;

// The messages of one message definition file. Constructing it from a path
// reads the file (see messagefile.cpp); unreadable files give no messages.
class MessageDefinitionFile
{
public:
    MessageDefinitionFile() = default;
    explicit MessageDefinitionFile(const QString &path);

    MessageMap messages;
};

// One product revision.
struct ProfileDefinition
{
    QString filePath;
    QString product;
    QString revision;
    quint32 nodeType = 0;
    QString standardMsgPath;
    QString standardMotorMsgPath;

    bool operator==(const ProfileDefinition &o) const
    {
        return filePath == o.filePath && product == o.product && revision == o.revision
            && nodeType == o.nodeType && standardMsgPath == o.standardMsgPath
            && standardMotorMsgPath == o.standardMotorMsgPath;
    }
    bool operator!=(const ProfileDefinition &o) const { return !(*this == o); }
};

// Profiles by profileKey (product + "_" + revision).
using ProfileMap = QMap<QString, ProfileDefinition>;

inline QString profileKey(const ProfileDefinition &profile)
{
    return profile.product + QLatin1Char('_') + profile.revision;
}

#endif
