#include "cli/commands.h"

#include "catalogue/catalogue.h"

#include <QCoreApplication>
#include <QDir>

namespace cli {

void addCommonOptions(QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({QStringLiteral("xml"), QStringLiteral("Catalogue folder."), QStringLiteral("DIR")});
    parser.addOption({QStringList{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")});
    parser.addOption({QStringLiteral("version"), QStringLiteral("Show the version.")});
}

bool parseArguments(QCommandLineParser &parser, const QStringList &arguments,
                    const QString &usage, const QString &help, int *status)
{
    // QCommandLineParser expects the program name first.
    if (!parser.parse(QStringList{QStringLiteral("kwn-frame")} + arguments)) {
        *status = usageError(parser.errorText(), usage);
        return false;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        writeOut(QStringLiteral("kwn-frame %1\n").arg(QCoreApplication::applicationVersion()));
        *status = kExitOk;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        writeOut(QStringLiteral("Usage: %1\n\n%2").arg(usage, help));
        *status = kExitOk;
        return false;
    }
    return true;
}

QString catalogueFolder(const QCommandLineParser &parser)
{
    if (parser.isSet(QStringLiteral("xml")))
        return parser.value(QStringLiteral("xml"));
    return QDir::currentPath() + QStringLiteral("/xml");
}

int usageError(const QString &message, const QString &usage)
{
    writeErr(QStringLiteral("kwn-frame: %1\nUsage: %2\n").arg(message, usage));
    return kExitUsage;
}

QStringList deviceRevisions(const ProfileMap &profiles, const QString &device)
{
    const QStringList revisions = revisionsOf(profiles, device);
    if (revisions.isEmpty())
        writeErr(QStringLiteral("kwn-frame: no device '%1' in the catalogue\n").arg(device));
    return revisions;
}

bool findDeviceProfile(const ProfileMap &profiles, const QString &device, const QCommandLineParser &parser,
                       ProfileDefinition *profile)
{
    const QStringList revisions = deviceRevisions(profiles, device);
    if (revisions.isEmpty())
        return false;
    const QString revision = parser.isSet(QStringLiteral("revision")) ? parser.value(QStringLiteral("revision"))
                                                                      : revisions.first();
    if (!revisions.contains(revision)) {
        writeErr(QStringLiteral("kwn-frame: device '%1' has no revision '%2'\n").arg(device, revision));
        return false;
    }
    *profile = findProfile(profiles, device, revision);
    return true;
}

QString alignedLine(const QStringList &row, const QVector<int> &widths)
{
    QString line;
    for (int c = 0; c < row.size(); ++c)
        line += c + 1 < row.size() ? row.at(c).leftJustified(widths.at(c) + 2) : row.at(c);
    // Empty cells at the start keep their place; none is left at the end.
    int end = line.size();
    while (end > 0 && line.at(end - 1).isSpace())
        --end;
    line.truncate(end);
    return line + QLatin1Char('\n');
}

void widen(QVector<int> &widths, const QStringList &row)
{
    for (int c = 0; c < row.size(); ++c) {
        if (widths.size() <= c)
            widths.append(0);
        widths[c] = qMax(widths[c], row.at(c).size());
    }
}

QString alignedTable(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows)
        widen(widths, row);
    QString text;
    for (const QStringList &row : rows)
        text += alignedLine(row, widths);
    return text;
}

void writeOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void writeErr(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

} // namespace cli
