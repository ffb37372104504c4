// kwn-frame check: the catalogue readers are lenient and silent, so a file
// with a mistake simply contributes nothing. This command says why.

#include "catalogue/catalogue.h"
#include "catalogue/shownlimits.h"
#include "cli/commands.h"
#include "codec/frame.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>

namespace {

const char kUsage[] = "kwn-frame check [--xml DIR]";
const char kHelp[] =
    "Reads every file of the catalogue as KWN Frame Builder does and reports, one line\n"
    "each, what the tool would silently pass over or get wrong: files that are not\n"
    "well-formed, profiles without a profile element, missing standard message files,\n"
    "devices and messages defined twice, shared message identifiers, unknown types,\n"
    "unsuitable sizes, defaults outside their limits, messages without a category and\n"
    "messages longer than a frame can carry. Exits with 1 when there are errors.\n"
    "\n"
    "Options:\n"
    "  --xml DIR   catalogue folder (default: xml in the current directory)\n";

struct Finding
{
    QString file;
    int line = 0;
    bool error = false;
    QString text;
};

class Checker
{
public:
    QList<Finding> findings;

    void error(const QString &file, int line, const QString &text) { findings.append({file, line, true, text}); }
    void warning(const QString &file, int line, const QString &text) { findings.append({file, line, false, text}); }

    // Parses a file as the readers do, through the same size, depth and
    // entity limits; reports why it cannot be used.
    bool parse(const QString &path, QDomDocument *doc)
    {
        bool ok = false;
        const QByteArray bytes = readDefinitionBytes(path, &ok);
        if (!ok) {
            error(path, 0, QStringLiteral("cannot be read, or is not a file of at most %1 MiB; it contributes nothing")
                               .arg(kMaxDefinitionFileBytes >> 20));
            return false;
        }
        // The streaming reader finds the place of a syntax error without
        // building anything, however deep the file.
        QXmlStreamReader reader(bytes);
        while (!reader.atEnd())
            reader.readNext();
        if (reader.hasError()) {
            error(path, int(reader.lineNumber()),
                  QStringLiteral("not well-formed XML at column %1 (%2); the file contributes nothing")
                      .arg(QString::number(reader.columnNumber()), reader.errorString()));
            return false;
        }
        if (!parseDefinitionXml(bytes, doc)) {
            error(path, 0, QStringLiteral("beyond what a definition file needs (deeper than %1 levels, more than %2 nodes"
                                          " or entities expanding too far); the file contributes nothing")
                               .arg(QString::number(kMaxDefinitionDepth), QString::number(kMaxDefinitionNodes)));
            return false;
        }
        return true;
    }

    void checkMessageFile(const QString &path)
    {
        if (checkedMessageFiles.contains(path))
            return;
        checkedMessageFiles.insert(path);
        QDomDocument doc;
        if (!parse(path, &doc))
            return;

        const QDomNodeList elements = doc.elementsByTagName(QStringLiteral("message"));
        QMap<QString, int> lineOfName;
        for (int i = 0; i < elements.count(); ++i) {
            const QDomElement element = elements.at(i).toElement();
            const int line = element.lineNumber();
            const QString name = element.attribute(QStringLiteral("name"));
            if (name.isEmpty())
                error(path, line, QStringLiteral("message without a name: it can never be found"));
            if (lineOfName.contains(name))
                warning(path, line, QStringLiteral("message '%1' is defined twice (also line %2); this later one wins")
                                        .arg(name, QString::number(lineOfName.value(name))));
            lineOfName.insert(name, line);
            checkMessageElement(path, element);
        }
    }

