// The Decode page under the offscreen platform: time from an edit of the
// input field until the page has been rebuilt and laid out, on the bundled
// sample catalogue and on the large generated catalogue (100 profiles of 300
// messages), and for a megabyte of pasted text.

#include "benchutil.h"
#include "gencatalogue.h"

#include "catalogue/catalogue.h"
#include "codec/frame.h"
#include "decodepage.h"

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bool ok = true;

    const QString sampleRoot = QStringLiteral(KWN_SOURCE_DIR);
    const QString sampleFrame = gencatalogue::busiestFrame(loadProfiles(sampleRoot + QStringLiteral("/xml")));
    if (sampleFrame.isEmpty()) {
        std::printf("sample catalogue: nothing to decode, skipped\n");
    } else {
        DecodePage page(sampleRoot);
        // Alternate two texts so that every edit really changes the input.
        int i = 0;
        ok &= report("page decode per edit, sample catalogue", measure(100, [&] {
                         page.decode(i++ % 2 ? sampleFrame : sampleFrame.toLower());
                     }),
                     2.0);
        reportInfo("  with QLineEdit, layout and paint", measure(100, [&] {
                   page.edit(i++ % 2 ? sampleFrame : sampleFrame.toLower());
               }),
               16.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
    }

    QTemporaryDir dir;
    if (!dir.isValid() || !gencatalogue::writeLargeCatalogueUnder(dir.path())) {
        std::printf("could not write the large catalogue\n");
        return 2;
    }
    // Message 0 has every kind of parameter the generator writes.
    const QString largeFrame = gencatalogue::frameText(gencatalogue::kLargeProfiles - 1, 0);
    {
        DecodePage page(dir.path());
        int i = 0;
        ok &= report("page decode per edit, large catalogue (100 x 300)", measure(50, [&] {
                         page.decode(i++ % 2 ? largeFrame : largeFrame.toLower());
                     }),
                     16.0);
        reportInfo("  with QLineEdit, layout and paint", measure(50, [&] {
                   page.edit(i++ % 2 ? largeFrame : largeFrame.toLower());
               }),
               16.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));

        QString megabyte = largeFrame;
        megabyte += QString((1 << 20) - megabyte.size(), QLatin1Char('5'));
        QString noise(1 << 20, Qt::Uninitialized);
        for (int k = 0; k < noise.size(); ++k)
            noise[k] = QChar(ushort((k * 40503u) & 0xFFFF));
        ok &= report("page decode of 1 MB of frame text", measure(10, [&] { page.decode(megabyte); }),
                     100.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
        ok &= report("page decode of 1 MB of arbitrary UTF-16", measure(10, [&] { page.decode(noise); }),
                     100.0);
        std::printf("  status: %s\n", qPrintable(page.status->text()));
        // QLineEdit lays out (shapes) the whole pasted line before it reports the
        // edit; that part is Qt's and is shown for information.
        int j = 0;
        reportInfo("  paste of 1 MB of frame text, whole", measure(5, [&] {
                   page.edit(j++ % 2 ? megabyte : megabyte.toLower());
               }),
               100.0);
        std::printf("  input holds %d characters\n", int(page.input->text().size()));
        reportInfo("  paste of 1 MB of arbitrary UTF-16, whole", measure(3, [&] { page.edit(noise); }), 100.0);
    }
    return ok ? 0 : 1;
}
