// Decoding speed of the core, as the Decode page and the command line use it:
// one decode per edit (text check, the catalogue's files checked again,
// product, message, value rows), the raw text check at command-line rates,
// and a megabyte of pasted text.

#include "benchutil.h"
#include "gencatalogue.h"

#include "catalogue/catalogue.h"
#include "codec/framereport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <memory>

// One edit of the Decode page, without the widgets: its catalogue checks
// every file before each decode.
static bool decodeOnce(DecodeCatalogue &catalogue, const QString &text)
{
    return catalogue.decodeText(text).message.known;
}

static std::unique_ptr<DecodeCatalogue> pageCatalogue(const QString &folder)
{
    auto catalogue = std::make_unique<DecodeCatalogue>(folder);
    catalogue->setRecheckIntervalMs(0);
    return catalogue;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bool ok = true;

    const QString sample = QStringLiteral(KWN_SOURCE_DIR "/xml");
    const ProfileMap sampleProfiles = loadProfiles(sample);
    const QString sampleFrame = gencatalogue::busiestFrame(sampleProfiles);
    if (sampleFrame.isEmpty()) {
        std::printf("sample catalogue: no profile with messages in %s, skipped\n", qPrintable(sample));
    } else {
        const std::unique_ptr<DecodeCatalogue> samplePage = pageCatalogue(sample);
        ok &= report("decode one edit, sample catalogue",
                     measure(200, [&] { decodeOnce(*samplePage, sampleFrame); }), 2.0);
    }

    QTemporaryDir dir;
    const QString largeFolder = dir.path() + QStringLiteral("/xml");
    if (!dir.isValid() || !gencatalogue::writeLargeCatalogue(largeFolder)) {
        std::printf("could not write the large catalogue\n");
        return 2;
    }
    const ProfileMap largeProfiles = loadProfiles(largeFolder);
    // Message 0 has every kind of parameter the generator writes.
    const QString largeFrame = gencatalogue::frameText(gencatalogue::kLargeProfiles - 1, 0);
    const std::unique_ptr<DecodeCatalogue> largePage = pageCatalogue(largeFolder);
    if (!decodeOnce(*largePage, largeFrame)) {
        std::printf("large catalogue: frame not decoded\n");
        ok = false;
    }
    ok &= report("decode one edit, large catalogue (100 x 300)",
                 measure(50, [&] { decodeOnce(*largePage, largeFrame); }), 16.0);

    // The command line checks 500,000 frames a second: 100,000 in 200 ms.
    const QString spaced = QStringLiteral("0xDC 0x72 0xF9 0xCB 0x54 0xED 0x01 0xFF 0xFF 0xFE 0x7F 0x07 0xCF");
    ok &= report("check 100,000 frame texts",
                 measure(10, [&] {
                     int accepted = 0;
                     for (int i = 0; i < 100000; ++i)
                         accepted += parseFrameText(spaced).ok();
                     if (accepted != 100000)
                         std::abort();
                 }),
                 200.0);

    const MessageDefinition sampleMessage = [] {
        MessageDefinition m;
        m.name = QStringLiteral("SET_POSITION");
        ParameterDefinition speed;
        speed.name = QStringLiteral("Speed");
        speed.type = QStringLiteral("integer");
        speed.size = 2;
        speed.display = true;
        m.parameters << speed << speed;
        return m;
    }();
    const QByteArray data = QByteArray::fromHex("2c01feff");
    ok &= report("value rows of 100,000 frames",
                 measure(10, [&] {
                     for (int i = 0; i < 100000; ++i)
                         decodeMessageData(sampleMessage, data, false, QString());
                 }),
                 200.0);

    QString pasted = QStringLiteral("BFF4FFFEFFFFFDFFFF08A9");
    pasted += QString((1 << 20) - pasted.size(), QLatin1Char('5'));
    ok &= report("check 1 MB of pasted text", measure(20, [&] { parseFrameText(pasted); }), 100.0);

    QString noise(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = QChar(ushort((i * 40503u) & 0xFFFF));
    ok &= report("check 1 MB of arbitrary UTF-16", measure(20, [&] { parseFrameText(noise); }), 100.0);

    return ok ? 0 : 1;
}