    void checkMessageElement(const QString &path, const QDomElement &element)
    {
        const int line = element.lineNumber();
        const QString name = element.attribute(QStringLiteral("name"));
        const QString idText = element.attribute(QStringLiteral("msg_id"));
        bool idOk = false;
        const uint id = idText.toUInt(&idOk, 16);
        if (!idOk || id > 0xFFFF)
            error(path, line, QStringLiteral("message '%1': msg_id '%2' is not a hexadecimal number; it reads as 0")
                                  .arg(name, idText));
        else if (id > 0xFF)
            warning(path, line, QStringLiteral("message '%1': msg_id %2 is wider than a byte; only its low byte is used")
                                    .arg(name, idText));

        // The reader's own view of this very element, for the converted
        // numbers: one parameter per child node, in order.
        const MessageDefinition message = readMessageElement(element);

        if (message.category.isEmpty() && message.nodeMode == NodeMode::Master)
            warning(path, line, QStringLiteral("message '%1' has no category: the Encode page cannot reach it").arg(name));

        quint64 bytes = 0;
        QDomNode node = element.firstChild();
        for (const ParameterDefinition &p : message.parameters) {
            const int paramLine = node.lineNumber() > 0 ? node.lineNumber() : line;
            const QString where = QStringLiteral("message '%1', parameter '%2'").arg(name, p.name);
            if (node.isComment()) {
                warning(path, paramLine, QStringLiteral("message '%1': a comment inside the message counts as a parameter of no type")
                                             .arg(name));
            } else if (node.isEntityReference()) {
                // Only internal entities are expanded; any other reference
                // stays a node of its own.
                error(path, paramLine, QStringLiteral("message '%1': the entity '%2' is never read; its reference counts as a parameter of no type")
                                           .arg(name, node.nodeName()));
            } else {
                bytes += checkParameter(path, paramLine, where, p);
            }
            node = node.nextSibling();
        }
        if (bytes > quint64(kMaxDataBytes))
            error(path, line, QStringLiteral("message '%1' needs %2 data bytes; a frame carries at most %3")
                                  .arg(name, QString::number(bytes), QString::number(kMaxDataBytes)));
        // Beyond these the pages build no widgets (catalogue/shownlimits.h).
        if (message.parameters.size() > kMaxShownParameters)
            warning(path, line, QStringLiteral("message '%1' has %2 parameters; the pages show only the first %3")
                                    .arg(name, QString::number(message.parameters.size()), QString::number(kMaxShownParameters)));
        for (const ParameterDefinition &p : message.parameters) {
            if (p.type == QLatin1String("bitfield") && p.values.size() > kMaxShownBits)
                warning(path, line, QStringLiteral("message '%1', parameter '%2' has %3 bits; the pages show only the first %4")
                                        .arg(name, p.name, QString::number(p.values.size()), QString::number(kMaxShownBits)));
        }
    }

    // Returns the data bytes the parameter takes in a frame.
    quint64 checkParameter(const QString &path, int line, const QString &where, const ParameterDefinition &p)
    {
        if (p.type == QLatin1String("integer")) {
            if (p.size < 1 || p.size > 4)
                error(path, line, QStringLiteral("%1: an integer of %2 bytes; integers have 1 to 4").arg(where, QString::number(p.size)));
            if (p.isSigned() ? p.minSigned > p.maxSigned : p.minUnsigned > p.maxUnsigned)
                error(path, line, QStringLiteral("%1: min is above max").arg(where));
            if (p.values.isEmpty()) {
                const bool outside = p.isSigned()
                                         ? (p.defaultSigned < p.minSigned || p.defaultSigned > p.maxSigned)
                                         : (p.defaultUnsigned < p.minUnsigned || p.defaultUnsigned > p.maxUnsigned);
                if (outside)
                    warning(path, line, QStringLiteral("%1: default is outside min and max").arg(where));
            } else {
                bool found = false;
                for (const ValueDefinition &v : p.values)
                    found = found || (p.isSigned() ? v.signedValue == p.defaultSigned : v.unsignedValue == p.defaultUnsigned);
                if (!found)
                    warning(path, line, QStringLiteral("%1: default matches no named value; the first one is used").arg(where));
            }
            return p.size;
        }
        if (p.type == QLatin1String("string")) {
            if (p.size == 0)
                error(path, line, QStringLiteral("%1: a string of 0 characters").arg(where));
            if (quint64(p.defaultText.size()) > p.size)
                warning(path, line, QStringLiteral("%1: default is longer than %2 characters and is cut").arg(where, QString::number(p.size)));
            return p.size;
        }
        if (p.type == QLatin1String("bitfield")) {
            if (p.size != 1)
                error(path, line, QStringLiteral("%1: a bitfield of %2 bytes; the encoder writes one byte").arg(where, QString::number(p.size)));
            for (const ValueDefinition &v : p.values)
                if (v.unsignedValue > 7)
                    warning(path, line, QStringLiteral("%1: bit %2 lies outside the byte and can never be set").arg(where, QString::number(v.unsignedValue)));
            return 1;
        }
        error(path, line, QStringLiteral("%1: unknown type '%2'; it takes no byte").arg(where, p.type));
        return 0;
    }

    void checkProfileMessages(const ProfileDefinition &profile)
    {
        const MessageMap all = messagesOfProfile(profile, false);
        QMap<quint8, QString> firstById;
        for (const MessageDefinition &m : all) {
            if (firstById.contains(m.msgId))
                warning(profile.filePath, 0,
                        QStringLiteral("messages '%1' and '%2' share id 0x%3; decoding always finds '%1'")
                            .arg(firstById.value(m.msgId), m.name,
                                 QStringLiteral("%1").arg(m.msgId, 2, 16, QLatin1Char('0')).toUpper()));
            else
                firstById.insert(m.msgId, m.name);
        }
    }

