// Hostile catalogues against the window: the time from start until the main
// window is shown, and the time the Decode page takes for one pasted frame of a
// message with thousands of named bits. Each size is measured at a tenth of
// the full size as well, so that the growth can be read off.
//
// Every window is built in a process of its own (this program, started again
// with --window FOLDER), as the real tool builds one window per start.

#include "benchutil.h"
#include "decodepage.h"
#include "gencatalogue.h"

#include "app/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <sys/resource.h>

namespace {

// Child: builds and shows the main window on the catalogue in `folder` and
// prints the milliseconds until it is exposed, and the peak memory.
int showWindow(const QString &folder)
{
    QDir::setCurrent(folder);
    QElapsedTimer timer;
    timer.start();
    MainWindow *window = MainWindow::instance();
    window->resize(740, 600);
    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QApplication::processEvents();
    QApplication::processEvents(); // the first paint
    const double ms = timer.nsecsElapsed() / 1e6;
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f %ld\n", ms, long(usage.ru_maxrss / 1024));
    return 0;
}

bool timeWindow(const char *name, const QString &folder, double goalMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--window"), folder});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        std::printf("%-48s the window did not come up (exit status %d)\n", name, child.exitCode());
        return false;
    }
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    BenchFigures f;
    f.runs = 1;
    f.medianMs = f.maxMs = figures.value(0).toDouble();
    const bool ok = report(name, f, goalMs);
    std::printf("  peak memory %s MB\n", figures.value(1).constData());
    return ok;
}

bool timeDecode(const char *name, int bits, bool slave, const QString &frame)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !gencatalogue::writeBitsCatalogue(dir.path(), bits, slave)) {
        std::printf("could not write the catalogue\n");
        return false;
    }
    DecodePage page(dir.path());
    // Alternate the case so that every paste changes the text.
    int i = 0;
    const bool ok = report(name, measure(5, [&] { page.edit(i++ % 2 ? frame : frame.toLower()); }), 1000.0);
    std::printf("  status: %s\n", qPrintable(page.status->text()));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--window") == 0)
        return showWindow(QString::fromLocal8Bit(argv[2]));

    bool ok = true;
    const QString master = QStringLiteral("EF F3 FC FE FF FF FD FF FF F5 09 CA");
    const QString slave = QStringLiteral("EF F3 CF FE FF FF FD FF FF FA 09 A2");
    ok &= timeDecode("Decode page paste, 1,000 bits", 1000, false, master);
    ok &= timeDecode("Decode page paste, 10,000 bits", 10000, false, master);
    ok &= timeDecode("Decode page paste, 4,000 bits, slave", 4000, true, slave);
    ok &= timeDecode("Decode page paste, 40,000 bits, slave", 40000, true, slave);

    struct Case
    {
        const char *name;
        bool (*write)(const QString &, int);
        int count;
    };
    const Case cases[] = {
        {"window, 9,000 categories", gencatalogue::writeCategoriesCatalogue, 9000},
        {"window, 90,000 categories", gencatalogue::writeCategoriesCatalogue, 90000},
        {"window, 12,000 parameters", gencatalogue::writeParametersCatalogue, 12000},
        {"window, 120,000 parameters", gencatalogue::writeParametersCatalogue, 120000},
        {"window, 4,000 bits", [](const QString &root, int n) { return gencatalogue::writeBitsCatalogue(root, n); }, 4000},
        {"window, 40,000 bits", [](const QString &root, int n) { return gencatalogue::writeBitsCatalogue(root, n); }, 40000},
        {"window, 10,000 profile files", gencatalogue::writeProfilesCatalogue, 10000},
        {"window, 100,000 profile files", gencatalogue::writeProfilesCatalogue, 100000},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        if (!dir.isValid() || !c.write(dir.path(), c.count)) {
            std::printf("could not write the catalogue for %s\n", c.name);
            return 2;
        }
        ok &= timeWindow(c.name, dir.path(), 5000.0);
    }
    return ok ? 0 : 1;
}
