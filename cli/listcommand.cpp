// kwn-frame list: what the catalogue holds, for scripts and for catalogue authors.

#include "catalogue/catalogue.h"
#include "cli/commands.h"

namespace {

const char kUsage[] = "kwn-frame list devices | revisions DEVICE | messages DEVICE [--revision R] [--xml DIR]";
const char kHelp[] =
    "Lists the devices of the catalogue, the revisions of a device, or the messages of a\n"
    "device (its first revision unless --revision is given) with every parameter.\n"
    "\n"
    "Options:\n"
    "  --revision R   the revision of the device whose messages are listed\n"
    "  --xml DIR      catalogue folder (default: xml in the current directory)\n";

QString limitsText(const ParameterDefinition &p)
{
    if (p.isSigned())
        return QStringLiteral("min %1, max %2, default %3").arg(QString::number(p.minSigned), QString::number(p.maxSigned), QString::number(p.defaultSigned));
    return QStringLiteral("min %1, max %2, default %3").arg(QString::number(p.minUnsigned), QString::number(p.maxUnsigned), QString::number(p.defaultUnsigned));
}

QString parameterLine(const ParameterDefinition &p)
{
    QStringList facts;
    facts << (p.type.isEmpty() ? QStringLiteral("(no type)") : p.type)
          << QStringLiteral("%1 byte%2").arg(QString::number(p.size), p.size == 1 ? QString() : QStringLiteral("s"));
    if (p.type == QLatin1String("integer")) {
        facts << (p.isSigned() ? QStringLiteral("signed") : QStringLiteral("unsigned"))
              << (p.isHexa() ? QStringLiteral("hexadecimal") : QStringLiteral("decimal"));
        if (p.values.isEmpty())
            facts << limitsText(p);
        else
            facts << QStringLiteral("default %1").arg(p.isSigned() ? QString::number(p.defaultSigned)
                                                                   : QString::number(p.defaultUnsigned));
    } else if (p.type == QLatin1String("string") && !p.defaultText.isEmpty()) {
        facts << QStringLiteral("default \"%1\"").arg(p.defaultText);
    }
    if (p.optional)
        facts << QStringLiteral("optional");
    if (!p.display)
        facts << QStringLiteral("hidden");
    QString line = QStringLiteral("    %1: %2\n").arg(p.name, facts.join(QStringLiteral(", ")));
    for (const ValueDefinition &v : p.values) {
        const QString number = p.type == QLatin1String("bitfield")
                                   ? QStringLiteral("bit %1").arg(v.unsignedValue)
                                   : (p.isSigned() ? QString::number(v.signedValue) : QString::number(v.unsignedValue));
        line += QStringLiteral("      %1 = %2\n").arg(number, v.description);
    }
    return line;
}

} // namespace

int runList(const QStringList &arguments)
{
    QCommandLineParser parser;
    cli::addCommonOptions(parser);
    parser.addOption({QStringLiteral("revision"), QStringLiteral("Revision."), QStringLiteral("R")});
    parser.addPositionalArgument(QStringLiteral("what"), QStringLiteral("devices, revisions or messages"));
    int status = kExitOk;
    if (!cli::parseArguments(parser, arguments, QString::fromLatin1(kUsage), QString::fromLatin1(kHelp), &status))
        return status;

    const QStringList words = parser.positionalArguments();
    const QString usage = QString::fromLatin1(kUsage);
    if (words.isEmpty())
        return cli::usageError(QStringLiteral("say what to list"), usage);
    const QString what = words.first();
    const ProfileMap profiles = loadProfiles(cli::catalogueFolder(parser));

    if (what == QLatin1String("devices")) {
        if (words.size() != 1)
            return cli::usageError(QStringLiteral("'list devices' takes no further argument"), usage);
        QString out;
        const QMap<QString, QStringList> byProduct = revisionsByProduct(profiles);
        for (auto it = byProduct.cbegin(); it != byProduct.cend(); ++it) {
            const QString &product = it.key();
            const QStringList &revisions = it.value();
            const ProfileDefinition first = findProfile(profiles, product, revisions.value(0));
            out += QStringLiteral("%1\tnode type %2\trevisions %3\n")
                       .arg(product, QString::number(first.nodeType), revisions.join(QStringLiteral(", ")));
        }
        cli::writeOut(out);
        return kExitOk;
    }

    if (what != QLatin1String("revisions") && what != QLatin1String("messages"))
        return cli::usageError(QStringLiteral("cannot list '%1'").arg(what), usage);
    if (words.size() != 2)
        return cli::usageError(QStringLiteral("'list %1' takes one device name").arg(what), usage);
    const QString device = words.at(1);
    if (what == QLatin1String("revisions")) {
        const QStringList revisions = cli::deviceRevisions(profiles, device);
        if (revisions.isEmpty())
            return kExitFailure;
        cli::writeOut(revisions.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        return kExitOk;
    }

    ProfileDefinition profile;
    if (!cli::findDeviceProfile(profiles, device, parser, &profile))
        return kExitFailure;
    const MessageMap messages = messagesOfProfile(profile, false);
    QString out;
    for (const MessageDefinition &m : messages) {
        out += QStringLiteral("%1\n  category %2, id 0x%3, %4, addressing %5\n")
                   .arg(m.name,
                        m.category.isEmpty() ? QStringLiteral("(none)") : m.category,
                        QStringLiteral("%1").arg(m.msgId, 2, 16, QLatin1Char('0')).toUpper(),
                        m.nodeMode == NodeMode::Slave ? QStringLiteral("slave") : QStringLiteral("master"),
                        m.addressingMode.isEmpty() ? QStringLiteral("any") : m.addressingMode);
        for (const ParameterDefinition &p : m.parameters)
            out += parameterLine(p);
    }
    cli::writeOut(out);
    return kExitOk;
}