    // One profile file: its profile, the message files it names, and its messages.
    void checkProfileFile(const QString &path)
    {
        QDomDocument doc;
        if (!parse(path, &doc))
            return;
        const QDomNodeList profileElements = doc.elementsByTagName(QStringLiteral("profile"));
        if (profileElements.isEmpty()) {
            error(path, 0, QStringLiteral("no <profile> element: the file adds a device with an empty name"
                                                  " (message files belong in a subfolder)"));
            return;
        }
        if (profileElements.count() > 1)
            warning(path, profileElements.at(1).lineNumber(),
                            QStringLiteral("a second <profile> element is ignored"));
        const ProfileDefinition profile = readProfileFile(path);
        const int line = profileElements.at(0).lineNumber();
        const QString key = profileKey(profile);
        if (profile.product.isEmpty())
            error(path, line, QStringLiteral("profile without a product name"));
        if (fileOfKey.contains(key))
            warning(path, line, QStringLiteral("device '%1' revision '%2' is also defined in %3; this later file wins")
                                            .arg(profile.product, profile.revision, fileOfKey.value(key)));
        fileOfKey.insert(key, path);
        if (profile.nodeType == 0 && !profile.product.isEmpty())
            warning(path, line, QStringLiteral("node type 0 is the controller's: every frame sent by a controller,"
                                                       " as the Encode page builds them, decodes as this device"));
        if (profile.nodeType > 15)
            error(path, line, QStringLiteral("node type %1 does not fit the 4 bits of a frame; frames never name this device")
                                          .arg(profile.nodeType));
        const QString other = productOfNodeType.value(profile.nodeType);
        if (!other.isEmpty() && other != profile.product)
            warning(path, line, QStringLiteral("node type %1 is also the node type of '%2'; decoding finds only one of them")
                                            .arg(QString::number(profile.nodeType), other));
        productOfNodeType.insert(profile.nodeType, profile.product);

        const QString attributes[] = {QStringLiteral("standard_msg"), QStringLiteral("standard_motor_msg")};
        const QString paths[] = {profile.standardMsgPath, profile.standardMotorMsgPath};
        const QDomElement profileElement = profileElements.at(0).toElement();
        for (int k = 0; k < 2; ++k) {
            // A device without motor messages simply leaves the attribute out.
            if (profileElement.attribute(attributes[k]).isEmpty())
                continue;
            const QFileInfo info(paths[k]);
            if (!info.isFile())
                error(path, line, QStringLiteral("%1 names no file (%2): its messages are missing")
                                              .arg(attributes[k], paths[k]));
            else
                checkMessageFile(paths[k]);
        }
        checkMessageFile(path);
        checkProfileMessages(profile);
    }

private:
    QSet<QString> checkedMessageFiles;
    QMap<QString, QString> fileOfKey;
    QMap<quint32, QString> productOfNodeType;
};

} // namespace

int runCheck(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    int status = kExitOk;
    if (!cli::parseArguments(parser, arguments, QString::fromLatin1(kUsage), QString::fromLatin1(kHelp), &status))
        return status;
    if (!parser.positionalArguments().isEmpty())
        return cli::usageError(QStringLiteral("'check' takes no argument"), QString::fromLatin1(kUsage));

    const QString folder = cli::catalogueFolder(parser);
    Checker checker;
    if (!QFileInfo(folder).isDir()) {
        checker.error(folder, 0, QStringLiteral("no such folder: the catalogue is empty"));
    } else {
        // The same files, in the same order, as the tool's own scan.
        const QStringList files = profileFilePaths(folder);
        for (const QString &path : files)
            checker.checkProfileFile(path);
        if (files.isEmpty())
            checker.error(folder, 0, QStringLiteral("no *.xml file: the catalogue is empty"));
    }

    int errors = 0;
    QString out;
    for (const Finding &f : checker.findings) {
        errors += f.error ? 1 : 0;
        const QString relative = QDir::current().relativeFilePath(f.file);
        out += QStringLiteral("%1%2: %3: %4\n")
                   .arg(relative.startsWith(QLatin1String("..")) ? f.file : relative,
                        f.line > 0 ? QStringLiteral(":%1").arg(f.line) : QString(),
                        f.error ? QStringLiteral("error") : QStringLiteral("warning"), f.text);
    }
    out += QStringLiteral("%1 error(s), %2 warning(s)\n").arg(QString::number(errors), QString::number(checker.findings.size() - errors));
    cli::writeOut(out);
    return errors > 0 ? kExitFailure : kExitOk;
}
