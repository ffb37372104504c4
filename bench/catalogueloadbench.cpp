// Times the catalogue: the messages of one profile (what the encoder does at
// every change of device and the decoder at every keystroke) and the scan of
// a whole folder (what each page does when it is built).

#include "benchutil.h"
#include "gencatalogue.h"

#include "catalogue/catalogue.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool ok = true;

    const ProfileMap sample = loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml"));
    ProfileDefinition biggest;
    int biggestCount = -1;
    for (const ProfileDefinition &p : sample) {
        const int n = messagesOfProfile(p, false).size();
        if (n > biggestCount) {
            biggestCount = n;
            biggest = p;
        }
    }
    std::printf("sample: %d profiles, largest merged map %d messages (%s %s)\n", int(sample.size()),
                biggestCount, qPrintable(biggest.product), qPrintable(biggest.revision));
    ok &= report("sample messagesOfProfile, all kept", measure(500, [&] { messagesOfProfile(biggest, false); }), 1.0);
    ok &= report("sample messagesOfProfile, slaves left out", measure(500, [&] { messagesOfProfile(biggest, true); }), 1.0);
    // Cold figures: the first use of a profile after start or after an edit.
    // Shown against the same goals, but only the figures above count.
    reportInfo("sample messagesOfProfile, nothing cached", measure(100, [&] {
               clearMessageFileCache();
               messagesOfProfile(biggest, false);
           }), 1.0);
    ok &= report("sample loadProfiles", measure(50, [] { loadProfiles(QStringLiteral(KWN_SOURCE_DIR "/xml")); }), 200.0);

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/xml");
    if (!dir.isValid() || !gencatalogue::writeLargeCatalogue(folder)) {
        std::printf("could not write the large catalogue\n");
        return 2;
    }
    ProfileMap large;
    ok &= report("large loadProfiles (100 profiles x 300 messages)", measure(10, [&] { large = loadProfiles(folder); }), 200.0);
    // The loads above came within seconds of the writing, so each compared
    // the files by content; once the files have been still for longer, a
    // load is to go by their stamps alone.
    QThread::sleep(4);
    reportInfo("large loadProfiles, files still since", measure(10, [&] { large = loadProfiles(folder); }), 200.0);
    const ProfileDefinition one = large.first();
    std::printf("large: %d profiles, %d messages in one merged map\n", int(large.size()),
                int(messagesOfProfile(one, false).size()));
    ok &= report("large messagesOfProfile, same profile", measure(200, [&] { messagesOfProfile(one, false); }), 10.0);
    const QList<ProfileDefinition> all = large.values();
    // Switching through more profiles than the cache holds: every use parses.
    int next = 0;
    reportInfo("large messagesOfProfile, cycling all profiles", measure(300, [&] {
               messagesOfProfile(all.at(next++ % all.size()), true);
           }), 10.0);
    reportInfo("large messagesOfProfile, nothing cached", measure(30, [&] {
               clearMessageFileCache();
               messagesOfProfile(one, false);
           }), 10.0);
    const MessageMap merged = messagesOfProfile(one, false);
    reportInfo("large messageById, last id", measure(1000, [&] { messageById(merged, 0xFF); }), 1.0);
    return ok ? 0 : 1;
}
