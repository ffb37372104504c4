#include "catalogue/catalogue.h"

#include <QDir>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <thread>

ProfileMap loadProfiles()
{
    return loadProfiles(QDir::currentPath() + QLatin1String("/xml"));
}

QStringList profileFilePaths(const QString &folder)
{
    // Files directly in the folder (links to files count, hidden ones do not),
    // named *.xml in any case. Read in code-unit order of their names so that
    // the later of two files with the same product and revision wins the same
    // way on every platform.
    const QDir dir(folder);
    QStringList names;
    const QFileInfoList entries =
        dir.entryInfoList(QStringList{QStringLiteral("*.xml")}, QDir::Files, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        // The filter lets links to devices through; they are no files.
        if (entry.isFile())
            names.append(entry.fileName());
    }
    std::sort(names.begin(), names.end());
    QStringList paths;
    for (const QString &name : qAsConst(names))
        paths.append(folder + QLatin1Char('/') + name);
    return paths;
}

ProfileMap loadProfiles(const QString &folder)
{
    ProfileMap profiles;
    const QStringList paths = profileFilePaths(folder);

    // Every file must be parsed whole (a file that is not well-formed gives
    // the empty record), which is most of the time a large catalogue takes to
    // open; the files are independent, so they are read on all cores. The
    // records are then filed in name order, exactly as a single pass would.
    QVector<ProfileDefinition> read(paths.size());
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < paths.size(); i = next++)
            read[i] = readProfileFile(paths.at(i));
    };
    const int helpers = paths.size() < 8 ? 0 : qBound(0, QThread::idealThreadCount() - 1, 7);
    std::vector<std::thread> threads;
    for (int t = 0; t < helpers; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();

    for (const ProfileDefinition &profile : qAsConst(read))
        profiles.insert(profileKey(profile), profile);
    return profiles;
}

QStringList productNames(const ProfileMap &profiles)
{
    // Sorted first, then each run of equal names kept once: n log n, where a
    // search of the list for every profile was quadratic.
    QStringList names;
    names.reserve(profiles.size());
    for (const ProfileDefinition &profile : profiles)
        names.append(profile.product);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

QStringList revisionsOf(const ProfileMap &profiles, const QString &product)
{
    QStringList revisions;
    for (const ProfileDefinition &profile : profiles) {
        if (profile.product == product)
            revisions.append(profile.revision);
    }
    std::sort(revisions.begin(), revisions.end());
    return revisions;
}

QMap<QString, QStringList> revisionsByProduct(const ProfileMap &profiles)
{
    QMap<QString, QStringList> byProduct;
    for (const ProfileDefinition &profile : profiles)
        byProduct[profile.product].append(profile.revision);
    for (QStringList &revisions : byProduct)
        std::sort(revisions.begin(), revisions.end());
    return byProduct;
}

ProfileDefinition findProfile(const ProfileMap &profiles, const QString &product,
                              const QString &revision)
{
    // A record is filed under its own key, so only that entry can match; it
    // still has to be checked, since "A_B" + "C" and "A" + "B_C" share a key.
    const auto it = profiles.constFind(product + QLatin1Char('_') + revision);
    if (it != profiles.constEnd() && it->product == product && it->revision == revision)
        return *it;
    return ProfileDefinition();
}

QString productForNodeType(const ProfileMap &profiles, quint8 nodeType)
{
    // The last match in key order names the product.
    QString product;
    for (const ProfileDefinition &profile : profiles) {
        if (profile.nodeType == quint32(nodeType))
            product = profile.product;
    }
    return product;
}

MessageMap messagesOfProfile(const ProfileDefinition &profile, bool leaveOutSlaves)
{
    // Later files override earlier ones by name: standard, standard motor, then
    // the product's own. A left-out Slave message overrides nothing.
    MessageMap merged;
    for (const QString &path : {profile.standardMsgPath, profile.standardMotorMsgPath, profile.filePath}) {
        const MessageMap messages = readMessageFile(path).messages;
        for (auto it = messages.constBegin(); it != messages.constEnd(); ++it) {
            if (leaveOutSlaves && it->nodeMode == NodeMode::Slave)
                continue;
            merged.insert(it.key(), it.value());
        }
    }
    return merged;
}

MessageDefinition messageById(const MessageMap &messages, quint8 messageId)
{
    for (const MessageDefinition &message : messages) {
        if (message.msgId == messageId)
            return message;
    }
    return MessageDefinition();
}
