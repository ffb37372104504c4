#include "catalogue/catalogue.h"

#include <QDomDocument>
#include <QFileInfo>

namespace {

// The first "profile" element in document order at any depth, walked without
// recursion; a null element when there is none.
QDomElement firstProfileElement(const QDomDocument &doc)
{
    QDomNode node = doc.documentElement();
    const QDomNode root = node;
    while (!node.isNull()) {
        if (node.isElement() && node.nodeName() == QLatin1String("profile"))
            return node.toElement();
        if (node.hasChildNodes()) {
            node = node.firstChild();
            continue;
        }
        while (!node.isNull() && node != root && node.nextSibling().isNull())
            node = node.parentNode();
        if (node.isNull() || node == root)
            break;
        node = node.nextSibling();
    }
    return QDomElement();
}

} // namespace

ProfileDefinition readProfileData(const QByteArray &xml, const QString &path)
{
    ProfileDefinition profile;
    QDomDocument doc;
    if (!parseDefinitionXml(xml, &doc))
        return profile;

    profile.filePath = path;
    // A null element reads every attribute as empty text.
    const QDomElement element = firstProfileElement(doc);
    profile.product = element.attribute(QStringLiteral("product"));
    profile.revision = element.attribute(QStringLiteral("revision"));

    const QString nodeType = element.attribute(QStringLiteral("node_type"));
    const int base = nodeType.toLower().contains(QLatin1String("0x")) ? 16 : 10;
    bool ok = false;
    const quint32 value = nodeType.toUInt(&ok, base);
    profile.nodeType = ok ? value : 0;

    // No separator is put in between: the attributes start with one.
    const QString folder = QFileInfo(path).absolutePath();
    profile.standardMsgPath = folder + element.attribute(QStringLiteral("standard_msg"));
    profile.standardMotorMsgPath = folder + element.attribute(QStringLiteral("standard_motor_msg"));
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
