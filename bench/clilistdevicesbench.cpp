// `kwn-frame list devices` on folders of 10,000 and 100,000 profile files,
// one product each: the listing must grow linearly with the catalogue.
//
//   clilistdevicesbench [KWN-FRAME]   run, with another kwn-frame if given

#include "benchutil.h"
#include "gencatalogue.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString tool = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KWN_CLI_PATH);
    bool ok = true;
    for (const int count : {10000, 100000}) {
        QTemporaryDir dir;
        if (!dir.isValid() || !gencatalogue::writeProfilesCatalogue(dir.path(), count)) {
            std::printf("could not write %d profile files\n", count);
            return 2;
        }
        int lines = 0;
        const BenchFigures f = measure(3, [&] {
            QProcess list;
            list.start(tool, {QStringLiteral("list"), QStringLiteral("devices"), QStringLiteral("--xml"),
                              dir.path() + QStringLiteral("/xml")});
            if (!list.waitForFinished(600000))
                list.kill();
            list.waitForFinished();
            lines = list.readAllStandardOutput().count('\n');
        });
        const QByteArray name = "list devices, " + QByteArray::number(count) + " profile files";
        ok &= report(name.constData(), f, 5000.0);
        std::printf("  %d devices listed\n", lines);
    }
    return ok ? 0 : 1;
}
