#include "catalogue/catalogue.h"

#include <QFileInfo>
#include <QXmlStreamReader>

ProfileDefinition readProfileData(const QByteArray &xml, const QString &path)
{
    // The profile reader needs one element of the file, so it does without a
    // DOM: the streaming pass that checks the whole file also finds the first
    // "profile" element in document order. Scanning the folder then costs
    // one pass per file, which keeps large catalogues quick to open.
    // Most files are plain enough for the quick check, which is many times
    // faster; the others go through the full streaming parser.
    bool found = false;
    QVector<QPair<QByteArray, QByteArray>> plain;
    QXmlStreamAttributes attributes;
    const bool isPlain = plainXmlCheck(xml, "profile", &plain, &found);
    if (!isPlain) {
        found = false;
        const auto visit = [&found, &attributes](const QXmlStreamReader &reader) {
            if (!found && reader.qualifiedName() == QLatin1String("profile")) {
                found = true;
                attributes = reader.attributes();
            }
        };
        if (!scanDefinitionXml(xml, visit))
            return ProfileDefinition();
    }

    // Only what the file says: defaults declared in a DTD are left out, as the
    // DOM reader of message files leaves them out. An absent attribute (or no
    // profile element at all) reads as empty text.
    auto attribute = [&](const char *name) {
        if (isPlain) {
            for (const auto &a : qAsConst(plain)) {
                if (a.first == name)
                    return QString::fromUtf8(a.second);
            }
            return QString();
        }
        for (const QXmlStreamAttribute &a : qAsConst(attributes)) {
            if (!a.isDefault() && a.qualifiedName() == QLatin1String(name))
                return a.value().toString();
        }
        return QString();
    };

    ProfileDefinition profile;
    profile.filePath = path;
    profile.product = attribute("product");
    profile.revision = attribute("revision");

    const QString nodeType = attribute("node_type");
    const int base = nodeType.toLower().contains(QLatin1String("0x")) ? 16 : 10;
    bool ok = false;
    const quint32 value = nodeType.toUInt(&ok, base);
    profile.nodeType = ok ? value : 0;

    // No separator is put in between: the attributes start with one.
    const QString folder = QFileInfo(path).absolutePath();
    profile.standardMsgPath = folder + attribute("standard_msg");
    profile.standardMotorMsgPath = folder + attribute("standard_motor_msg");
    return profile;
}

ProfileDefinition readProfileFile(const QString &path)
{
    bool ok = false;
    const QByteArray bytes = readDefinitionBytes(path, &ok);
    if (!ok)
        return ProfileDefinition();
    return readProfileData(bytes, path);
}
